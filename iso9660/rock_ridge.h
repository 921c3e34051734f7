// Rock Ridge (RRIP 1.12 over SUSP 1.12): the System Use Entries of one
// directory record of the primary hierarchy, and where those that do not
// fit the record continue. The layout sizes the entries of every record
// (plan_rock_ridge); only the writing fills them in (fill_rock_ridge).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "disc/disc_image.h"

namespace kestrel::iso9660 {

// ECMA-119 9.1: a directory record has at most 255 bytes.
inline constexpr uint32_t max_directory_record_bytes = 255;
// What a continuation area of one record may hold: far more than the
// longest name and the protocol's "ER" entry together.
inline constexpr uint32_t max_continued_bytes = 1024;

// What the entries of one record say.
struct RockRidgeFacts {
  const SourceNode* node = nullptr;  // whose attributes (PX, TF) and name (NM)
  bool named = false;                // NM: not for the "." and ".." records
  bool protocol = false;             // SP and ER: the root directory's "." record
  bool relocated = false;            // RE: a relocated directory, or their folder
  // CL on the record left in a relocated directory's place, PL on the ".."
  // record of a relocated directory: the sector of the directory it links to.
  bool child_link = false;
  bool parent_link = false;
  uint32_t link_location = 0;
};

// The sizes of a record's entries: those it keeps (with its "CE" entry and
// a padding byte that keeps its length even), and those that continue.
struct RockRidgePlan {
  uint32_t in_record_bytes = 0;
  uint32_t continued_bytes = 0;
  uint8_t kept_entries = 0;  // entries in the record, "CE" not counted
};

// Lays out the entries of a record whose fixed part, identifier and
// padding byte take `record_head` bytes (an even number). The record keeps
// as many entries as fit with its length even; the rest continue.
RockRidgePlan plan_rock_ridge(const RockRidgeFacts& facts, uint32_t record_head);

// Where a record's entries go when it is written: `system_use`, the
// plan's in_record_bytes of the record; `continuation`, continued_bytes of
// its continuation area at (`continuation_sector`, `continuation_offset`),
// which "CE" names. `recorded` is the record's 7-byte date and `recorded_at`
// the time it stands for, which TF repeats for the node's modification.
struct RockRidgeTarget {
  uint8_t* system_use = nullptr;
  uint8_t* continuation = nullptr;  // may be null when only the record is wanted
  uint32_t continuation_sector = 0;
  uint32_t continuation_offset = 0;
  const uint8_t* recorded = nullptr;
  int64_t recorded_at = 0;
};

// Fills the entries as `plan` laid them out.
void fill_rock_ridge(const RockRidgeFacts& facts, const RockRidgePlan& plan,
                     const RockRidgeTarget& target);

// The name Rock Ridge records: the source name exactly as the system has it
// (on Windows its UTF-8 form), up to 255 bytes.
std::string rock_ridge_name(const SourceNode& node);

// Where continuation areas go: one after the other in a run of sectors,
// never one across a sector boundary (SUSP 5.1).
struct ContinuationCursor {
  uint64_t offset = 0;  // bytes from the start of the run

  uint64_t place(uint32_t bytes);
};

}  // namespace kestrel::iso9660
