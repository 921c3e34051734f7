// The boot files of a bootable image, found in the scanned tree.
#pragma once

#include "engine/image_writer.h"

namespace kestrel {

// Finds each file of `writer.boot_request` in the tree and fills
// `writer.boot`: the node, the sectors the firmware loads and, for a loader
// that wants the boot information table, the table's checksum, read from the
// source now so that the table is known before the data area is written.
// False, with the build failed, when a boot file is not a plain file of the
// tree, is empty, is larger than one ISO 9660 extent, is too short for a
// table, or cannot be read.
bool resolve_boot_images(ImageWriter& writer);

// The sum of the 32-bit little-endian words of the file at `path` from byte
// 64 on, as the boot information table records it; false with the system's
// error when the file cannot be read, or with error 0 when it is shorter
// than `size`.
bool sum_boot_file(const NativeString& path, uint64_t size, uint32_t& checksum, SystemError& error);

// True when `a` and `b` are the same name but for the case of "A"-"Z".
bool same_name_ignoring_case(NativeStringView a, NativeStringView b);

}  // namespace kestrel
