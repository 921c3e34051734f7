// Golden images: fixed trees with fixed times, built at a fixed build time in
// a fixed time zone, must give exactly the images recorded as text in
// tests/golden/expected/ (image_dump.h: every structure decoded, every byte
// accounted for). A change shows as a diff of decoded fields.
//
// After a deliberate change of the image format, regenerate the texts and
// review the diff:
//
//   KESTREL_UPDATE_GOLDEN=1 build/tests/kestrel_tests --gtest_filter='Trees/GoldenImage*'
//   git diff tests/golden/expected
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/map_listing.h"
#include "engine/dvd_video.h"
#include "golden/image_dump.h"
#include "support/scanned_tree.h"
#include "support/time_zone.h"
#include "udf/udf_volume.h"

namespace kestrel::test {
namespace {

constexpr int64_t golden_build_time = 1700000000;
constexpr int64_t golden_first_file_time = 1400000000;

bool keeps_scan_order(const ImageWriter& writer, const SourceNode& directory) {
  if (!writer.tree.dvd_video_mode || directory.parent != writer.tree.root ||
      &directory == writer.tree.root)
    return false;
  const std::u16string_view name(directory.name, directory.name_length);
  return name == dvd_audio_folder_name || name == dvd_video_folder_name;
}

// Makes the scanned tree independent of the machine: the platform's listing
// order becomes name order (the DVD folders and their DVD order stay as the
// scan arranged them) and every node gets times from a counter.
void pin_tree(const ImageWriter& writer, SourceNode& directory, int64_t& clock) {
  std::vector<SourceNode*> children;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next)
    children.push_back(child);
  if (!keeps_scan_order(writer, directory)) {
    // At the root of a DVD-video image the two DVD folders stay first.
    const size_t fixed = (&directory == writer.tree.root && writer.tree.dvd_video_mode) ? 2 : 0;
    std::stable_sort(children.begin() + static_cast<ptrdiff_t>(std::min(fixed, children.size())),
                     children.end(), [](const SourceNode* a, const SourceNode* b) {
                       return NativeStringView(a->native_name) < NativeStringView(b->native_name);
                     });
    directory.first_child = children.empty() ? nullptr : children.front();
    for (size_t i = 0; i < children.size(); ++i) {
      children[i]->next = i + 1 < children.size() ? children[i + 1] : nullptr;
    }
  }
  for (SourceNode* child : children) {
    child->created = clock;
    child->modified = clock + 1;
    child->accessed = clock + 2;
    clock += 3;
    if (child->is_directory) pin_tree(writer, *child, clock);
  }
}

void make_varied_tree(const ScratchFolder& folder) {
  folder.file("readme.txt", 3000, 1);
  folder.file("empty.bin", 0, 2);
  folder.file("one.bin", 1, 3);
  folder.file("sector.dat", 2048, 4);
  // Both shorten to one ISO 9660 identifier.
  folder.file("Document1.txt", 10, 5);
  folder.file("Document2.txt", 20, 6);
  folder.file("A rather long file name beyond eight characters.data", 5000, 7);
  folder.file("nested/one/two/three/odd.dat", 2049, 9);
  // Just over one copy batch, and several batches ending mid-sector.
  folder.file("nested/batch.dat", (1u << 20) + 3, 10);
  folder.file("nested/big.dat", (3u << 20) - 1000, 11);
  folder.folder("empty folder");
  // Enough records that ISO 9660 records skip to the next sector and UDF
  // file identifiers run across a block boundary.
  for (uint32_t i = 0; i < 60; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "wide/f%04u.bin", (i * 7919u) % 1000u);
    folder.file(name, (i * 37u) % 5000u, 100 + i);
  }
}

void make_dvd_tree(const ScratchFolder& folder) {
  folder.file("VIDEO_TS/VIDEO_TS.IFO", 4096, 1);
  folder.file("VIDEO_TS/VIDEO_TS.VOB", 10000, 2);
  folder.file("VIDEO_TS/VIDEO_TS.BUP", 4096, 3);
  folder.file("VIDEO_TS/VTS_01_0.IFO", 2048, 4);
  folder.file("VIDEO_TS/VTS_01_1.VOB", 70000, 5);
  folder.file("VIDEO_TS/VTS_01_0.BUP", 2048, 6);
  folder.file("extra/notes.txt", 50, 7);
}

void make_bluray_tree(const ScratchFolder& folder) {
  folder.file("BDMV/STREAM/00001.m2ts", 5 * 2048, 1);
  folder.file("BDMV/STREAM/00002.m2ts", 7 * 2048, 2);
  folder.file("BDMV/STREAM/00003.m2ts", 4096 + 7, 3);
  folder.file("BDMV/index.bdmv", 100, 4);
}

// Clips of 130 one-sector extents each: more allocation descriptors than an
// entry holds, and a base clip whose last extent ends inside its sector.
constexpr uint32_t many_extents = 130;
void make_many_extents_tree(const ScratchFolder& folder) {
  folder.file("BDMV/STREAM/00001.m2ts", many_extents * 2048 - 100, 1);
  folder.file("BDMV/STREAM/00002.m2ts", many_extents * 2048, 2);
}

