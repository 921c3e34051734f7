// Which file system a source folder gets: the user's choice, unless the
// folder is a Blu-ray or DVD folder, whose players expect one layout.
#pragma once

#include <cstdint>

#include "disc/boot_catalog.h"
#include "platform/native_text.h"

namespace kestrel {

// The layout choices offered to the user, in the order of the main window's list.
enum class LayoutChoice : int32_t {
  iso9660 = 0,
  bridge = 1,  // ISO 9660 + UDF 1.02 (DVD)
  udf102 = 2,
  udf250 = 3,  // UDF 2.50 (BD/UHD)
};

// The file-system code for start_build: a source holding "BDMV" or "BDAV"
// becomes a Blu-ray image (code 3), one holding "VIDEO_TS" or "AUDIO_TS" a
// DVD bridge image (code 2); otherwise the choice decides.
int32_t fs_code_for(const NativeString& source_folder, LayoutChoice choice);

// True when the source is a Blu-ray or DVD folder, whose layout is fixed:
// such a source is never made bootable.
bool is_disc_folder(const NativeString& source_folder);

// The boot files of a folder copied from a bootable disc, recognised by their
// places and names (without regard to case) and checked by their contents,
// so that a file that merely has the name makes nothing bootable:
//   BIOS, the first found of
//     boot/grub/i386-pc/eltorito.img   GRUB's El Torito core image
//     isolinux/isolinux.bin, boot/isolinux/isolinux.bin, isolinux.bin
//                                      ISOLINUX
//     boot/etfsboot.com                the boot sector file of installer discs
//   UEFI, the first found of
//     boot/grub/efi.img, efi.img, EFI/BOOT/efiboot.img,
//     efi/microsoft/boot/efisys.bin, efi/microsoft/boot/efisys_noprompt.bin
//                                      a FAT image holding the loader
// Nothing for a Blu-ray or DVD folder.
BootSetup recognise_boot_files(const NativeString& source_folder);

// The content checks of recognise_boot_files, given the first bytes of a
// file (up to 64 KiB) and its size.
enum class BootLoaderKind : uint8_t { grub_core, isolinux, boot_sector, fat_image };
bool looks_like(BootLoaderKind kind, const uint8_t* head, size_t head_bytes, uint64_t size);

}  // namespace kestrel
