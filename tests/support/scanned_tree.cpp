#include "support/scanned_tree.h"

#include <cstring>

#include "engine/sector_output.h"
#include "engine/source_tree.h"

namespace kestrel::test {

std::unique_ptr<ImageWriter> scanned_writer(const ScratchFolder& folder, const FsSetting& setting,
                                            int64_t build_time) {
  auto writer = std::make_unique<ImageWriter>(build_time);
  writer->settings.fs_flags = setting.fs_flags;
  writer->settings.udf_revision = setting.udf_revision;
  // The extensions a build job writes when none are chosen.
  writer->settings.name_extensions = default_name_extensions;
  writer->tree.source_folder = folder.path() + native_separator;
  scan_source(*writer);
  return writer;
}

bool build_in_memory(ImageWriter& writer, const ScratchFolder& source, MemoryImage& image) {
  writer.tree.source_folder = source.path() + native_separator;
  std::memcpy(writer.settings.implementation_id, "*Kestrel", 8);
  std::memcpy(writer.settings.application_id, "*Kestrel 1.5", 12);
  if (!scan_source(writer) || writer.lay_out() == 0) return false;
  MemorySectorOutput sink;
  const bool ok = writer.write_sequence(sink, nullptr, nullptr);
  image.bytes = std::move(sink.bytes);
  return ok;
}

SourceNode* child_named(const SourceNode& directory, std::u16string_view name) {
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    if (std::u16string_view(child->name, child->name_length) == name) return child;
  }
  return nullptr;
}

std::unique_ptr<BuildJob> build_image(const NativeString& source, int32_t fs_code,
                                      const NativeString& output, std::u16string_view label) {
  return start_build(source, label, fs_code, output, "Kestrel", "Kestrel 1.5", false);
}

}  // namespace kestrel::test
