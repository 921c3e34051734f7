// The layout of the ISO 9660 volume: its hierarchy named and ordered, then
// every directory and both path tables sized. Where they lie is the disc
// map's to say.
#include "iso9660/iso_volume.h"

#include <limits>
#include <system_error>
#include <thread>

#include "iso9660/iso_names.h"
#include "iso9660/iso_records.h"

namespace kestrel::iso9660 {
namespace {

// Sizes the path tables of a tree; false, with the build failed, when they
// would not fit the 32-bit Path Table Size.
bool size_path_tables(BuildReport& report, IsoTree& tree) {
  tree.path_table_bytes = size_path_table(tree);
  if (tree.path_table_bytes > std::numeric_limits<uint32_t>::max()) {
    report.fail(BuildError::image_too_large);
    return false;
  }
  tree.path_table_sectors = static_cast<uint32_t>(sectors_for_bytes(tree.path_table_bytes));
  return true;
}

// What was asked, unless the image is a DVD-video image, whose volume stays
// plain.
NameExtensions extensions_of(const DiscImage& image) {
  return image.tree.dvd_video_mode ? NameExtensions{} : image.settings.name_extensions;
}

}  // namespace

void IsoVolume::order_source_folders(DiscImage& image) {
  // Both hierarchies name each folder in the order of its source names, and
  // Joliet records most names as they are, in that order: put in it once,
  // the folders need no sort in either. UDF, where the image has it, has
  // put them in its own order, which is that one for the names it keeps.
  if (extensions_of(image).joliet && (image.settings.fs_flags & fs_udf) == 0 &&
      image.tree.root != nullptr)
    put_folders_in_name_order(*image.tree.root);
}

bool IsoVolume::lay_out(DiscImage& image) {
  extensions_ = extensions_of(image);
  joliet_names_altered_ = 0;
  const auto lay_out_primary = [&](BuildReport& report) {
    return build_primary_tree(image, report, primary, extensions_.rock_ridge) &&
           size_iso_directories(image, report, primary) && size_path_tables(report, primary);
  };
  const auto lay_out_joliet = [&](BuildReport& report) {
    return build_joliet_tree(image, report, joliet, joliet_names_altered_) &&
           size_iso_directories(image, report, joliet) && size_path_tables(report, joliet);
  };
  if (!extensions_.joliet) return lay_out_primary(image.report);

  // The Joliet hierarchy is built on a second thread while this one builds
  // the primary one: in a folder of many look-alike names each costs about
  // as much. Its failure, if any, is reported after the primary's.
  BuildReport joliet_report;
  bool joliet_ok = false;
  std::thread joliet_thread;
  if (std::thread::hardware_concurrency() >= 2) {
    try {
      joliet_thread = std::thread([&] { joliet_ok = lay_out_joliet(joliet_report); });
    } catch (const std::system_error&) {
    }
  }
  const bool primary_ok = lay_out_primary(image.report);
  if (joliet_thread.joinable()) {
    joliet_thread.join();
  } else if (primary_ok) {
    joliet_ok = lay_out_joliet(joliet_report);
  }
  if (!primary_ok) return false;
  if (!joliet_ok) {
    image.report.fail(joliet_report.error.error, joliet_report.error.path,
                      joliet_report.error.system_error);
  }
  return joliet_ok;
}

}  // namespace kestrel::iso9660
