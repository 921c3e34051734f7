// The layout: names and orders, directory sizes and entry blocks, data
// placement, and the areas and size of the image for each file-system choice.
// Every address the writers put into a structure is fixed here, before the
// first sector is written.
#include <limits>

#include "disc/tree_walk.h"
#include "engine/boot_files.h"
#include "engine/disc_media.h"
#include "engine/dvd_video.h"
#include "engine/image_layout.h"
#include "engine/image_writer.h"
#include "engine/shared_data.h"
#include "iso9660/iso_volume.h"
#include "udf/udf_volume.h"

namespace kestrel {
namespace {

constexpr uint64_t max_sector_count = std::numeric_limits<uint32_t>::max();

// In a DVD-video image the root and its two DVD folders keep the order the
// scan gave them: players expect the DVD folders first and their files in
// DVD order.
bool keeps_dvd_order(const ImageWriter& writer, const SourceNode& directory) {
  if (!writer.tree.dvd_video_mode) return false;
  if (&directory == writer.tree.root || directory.parent == &directory) return true;
  if (directory.parent != writer.tree.root) return false;
  const std::u16string_view name(directory.name, directory.name_length);
  return name == dvd_audio_folder_name || name == dvd_video_folder_name;
}

}  // namespace

void prepare_udf_names(ImageWriter& writer, SourceNode& directory) {
  // An explicit stack instead of recursion: folder depth is not limited.
  std::vector<SourceNode*> pending{&directory};
  while (!pending.empty()) {
    SourceNode* current = pending.back();
    pending.pop_back();
    for (SourceNode* child = current->first_child; child != nullptr; child = child->next)
      udf::make_udf_name(writer, *child);
    udf::sort_udf_children(writer, *current, keeps_dvd_order(writer, *current));
    // The order in which sub-directories are visited does not change any
    // result.
    for (SourceNode* child = current->first_child; child != nullptr; child = child->next) {
      if (child->is_directory) pending.push_back(child);
    }
  }
}

bool assign_data_and_ids(ImageWriter& writer, DataPlacementCounters& counters) {
  bool ok = walk_directories_depth_first(writer.tree.root, [&](SourceNode& directory) {
    for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
      // A file that shares another's copy takes its place afterwards.
      if (!child->is_directory && child->shares_data_of == nullptr) {
        switch (child->kind) {
          case NodeKind::plain:
          case NodeKind::unpaired_clip:
            child->data_offset = static_cast<uint32_t>(counters.data_sectors);
            counters.data_sectors += child->sectors;
            break;
          case NodeKind::dependent_view_clip: {
            // The interleaved block of a stereoscopic pair: dependent extent 0,
            // base extent 0, dependent extent 1, ... The base clip's data
            // starts after the first dependent extent.
            child->data_offset = static_cast<uint32_t>(counters.data_sectors);
            counters.data_sectors += child->sectors;
            SourceNode* base = child->base_node;
            const bluray::StereoPair* pair = child->stereo_pair;
            if (base != nullptr && pair != nullptr) {
              const uint32_t first =
                  pair->dependent_extents.empty() ? 0 : pair->dependent_extents.front();
              base->data_offset = child->data_offset + first;
              counters.data_sectors += base->sectors;
            }
            break;
          }
          case NodeKind::base_view_clip:
          case NodeKind::stereo_virtual_file: break;
        }
      }
      child->unique_id = counters.next_unique_id++;
      if (counters.data_sectors > max_sector_count) {
        writer.report.fail(BuildError::image_too_large);
        return false;
      }
    }
    return true;
  });
  if (!ok) return false;
  // Every file of the virtual stereoscopic folder, and its base clip, describe
  // the block that starts with the dependent clip's data.
  if (writer.tree.stereo_folder != nullptr) {
    for (SourceNode* file = writer.tree.stereo_folder->first_child; file != nullptr;
         file = file->next) {
      if (file->kind != NodeKind::stereo_virtual_file || file->dependent_node == nullptr) continue;
      file->data_offset = file->dependent_node->data_offset;
    }
  }
  return true;
}

uint32_t ImageWriter::lay_out(LayoutPurpose purpose) {
  content_reader_.reset();
  layout = VolumeLayout{};
  map = DiscMap{};
  boot = BootCatalog{};
  iso = iso9660::IsoVolume{};
  emitted_sectors = 0;
  if (tree.root == nullptr || report.failed()) return 0;

  if (boot_request.bootable() && !resolve_boot_images(*this)) return 0;
  if (!resolve_hybrid_tables(*this)) return 0;
  // Which files are stored once is known before anything is placed, and
  // after the boot files whose copies are patched are known.
  if (!share_file_data(*this)) return 0;

  // The order of every folder, which the data placement follows: UDF's,
  // which its names settle, where the image has UDF; the ISO 9660 names
  // follow it.
  if (settings.fs_flags & fs_udf) {
    prepare_udf_names(*this, *tree.root);
    if (report.failed()) return 0;
  }
  if (settings.fs_flags & fs_iso9660) iso.order_source_folders(*this);

  DataPlacementCounters placement;
  if (!assign_data_and_ids(*this, placement)) return 0;
  layout.data_sectors = static_cast<uint32_t>(placement.data_sectors);

  // Every file's place in the data area is now final, and the passes below
  // change nothing the content readers look at: the files are read while the
  // structures are laid out. Not in a bootable image, whose boot files are
  // patched with addresses the disc map has yet to give.
  if (purpose == LayoutPurpose::image && !boot_request.bootable() && !start_reading_contents())
    return 0;
  const uint32_t sectors = lay_out_structures();
  if (sectors == 0) content_reader_.reset();
  return sectors;
}

uint32_t ImageWriter::lay_out_structures() {
  udf::UdfLayoutCounters udf_counters;
  if (settings.fs_flags & fs_udf) {
    walk_directories_breadth_first(tree.root, [&](SourceNode& directory) {
      udf::size_udf_directory(*this, directory, udf_counters);
      return !report.failed();
    });
    if (report.failed()) return 0;
  }
  // Files stored once take their copy's place, and their UDF entry's.
  place_shared_files(*this);
  if ((settings.fs_flags & fs_iso9660) && !iso.lay_out(*this)) return 0;

  // The UDF file structure ends where the sizing placed the last entry.
  if (!plan_disc_map(*this, udf_counters.next_block) || !place_hybrid_tables(*this)) return 0;
  warn_when_no_disc_of_its_kind_holds(*this);
  return layout.image_sectors;
}

}  // namespace kestrel
