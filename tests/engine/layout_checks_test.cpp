// Every structure starts where the layout put it: when the writing and the
// layout disagree, the build fails with layout_mismatch instead of writing an
// image whose addresses point at the wrong sectors. Each case moves one thing
// the layout fixed after the layout ran, as a bug in either pass would.
#include <gtest/gtest.h>

#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

DiscArea& area_named(ImageWriter& writer, std::string_view name) {
  for (DiscArea& area : writer.map.areas) {
    if (area.name == name) return area;
  }
  ADD_FAILURE() << "no area " << name;
  return writer.map.areas.front();
}

SourceNode& node(ImageWriter& writer, std::u16string_view folder, std::u16string_view name) {
  SourceNode* parent = folder.empty() ? writer.tree.root : child_named(*writer.tree.root, folder);
  SourceNode* found = parent == nullptr ? nullptr : child_named(*parent, name);
  if (found == nullptr) ADD_FAILURE() << "no node";
  return found != nullptr ? *found : *writer.tree.root;
}

struct Mismatch {
  const char* name;
  FsSetting setting;
  void (*move)(ImageWriter& writer);
};

const Mismatch mismatches[] = {
    {"AreaEndsElsewhere", all_fs_settings[1],
     [](ImageWriter& w) { ++area_named(w, "ISO 9660 directories").sector_count; }},
    // The last anchor planned to start one sector inside the file data, and
    // to take two sectors, so that written after the data it would still end
    // where planned.
    {"AreaStartsInsideTheOneBefore", all_fs_settings[2],
     [](ImageWriter& w) {
       DiscArea& anchor = w.map.areas.back();
       anchor.first_sector = area_named(w, "file data").end_sector() - 1;
       anchor.sector_count = 2;
     }},
    {"IsoDirectoryElsewhere", all_fs_settings[0],
     [](ImageWriter& w) {
       for (iso9660::IsoDirectory& directory : w.iso.primary.directories) {
         if (directory.node == &node(w, u"", u"d")) ++directory.sector;
       }
     }},
    {"UdfIdentifiersElsewhere", all_fs_settings[2],
     [](ImageWriter& w) { ++node(w, u"", u"d").fid_block; }},
    {"UdfEntryElsewhere", all_fs_settings[3],
     [](ImageWriter& w) { ++node(w, u"", u"a.txt").icb_block; }},
    {"UdfStructureOfAnotherSize", all_fs_settings[3],
     [](ImageWriter& w) { ++w.layout.file_structure_blocks; }},
    {"FileDataElsewhere", all_fs_settings[1],
     [](ImageWriter& w) { ++node(w, u"d", u"f.bin").data_offset; }},
};

void PrintTo(const Mismatch& mismatch, std::ostream* out) { *out << mismatch.name; }

class LayoutChecks : public ::testing::TestWithParam<Mismatch> {};

TEST_P(LayoutChecks, AWritingThatLeavesTheLayoutFailsTheBuild) {
  ScratchFolder source("layout-checks");
  source.file("a.txt", 3000);
  source.file("d/f.bin", 100);
  source.file("d/e/g.bin", 10);
  auto writer = scanned_writer(source, GetParam().setting);
  ASSERT_NE(writer->lay_out(), 0u);
  GetParam().move(*writer);
  MemorySectorOutput image;
  EXPECT_FALSE(writer->write_sequence(image, nullptr, nullptr));
  EXPECT_EQ(writer->report.error.error, BuildError::layout_mismatch);
}

INSTANTIATE_TEST_SUITE_P(Moved, LayoutChecks, ::testing::ValuesIn(mismatches),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace kestrel::test
