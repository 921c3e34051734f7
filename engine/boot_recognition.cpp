// Recognising the boot loaders of a folder copied from a bootable disc (see
// recognise_boot_files in boot_platforms.h): a file counts only where a
// loader puts it and when its first bytes are what that loader's file starts
// with.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "disc/field_writer.h"
#include "engine/boot_files.h"
#include "engine/boot_platforms.h"
#include "platform/file_system.h"

namespace kestrel {
namespace {

// Bytes of a candidate read for its checks: all of a boot sector file or of
// ISOLINUX, the start of anything larger.
constexpr size_t head_limit = 64 * 1024;

// GRUB's El Torito core image starts with its CD boot sector: a call to the
// next instruction and a short jump over the boot information table, then
// the rest of the core; it is always longer than that one sector.
constexpr uint8_t grub_core_start[] = {0xE8, 0x00, 0x00, 0xEB};
constexpr uint64_t grub_core_min_bytes = 2048 + 1;

// ISOLINUX starts with "cli" and a far jump, and names itself in its text.
constexpr uint8_t isolinux_start[] = {0xFA, 0xEA};
constexpr std::string_view isolinux_name = "ISOLINUX";

// A no-emulation boot sector file of installer discs: whole 2048-byte
// sectors of machine code, at most 64 KiB, starting with one of the first
// instructions of boot code (cli, a jump, or clearing a register) and
// binary, not text.
constexpr uint8_t boot_code_first_bytes[] = {0xFA, 0xEB, 0xE9, 0xEA, 0x33, 0x31};
constexpr uint64_t boot_sector_file_max_bytes = 64 * 1024;
constexpr size_t binary_probe_bytes = 64;

// A FAT boot sector (the first sector of the UEFI image): a jump, the BIOS
// parameter block and the signature 0x55 0xAA at bytes 510 and 511.
constexpr size_t fat_signature_offset = 510;
constexpr size_t fat_bytes_per_sector_offset = 11;
constexpr size_t fat_sectors_per_cluster_offset = 13;
constexpr size_t fat_reserved_sectors_offset = 14;
constexpr size_t fat_count_offset = 16;
constexpr size_t fat_media_offset = 21;
constexpr size_t fat_boot_sector_bytes = 512;
constexpr uint8_t fat_lowest_media = 0xF0;

bool is_power_of_two(unsigned value) { return value != 0 && (value & (value - 1)) == 0; }

bool starts_with(const uint8_t* head, size_t head_bytes, const uint8_t* prefix, size_t count) {
  return head_bytes >= count && std::memcmp(head, prefix, count) == 0;
}

bool contains_text(const uint8_t* head, size_t head_bytes, std::string_view text) {
  const std::string_view bytes(reinterpret_cast<const char*>(head), head_bytes);
  return bytes.find(text) != std::string_view::npos;
}

bool looks_binary(const uint8_t* head, size_t head_bytes) {
  const size_t count = std::min(head_bytes, binary_probe_bytes);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t c = head[i];
    if (c >= 0x80 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) return true;
  }
  return false;
}

bool looks_like_fat(const uint8_t* head, size_t head_bytes) {
  if (head_bytes < fat_boot_sector_bytes) return false;
  if (head[fat_signature_offset] != 0x55 || head[fat_signature_offset + 1] != 0xAA) return false;
  if (!(head[0] == 0xEB && head[2] == 0x90) && head[0] != 0xE9) return false;
  const unsigned bytes_per_sector = read_le16(head + fat_bytes_per_sector_offset);
  return bytes_per_sector >= 512 && bytes_per_sector <= 4096 && is_power_of_two(bytes_per_sector) &&
         is_power_of_two(head[fat_sectors_per_cluster_offset]) &&
         read_le16(head + fat_reserved_sectors_offset) >= 1 && head[fat_count_offset] >= 1 &&
         head[fat_media_offset] >= fat_lowest_media;
}

// The names of the folders listed so far: a wide source folder is listed at
// most once, however many candidates are looked for in it. The source
// folder's own names are the description's, used where they are.
struct FolderListings {
  const NativeString& source_folder;
  const std::vector<NativeString>& source_names;
  std::map<NativeString, std::vector<NativeString>> below;
};

const std::vector<NativeString>& names_in(FolderListings& listings, const NativeString& folder) {
  if (folder == listings.source_folder) return listings.source_names;
  const auto found = listings.below.find(folder);
  if (found != listings.below.end()) return found->second;
  std::vector<NativeString>& names = listings.below[folder];
  // Names only: the entries are not examined. A folder that cannot be listed
  // holds no loader.
  SystemError error = 0;
  if (!list_names(folder, names, error)) names.clear();
  return names;
}

// The entry of `folder` named `name` but for case, preferring the exact name.
bool find_entry(FolderListings& listings, const NativeString& folder, NativeStringView name,
                NativeString& on_disk) {
  if (path_exists(folder + NativeString(name))) {
    on_disk = name;
    return true;
  }
  for (const NativeString& listed : names_in(listings, folder)) {
    if (same_name_ignoring_case(listed, name)) {
      on_disk = listed;
      return true;
    }
  }
  return false;
}

// The candidate's path as it is on disk ('/'-separated), or empty.
NativeString find_on_disk(FolderListings& listings, const NativeString& source_folder,
                          NativeStringView path) {
  NativeString folder = source_folder;
  NativeString relative;
  size_t at = 0;
  while (at < path.size()) {
    size_t end = path.find('/', at);
    if (end == NativeStringView::npos) end = path.size();
    NativeString on_disk;
    if (!find_entry(listings, folder, path.substr(at, end - at), on_disk)) return {};
    folder += on_disk;
    relative += on_disk;
    if (end < path.size()) {
      folder += native_separator;
      relative += '/';
    }
    at = end + 1;
  }
  return relative;
}

bool candidate_matches(const NativeString& file_path, BootLoaderKind kind) {
  FindEntry entry;
  if (!stat_path(file_path, entry) || entry.is_directory || entry.is_special) return false;
  FileHandle file;
  if (!file.open(file_path, file_mode_read)) return false;
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(entry.size, head_limit));
  const auto head = std::make_unique<uint8_t[]>(head_limit);
  if (file.read(head.get(), wanted) != wanted) return false;
  return looks_like(kind, head.get(), wanted, entry.size);
}

