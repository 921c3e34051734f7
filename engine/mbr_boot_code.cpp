// The hybrid MBR boot code of GRUB and ISOLINUX: how each file is known by
// its bytes, which BIOS loader it starts, and what that loader expects of the
// image (boot_platforms.h).
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "engine/boot_platforms.h"
#include "platform/file_system.h"

namespace kestrel {
namespace {

// GRUB's boot_hybrid.img is a whole MBR, 512 bytes with the boot signature,
// that names itself; it differs from GRUB's plain boot.img in the
// instruction that loads the next stage's block from byte 0x1B0
// (mov ebx, [0x7DB0]) where boot.img reads 0x5C.
constexpr size_t grub_code_bytes = 512;
constexpr std::string_view grub_name = "GRUB ";
constexpr uint8_t grub_hybrid_load[] = {0x66, 0x8B, 0x1E, 0xB0, 0x7D};
constexpr uint8_t mbr_signature[] = {0x55, 0xAA};
constexpr size_t mbr_signature_offset = 510;

// ISOLINUX's isohdp*.bin are the 432 bytes of boot code alone; they begin
// with 32 bytes that do nothing (xor bp, bp and no-operations), which
// xorriso's documentation also relies on, and say what they look for.
constexpr size_t isolinux_code_bytes = 432;
constexpr size_t isolinux_idle_bytes = 32;
constexpr uint8_t xor_bp_bp[] = {0x33, 0xED};
constexpr uint8_t no_operation = 0x90;
constexpr std::string_view isolinux_missing = "isolinux.bin missing or corrupt";

// isolinux.bin's hybrid signature, which isohdpfx.bin checks at byte 64 of
// what it loaded before it jumps there.
constexpr size_t isolinux_hybrid_signature_offset = 64;
constexpr uint8_t isolinux_hybrid_signature[] = {0xFB, 0xC0, 0x78, 0x70};

// GRUB's El Torito core image: the 2048-byte CD boot sector (4 blocks), then
// the disk boot sector, whose block list's first block (the core's block 5)
// is at byte 500 of it (xorriso's --grub2-boot-info writes the same bytes).
constexpr uint64_t grub_cd_boot_blocks = 4;
constexpr uint32_t grub_block_list_offset = 2048 + 500;
constexpr uint64_t grub_block_list_first = grub_cd_boot_blocks + 1;
constexpr uint64_t grub_core_min_bytes = grub_block_list_offset + 8;

constexpr MbrCodeLoader loaders[] = {
    {MbrCodeKind::none, "", 0, false, 0, 0},
    {MbrCodeKind::grub, "GRUB", grub_cd_boot_blocks, true, grub_block_list_offset,
     grub_block_list_first},
    {MbrCodeKind::isolinux, "ISOLINUX", 0, false, 0, 0},
};

bool contains(const uint8_t* bytes, size_t size, const uint8_t* wanted, size_t count) {
  return std::search(bytes, bytes + size, wanted, wanted + count) != bytes + size;
}

bool contains_text(const uint8_t* bytes, size_t size, std::string_view text) {
  return contains(bytes, size, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

bool is_grub_hybrid(const uint8_t* bytes, size_t size) {
  return size == grub_code_bytes &&
         std::memcmp(bytes + mbr_signature_offset, mbr_signature, sizeof mbr_signature) == 0 &&
         contains(bytes, mbr_boot_code_bytes, grub_hybrid_load, sizeof grub_hybrid_load) &&
         contains_text(bytes, mbr_boot_code_bytes, grub_name);
}

bool is_isolinux_hybrid(const uint8_t* bytes, size_t size) {
  if (size != isolinux_code_bytes) return false;
  if (std::memcmp(bytes, xor_bp_bp, sizeof xor_bp_bp) != 0) return false;
  for (size_t i = sizeof xor_bp_bp; i < isolinux_idle_bytes; ++i) {
    if (bytes[i] != no_operation) return false;
  }
  return contains_text(bytes, size, isolinux_missing);
}

// Reads the first `wanted` bytes of a file, or all of a shorter one.
bool read_head(const NativeString& path, uint8_t* buffer, size_t wanted, size_t& got,
               uint64_t& size) {
  FindEntry entry;
  if (!stat_path(path, entry) || entry.is_directory || entry.is_special) return false;
  FileHandle file;
  if (!file.open(path, file_mode_read)) return false;
  size = entry.size;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(wanted, entry.size));
  got = file.read(buffer, count);
  return got == count;
}

}  // namespace

const MbrCodeLoader& mbr_code_loader(MbrCodeKind kind) {
  for (const MbrCodeLoader& loader : loaders) {
    if (loader.kind == kind) return loader;
  }
  return loaders[0];
}

MbrCodeKind identify_mbr_code(const uint8_t* bytes, size_t size) {
  if (is_grub_hybrid(bytes, size)) return MbrCodeKind::grub;
  if (is_isolinux_hybrid(bytes, size)) return MbrCodeKind::isolinux;
  return MbrCodeKind::none;
}

bool pairs_with(MbrCodeKind kind, const uint8_t* head, size_t head_bytes, uint64_t size) {
  switch (kind) {
    case MbrCodeKind::grub:
      return size >= grub_core_min_bytes &&
             looks_like(BootLoaderKind::grub_core, head, head_bytes, size);
    case MbrCodeKind::isolinux:
      return head_bytes >= isolinux_hybrid_signature_offset + sizeof isolinux_hybrid_signature &&
             std::memcmp(head + isolinux_hybrid_signature_offset, isolinux_hybrid_signature,
                         sizeof isolinux_hybrid_signature) == 0 &&
             looks_like(BootLoaderKind::isolinux, head, head_bytes, size);
    case MbrCodeKind::none: return false;
  }
  return false;
}

MbrCodeCheck check_mbr_code(const NativeString& code_path, const NativeString& bios_file_path,
                            MbrCodeKind& kind) {
  kind = MbrCodeKind::none;
  // One byte more than the largest code file shows a file that is larger.
  uint8_t code[grub_code_bytes + 1] = {};
  size_t got = 0;
  uint64_t size = 0;
  if (!read_head(code_path, code, sizeof code, got, size)) return MbrCodeCheck::unreadable;
  kind = size == got ? identify_mbr_code(code, got) : MbrCodeKind::none;
  if (kind == MbrCodeKind::none) return MbrCodeCheck::unknown_code;
  const auto head = std::make_unique<uint8_t[]>(mbr_pairing_head_bytes);
  if (!read_head(bios_file_path, head.get(), mbr_pairing_head_bytes, got, size) ||
      !pairs_with(kind, head.get(), got, size))
    return MbrCodeCheck::boot_file_mismatch;
  return MbrCodeCheck::ok;
}

}  // namespace kestrel