bluray::StereoPairList one_stereo_pair() {
  bluray::StereoPair pair;
  pair.base_clip = 1;
  pair.dependent_clip = 2;
  pair.base_extents = {2, 3};
  pair.dependent_extents = {3, 4};
  pair.base_sectors = 5;
  pair.dependent_sectors = 7;
  return {pair};
}

bluray::StereoPairList many_extents_pair() {
  bluray::StereoPair pair;
  pair.base_clip = 1;
  pair.dependent_clip = 2;
  pair.base_extents.assign(many_extents, 1);
  pair.dependent_extents.assign(many_extents, 1);
  pair.base_sectors = pair.dependent_sectors = many_extents;
  return {pair};
}

// A folder copied from a bootable disc: a BIOS loader that wants the boot
// information table, a UEFI image, and the old disc's catalog, which stays an
// ordinary file.
void make_boot_tree(const ScratchFolder& folder) {
  folder.file("boot/grub/i386-pc/eltorito.img", 5000, 1);
  folder.file("efi.img", 3 * 2048 + 512, 2);
  folder.file("boot.cat", 2048, 3);
  folder.file("boot/grub/grub.cfg", 150, 4);
}

// Names that are already valid, unique ISO 9660 level 1 identifiers (upper
// case d-characters, 8.3, folders eight levels deep at most): the primary
// volume records them as they are.
void make_plain_tree(const ScratchFolder& folder) {
  folder.file("README.TXT", 3000, 1);
  folder.file("EMPTY.BIN", 0, 2);
  folder.file("SECTOR.DAT", 2048, 3);
  folder.file("NOEXT", 10, 4);
  folder.file("A/B/C/D/E/F/G/DEEP.TXT", 2049, 5);
  folder.file("A/B/C/D/E/F/G/LAST", 7, 6);
  folder.file("DATA/BATCH.DAT", (1u << 20) + 3, 7);
  folder.folder("EMPTYDIR");
  for (uint32_t i = 0; i < 60; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "WIDE/F%04u.BIN", (i * 7919u) % 1000u);
    folder.file(name, (i * 37u) % 5000u, 100 + i);
  }
  folder.file("BOOT/LOADER.BIN", 5000, 8);
  folder.file("BOOT/EFI.IMG", 3 * 2048 + 512, 9);
}

