#include "iso9660/short_name_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::iso9660 {
namespace {

// Identifiers that share their first bytes and differ only at the end, as
// numbered look-alikes do ("ENTRY_1.BIN;1" .. "ENT_9999.BIN;1").
std::vector<std::string> look_alikes(int count) {
  std::vector<std::string> keys;
  for (int i = 0; i < count; ++i) keys.push_back("ENTRY_" + std::to_string(i) + ".BIN;1");
  return keys;
}

TEST(ShortNameTable, HoldsManyLookAlikesFromASmallStartAndKeepsTheirNumbers) {
  // Sized for one key, the table grows as keys come: every key is found
  // again with its number, none that was not added is, and adding a key
  // twice says so.
  ShortNameTable table(1);
  const std::vector<std::string> keys = look_alikes(20000);
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_FALSE(table.contains(keys[i])) << keys[i];
    table.number(keys[i], static_cast<uint32_t>(i)) += 1;
  }
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_TRUE(table.contains(keys[i])) << keys[i];
    ASSERT_EQ(table.number(keys[i], 0), i + 1) << keys[i];
    ASSERT_FALSE(table.insert(keys[i])) << keys[i];
  }
  EXPECT_FALSE(table.contains("ENTRY_20000.BIN;1"));
  EXPECT_FALSE(table.contains("ENTRY_1.BIN;"));  // a key's start is another key
  EXPECT_TRUE(table.insert("ENTRY_1.BIN;"));
  EXPECT_TRUE(table.contains("ENTRY_1.BIN;"));
  // Sixteen bytes, the longest key, differ in their last byte.
  EXPECT_TRUE(table.insert("ABCDEFGHIJKLMNOP"));
  EXPECT_FALSE(table.contains("ABCDEFGHIJKLMNOQ"));
}

}  // namespace
}  // namespace kestrel::iso9660
