// The table of boot platforms (boot_platforms.h), with the loaders each is
// recognised by.
#include "engine/boot_platforms.h"

namespace kestrel {
namespace {

// El Torito 2.1 platform IDs.
constexpr uint8_t el_torito_x86 = 0x00;
constexpr uint8_t el_torito_efi = 0xEF;

// A BIOS loads 2048 bytes, one disc sector, when nothing else is asked: every
// BIOS handles that. GRUB and ISOLINUX load the rest themselves through the
// boot information table; the installer boot sector file, which has no
// table, is loaded whole (4 KiB).
constexpr uint16_t bios_load_sectors = 4;
constexpr uint16_t installer_load_sectors = 8;
// A UEFI boot image is loaded whole.
constexpr uint16_t whole_image = 0;

// GRUB's rescue discs keep boot_hybrid.img beside the core image; trees of
// ISOLINUX discs that boot from disks keep isohdpfx.bin beside isolinux.bin.
constexpr BootCandidate bios_candidates[] = {
    {KESTREL_NATIVE("boot/grub/i386-pc/eltorito.img"), BootLoaderKind::grub_core, bios_load_sectors,
     true, KESTREL_NATIVE("boot/grub/i386-pc/boot_hybrid.img"), MbrCodeKind::grub},
    {KESTREL_NATIVE("isolinux/isolinux.bin"), BootLoaderKind::isolinux, bios_load_sectors, true,
     KESTREL_NATIVE("isolinux/isohdpfx.bin"), MbrCodeKind::isolinux},
    {KESTREL_NATIVE("boot/isolinux/isolinux.bin"), BootLoaderKind::isolinux, bios_load_sectors,
     true, KESTREL_NATIVE("boot/isolinux/isohdpfx.bin"), MbrCodeKind::isolinux},
    {KESTREL_NATIVE("isolinux.bin"), BootLoaderKind::isolinux, bios_load_sectors, true,
     KESTREL_NATIVE("isohdpfx.bin"), MbrCodeKind::isolinux},
    {KESTREL_NATIVE("boot/etfsboot.com"), BootLoaderKind::boot_sector, installer_load_sectors,
     false},
};

constexpr BootCandidate uefi_candidates[] = {
    {KESTREL_NATIVE("boot/grub/efi.img"), BootLoaderKind::fat_image, whole_image, false},
    {KESTREL_NATIVE("efi.img"), BootLoaderKind::fat_image, whole_image, false},
    {KESTREL_NATIVE("EFI/BOOT/efiboot.img"), BootLoaderKind::fat_image, whole_image, false},
    {KESTREL_NATIVE("efi/microsoft/boot/efisys.bin"), BootLoaderKind::fat_image, whole_image,
     false},
    {KESTREL_NATIVE("efi/microsoft/boot/efisys_noprompt.bin"), BootLoaderKind::fat_image,
     whole_image, false},
};

constexpr BootPlatformInfo platforms[] = {
    {BootPlatform::bios, "BIOS", "boot-bios", el_torito_x86, bios_load_sectors,
     DiskBoot::mbr_boot_code, bios_candidates},
    {BootPlatform::uefi, "UEFI", "boot-efi", el_torito_efi, whole_image,
     DiskBoot::efi_system_partition, uefi_candidates},
};

}  // namespace

std::span<const BootPlatformInfo> boot_platforms() { return platforms; }

const BootPlatformInfo& boot_platform_info(BootPlatform platform) {
  for (const BootPlatformInfo& info : platforms) {
    if (info.platform == platform) return info;
  }
  return platforms[0];
}

uint16_t boot_load_sectors(const BootFile& file, uint64_t file_bytes) {
  if (file.load_sectors != 0) return file.load_sectors;
  const uint16_t convention = boot_platform_info(file.platform).default_load_sectors;
  if (convention != whole_image) return convention;
  const uint64_t sectors = (file_bytes + virtual_sector_bytes - 1) / virtual_sector_bytes;
  return sectors >= 1 && sectors <= 0xFFFF ? static_cast<uint16_t>(sectors) : 1;
}

}  // namespace kestrel
