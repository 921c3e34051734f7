// Builds driven step by step (scan, layout, write) so that tests can look at
// the tree and the layout values between the steps, and whole builds through
// the build job, as the front ends run them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_job.h"
#include "engine/image_writer.h"
#include "engine/source_tree.h"
#include "support/scratch_folder.h"

namespace kestrel::test {

struct FsSetting {
  const char* name;
  uint32_t fs_flags;
  uint16_t udf_revision;
  int32_t fs_code;  // the same setting as the build job takes it
};

inline constexpr FsSetting all_fs_settings[] = {
    {"iso9660", fs_iso9660, udf_revision_102, fs_code_iso9660},
    {"bridge", fs_iso9660 | fs_udf, udf_revision_102, fs_code_bridge},
    {"udf102", fs_udf, udf_revision_102, fs_code_udf102},
    {"udf250", fs_udf, udf_revision_250, fs_code_udf250},
};

// Names parameterised tests after the file-system setting.
inline std::string fs_setting_name(const ::testing::TestParamInfo<FsSetting>& param_info) {
  return param_info.param.name;
}

// A writer with `folder` scanned by the real scan, not yet laid out, with the
// name extensions a build job writes by default.
std::unique_ptr<ImageWriter> scanned_writer(const ScratchFolder& folder, const FsSetting& setting,
                                            int64_t build_time = 1700000000);

// An image built in memory.
struct MemoryImage {
  std::vector<uint8_t> bytes;
  const uint8_t* sector(uint64_t n) const { return bytes.data() + n * sector_bytes; }
  size_t sectors() const { return bytes.size() / sector_bytes; }
};

// Scans `source` into the prepared `writer`, lays it out and writes the
// image into memory; false when a step failed.
bool build_in_memory(ImageWriter& writer, const ScratchFolder& source, MemoryImage& image);

// The child of `directory` with the given image name.
SourceNode* child_named(const SourceNode& directory, std::u16string_view name);

// Builds an image synchronously and returns the finished job.
std::unique_ptr<BuildJob> build_image(const NativeString& source, int32_t fs_code,
                                      const NativeString& output, std::u16string_view label = u"");

}  // namespace kestrel::test