NativeString native_path_of(const NativeString& folder, const NativeString& relative) {
  NativeString path = folder + relative;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(folder.size()), path.end(),
               NativeChar('/'), native_separator);
  return path;
}

// The hybrid MBR boot code that the loader's disc keeps beside it, when it is
// there, is that loader's code and pairs with the loader found.
void recognise_mbr_code(FolderListings& listings, const NativeString& folder,
                        const BootCandidate& candidate, const NativeString& loader,
                        BootSetup& setup) {
  if (candidate.mbr_code_path == nullptr) return;
  const NativeString relative = find_on_disk(listings, folder, candidate.mbr_code_path);
  if (relative.empty()) return;
  MbrCodeKind kind = MbrCodeKind::none;
  if (check_mbr_code(native_path_of(folder, relative), loader, kind) != MbrCodeCheck::ok ||
      kind != candidate.mbr_code)
    return;
  setup.mbr_code = MbrBootCode{kind, relative, true};
}

void recognise_first(FolderListings& listings, const NativeString& folder,
                     const BootPlatformInfo& platform, BootSetup& setup) {
  for (const BootCandidate& candidate : platform.candidates) {
    const NativeString relative = find_on_disk(listings, folder, candidate.path);
    if (relative.empty()) continue;
    const NativeString file_path = native_path_of(folder, relative);
    if (!candidate_matches(file_path, candidate.kind)) continue;
    setup.files.push_back(
        BootFile{platform.platform, relative, candidate.load_sectors, candidate.info_table});
    recognise_mbr_code(listings, folder, candidate, file_path, setup);
    return;
  }
}

}  // namespace

bool looks_like(BootLoaderKind kind, const uint8_t* head, size_t head_bytes, uint64_t size) {
  switch (kind) {
    case BootLoaderKind::grub_core:
      return size >= grub_core_min_bytes &&
             starts_with(head, head_bytes, grub_core_start, sizeof grub_core_start);
    case BootLoaderKind::isolinux:
      return size <= head_limit &&
             starts_with(head, head_bytes, isolinux_start, sizeof isolinux_start) &&
             contains_text(head, head_bytes, isolinux_name);
    case BootLoaderKind::boot_sector:
      return size >= 2048 && size <= boot_sector_file_max_bytes && size % 2048 == 0 &&
             head_bytes > 0 &&
             std::find(std::begin(boot_code_first_bytes), std::end(boot_code_first_bytes),
                       head[0]) != std::end(boot_code_first_bytes) &&
             looks_binary(head, head_bytes) && !looks_like_fat(head, head_bytes);
    case BootLoaderKind::fat_image:
      return size >= fat_boot_sector_bytes && looks_like_fat(head, head_bytes);
  }
  return false;
}

BootSetup recognise_boot_files(const NativeString& source_folder, const SourceDescription& source) {
  BootSetup setup;
  NativeString folder = source_folder;
  if (!folder.empty() && !is_path_separator(folder.back())) folder += native_separator;
  if (folder.empty() || source.kind != DiscKind::plain) return setup;
  FolderListings listings{folder, source.names, {}};
  for (const BootPlatformInfo& platform : boot_platforms())
    recognise_first(listings, folder, platform, setup);
  return setup;
}

}  // namespace kestrel