// Names each name extension records its own way: folders seventeen deep
// (Rock Ridge relocates two of them), a name of 255 bytes (two NM entries,
// in a continuation area), names that differ in case only, characters that
// Joliet forbids, a name longer than Joliet holds, a character beyond the
// Basic Multilingual Plane and an executable file. POSIX names: the build
// under Windows records other names and no execute bits.
void make_names_tree(const ScratchFolder& folder) {
  folder.file("a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/deep.txt", 100, 1);
  folder.file("a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/r/s/deeper.txt", 200, 2);
  folder.file(std::string(251, 'n') + ".dat", 10, 3);
  folder.file("README", 1, 4);
  folder.file("readme", 2, 5);
  folder.file("ReadMe", 3, 6);
  folder.file("semi;colon?.txt", 4, 7);
  folder.file("...", 5, 8);
  folder.file("A rather long file name that Joliet cannot hold in its sixty-four units.txt", 6, 9);
  folder.file("smile \xf0\x9f\x98\x80.txt", 7, 10);
  folder.file("run.sh", 8, 11);
  std::filesystem::permissions(std::filesystem::path(folder.at("run.sh")),
                               std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
}

BootSetup plain_boot_files() {
  return BootSetup{{BootFile{BootPlatform::bios, native("BOOT/LOADER.BIN"), 4, true},
                    BootFile{BootPlatform::uefi, native("BOOT/EFI.IMG"), 0, false}}};
}

BootSetup grub_boot_files() {
  return BootSetup{{BootFile{BootPlatform::bios, native("boot/grub/i386-pc/eltorito.img"), 4, true},
                    BootFile{BootPlatform::uefi, native("efi.img"), 0, false}}};
}

struct GoldenImage {
  const char* name;
  void (*make_tree)(const ScratchFolder&);
  FsSetting setting;
  bluray::StereoPairList (*pairs)();
  const char* time_zone;
  const char16_t* label;
  BootSetup (*boot)();
  NameExtensions extensions = {};  // of the ISO 9660 volume
  bool posix_names = false;        // the tree's names are POSIX only
};

// The name extensions of an image as the build job writes it by default.
constexpr NameExtensions both_extensions{true, true};

const GoldenImage golden_images[] = {
    {"varied_iso9660", make_varied_tree, all_fs_settings[0], nullptr, "UTC0", u"", nullptr,
     both_extensions},
    {"varied_bridge", make_varied_tree, all_fs_settings[1], nullptr, "UTC0", u"Varied", nullptr,
     both_extensions},
    {"varied_udf102", make_varied_tree, all_fs_settings[2], nullptr, "UTC0", u"", nullptr},
    {"varied_udf250", make_varied_tree, all_fs_settings[3], nullptr, "UTC0", u"Varied ✓", nullptr},
    // Asked for extensions, a DVD-video image keeps its plain volume.
    {"dvd_bridge", make_dvd_tree, all_fs_settings[1], nullptr, "CET-1", u"Film", nullptr,
     both_extensions},
    {"bluray_udf102", make_bluray_tree, all_fs_settings[2], nullptr, "UTC0", u"", nullptr},
    {"bluray_udf250", make_bluray_tree, all_fs_settings[3], nullptr, "UTC0", u"", nullptr},
    {"bluray_udf250_stereo", make_bluray_tree, all_fs_settings[3], one_stereo_pair, "UTC0", u"",
     nullptr},
    {"bluray_udf250_many_extents", make_many_extents_tree, all_fs_settings[3], many_extents_pair,
     "UTC0", u"", nullptr},
    {"boot_bridge", make_boot_tree, all_fs_settings[1], nullptr, "UTC0", u"Rescue", grub_boot_files,
     both_extensions},
    {"names_iso9660", make_names_tree, all_fs_settings[0], nullptr, "UTC0", u"Names \u65e5\u672c",
     nullptr, both_extensions, true},
    {"plain_iso9660", make_plain_tree, all_fs_settings[0], nullptr, "UTC0", u"Plain", nullptr},
    {"plain_bridge_boot", make_plain_tree, all_fs_settings[1], nullptr, "UTC0", u"Plain",
     plain_boot_files},
};

void PrintTo(const GoldenImage& golden, std::ostream* out) { *out << golden.name; }

std::string expected_path(const GoldenImage& golden) {
  return std::string(KESTREL_GOLDEN_DIR) + "/" + golden.name + ".txt";
}

void set_identifier(uint8_t (&field)[23], const char* text) {
  std::memset(field, 0, sizeof field);
  field[0] = '*';
  std::memcpy(field + 1, text, std::strlen(text));
}

class GoldenImageTest : public ::testing::TestWithParam<GoldenImage> {};

TEST_P(GoldenImageTest, MatchesTheRecordedDump) {
  const GoldenImage& golden = GetParam();
#ifdef _WIN32
  if (golden.posix_names) GTEST_SKIP() << "the tree's names and modes are those of POSIX systems";
#endif
  TimeZoneGuard zone(golden.time_zone);
  ScratchFolder source(std::string("golden-") + golden.name);
  golden.make_tree(source);

  ImageWriter writer(golden_build_time);
  writer.settings.fs_flags = golden.setting.fs_flags;
  writer.settings.udf_revision = golden.setting.udf_revision;
  writer.tree.source_folder = source.path() + native_separator;
  set_identifier(writer.settings.implementation_id, "Kestrel");
  set_identifier(writer.settings.application_id, "Kestrel 1.5");
  set_volume_label(writer.settings, golden.label);
  writer.settings.name_extensions = golden.extensions;
  if (golden.pairs != nullptr)
    writer.stereo_pairs = std::make_unique<bluray::StereoPairList>(golden.pairs());
  if (golden.boot != nullptr) writer.boot_request = golden.boot();
  ASSERT_TRUE(scan_source(writer));
  ASSERT_EQ(golden.pairs != nullptr, writer.tree.stereo_folder != nullptr);
  int64_t clock = golden_first_file_time;
  pin_tree(writer, *writer.tree.root, clock);
  ASSERT_NE(writer.lay_out(), 0u);
  MemorySectorOutput image;
  ASSERT_TRUE(writer.write_sequence(image, nullptr, nullptr))
      << static_cast<int>(writer.report.error.error);
  ASSERT_EQ(image.bytes.size(), uint64_t{writer.layout.image_sectors} * sector_bytes);

  const std::string dump =
      "== map\n" + cli::format_disc_map(writer.map) + "== image\n" + dump_image(image.bytes);
  EXPECT_EQ(dump.find("UNEXPLAINED"), std::string::npos);
  EXPECT_EQ(dump.find("BAD-"), std::string::npos);
  const char* update = std::getenv("KESTREL_UPDATE_GOLDEN");
  if (update != nullptr && *update != '\0') {
    std::ofstream(expected_path(golden), std::ios::binary) << dump;
    GTEST_SKIP() << "recorded " << expected_path(golden);
  }
  std::ifstream in(expected_path(golden), std::ios::binary);
  ASSERT_TRUE(in) << expected_path(golden) << " is missing";
  std::stringstream expected;
  expected << in.rdbuf();
  // The first differing line, then the whole text for the diff.
  std::istringstream want(expected.str()), got(dump);
  std::string want_line, got_line;
  for (int line = 1; std::getline(want, want_line); ++line) {
    if (!std::getline(got, got_line)) got_line = "(end of dump)";
    ASSERT_EQ(got_line, want_line)
        << "first difference at line " << line << " of " << expected_path(golden);
  }
  EXPECT_EQ(dump, expected.str());
}

INSTANTIATE_TEST_SUITE_P(Trees, GoldenImageTest, ::testing::ValuesIn(golden_images),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace kestrel::test
