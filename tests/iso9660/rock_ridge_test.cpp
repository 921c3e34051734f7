// Rock Ridge: the entries of one record and where they continue, the
// relocation of folders deeper than eight levels, and continuation areas
// read back from a whole image through the records that name them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "disc/field_writer.h"
#include "disc/sector_emitter.h"
#include "iso9660/iso_volume.h"
#include "iso9660/rock_ridge.h"
#include "support/node_tree.h"
#include "support/scanned_tree.h"

namespace kestrel::iso9660 {
namespace {

struct Entry {
  std::string signature;
  std::vector<uint8_t> bytes;  // the whole entry
};

std::vector<Entry> entries_of(const uint8_t* area, uint32_t length) {
  std::vector<Entry> out;
  for (uint32_t at = 0; at + 4 <= length;) {
    const uint8_t size = area[at + 2];
    if (size < 4 || size > length - at) break;
    out.push_back({std::string(reinterpret_cast<const char*>(area + at), 2),
                   std::vector<uint8_t>(area + at, area + at + size)});
    at += size;
  }
  return out;
}

std::string signatures(const std::vector<Entry>& entries) {
  std::string out;
  for (const Entry& e : entries) out += (out.empty() ? "" : " ") + e.signature;
  return out;
}

// The entries of one record, filled as the plan lays them out, with the
// continuation area at sector 40, byte 100.
struct Laid {
  RockRidgePlan plan;
  std::vector<uint8_t> in_record;
  std::vector<uint8_t> continued;
};
Laid lay_out(const RockRidgeFacts& facts, uint32_t record_head) {
  Laid laid;
  laid.plan = plan_rock_ridge(facts, record_head);
  laid.in_record.assign(laid.plan.in_record_bytes, 0);
  laid.continued.assign(laid.plan.continued_bytes, 0);
  RockRidgeTarget target;
  target.system_use = laid.in_record.data();
  target.continuation = laid.continued.data();
  target.continuation_sector = 40;
  target.continuation_offset = 100;
  fill_rock_ridge(facts, laid.plan, target);
  return laid;
}

TEST(RockRidge, EntriesKeepTheRecordEvenAndContinueWhereTheyDoNotFit) {
  test::NodeTree tree(fs_iso9660);
  SourceNode* file = tree.file(tree.writer.tree.root, u"a.txt", 5);
  file->executable = 1;
  file->unique_id = 77;

  // A file: PX, TF and NM in the record; 46 bytes of head, 44 + 12 + 10.
  RockRidgeFacts facts;
  facts.node = file;
  facts.named = true;
  Laid laid = lay_out(facts, 46);
  EXPECT_EQ(laid.plan.continued_bytes, 0u);
  EXPECT_EQ(laid.plan.in_record_bytes, 66u);
  auto entries = entries_of(laid.in_record.data(), laid.plan.in_record_bytes);
  EXPECT_EQ(signatures(entries), "PX TF NM");
  // Readable by all, the source's execute bit for all, owner and group 0.
  EXPECT_EQ(read_le32(&entries[0].bytes[4]), 0100555u);
  EXPECT_EQ(read_be32(&entries[0].bytes[8]), 0100555u);
  EXPECT_EQ(read_le32(&entries[0].bytes[12]), 1u);
  EXPECT_EQ(read_le32(&entries[0].bytes[20]), 0u);
  EXPECT_EQ(read_le32(&entries[0].bytes[28]), 0u);
  EXPECT_EQ(read_le32(&entries[0].bytes[36]), 77u);
  EXPECT_EQ(entries[1].bytes[4], 0x02);  // the modification, as the record has it
  EXPECT_EQ(std::string(entries[2].bytes.begin() + 5, entries[2].bytes.end()), "a.txt");

  // The root's first record: SP first, and ER continues elsewhere.
  facts = RockRidgeFacts{};
  facts.node = tree.writer.tree.root;
  facts.protocol = true;
  laid = lay_out(facts, 34);
  entries = entries_of(laid.in_record.data(), laid.plan.in_record_bytes);
  EXPECT_EQ(signatures(entries), "SP PX TF CE");
  EXPECT_LE(34 + laid.plan.in_record_bytes, 255u);
  EXPECT_EQ((34 + laid.plan.in_record_bytes) % 2, 0u);
  const auto continued = entries_of(laid.continued.data(), laid.plan.continued_bytes);
  ASSERT_EQ(signatures(continued), "ER");
  EXPECT_EQ(std::string(continued[0].bytes.begin() + 8, continued[0].bytes.begin() + 18),
            "IEEE_P1282");
  const std::vector<uint8_t>& ce = entries.back().bytes;
  EXPECT_EQ(read_le32(&ce[4]), 40u);
  EXPECT_EQ(read_be32(&ce[16]), 100u);
  EXPECT_EQ(read_le32(&ce[20]), laid.plan.continued_bytes);

  // A directory: its links count itself, its "." and each sub-directory's "..".
  SourceNode* folder = tree.dir(tree.writer.tree.root, u"d");
  tree.dir(folder, u"e");
  tree.dir(folder, u"f");
  facts = RockRidgeFacts{};
  facts.node = folder;
  facts.named = true;
  laid = lay_out(facts, 34);
  entries = entries_of(laid.in_record.data(), laid.plan.in_record_bytes);
  EXPECT_EQ(read_le32(&entries[0].bytes[4]), 040555u);
  EXPECT_EQ(read_le32(&entries[0].bytes[12]), 4u);
}

TEST(RockRidge, HardLinkedNamesCountEachOtherAndShareTheSerialNumber) {
  test::NodeTree tree(fs_iso9660);
  SourceNode* first = tree.file(tree.writer.tree.root, u"a.txt", 5);
  SourceNode* second = tree.file(tree.writer.tree.root, u"b.txt", 5);
  SourceNode* third = tree.file(tree.writer.tree.root, u"c.txt", 5);
  SourceNode* alone = tree.file(tree.writer.tree.root, u"d.txt", 5);
  first->unique_id = 40;
  first->hard_link_names = 2;
  for (SourceNode* link : {second, third}) {
    link->shares_data_of = first;
    link->shares_entry = 1;
    link->unique_id = 40;
  }
  // An equal file (-dedupe) shares the data, not the entry.
  alone->shares_data_of = first;
  alone->unique_id = 41;
  const auto px_of = [](SourceNode* node) {
    RockRidgeFacts facts;
    facts.node = node;
    const Laid laid = lay_out(facts, 34);
    return entries_of(laid.in_record.data(), laid.plan.in_record_bytes).front().bytes;
  };
  for (SourceNode* name : {first, second, third}) {
    const std::vector<uint8_t> px = px_of(name);
    EXPECT_EQ(read_le32(&px[12]), 3u);
    EXPECT_EQ(read_le32(&px[36]), 40u);
  }
  EXPECT_EQ(read_le32(&px_of(alone)[12]), 1u);
}

TEST(RockRidge, NamesOfUpTo255BytesTakeTwoEntries) {
  test::NodeTree tree(fs_iso9660);
  const std::u16string name(255, u'x');
  SourceNode* file = tree.file(tree.writer.tree.root, name);
  RockRidgeFacts facts;
  facts.node = file;
  facts.named = true;
  const Laid laid = lay_out(facts, 48);
  EXPECT_EQ(signatures(entries_of(laid.in_record.data(), laid.plan.in_record_bytes)), "PX TF CE");
  const auto continued = entries_of(laid.continued.data(), laid.plan.continued_bytes);
  ASSERT_EQ(signatures(continued), "NM NM");
  EXPECT_EQ(continued[0].bytes[4], 1);  // CONTINUE
  EXPECT_EQ(continued[1].bytes[4], 0);
  EXPECT_EQ(continued[0].bytes.size() - 5 + continued[1].bytes.size() - 5, 255u);
}

TEST(RockRidge, FoldersDeeperThanEightLevelsMoveToTheRootAndLinkBack) {
  test::NodeTree tree(fs_iso9660);
  tree.writer.settings.name_extensions = NameExtensions{false, true};
  SourceNode* folder = tree.writer.tree.root;
  std::vector<SourceNode*> chain;
  for (int level = 2; level <= 12; ++level) {
    folder = tree.dir(folder, u"level" + std::u16string(1, static_cast<char16_t>('a' + level)));
    chain.push_back(folder);
  }
  tree.file(folder, u"bottom.txt", 3);
  tree.dir(tree.writer.tree.root, u"levelj");
  ASSERT_NE(tree.writer.lay_out(), 0u);
  const IsoTree& primary = tree.writer.iso.primary;

  // Level 9 (chain[7], "levelj") lives in the relocation folder of the root
  // now; no directory of the primary hierarchy is deeper than eight levels.
  for (const IsoDirectory& directory : primary.directories) {
    int level = 1;
    for (const IsoDirectory* d = &directory; d != &primary.directories.front();
         d = &primary.directories[d->parent])
      ++level;
    EXPECT_LE(level, 8);
  }
  const auto moved = primary.relocated.find(chain[7]);
  ASSERT_NE(moved, primary.relocated.end());
  const IsoDirectory& relocated = primary.directories[moved->second];
  EXPECT_EQ(relocated.role, RecordRole::relocated);
  EXPECT_EQ(primary.directories[relocated.rock_ridge_parent].node, chain[6]);
  ASSERT_NE(primary.relocation_folder, nullptr);
  const IsoDirectory& relocation = primary.directories[relocated.parent];
  EXPECT_EQ(relocation.node, primary.relocation_folder.get());
  EXPECT_EQ(relocation.parent, 0u);
  EXPECT_EQ(relocation.role, RecordRole::relocated);  // hidden from Rock Ridge readers too
  EXPECT_EQ(test::NodeTree::iso_order(primary, *tree.writer.tree.root), "LEVELC LEVELJ RR_MOVED");
  EXPECT_EQ(test::NodeTree::iso_order(primary, *primary.relocation_folder), "LEVELJ");

  // The record in its old place is a file record that links to it.
  const IsoDirectory& old_parent = test::NodeTree::iso_directory(primary, *chain[6]);
  const IsoEntry& link = primary.entries_of(old_parent).front();
  EXPECT_EQ(link.role, RecordRole::child_link);
  EXPECT_EQ(link.is_directory, 0);
  std::vector<uint8_t> extent((old_parent.bytes + sector_bytes - 1) / sector_bytes * sector_bytes);
  fill_iso_directory(tree.writer, primary, old_parent, tree.writer.iso.record_dates, extent.data());
  const size_t record = extent[0] + extent[extent[0]];  // after "." and ".."
  EXPECT_EQ(extent[record + 25], 0);                    // file flags: a file
  const uint8_t id_length = extent[record + 32];
  const size_t system_use = record + 33 + id_length + (id_length % 2 == 0 ? 1 : 0);
  const auto entries = entries_of(&extent[system_use],
                                  static_cast<uint32_t>(extent[record] - (system_use - record)));
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.front().signature, "CL");
  EXPECT_EQ(read_le32(&entries.front().bytes[4]), primary.location(relocated));
  // PX still says directory.
  EXPECT_EQ(read_le32(&entries[1].bytes[4]) & 0170000u, 040000u);

