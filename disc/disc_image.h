// The image being built, as the ISO 9660 and UDF code sees it: what it is to
// be, the tree it holds, the sectors the layout gave everything, and the
// report of how the build went. The engine's ImageWriter is one.
#pragma once

#include "disc/boot_catalog.h"
#include "disc/build_report.h"
#include "disc/image_tree.h"
#include "disc/volume_layout.h"
#include "disc/volume_settings.h"

namespace kestrel {

struct DiscImage {
  VolumeSettings settings;
  ImageTree tree;
  VolumeLayout layout;
  BuildReport report;
  BootCatalog boot;  // empty unless the image is bootable
};

// The native path of a directory node in the source folder, ending in a
// separator.
NativeString node_path(const DiscImage& image, const SourceNode& directory);

// The native path of any node (files without a trailing separator).
NativeString node_file_path(const DiscImage& image, const SourceNode& node);

}  // namespace kestrel
