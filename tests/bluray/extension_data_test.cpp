// Extension data and sub-path readers: the walk over the data blocks, the
// sub-path and sub-play-item sizes, and damaged or hostile input.
#include "bluray/extension_data.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/bluray/navigation_builder.h"

namespace kestrel::bluray {
namespace {

using test::BigEndianWriter;
using test::Bytes;
using test::extension_body;

ExtensionData read(const Bytes& body, size_t* walked = nullptr) {
  ExtensionData data;
  const size_t result = read_extension_data(body.data(), body.size(), data);
  if (walked != nullptr) *walked = result;
  return data;
}

std::string name_of(const ClipName& name) { return std::string(name.data()); }

TEST(ExtensionData, WalksAdjacentBlocksInTableOrder) {
  const Bytes body =
      extension_body({{2, 1, test::stereo_stream_tables(2)},
                      {2, 2, test::sub_path_block({test::sub_path({"00002", "00004"})})},
                      {2, 4, test::extent_start_block({0, 96, 192})}});
  size_t walked = 0;
  const ExtensionData data = read(body, &walked);
  EXPECT_EQ(data.byte_count, body.size());
  ASSERT_EQ(data.entries.size(), 3u);
  EXPECT_EQ(data.entries[1].id1, 2);
  EXPECT_EQ(data.entries[1].id2, 2);
  EXPECT_EQ(data.stereo_stream_table_lengths, (std::vector<uint32_t>{4, 4}));
  ASSERT_EQ(data.sub_paths.size(), 1u);
  ASSERT_EQ(data.sub_paths[0].items.size(), 2u);
  EXPECT_EQ(data.sub_paths[0].type, 8);
  EXPECT_EQ(name_of(data.sub_paths[0].items[1].clip_name), "00004");
  EXPECT_EQ(data.sub_path_ext_length, 2u + 10u + 2u * 30u);
  EXPECT_EQ(data.extent_start_points, (std::vector<uint32_t>{0, 96, 192}));
  EXPECT_EQ(walked, body.size());
}

TEST(ExtensionData, StartAddressesAreIgnored) {
  // A gap between two blocks that only the start addresses account for
  // shifts the second block: its fields are read from the gap.
  Bytes body =
      extension_body({{2, 2, test::sub_path_block({test::sub_path({"00002"})})}, {2, 4, {}}});
  const Bytes points = test::extent_start_block({0, 96});
  body.insert(body.end(), 8, 0);  // gap
  body.insert(body.end(), points.begin(), points.end());
  const ExtensionData data = read(body);
  EXPECT_EQ(data.sub_paths.size(), 1u);
  EXPECT_EQ(data.extent_start_length, 0u);
  EXPECT_TRUE(data.extent_start_points.empty());
}

TEST(ExtensionData, UnknownBlocksMoveTheCursorByNothing) {
  for (const auto& [id1, id2] : {std::pair{3, 4}, std::pair{2, 7}, std::pair{1, 3}}) {
    // The unknown entry has a block of its own in the table, but the next
    // entry's block is read from the same place.
    BigEndianWriter out;
    out.u32(0).zeros(3).u8(2);
    out.u16(id1).u16(id2).u32(0).u32(16);
    out.u16(2).u16(4).u32(0).u32(16);
    out.append(test::extent_start_block({0, 64}));
    const ExtensionData data = read(out.bytes());
    EXPECT_EQ(data.extent_start_points, (std::vector<uint32_t>{0, 64})) << id1 << "/" << id2;
  }
}

TEST(ExtensionData, StereoStreamTablesWithTableLengthZeroAddNothing) {
  const Bytes body = extension_body({{2, 1, {}}, {2, 4, test::extent_start_block({0})}});
  const ExtensionData data = read(body);
  EXPECT_TRUE(data.stereo_stream_table_lengths.empty());
  EXPECT_EQ(data.extent_start_points, (std::vector<uint32_t>{0}));
}

TEST(ExtensionData, ExtentStartPointBlockMovesByEightPlusFourPerPoint) {
  const Bytes block = test::extent_start_block({0, 32});
  ASSERT_EQ(block.size(), 16u);
  // A second ID2 = 4 block right behind proves where the cursor went.
  const Bytes body = extension_body({{2, 4, block}, {2, 4, test::extent_start_block({7})}});
  size_t walked = 0;
  const ExtensionData data = read(body, &walked);
  EXPECT_EQ(data.extent_start_length, 8u);  // the last block's length field
  EXPECT_EQ(data.extent_start_points, (std::vector<uint32_t>{0, 32, 7}));
  EXPECT_EQ(walked, 8u + 24u + 16u + 12u);

  const ExtensionData single = read(extension_body({{2, 4, block}}));
  EXPECT_EQ(single.extent_start_length, 12u);
  EXPECT_EQ(single.extent_start_points.size(), 2u);
}

TEST(SubPath, MovesByItsLengthPlusFourWhateverItsItemsUse) {
  Bytes first = test::sub_path({"00002"}, 100);
  ASSERT_LT(first.size(), 104u);
  first.resize(104, 0xEE);
  const Bytes second = test::sub_path({"00006"});
  Bytes both = first;
  both.insert(both.end(), second.begin(), second.end());

  SubPath path;
  EXPECT_EQ(read_sub_path(ByteReader(both.data(), both.size()), path), 104u);
  ASSERT_EQ(path.items.size(), 1u);
  EXPECT_EQ(name_of(path.items[0].clip_name), "00002");

  const ExtensionData data = read(extension_body({{2, 2, test::sub_path_block({first, second})}}));
  ASSERT_EQ(data.sub_paths.size(), 2u);
  EXPECT_EQ(name_of(data.sub_paths[1].items[0].clip_name), "00006");
}

TEST(SubPlayItem, MultiClipEntries) {
  BigEndianWriter item;
  item.u16(0).text("00010").text("M2TS").u32((3u << 1) | 1).u8(5).u32(10).u32(20).u16(1).u32(30);
  item.u8(1).u8(0);  // multi-clip, one clip: no further entries
  item.set_u16(0, static_cast<uint32_t>(item.size() - 2));
  SubPlayItem read_item;
  EXPECT_EQ(read_sub_play_item(ByteReader(item.bytes().data(), item.size()), read_item),
            item.size());
  EXPECT_EQ(read_item.multi_clip, 1);
  EXPECT_EQ(read_item.connection_condition, 3);
  EXPECT_EQ(read_item.stc_id, 5);
  EXPECT_EQ(read_item.out_time, 20u);
  EXPECT_EQ(read_item.sync_start_time, 30u);
  EXPECT_TRUE(read_item.clips.empty());

  BigEndianWriter multi;
  multi.u16(0).text("00010").text("M2TS").u32(1).u8(0).u32(0).u32(0).u16(0).u32(0);
  multi.u8(3).u8(0).text("00011").text("M2TS").u8(1).text("00012").text("M2TS").u8(2);
  multi.set_u16(0, static_cast<uint32_t>(multi.size() - 2));
  EXPECT_EQ(read_sub_play_item(ByteReader(multi.bytes().data(), multi.size()), read_item),
            multi.size());
  ASSERT_EQ(read_item.clips.size(), 2u);
  EXPECT_EQ(name_of(read_item.clips[1].clip_name), "00012");
  EXPECT_EQ(std::string(read_item.clips[1].codec_id.data()), "M2TS");
  EXPECT_EQ(read_item.clips[1].stc_id, 2);
}

TEST(ExtensionDataHostile, OverlongCountsAndLengthsLeaveTheBlockOut) {
  // 0xFFFF sub-paths in a few bytes.
  BigEndianWriter sub_paths;
  sub_paths.u32(100).u16(0xFFFF).zeros(20);
  EXPECT_TRUE(read(extension_body({{2, 2, sub_paths.bytes()}})).sub_paths.empty());

  // 0xFFFFFFFF start points.
  BigEndianWriter points;
  points.u32(0xFFFFFFFF).u32(0xFFFFFFFF).u32(0).u32(96);
  const ExtensionData no_points = read(extension_body({{2, 4, points.bytes()}}));
  EXPECT_TRUE(no_points.extent_start_points.empty());
  EXPECT_EQ(no_points.extent_start_length, 0u);

  // A length of 0xFFFFFFFF ends the walk: the next block is not read.
  BigEndianWriter huge;
  huge.u32(0xFFFFFFFF).u16(0);
  const ExtensionData stopped =
      read(extension_body({{1, 1, huge.bytes()}, {2, 4, test::extent_start_block({0})}}));
  EXPECT_TRUE(stopped.extent_start_points.empty());

  // A stereo stream table block whose table length exceeds the bytes.
  const ExtensionData tables = read(extension_body({{2, 1, Bytes{0, 2, 0, 0, 0, 50}}}));
  EXPECT_TRUE(tables.stereo_stream_table_lengths.empty());

  // Zero-length stream tables up to a table length of 0xFFFFFFFF: the walk
  // must stop at the end of the bytes, not go on reading nothing.
  BigEndianWriter empty_tables;
  empty_tables.u32(0).zeros(3).u8(1).u16(2).u16(1).u32(20).u32(0xFFFFFFFF).u16(0).u16(0);
  EXPECT_TRUE(read(empty_tables.bytes()).stereo_stream_table_lengths.empty());

  // A sub-path whose length or item count runs past the end.
  SubPath path;
  const Bytes long_path = test::sub_path({"00002"}, 0xFFFFFFFF);
  EXPECT_EQ(read_sub_path(ByteReader(long_path.data(), long_path.size()), path), 0u);
  Bytes many_items = test::sub_path({"00002"});
  many_items[9] = 0xFF;
  EXPECT_EQ(read_sub_path(ByteReader(many_items.data(), many_items.size()), path), 0u);

  // 255 entries announced in a table of one.
  Bytes table = extension_body({{2, 4, test::extent_start_block({0})}});
  table[7] = 0xFF;
  EXPECT_TRUE(read(table).entries.empty());
}

TEST(ExtensionDataHostile, EveryTruncationStaysInsideTheBytes) {
  const Bytes body =
      extension_body({{1, 1, Bytes{0, 0, 0, 2, 0, 0}},
                      {2, 1, test::stereo_stream_tables(2)},
                      {2, 2, test::sub_path_block({test::sub_path({"00002", "00004"})})},
                      {2, 3, Bytes(8, 0)},
                      {2, 4, test::extent_start_block({0, 96, 192})}});
  const ExtensionData whole = read(body);
  ASSERT_EQ(whole.extent_start_points.size(), 3u);
  for (size_t length = 0; length < body.size(); ++length) {
    // A copy of exactly `length` bytes, so that a read past it is caught.
    const Bytes part(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(length));
    size_t walked = 0;
    const ExtensionData data = read(part, &walked);
    EXPECT_LE(walked, length);
    // The blocks read are whole: no sub-path is cut short.
    EXPECT_TRUE(data.sub_paths.empty() || data.sub_paths[0].items.size() == 2u) << length;
    EXPECT_TRUE(data.extent_start_points.empty()) << length;
  }
}

}  // namespace
}  // namespace kestrel::bluray