  // Without Rock Ridge nothing moves: no reader could put it back.
  test::NodeTree plain(fs_iso9660);
  SourceNode* deep = plain.writer.tree.root;
  for (int level = 2; level <= 12; ++level) deep = plain.dir(deep, u"x");
  ASSERT_NE(plain.writer.lay_out(), 0u);
  EXPECT_TRUE(plain.writer.iso.primary.relocated.empty());
  EXPECT_EQ(plain.writer.iso.primary.directories.size(), 12u);
}

TEST(RockRidge, RelocatedDirectoriesComeBeforeTheRestOnTheDisc) {
  // Twenty levels: level 9 moves, and level 15, seven below it, moves again
  // from inside the first. A reader that reads front to back (libarchive)
  // connects the inner one while the outer is still away: the relocated
  // directories and all below them come right after the root and their
  // folder, each nested one after the directory that links to it, and the
  // directories in their place come last.
  test::NodeTree tree(fs_iso9660);
  tree.writer.settings.name_extensions = NameExtensions{false, true};
  SourceNode* folder = tree.writer.tree.root;
  std::vector<SourceNode*> chain{folder};
  for (int level = 2; level <= 20; ++level) {
    folder = tree.dir(folder, u"d" + std::u16string(1, static_cast<char16_t>('a' + level)));
    chain.push_back(folder);
  }
  tree.dir(tree.writer.tree.root, u"other");
  ASSERT_NE(tree.writer.lay_out(), 0u);
  const IsoTree& primary = tree.writer.iso.primary;
  auto sector_of = [&](const SourceNode* node) {
    for (const IsoDirectory& d : primary.directories) {
      if (d.node == node) return d.sector;
    }
    ADD_FAILURE() << "not in the hierarchy";
    return 0u;
  };
  ASSERT_EQ(primary.relocated.size(), 2u);
  EXPECT_EQ(sector_of(chain[0]), 0u);
  EXPECT_GT(sector_of(primary.relocation_folder.get()), sector_of(chain[0]));
  // chain[8] is level 9, chain[14] level 15.
  EXPECT_LT(sector_of(primary.relocation_folder.get()), sector_of(chain[8]));
  EXPECT_LT(sector_of(chain[13]), sector_of(chain[14]));
  for (int i = 9; i <= 19; ++i) EXPECT_LT(sector_of(chain[8]), sector_of(chain[i])) << i;
  for (int i = 1; i <= 7; ++i) EXPECT_GT(sector_of(chain[i]), sector_of(chain[19])) << i;
  // Every directory has one extent of its own, back to back.
  std::vector<uint32_t> sectors;
  for (const IsoDirectory& d : primary.directories) sectors.push_back(d.sector);
  std::sort(sectors.begin(), sectors.end());
  EXPECT_EQ(std::adjacent_find(sectors.begin(), sectors.end()), sectors.end());
}

// Reads the whole image back the way a Rock Ridge reader does: every
// record's entries, following each CE into its continuation area, and
// collects the names of a directory's records.
std::vector<std::string> rock_ridge_names(const std::vector<uint8_t>& image, uint32_t location,
                                          uint32_t bytes) {
  std::vector<std::string> names;
  const uint8_t* extent = image.data() + size_t{location} * sector_bytes;
  for (uint32_t offset = 0; offset < bytes;) {
    const uint8_t length = extent[offset];
    if (length == 0) {
      offset = (offset / sector_bytes + 1) * sector_bytes;
      continue;
    }
    EXPECT_LE(offset % sector_bytes + length, sector_bytes);
    EXPECT_EQ(length % 2, 0);
    const uint8_t id_length = extent[offset + 32];
    const uint32_t use = 33 + id_length + (id_length % 2 == 0 ? 1 : 0);
    std::string name;
    auto read = [&](const uint8_t* area, uint32_t size) {
      for (const Entry& e : entries_of(area, size)) {
        if (e.signature == "NM") name.append(e.bytes.begin() + 5, e.bytes.end());
        if (e.signature == "CE") {
          const uint32_t block = read_le32(&e.bytes[4]), at = read_le32(&e.bytes[12]);
          const uint32_t size_there = read_le32(&e.bytes[20]);
          EXPECT_LE(at + size_there, sector_bytes) << "an area crosses a sector";
          for (const Entry& c :
               entries_of(image.data() + size_t{block} * sector_bytes + at, size_there)) {
            if (c.signature == "NM") name.append(c.bytes.begin() + 5, c.bytes.end());
          }
        }
      }
    };
    read(extent + offset + use, length - use);
    if (id_length > 1) names.push_back(name);
    offset += length;
  }
  return names;
}

// Collects the sectors written from `first` on into `image`.
class ImageEmitter final : public SectorEmitter {
 public:
  ImageEmitter(std::vector<uint8_t>& image, uint64_t first) : image_(image), at_(first) {}
  uint8_t* get_sector_buffer(uint32_t count) override {
    buffer_.assign(size_t{count} * sector_bytes, 0);
    return buffer_.data();
  }
  bool emit_sectors(const uint8_t* buffer, uint32_t count) override {
    if (buffer == nullptr) return false;
    std::copy_n(buffer, size_t{count} * sector_bytes, image_.begin() + at_ * sector_bytes);
    at_ += count;
    return true;
  }
  bool emit_zero_sectors(uint64_t count) override {
    at_ += count;
    return true;
  }
  uint64_t position() const override { return at_; }
  bool expect_position(uint64_t sector) override { return sector == at_; }
  bool stopped() const override { return false; }

