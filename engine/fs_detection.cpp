#include "engine/fs_detection.h"

#include <algorithm>
#include <vector>

#include "engine/build_job.h"
#include "engine/dvd_video.h"

namespace kestrel {
namespace {

constexpr std::array<std::u16string_view, disc_folder_count> disc_folder_names = {
    u"BDMV", u"BDAV", dvd_video_folder_name, dvd_audio_folder_name};

bool might_name_disc_folder(const NativeString& name) {
  return std::any_of(disc_folder_names.begin(), disc_folder_names.end(),
                     [&](std::u16string_view wanted) { return name.size() == wanted.size(); });
}

}  // namespace

std::u16string_view disc_folder_name(DiscFolder which) {
  return disc_folder_names[static_cast<size_t>(which)];
}

SourceDescription describe_source(const NativeString& source_folder) {
  SourceDescription description;
  description.listed = true;
  // Names only: a wide source folder costs one listing, and only a name
  // that matches a disc folder's is examined.
  std::vector<NativeString>& names = description.names;
  if (!list_names(source_folder, names, description.list_error)) return description;
  // In byte order, which is close to every order the image records a
  // folder's names in (UDF's, ISO 9660's, Joliet's): the scan examines the
  // entries in the order of this list and makes their nodes one after the
  // other in memory, and each later pass over the folder visits them in
  // name order. In a listing's own order, a hash order on most Linux file
  // systems, each of those visits in a wide folder is a cache miss.
  if (!std::is_sorted(names.begin(), names.end())) std::sort(names.begin(), names.end());
  NativeString folder = source_folder;
  if (!folder.empty() && !is_path_separator(folder.back())) folder += native_separator;
  std::array<bool, disc_folder_count> exact{};
  for (const NativeString& on_disk : names) {
    // The disc folders' names are ASCII, which takes one native unit a
    // character: a name of another length is none of them.
    if (!might_name_disc_folder(on_disk)) continue;
    const std::u16string name = image_name_from_native(on_disk);
    for (size_t i = 0; i < disc_folder_count; ++i) {
      const std::u16string_view wanted = disc_folder_names[i];
      if (exact[i] || !equal_ignoring_ascii_case(name, wanted)) continue;
      FindEntry entry;
      if (!stat_path(folder + on_disk, entry) || !entry.is_directory) continue;
      // A file system that tells case apart may hold "VIDEO_TS" and
      // "video_ts": the one named as the format writes it is the disc folder.
      if (name == wanted || description.on_disk[i].empty()) description.on_disk[i] = on_disk;
      exact[i] = name == wanted;
    }
  }
  for (size_t i = 0; i < disc_folder_count; ++i) {
    if (description.on_disk[i].empty()) continue;
    description.deciding_folder = static_cast<DiscFolder>(i);
    description.kind =
        i <= static_cast<size_t>(DiscFolder::bdav) ? DiscKind::bluray : DiscKind::dvd;
    break;
  }
  return description;
}

LayoutDecision decide_layout(const SourceDescription& source, LayoutChoice choice) {
  switch (source.kind) {
    case DiscKind::bluray: return {fs_code_bluray, LayoutReason::bluray_folder};
    case DiscKind::dvd: return {fs_code_bridge, LayoutReason::dvd_folder};
    case DiscKind::plain: break;
  }
  switch (choice) {
    case LayoutChoice::iso9660: return {fs_code_iso9660, LayoutReason::chosen};
    case LayoutChoice::bridge: return {fs_code_bridge, LayoutReason::chosen};
    case LayoutChoice::udf102: return {fs_code_udf102, LayoutReason::chosen};
    case LayoutChoice::udf250: return {fs_code_udf250, LayoutReason::chosen};
  }
  return {fs_code_udf250, LayoutReason::chosen};
}

int32_t fs_code_for(const NativeString& source_folder, LayoutChoice choice) {
  return decide_layout(describe_source(source_folder), choice).fs_code;
}

}  // namespace kestrel
