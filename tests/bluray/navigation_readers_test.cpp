// Index, playlist and clip information readers, on well-formed files and on
// truncated or hostile ones (run under AddressSanitizer to catch any read
// outside the bytes).
#include <gtest/gtest.h>

#include <string>

#include "bluray/clip_info_file.h"
#include "bluray/index_file.h"
#include "bluray/playlist_file.h"
#include "tests/bluray/navigation_builder.h"

namespace kestrel::bluray {
namespace {

using test::BigEndianWriter;
using test::Bytes;

// A copy of the first `length` bytes, so that a read past them is caught.
Bytes prefix(const Bytes& bytes, size_t length) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

void set_u32(Bytes& bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

std::string name_of(const ClipName& name) { return std::string(name.data()); }

TEST(IndexFile, ReadsFlagsObjectsAndExtension) {
  const Bytes bytes = test::index_file(0x20, Bytes{0, 0, 0, 3, 7, 8, 9});
  IndexFile index;
  ASSERT_TRUE(read_index_file(bytes.data(), bytes.size(), index));
  EXPECT_TRUE(index.stereo_content());
  EXPECT_EQ(index.flags & index_flag_output_mode_preference, 0);
  EXPECT_EQ((index.flags >> index_video_format_shift) & 0xF, 6);
  EXPECT_EQ((index.flags >> index_frame_rate_shift) & 0xF, 1);
  EXPECT_EQ(index.first_playback.object_type, 1);
  EXPECT_EQ(index.first_playback.playback_type, 1);
  EXPECT_EQ(index.top_menu.object_type, 2);
  EXPECT_EQ(std::string(index.top_menu.object_name.data()), "00000");
  ASSERT_EQ(index.titles.size(), 1u);
  EXPECT_EQ(index.titles[0].object_id, 1);
  EXPECT_EQ(index.extension_bytes, (Bytes{7, 8, 9}));

  IndexFile output_mode;
  const Bytes preference = test::index_file(0x40);
  ASSERT_TRUE(read_index_file(preference.data(), preference.size(), output_mode));
  EXPECT_FALSE(output_mode.stereo_content());
  EXPECT_NE(output_mode.flags & index_flag_output_mode_preference, 0);
}

TEST(IndexFile, RejectsShortForeignAndMisaddressedFiles) {
  // The reader reads every byte up to offset 77: a file of 77 bytes is too
  // short even when what it holds looks right.
  const Bytes valid = test::index_file(0x20);
  Bytes header = prefix(valid, 78);
  set_u32(header, 8, 0);  // table address inside the 78 bytes
  IndexFile accepted;
  EXPECT_TRUE(read_index_file(header.data(), header.size(), accepted));
  EXPECT_TRUE(accepted.stereo_content());
  for (size_t length : {size_t{0}, size_t{39}, size_t{40}, size_t{77}}) {
    const Bytes shorter = prefix(header, length);
    IndexFile index;
    EXPECT_FALSE(read_index_file(shorter.data(), shorter.size(), index)) << length;
    EXPECT_FALSE(index.stereo_content());
  }

  Bytes foreign = valid;
  foreign[3] = 'Y';
  IndexFile index;
  EXPECT_FALSE(read_index_file(foreign.data(), foreign.size(), index));
  EXPECT_FALSE(index.stereo_content());

  Bytes extension_at_end = valid;
  set_u32(extension_at_end, 12, static_cast<uint32_t>(valid.size()));
  EXPECT_FALSE(read_index_file(extension_at_end.data(), extension_at_end.size(), index));
  Bytes table_at_end = valid;
  set_u32(table_at_end, 8, static_cast<uint32_t>(valid.size()));
  IndexFile rejected;
  EXPECT_FALSE(read_index_file(table_at_end.data(), table_at_end.size(), rejected));
  EXPECT_EQ(rejected.type, 0x494E4458u);
  EXPECT_EQ(rejected.flags, 0);
  EXPECT_TRUE(rejected.titles.empty());
}

TEST(IndexFile, HostileCountsAndLengths) {
  Bytes titles = test::index_file(0x20);
  titles[78 + 4 + 24] = 0xFF;  // title count 0xFFFF
  titles[78 + 4 + 25] = 0xFF;
  IndexFile index;
  EXPECT_TRUE(read_index_file(titles.data(), titles.size(), index));
  EXPECT_TRUE(index.titles.empty());
  EXPECT_TRUE(index.stereo_content());

  Bytes extension = test::index_file(0x20, Bytes{0, 0, 0, 1, 5});
  set_u32(extension, extension.size() - 5, 0xFFFFFFFF);
  IndexFile long_extension;
  EXPECT_TRUE(read_index_file(extension.data(), extension.size(), long_extension));
  EXPECT_TRUE(long_extension.extension_bytes.empty());

  for (size_t length = 0; length <= extension.size(); ++length) {
    const Bytes part = prefix(test::index_file(0x20, Bytes{0, 0, 0, 2, 1, 2}), length);
    IndexFile truncated;
    read_index_file(part.data(), part.size(), truncated);
  }
}

TEST(PlayListFile, ReadsPlayItemsMarksAndExtension) {
  const Bytes extension = test::extension_data({{2, 4, test::extent_start_block({0})}});
  Bytes bytes = test::playlist_file(std::vector<std::string>{"00001", "00003"}, extension);
  bytes[0] = 'X';  // the type indicator is not tested
  PlayListFile playlist;
  EXPECT_TRUE(read_playlist_file(bytes.data(), bytes.size(), playlist));
  EXPECT_EQ(playlist.playback_type, 1);
  EXPECT_EQ(playlist.flags, 2);  // bit 14 of the flags word
  ASSERT_EQ(playlist.play_items.size(), 2u);
  EXPECT_EQ(name_of(playlist.play_items[1].clip_name), "00003");
  EXPECT_EQ(std::string(playlist.play_items[0].codec_id.data()), "M2TS");
  EXPECT_EQ(playlist.play_items[0].out_time, 900000u);
  ASSERT_EQ(playlist.play_items[0].streams[stream_primary_video].size(), 1u);
  EXPECT_EQ(playlist.play_items[0].streams[stream_primary_video][0].attributes,
            (Bytes{0x1B, 0x61, 0, 0, 0}));
  ASSERT_EQ(playlist.marks.size(), 1u);
  EXPECT_EQ(playlist.marks[0].mark_type, 1);
  EXPECT_EQ(playlist.extension_bytes, Bytes(extension.begin() + 4, extension.end()));
}

TEST(PlayListFile, PlayItemMovesByItsLengthPlusTwo) {
  const Bytes padded = test::play_item("00001", 0x0090);
  ASSERT_EQ(padded.size(), 146u);
  PlayItem item;
  EXPECT_EQ(read_play_item(ByteReader(padded.data(), padded.size()), item), 146u);

  const Bytes bytes = test::playlist_file(std::vector<Bytes>{padded, test::play_item("00002")}, {});
  PlayListFile playlist;
  read_playlist_file(bytes.data(), bytes.size(), playlist);
  ASSERT_EQ(playlist.play_items.size(), 2u);
  EXPECT_EQ(name_of(playlist.play_items[1].clip_name), "00002");
  EXPECT_TRUE(playlist.extension_bytes.empty());
}

TEST(PlayListFile, MultiAngleAndSecondaryStreams) {
  BigEndianWriter item;
  item.u16(0).text("00001").text("M2TS").u16(0x11).u8(0).u32(0).u32(1).u64(0).u32(0);
  item.u8(2).u8(3).text("00005").text("M2TS").u8(4);  // two angles
  item.u16(0).u16(0).u8(0).u8(0).u8(0).u8(0).u8(1).u8(1).u8(0).u8(0).zeros(4);
  item.u8(1).u8(9).u8(1).u8(0x21).u8(3).u8(0).u8(7).u8(8).u8(9).u8(
      0);  // secondary audio, 3 refs + pad
  item.u8(0).u8(0).u8(2).u8(0).u8(1).u8(2).u8(1).u8(0).u8(6).u8(0);  // secondary video
  item.set_u16(0, static_cast<uint32_t>(item.size() - 2));
  PlayItem read_item;
  ASSERT_EQ(read_play_item(ByteReader(item.bytes().data(), item.size()), read_item), item.size());
  EXPECT_EQ(read_item.multi_angle, 1);
  EXPECT_EQ(read_item.connection_condition, 1);
  EXPECT_EQ(read_item.different_audios, 1);
  EXPECT_EQ(read_item.seamless_angle_change, 1);
  ASSERT_EQ(read_item.angles.size(), 1u);
  EXPECT_EQ(name_of(read_item.angles[0].clip_name), "00005");
  ASSERT_EQ(read_item.streams[stream_secondary_audio].size(), 1u);
  EXPECT_EQ(read_item.streams[stream_secondary_audio][0].references, (Bytes{7, 8, 9}));
  ASSERT_EQ(read_item.streams[stream_secondary_video].size(), 1u);
  EXPECT_EQ(read_item.streams[stream_secondary_video][0].references, (Bytes{1, 2}));
  EXPECT_EQ(read_item.streams[stream_secondary_video][0].second_references, (Bytes{6}));
}

TEST(PlayListFile, HostileCountsLeaveTheirSectionOut) {
  const Bytes extension = test::extension_data({{2, 4, test::extent_start_block({0})}});
  const Bytes valid = test::playlist_file(std::vector<std::string>{"00001"}, extension);
  Bytes items = valid;
  items[58 + 6] = 0xFF;  // play item count 0xFFFF
  items[58 + 7] = 0xFF;
  PlayListFile playlist;
  EXPECT_TRUE(read_playlist_file(items.data(), items.size(), playlist));
  EXPECT_TRUE(playlist.play_items.empty());
  EXPECT_EQ(playlist.marks.size(), 1u);
  EXPECT_FALSE(playlist.extension_bytes.empty());

  Bytes sub_paths = valid;
  sub_paths[58 + 8] = 0xFF;  // sub-path count 0xFFFF
  PlayListFile no_sub_paths;
  read_playlist_file(sub_paths.data(), sub_paths.size(), no_sub_paths);
  EXPECT_EQ(no_sub_paths.play_items.size(), 1u);
  EXPECT_TRUE(no_sub_paths.sub_paths.empty());

  Bytes addresses = valid;
  set_u32(addresses, 8, 0xFFFFFFFF);
  set_u32(addresses, 12, 0xFFFFFFF0);
  set_u32(addresses, 16, static_cast<uint32_t>(valid.size() - 2));
  PlayListFile misaddressed;
  EXPECT_TRUE(read_playlist_file(addresses.data(), addresses.size(), misaddressed));
  EXPECT_TRUE(misaddressed.play_items.empty());
  EXPECT_TRUE(misaddressed.marks.empty());
  EXPECT_TRUE(misaddressed.extension_bytes.empty());

  Bytes length = valid;
  set_u32(length, valid.size() - extension.size(), 0xFFFFFFFF);
  PlayListFile long_extension;
  read_playlist_file(length.data(), length.size(), long_extension);
  EXPECT_TRUE(long_extension.extension_bytes.empty());
}

TEST(PlayListFile, EveryTruncationStaysInsideTheBytes) {
  const Bytes valid = test::stereo_playlist({"00001", "00003"}, {"00002", "00004"});
  for (size_t length = 0; length < valid.size(); ++length) {
    const Bytes part = prefix(valid, length);
    PlayListFile playlist;
    read_playlist_file(part.data(), part.size(), playlist);
    // The extension data ends the file: cut short, it is left out whole.
    EXPECT_TRUE(playlist.extension_bytes.empty()) << length;
    EXPECT_TRUE(playlist.play_items.empty() || playlist.play_items.size() == 2u) << length;
  }
}

TEST(ClipInfoFile, ReadsHeaderSectionsAndExtension) {
  const Bytes extension = test::extension_data({{2, 4, test::extent_start_block({0, 96})}});
  const Bytes bytes = test::clip_info_file(288, extension);
  ClipInfoFile clip;
  EXPECT_TRUE(read_clip_info_file(bytes.data(), bytes.size(), clip));
  EXPECT_EQ(clip.source_packet_count, 288u);
  EXPECT_EQ(clip.clip_stream_type, 1);
  EXPECT_EQ(clip.validity_flags, 0x80);
  EXPECT_EQ(clip.format_id, 0x48444D56u);  // "HDMV"
  ASSERT_EQ(clip.atc_sequences.size(), 1u);
  ASSERT_EQ(clip.atc_sequences[0].stc_sequences.size(), 1u);
  EXPECT_EQ(clip.atc_sequences[0].stc_sequences[0].presentation_end_time, 900000u);
  ASSERT_EQ(clip.programs.size(), 1u);
  ASSERT_EQ(clip.programs[0].streams.size(), 1u);
  EXPECT_EQ(clip.programs[0].streams[0].pid, 0x1011);
  EXPECT_TRUE(clip.has_clip_marks);
  EXPECT_EQ(clip.extension_bytes, Bytes(extension.begin() + 4, extension.end()));

  const Bytes plain = test::clip_info_file(288, {});
  ClipInfoFile no_extension;
  read_clip_info_file(plain.data(), plain.size(), no_extension);
  EXPECT_TRUE(no_extension.extension_bytes.empty());
  EXPECT_EQ(no_extension.source_packet_count, 288u);
}

TEST(ClipInfoFile, HostileAndTruncatedInput) {
  const Bytes valid = test::stereo_clip_info(288, {0, 96, 192});
  Bytes counts = valid;
  counts[48 + 3] = 1;      // arrival time deltas follow the type info ...
  counts[220 + 1] = 0xFF;  // ... 255 of them
  const size_t sequence =
      (size_t{valid[8]} << 24) | (size_t{valid[9]} << 16) | (size_t{valid[10]} << 8) | valid[11];
  counts[sequence + 5] = 0xFF;  // 255 ATC sequences
  ClipInfoFile clip;
  EXPECT_TRUE(read_clip_info_file(counts.data(), counts.size(), clip));
  EXPECT_TRUE(clip.atc_deltas.empty());
  EXPECT_TRUE(clip.atc_sequences.empty());
  EXPECT_EQ(clip.source_packet_count, 288u);
  EXPECT_FALSE(clip.extension_bytes.empty());

  for (size_t length = 0; length < valid.size(); ++length) {
    const Bytes part = prefix(valid, length);
    ClipInfoFile truncated;
    EXPECT_EQ(read_clip_info_file(part.data(), part.size(), truncated), length >= 220) << length;
    EXPECT_TRUE(truncated.extension_bytes.empty()) << length;
  }
}

}  // namespace
}  // namespace kestrel::bluray