 private:
  std::vector<uint8_t>& image_;
  std::vector<uint8_t> buffer_;
  uint64_t at_;
};

TEST(RockRidge, ContinuationAreasOfManyRecordsReadBackThroughTheirRecords) {
  // Two folders of long names: their continuation areas fill sectors one
  // after the other and share the sector where the first folder's end.
  test::NodeTree tree(fs_iso9660);
  tree.writer.settings.name_extensions = NameExtensions{false, true};
  std::map<std::string, std::vector<std::string>> expected;
  for (const char* folder_name : {"first", "second"}) {
    SourceNode* folder =
        tree.dir(tree.writer.tree.root, std::u16string(folder_name, folder_name + 6));
    for (int i = 0; i < 30; ++i) {
      std::string name = std::string(folder_name) + "-" + std::to_string(i) + "-" +
                         std::string(170 + (i * 7) % 70, 'x') + ".dat";
      tree.file(folder, std::u16string(name.begin(), name.end()), 10);
      expected[folder_name].push_back(name);
    }
  }
  ASSERT_NE(tree.writer.lay_out(), 0u);
  const IsoTree& primary = tree.writer.iso.primary;
  ASSERT_GT(primary.continuation_sectors, 2u);
  // The directories and the continuation areas, each where the map put it.
  std::vector<uint8_t> bytes(size_t{tree.writer.layout.image_sectors} * sector_bytes, 0);
  ImageEmitter directories(bytes, primary.directory_area_sector);
  ASSERT_TRUE(
      write_iso_directories(tree.writer, primary, tree.writer.iso.record_dates, directories));
  ImageEmitter continuations(bytes, primary.continuation_area_sector);
  ASSERT_TRUE(write_continuation_areas(tree.writer, primary, continuations));
  EXPECT_EQ(continuations.position(),
            primary.continuation_area_sector + primary.continuation_sectors);
  for (const char* folder_name : {"first", "second"}) {
    const SourceNode* folder =
        test::child_named(*tree.writer.tree.root, std::u16string(folder_name, folder_name + 6));
    const IsoDirectory& directory = test::NodeTree::iso_directory(primary, *folder);
    std::vector<std::string> names = rock_ridge_names(
        bytes, static_cast<uint32_t>(primary.location(directory)), directory.bytes);
    std::sort(names.begin(), names.end());
    std::vector<std::string> wanted = expected[folder_name];
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(names, wanted) << folder_name;
  }
}

}  // namespace
}  // namespace kestrel::iso9660
