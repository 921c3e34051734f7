// Descriptor tags, CRCs, timestamps, d-strings and the file set descriptor.
#include "udf/udf_tags.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "disc/field_writer.h"
#include "engine/image_writer.h"
#include "support/time_zone.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

// The volume label as the UDF descriptors record it.
std::array<uint8_t, udf::label_dstring_bytes> label_of(const ImageWriter& writer) {
  uint8_t dstring[udf::label_dstring_bytes];
  udf::make_label_dstring(writer, dstring);
  std::array<uint8_t, udf::label_dstring_bytes> out;
  std::copy(std::begin(dstring), std::end(dstring), out.begin());
  return out;
}

using test::TimeZoneGuard;

std::vector<uint8_t> timestamp_of(int64_t time) {
  std::vector<uint8_t> stamp(udf::timestamp::bytes, 0xEE);
  udf::make_udf_timestamp(time, stamp.data());
  return stamp;
}

// The CRC as ECMA-167 defines it, one bit at a time: the reference for the
// table-driven code, which folds in several bytes per step.
uint16_t crc_bit_by_bit(const uint8_t* bytes, size_t length) {
  unsigned crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= unsigned{bytes[i]} << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
  }
  return static_cast<uint16_t>(crc);
}

TEST(UdfTags, CrcMatchesTheEcma167ExampleAndTheBitwiseDivision) {
  const uint8_t example[] = {0x70, 0x6A, 0x77};
  EXPECT_EQ(udf::descriptor_crc(example, sizeof example), 0x3299);
  const std::vector<uint8_t> zeros(496, 0);
  EXPECT_EQ(udf::descriptor_crc(zeros.data(), zeros.size()), 0);
  EXPECT_EQ(udf::descriptor_crc(example, 0), 0);
  // Every length around the step size, from every alignment.
  std::vector<uint8_t> bytes(64);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 167 + 29);
  for (size_t start = 0; start < 8; ++start) {
    for (size_t length = 0; start + length <= bytes.size(); ++length) {
      ASSERT_EQ(udf::descriptor_crc(&bytes[start], length), crc_bit_by_bit(&bytes[start], length))
          << "from " << start << ", " << length << " bytes";
    }
  }
}

TEST(UdfTags, TerminatingDescriptorTagIsExact) {
  ImageWriter writer(0);
  std::vector<uint8_t> sector(sector_bytes, 0);
  udf::fill_terminating_descriptor(writer, sector.data(), 37);
  const uint8_t expected[16] = {8, 0, 2, 0, 33, 0, 1, 0, 0, 0, 0xF0, 0x01, 37, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(sector.begin(), sector.begin() + 16),
            std::vector<uint8_t>(expected, expected + 16));
  for (size_t i = 16; i < sector.size(); ++i) ASSERT_EQ(sector[i], 0) << i;

  // Revision 2.50 records descriptor version 3; the checksum follows.
  writer.settings.udf_revision = udf_revision_250;
  std::vector<uint8_t> v3(sector_bytes, 0);
  udf::fill_terminating_descriptor(writer, v3.data(), 37);
  EXPECT_EQ(read_le16(&v3[2]), 3);
  EXPECT_EQ(v3[4], 34);
}

TEST(UdfTags, TagCrcCoversTheBodyAndChecksumCoversTheTag) {
  ImageWriter writer(0);
  std::vector<uint8_t> sector(sector_bytes, 0);
  sector[16] = 0x70;
  sector[17] = 0x6A;
  sector[18] = 0x77;
  sector[19] = 0x55;  // beyond the CRC length: must not count
  udf::make_tag(writer, sector.data(), udf::tag_file_entry, 3, 0x01020304);
  EXPECT_EQ(read_le16(&sector[0]), 261);
  EXPECT_EQ(read_le16(&sector[8]), 0x3299);
  EXPECT_EQ(read_le16(&sector[10]), 3);
  EXPECT_EQ(read_le32(&sector[12]), 0x01020304u);
  // 261 = 0x05 0x01; 2; serial 1; CRC 0x99 0x32; length 3; location 4 3 2 1.
  EXPECT_EQ(sector[4], (0x05 + 0x01 + 2 + 1 + 0x99 + 0x32 + 3 + 4 + 3 + 2 + 1) % 256);
}

TEST(UdfTimestamps, ZoneOffsetsAndFieldsInTheLocalZone) {
  {
    const TimeZoneGuard zone("CET-1");
    const uint8_t expected[12] = {0x3C, 0x10, 0xE8, 0x07, 0x03, 0x05, 0x0E, 0x07, 0x09, 0, 0, 0};
    EXPECT_EQ(timestamp_of(1709644029), std::vector<uint8_t>(expected, expected + 12));
  }
  {
    const TimeZoneGuard zone("EST5");
    const std::vector<uint8_t> stamp = timestamp_of(1709644029);
    EXPECT_EQ(read_le16(&stamp[0]), 0x1ED4);
    EXPECT_EQ(stamp[6], 8);  // 13:07 UTC is 08:07 at UTC-5
  }
}

