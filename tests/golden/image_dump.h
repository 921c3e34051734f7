// A reader's view of a whole image as text: every ISO 9660 and UDF structure
// found by following the image's own pointers (volume descriptors, path
// tables, directories, anchors, descriptor sequences, file entries), each
// field decoded, listed in sector order together with the file data extents
// and the runs of zero sectors between them. Every non-zero byte of the image
// must be explained by a decoded field or by file data; any other is listed
// as unexplained. So two images are byte-identical exactly when their dumps
// are, and when they differ, the dumps show which field moved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::test {

std::string dump_image(const std::vector<uint8_t>& image);

}  // namespace kestrel::test
