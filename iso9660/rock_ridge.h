// Rock Ridge (RRIP 1.12 over SUSP 1.12): the System Use Entries of one
// directory record of the primary hierarchy, and where those that do not
// fit the record continue.
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
  bool relocated = false;            // RE: a directory moved out of a too deep place
  // CL on the record left in a relocated directory's place, PL on the ".."
  // record of a relocated directory: the sector of the directory it links to.
  bool child_link = false;
  bool parent_link = false;
  uint32_t link_location = 0;
};

// The System Use bytes of one record: those in the record, and those that
// continue in a continuation area (SUSP 5.1), which the record's "CE" entry
// names.
// Only the first in_record_bytes and continued_bytes of the arrays count;
// the rest is never read.
struct SystemUse {
  uint8_t in_record[max_directory_record_bytes];
  uint32_t in_record_bytes = 0;
  uint8_t continued[max_continued_bytes];
  uint32_t continued_bytes = 0;
  uint32_t ce_at = 0;  // where the "CE" entry lies in `in_record`

  // Fills in the "CE" entry once the continuation area has its place.
  void set_continuation(uint32_t sector, uint32_t offset);
};

// Lays out the entries of a record whose fixed part, identifier and
// padding byte take `record_head` bytes (an even number). The record keeps
// as many entries as fit with its length even; the rest continue. False
// when even the continuation area cannot hold them.
bool lay_out_rock_ridge(const RockRidgeFacts& facts, uint32_t record_head, SystemUse& out);

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
