// A build driven step by step (scan, layout, write) so that tests can look at
// the tree and the layout values between the steps.
#pragma once

#include <gtest/gtest.h>
#include "engine/image_writer.h"
#include "engine/source_tree.h"

#include "support/test_tree.h"

namespace kestrel::test {

struct FsSetting {
  const char* name;
  uint32_t fs_flags;
  uint16_t udf_revision;
};

inline constexpr FsSetting all_fs_settings[] = {
    {"iso9660", fs_iso9660, udf_revision_102},
    {"bridge", fs_iso9660 | fs_udf, udf_revision_102},
    {"udf102", fs_udf, udf_revision_102},
    {"udf250", fs_udf, udf_revision_250},
};

inline std::unique_ptr<ImageWriter> scanned_writer(const ScratchFolder& folder,
                                                   const FsSetting& setting,
                                                   int64_t build_time = 1700000000) {
  auto writer = std::make_unique<ImageWriter>(build_time);
  writer->settings.fs_flags = setting.fs_flags;
  writer->settings.udf_revision = setting.udf_revision;
  writer->tree.source_folder = folder.path() + native_separator;
  scan_source(*writer);
  return writer;
}

// The child of `directory` with the given image name.
inline SourceNode* child_named(const SourceNode& directory, std::u16string_view name) {
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    if (std::u16string_view(child->name, child->name_length) == name) return child;
  }
  return nullptr;
}

}  // namespace kestrel::test

namespace kestrel::test {
// Names parameterised tests after the file-system setting.
inline std::string fs_setting_name(const ::testing::TestParamInfo<FsSetting>& param_info) {
  return param_info.param.name;
}
}  // namespace kestrel::test
