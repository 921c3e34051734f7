// Fuzz target: the whole stereoscopic analysis of a Blu-ray movie folder and
// the interleaved arrangement the engine builds from it. The input becomes a
// small movie folder on disk (under /dev/shm when it exists, one folder per
// process, rewritten for every input):
//
//   4 x u32 LE   sizes in bytes of BDMV/STREAM/00001.m2ts .. 00004.m2ts
//                (sparse files); 0xFFFFFFFF stands for the size the clip's
//                information declares (its source packets x 192 bytes), so
//                that mutated clip information still meets a matching stream
//   then, in this order, index.bdmv, PLAYLIST/00000.mpls,
//   PLAYLIST/00001.mpls and CLIPINF/00001.clpi .. 00004.clpi, each as a
//   u16 LE length and that many bytes (cut short at the end of the input);
//   the length 0xFFFF, or the end of the input, leaves the file out.
//
// The analysis runs over the folder, the scan arranges what it found, and
// every arranged pair is checked: its extents must cover the base-view and
// the dependent-view clip exactly, each sector once, in the interleaved
// order D0 B0 D1 B1 ..., or the image would lose or shift data.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "bluray/clip_info_file.h"
#include "bluray/stereo_analysis.h"
#include "engine/image_writer.h"
#include "engine/source_tree.h"
#include "engine/stereo_arrangement.h"
#include "udf/udf_allocation.h"

namespace {

using kestrel::SourceNode;
using kestrel::bluray::StereoPair;

constexpr int stream_count = 4;
constexpr uint16_t absent_file = 0xFFFF;
constexpr uint32_t size_from_clip_info = 0xFFFFFFFF;
constexpr uint64_t source_packet_bytes = 192;

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "stereo folder fuzz: %s\n", what);
  std::abort();
}

const std::string& movie_root() {
  // Never destroyed: the exit handler below still needs the path.
  static const std::string* const root = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    auto* folder =
        new std::string(std::string(base) + "/kestrel-fuzz-stereo-" + std::to_string(getpid()));
    for (const char* sub : {"", "/BDMV", "/BDMV/PLAYLIST", "/BDMV/CLIPINF", "/BDMV/STREAM"}) {
      mkdir((*folder + sub).c_str(), 0700);
    }
    // libFuzzer ends a timed run through exit(); the folder goes with it.
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(movie_root(), ignored);
    });
    return folder;
  }();
  return *root;
}

// Writes `bytes` to the file, or removes it when `bytes` is null.
void put_file(const std::string& path, const uint8_t* bytes, size_t length) {
  if (bytes == nullptr) {
    unlink(path.c_str());
    return;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) fault("cannot create a navigation file");
  if (length != 0 && write(fd, bytes, length) != static_cast<ssize_t>(length)) fault("short write");
  close(fd);
}

void put_sparse_file(const std::string& path, uint64_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) fault("cannot size a stream file");
  close(fd);
}

