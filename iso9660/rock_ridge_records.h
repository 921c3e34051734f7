// The System Use Entries this program writes, declared once: those of the
// System Use Sharing Protocol (SUSP 1.12) and of the Rock Ridge Interchange
// Protocol (RRIP 1.12), each with a check at compile time that its fields
// fill it. Every entry starts with the same four-byte header; numbers are
// both-endian as in ECMA-119.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "disc/field_writer.h"

namespace kestrel::iso9660 {

// SUSP 4.1: the header of every System Use Entry.
namespace entry_header {
inline constexpr Field signature{0, 2};
inline constexpr Field length{2, 1};
inline constexpr Field version{3, 1};
inline constexpr size_t bytes = 4;
static_assert(fields_fill({signature, length, version}, bytes));
}  // namespace entry_header

// Every entry this program writes has entry version 1.
inline constexpr uint8_t system_use_entry_version = 1;

// SUSP 5.3 "SP": the protocol is in use; the first entry of the root
// directory's first record.
namespace sp_entry {
inline constexpr Field header{0, 4};
inline constexpr Field check_bytes{4, 2};
inline constexpr Field bytes_skipped{6, 1};
inline constexpr size_t bytes = 7;
static_assert(fields_fill({header, check_bytes, bytes_skipped}, bytes));
inline constexpr uint8_t check_byte_1 = 0xBE;
inline constexpr uint8_t check_byte_2 = 0xEF;
}  // namespace sp_entry

// SUSP 5.1 "CE": where the entries of a record continue.
namespace ce_entry {
inline constexpr Field header{0, 4};
inline constexpr Field block{4, 8};    // both-endian 32-bit
inline constexpr Field offset{12, 8};  // both-endian 32-bit
inline constexpr Field length{20, 8};  // both-endian 32-bit
inline constexpr size_t bytes = 28;
static_assert(fields_fill({header, block, offset, length}, bytes));
}  // namespace ce_entry

// SUSP 5.5 "ER": which extension the entries belong to; the identifier,
// descriptor and source texts follow the fixed part.
namespace er_entry {
inline constexpr Field header{0, 4};
inline constexpr Field identifier_length{4, 1};
inline constexpr Field descriptor_length{5, 1};
inline constexpr Field source_length{6, 1};
inline constexpr Field extension_version{7, 1};
inline constexpr size_t bytes = 8;
static_assert(fields_fill({header, identifier_length, descriptor_length, source_length,
                           extension_version},
                          bytes));
}  // namespace er_entry

// RRIP 1.12 4.1.1 "PX": POSIX file attributes.
namespace px_entry {
inline constexpr Field header{0, 4};
inline constexpr Field mode{4, 8};    // both-endian 32-bit, st_mode
inline constexpr Field links{12, 8};  // both-endian 32-bit, st_nlink
inline constexpr Field uid{20, 8};
inline constexpr Field gid{28, 8};
inline constexpr Field serial{36, 8};  // both-endian 32-bit, st_ino
inline constexpr size_t bytes = 44;
static_assert(fields_fill({header, mode, links, uid, gid, serial}, bytes));
}  // namespace px_entry

// RRIP 1.12 4.1.4 "NM": the name, or part of it; the name follows.
namespace nm_entry {
inline constexpr Field header{0, 4};
inline constexpr Field flags{4, 1};
inline constexpr size_t bytes = 5;
static_assert(fields_fill({header, flags}, bytes));
inline constexpr uint8_t flag_continue = 0x01;  // the name continues in the next NM
}  // namespace nm_entry

// RRIP 1.12 4.1.5.1 "CL", 4.1.5.2 "PL": the sector of a relocated
// directory, and of the directory a relocated one belongs in.
namespace link_entry {
inline constexpr Field header{0, 4};
inline constexpr Field location{4, 8};  // both-endian 32-bit
inline constexpr size_t bytes = 12;
static_assert(fields_fill({header, location}, bytes));
}  // namespace link_entry

// RRIP 1.12 4.1.5.3 "RE": this record is a relocated directory.
inline constexpr size_t re_entry_bytes = entry_header::bytes;

// RRIP 1.12 4.1.6 "TF": time stamps; 7-byte dates (ECMA-119 9.1.5) follow
// the fixed part, one for each flag set, in the order of the flags.
namespace tf_entry {
inline constexpr Field header{0, 4};
inline constexpr Field flags{4, 1};
inline constexpr size_t bytes = 5;
static_assert(fields_fill({header, flags}, bytes));
inline constexpr uint8_t flag_creation = 0x01;
inline constexpr uint8_t flag_modify = 0x02;
inline constexpr uint8_t flag_access = 0x04;
}  // namespace tf_entry

// RRIP 1.12 5.1: the texts of the "ER" entry that names the protocol.
inline constexpr std::string_view rrip_identifier = "IEEE_P1282";
inline constexpr std::string_view rrip_descriptor =
    "THE IEEE P1282 PROTOCOL PROVIDES SUPPORT FOR POSIX FILE SYSTEM SEMANTICS";
inline constexpr std::string_view rrip_source =
    "PLEASE CONTACT THE IEEE STANDARDS DEPARTMENT, PISCATAWAY, NJ, USA FOR THE P1282 "
    "SPECIFICATION";
inline constexpr uint8_t rrip_extension_version = 1;

// POSIX file types and permission bits (ISO 9945-1) that PX records.
inline constexpr uint32_t mode_directory = 0040000;
inline constexpr uint32_t mode_regular_file = 0100000;
inline constexpr uint32_t mode_readable_by_all = 0444;
inline constexpr uint32_t mode_executable_by_all = 0111;

}  // namespace kestrel::iso9660