TEST(UdfTimestamps, DaylightSavingInForceAtThatMomentIsRecorded) {
  if (test::running_under_wine()) {
    GTEST_SKIP() << "Wine takes daylight saving from the host, not TZ";
  }
#ifdef _WIN32
  const TimeZoneGuard zone("CET-1CEST");
#else
  const TimeZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
#endif
  // 2024-07-01 12:00:00 UTC is 14:00 summer time (UTC+2).
  std::vector<uint8_t> summer = timestamp_of(1719835200);
  EXPECT_EQ(read_le16(&summer[0]), 0x1078);
  EXPECT_EQ(summer[6], 14);
  // In March the same zone is at UTC+1.
  EXPECT_EQ(read_le16(timestamp_of(1709644029).data()), 0x103C);
}

TEST(UdfTimestamps, TimesBefore1970AndUnrepresentableTimes) {
  const TimeZoneGuard zone("UTC0");
#ifndef _WIN32
  // 1969-07-20 20:17:40 UTC.
  const uint8_t before_epoch[12] = {0x00, 0x10, 0xB1, 0x07, 7, 20, 20, 17, 40, 0, 0, 0};
  EXPECT_EQ(timestamp_of(-14182940), std::vector<uint8_t>(before_epoch, before_epoch + 12));
#endif
  // Year 10000 and a time no calendar can hold: a valid timestamp of
  // 1970-01-01 00:00:00 with the zone "not specified", never month 0.
  const uint8_t unspecified[12] = {0x01, 0x18, 0xB2, 0x07, 1, 1, 0, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> expected(unspecified, unspecified + 12);
  EXPECT_EQ(timestamp_of(253402300800), expected);
  EXPECT_EQ(timestamp_of(INT64_MAX), expected);
}

TEST(UdfDstrings, EightAndSixteenBitForms) {
  uint8_t field[32];
  const uint8_t data[] = {'D', 'a', 't', 'a'};
  std::fill(std::begin(field), std::end(field), 0xEE);
  udf::make_dstring8(field, sizeof field, data, sizeof data);
  EXPECT_EQ(field[0], 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(field + 1), 4), "Data");
  for (size_t i = 5; i < 31; ++i) EXPECT_EQ(field[i], 0) << i;
  EXPECT_EQ(field[31], 5);

  // 16-bit: compression ID 16, units high byte first, cut to whole units.
  const std::u16string text = u"\u0391\u0392" + std::u16string(20, u'x');
  udf::make_dstring16(field, sizeof field, text.data(), 2 * text.size());
  EXPECT_EQ(field[0], 16);
  EXPECT_EQ(field[1], 0x03);
  EXPECT_EQ(field[2], 0x91);
  EXPECT_EQ(field[3], 0x03);
  EXPECT_EQ(field[4], 0x92);
  EXPECT_EQ(field[31], 31);

  // A surrogate pair that straddles the cut is left out whole.
  const std::u16string pair_at_cut = std::u16string(14, u'\u03A9') + u"\U0001F600";
  udf::make_dstring16(field, sizeof field, pair_at_cut.data(), 2 * pair_at_cut.size());
  EXPECT_EQ(field[31], 29);
  EXPECT_EQ(read_be16(field + 27), 0x03A9);
  EXPECT_EQ(field[29], 0);
  EXPECT_EQ(field[30], 0);
  // One that fits is kept.
  const std::u16string pair_fits = std::u16string(13, u'\u03A9') + u"\U0001F600";
  udf::make_dstring16(field, sizeof field, pair_fits.data(), 2 * pair_fits.size());
  EXPECT_EQ(field[31], 31);
  EXPECT_EQ(read_be16(field + 27), 0xD83D);
  EXPECT_EQ(read_be16(field + 29), 0xDE00);
}

TEST(UdfFileSet, FileSetDescriptorFields) {
  ImageWriter writer(1709644029);
  writer.settings.udf_revision = udf_revision_250;
  std::vector<uint8_t> sector(sector_bytes, 0);
  udf::fill_file_set_descriptor(writer, sector.data());
  EXPECT_EQ(read_le16(&sector[0]), udf::tag_file_set_descriptor);
  EXPECT_EQ(read_le16(&sector[10]), 496);
  EXPECT_EQ(read_le32(&sector[12]), 0u);
  EXPECT_EQ(udf::descriptor_crc(&sector[16], 496), read_le16(&sector[8]));
  EXPECT_EQ(0, std::memcmp(&sector[16], writer.settings.build_timestamp, 12));
  EXPECT_EQ(read_le16(&sector[28]), 3);
  EXPECT_EQ(read_le16(&sector[30]), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&sector[49]), 23), "OSTA Compressed Unicode");
  EXPECT_EQ(0, std::memcmp(&sector[112], label_of(writer).data(), 128));
  EXPECT_EQ(sector[304], 8);
  EXPECT_EQ(sector[335], 9);  // the default label's 8 characters
  // Root directory ICB: 2048 bytes at block 2 of the metadata partition.
  EXPECT_EQ(read_le32(&sector[400]), 2048u);
  EXPECT_EQ(read_le32(&sector[404]), 2u);
  EXPECT_EQ(read_le16(&sector[408]), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&sector[417]), 19), "*OSTA UDF Compliant");
  EXPECT_EQ(read_le16(&sector[440]), 0x0250);
  EXPECT_EQ(sector[442], 3);

  writer.settings.udf_revision = udf_revision_102;
  std::fill(sector.begin(), sector.end(), 0);
  udf::fill_file_set_descriptor(writer, sector.data());
  EXPECT_EQ(read_le16(&sector[408]), 0);
  EXPECT_EQ(read_le16(&sector[440]), 0x0102);
}

}  // namespace
}  // namespace kestrel::udf