uint32_t u32_le(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void write_folder(const uint8_t* data, size_t size) {
  const std::string& root = movie_root();
  const std::string clip_names[stream_count] = {"00001", "00002", "00003", "00004"};
  size_t pos = 0;
  uint32_t stream_sizes[stream_count] = {};
  for (uint32_t& stream_size : stream_sizes) {
    if (size - pos >= 4) {
      stream_size = u32_le(data + pos);
      pos += 4;
    }
  }
  std::vector<std::string> navigation = {root + "/BDMV/index.bdmv",
                                         root + "/BDMV/PLAYLIST/00000.mpls",
                                         root + "/BDMV/PLAYLIST/00001.mpls"};
  for (const std::string& clip : clip_names) {
    navigation.push_back(root + "/BDMV/CLIPINF/" + clip + ".clpi");
  }
  const size_t first_clip_info = navigation.size() - stream_count;
  std::vector<std::pair<const uint8_t*, size_t>> contents(navigation.size(), {nullptr, 0});
  for (auto& [bytes, length] : contents) {
    if (size - pos < 2) {
      pos = size;
      continue;
    }
    const size_t declared = size_t{data[pos]} | size_t{data[pos + 1]} << 8;
    pos += 2;
    if (declared == absent_file) continue;
    bytes = data + pos;
    length = std::min(declared, size - pos);
    pos += length;
  }
  for (size_t i = 0; i < navigation.size(); ++i) {
    put_file(navigation[i], contents[i].first, contents[i].second);
  }

  for (size_t i = 0; i < stream_count; ++i) {
    uint64_t stream_size = stream_sizes[i];
    if (stream_sizes[i] == size_from_clip_info) {
      kestrel::bluray::ClipInfoFile info;
      const auto& [bytes, length] = contents[first_clip_info + i];
      if (bytes != nullptr) kestrel::bluray::read_clip_info_file(bytes, length, info);
      stream_size = uint64_t{info.source_packet_count} * source_packet_bytes;
    }
    put_sparse_file(root + "/BDMV/STREAM/" + clip_names[i] + ".m2ts", stream_size);
  }
}

uint64_t sum_of(const std::vector<uint32_t>& extents) {
  uint64_t sum = 0;
  for (uint32_t length : extents) sum += length;
  return sum;
}

// What the analysis promises for a result it accepts.
void check_analysis(const kestrel::bluray::StereoPairList& pairs) {
  if (pairs.empty()) fault("analysis accepted a folder without pairs");
  for (size_t i = 0; i < pairs.size(); ++i) {
    const StereoPair& pair = pairs[i];
    if (i > 0 && pairs[i - 1].base_clip >= pair.base_clip) fault("pairs out of order");
    for (const auto* side : {&pair.base_extents, &pair.dependent_extents}) {
      if (std::find(side->begin(), side->end(), 0u) != side->end()) fault("empty extent");
    }
    if (!pair.base_extents.empty() && sum_of(pair.base_extents) != pair.base_sectors)
      fault("base extents do not add up to the clip");
    if (!pair.dependent_extents.empty() && sum_of(pair.dependent_extents) != pair.dependent_sectors)
      fault("dependent extents do not add up to the clip");
  }
}

// One interleaved file and its two clips, after the layout.
void check_interleaved_file(const SourceNode& file) {
  const SourceNode* base = file.base_node;
  const SourceNode* dependent = file.dependent_node;
  const StereoPair* pair = file.stereo_pair;
  if (base == nullptr || dependent == nullptr || pair == nullptr || base == dependent)
    fault("interleaved file without its clips");
  if (base->kind != kestrel::NodeKind::base_view_clip ||
      dependent->kind != kestrel::NodeKind::dependent_view_clip)
    fault("clips of an interleaved file not marked");
  const uint64_t block_sectors = uint64_t{base->sectors} + dependent->sectors;
  if (file.size != block_sectors * kestrel::sector_bytes) fault("interleaved file size");
  if (file.data_offset != dependent->data_offset) fault("interleaved file does not start at D0");
  if (base->data_offset != dependent->data_offset + pair->dependent_extents.front())
    fault("B0 does not follow D0");

  // Every sector of the block belongs to exactly one piece of one clip, and
  // each clip's pieces, in stream order, hold exactly its sectors.
  std::vector<std::pair<uint64_t, uint64_t>> spans;  // offset, sectors
  for (const SourceNode* clip : {base, dependent}) {
    uint64_t clip_sectors = 0;
    uint64_t previous_end = 0;
    uint64_t pieces = 0;
    kestrel::udf::for_each_piece(
        kestrel::udf_revision_250, *clip, clip->extent_count,
        [&](const kestrel::udf::AllocationPiece& piece) {
          // Blocks from the start of the pair's block; only a clip's last
          // piece may end inside a sector.
          const uint64_t offset = piece.block - dependent->data_offset;
          if (piece.length_bytes == 0 || piece.length_bytes > kestrel::udf::udf_piece_bytes)
            fault("piece length");
          if (offset < previous_end) fault("pieces out of stream order");
          const uint64_t sectors =
              (piece.length_bytes + kestrel::sector_bytes - 1) / kestrel::sector_bytes;
          previous_end = offset + sectors;
          clip_sectors += sectors;
          spans.emplace_back(offset, sectors);
          ++pieces;
        });
    if (clip_sectors != clip->sectors) fault("pieces do not cover the clip exactly");
    if (clip->extent_count != pieces) fault("descriptor count differs from the pieces");
  }
  std::sort(spans.begin(), spans.end());
  uint64_t next = 0;
  for (const auto& [offset, sectors] : spans) {
    if (offset != next) fault("interleaved block has a gap or an overlap");
    next = offset + sectors;
  }
  if (next != block_sectors) fault("interleaved block not covered");
}

void check_no_arrangement(const kestrel::ImageWriter& writer) {
  const SourceNode* stream = kestrel::find_stream_folder(writer);
  if (stream == nullptr) return;
  for (const SourceNode* child = stream->first_child; child != nullptr; child = child->next) {
    if (child->kind == kestrel::NodeKind::base_view_clip ||
        child->kind == kestrel::NodeKind::dependent_view_clip || child->stereo_pair != nullptr)
      fault("a clip marked as paired without an arrangement");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  write_folder(data, size);
  const std::string source = movie_root() + "/";

  auto pairs = std::make_unique<kestrel::bluray::StereoPairList>();
  const bool stereo = kestrel::bluray::analyze_stereo_disc(source, *pairs);
  if (stereo) check_analysis(*pairs);

  kestrel::ImageWriter writer(1700000000);
  writer.settings.fs_flags = kestrel::fs_udf;
  writer.settings.udf_revision = kestrel::udf_revision_250;
  writer.tree.source_folder = source;
  if (stereo) writer.stereo_pairs = std::move(pairs);
  if (!kestrel::scan_source(writer)) fault("scan of the generated folder failed");

  if (writer.tree.stereo_folder == nullptr) {
    check_no_arrangement(writer);
    return 0;
  }
  if (writer.lay_out() == 0) return 0;
  size_t files = 0;
  for (const SourceNode* file = writer.tree.stereo_folder->first_child; file != nullptr;
       file = file->next) {
    check_interleaved_file(*file);
    ++files;
  }
  if (files != writer.stereo_pairs->size()) fault("one interleaved file per pair");
  return 0;
}
