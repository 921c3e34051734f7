// Pinned image hashes: fixed trees with fixed times, built at a fixed build
// time in a fixed time zone, must give byte for byte the images they gave
// when the hashes were recorded. Changes to how the image is written (batch
// sizes, reading ahead, output buffering) must not change a single byte; a
// deliberate change of the image format updates the table below.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/dvd_video.h"
#include "engine_fixture.h"
#include "tests/iso9660/time_zone.h"

namespace kestrel::test {
namespace {

constexpr int64_t pinned_build_time = 1700000000;
constexpr int64_t pinned_first_file_time = 1400000000;

// FNV-1a, 64 bits.
constexpr uint64_t fnv_offset_basis = 0xcbf29ce484222325ull;
constexpr uint64_t fnv_prime = 0x100000001b3ull;

uint64_t hash_file(const NativeString& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::vector<char> chunk(1 << 20);
  uint64_t hash = fnv_offset_basis;
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<size_t>(in.gcount());
    for (size_t i = 0; i < got; ++i) {
      hash ^= static_cast<uint8_t>(chunk[i]);
      hash *= fnv_prime;
    }
  }
  return hash;
}

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
  for (uint32_t i = 0; i < 300; ++i) {
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

struct PinnedImage {
  const char* tree;
  FsSetting setting;
  bool stereo;
  uint64_t hash;
};

// The image of each tree in each layout, as recorded.
const PinnedImage pinned_images[] = {
    {"varied", all_fs_settings[0], false, 0x468b9e727413c62f},
    {"varied", all_fs_settings[1], false, 0x1147b8f0f2803e67},
    {"varied", all_fs_settings[2], false, 0x09579c6c69fd71be},
    {"varied", all_fs_settings[3], false, 0xad1c12555d354f13},
    {"dvd", all_fs_settings[0], false, 0x77d68a4b4710e6f7},
    {"dvd", all_fs_settings[1], false, 0x491bf176060ccf09},
    {"dvd", all_fs_settings[2], false, 0x9c539621e907b250},
    {"dvd", all_fs_settings[3], false, 0x7d85866933b641f1},
    {"bluray", all_fs_settings[0], false, 0x621c9107d61c8c09},
    {"bluray", all_fs_settings[1], false, 0x2c392cf2b951ca45},
    {"bluray", all_fs_settings[2], false, 0x5d8a476179ed2acd},
    {"bluray", all_fs_settings[3], false, 0xd7b0fb7980d2a7be},
    {"bluray", all_fs_settings[3], true, 0x1c0a49c92fd4052a},
};

void PrintTo(const PinnedImage& pinned, std::ostream* out) {
  *out << pinned.tree << " " << pinned.setting.name << (pinned.stereo ? " stereo" : "");
}

std::string pinned_name(const ::testing::TestParamInfo<PinnedImage>& info) {
  return std::string(info.param.tree) + "_" + info.param.setting.name +
         (info.param.stereo ? "_stereo" : "");
}

class PinnedImageHash : public ::testing::TestWithParam<PinnedImage> {};

TEST_P(PinnedImageHash, ImageBytesAreUnchanged) {
  const PinnedImage& pinned = GetParam();
  TimeZoneGuard zone("UTC0");
  ScratchFolder source(std::string("pinned-") + pinned.tree);
  const std::string_view tree = pinned.tree;
  if (tree == "varied") make_varied_tree(source);
  if (tree == "dvd") make_dvd_tree(source);
  if (tree == "bluray") make_bluray_tree(source);
  ScratchFolder output("pinned-out");

  auto writer = std::make_unique<ImageWriter>(pinned_build_time);
  writer->settings.fs_flags = pinned.setting.fs_flags;
  writer->settings.udf_revision = pinned.setting.udf_revision;
  writer->tree.source_folder = source.path() + native_separator;
  if (pinned.stereo)
    writer->stereo_pairs = std::make_unique<bluray::StereoPairList>(one_stereo_pair());
  ASSERT_TRUE(scan_source(*writer));
  ASSERT_EQ(pinned.stereo, writer->tree.stereo_folder != nullptr);
  int64_t clock = pinned_first_file_time;
  pin_tree(*writer, *writer->tree.root, clock);
  ASSERT_NE(writer->lay_out(), 0u);
  const NativeString image = output.at("image.iso");
  ASSERT_TRUE(writer->write_image(image, nullptr, nullptr))
      << static_cast<int>(writer->report.error.error);
  ASSERT_EQ(file_size(image), uint64_t{writer->layout.image_sectors} * sector_bytes);

  char actual[24];
  std::snprintf(actual, sizeof actual, "0x%016" PRIx64, hash_file(image));
  char expected[24];
  std::snprintf(expected, sizeof expected, "0x%016" PRIx64, pinned.hash);
  EXPECT_STREQ(actual, expected);
}

INSTANTIATE_TEST_SUITE_P(Trees, PinnedImageHash, ::testing::ValuesIn(pinned_images), pinned_name);

}  // namespace
}  // namespace kestrel::test
