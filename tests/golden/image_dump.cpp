#include "golden/image_dump.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "partition/crc32.h"

namespace kestrel::test {
namespace {

constexpr uint64_t block = 2048;
constexpr uint64_t no_sector = UINT64_MAX;

std::string num(uint64_t value) { return std::to_string(value); }

std::string hex(const uint8_t* bytes, size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

uint64_t fnv1a(const uint8_t* bytes, size_t count) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;
  return hash;
}

// Printable ASCII as it is, anything else escaped, so that the text shows
// every byte it stands for.
std::string quoted(const uint8_t* bytes, size_t count) {
  std::string text = "\"";
  for (size_t i = 0; i < count; ++i) {
    const uint8_t c = bytes[i];
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      text += static_cast<char>(c);
    } else {
      text += "\\x" + hex(&c, 1);
    }
  }
  return text + "\"";
}

void append_utf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UCS-2 / UTF-16 big-endian text as UTF-8; a unit that is not half of a
// pair shows as U+FFFD.
std::string utf16be(const uint8_t* bytes, uint64_t count) {
  std::string out;
  for (uint64_t i = 0; i + 1 < count; i += 2) {
    uint32_t unit = static_cast<uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < count) {
      const uint32_t low = static_cast<uint32_t>(bytes[i + 2] << 8 | bytes[i + 3]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else {
        unit = 0xFFFD;
      }
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      unit = 0xFFFD;
    }
    append_utf8(out, unit);
  }
  return out;
}

// The image's bytes, and which of them a decoded field or file data explains.
class Image {
 public:
  explicit Image(const std::vector<uint8_t>& bytes) : bytes_(bytes), claimed_(bytes.size()) {}

  uint64_t sectors() const { return bytes_.size() / block; }
  bool has(uint64_t at, uint64_t count) const {
    return at <= bytes_.size() && count <= bytes_.size() - at;
  }
  // Claims `count` bytes at `at`; null when they lie beyond the image.
  const uint8_t* take(uint64_t at, uint64_t count) {
    if (!has(at, count)) {
      problems.push_back("read of " + num(count) + " bytes at byte " + num(at) + " past the end");
      return nullptr;
    }
    std::fill_n(claimed_.begin() + static_cast<ptrdiff_t>(at), count, uint8_t{1});
    return bytes_.data() + at;
  }
  const uint8_t* peek(uint64_t at, uint64_t count) const {
    return has(at, count) ? bytes_.data() + at : nullptr;
  }
  uint64_t le(uint64_t at, int width) {
    const uint8_t* p = take(at, static_cast<uint64_t>(width));
    uint64_t value = 0;
    for (int i = width - 1; p != nullptr && i >= 0; --i) value = value << 8 | p[i];
    return value;
  }
  uint64_t be(uint64_t at, int width) {
    const uint8_t* p = take(at, static_cast<uint64_t>(width));
    uint64_t value = 0;
    for (int i = 0; p != nullptr && i < width; ++i) value = value << 8 | p[i];
    return value;
  }
  // A both-byte-order number: its value, or both halves when they disagree.
  std::string both(uint64_t at, int width) {
    const uint64_t little = le(at, width), big = be(at + static_cast<uint64_t>(width), width);
    return little == big ? num(little) : num(little) + "/BE:" + num(big);
  }
  bool claimed(uint64_t at) const { return claimed_[at] != 0; }
  uint8_t byte(uint64_t at) const { return bytes_[at]; }

  std::vector<std::string> problems;

 private:
  const std::vector<uint8_t>& bytes_;
  std::vector<uint8_t> claimed_;
};

// What the dump says, sector by sector.
class Listing {
 public:
  void add(uint64_t sector, std::string line) { lines_[sector].push_back(std::move(line)); }
  const std::map<uint64_t, std::vector<std::string>>& lines() const { return lines_; }

 private:
  std::map<uint64_t, std::vector<std::string>> lines_;
};

// Fields shared by the ISO 9660 and the UDF decoders.
class Fields {
 public:
  Fields(Image& image, uint64_t base) : image_(image), base_(base) {}
  uint64_t u8(uint64_t offset) { return image_.le(base_ + offset, 1); }
  uint64_t le16(uint64_t offset) { return image_.le(base_ + offset, 2); }
  uint64_t le32(uint64_t offset) { return image_.le(base_ + offset, 4); }
  uint64_t le64(uint64_t offset) { return image_.le(base_ + offset, 8); }
  uint64_t be16(uint64_t offset) { return image_.be(base_ + offset, 2); }
  uint64_t be32(uint64_t offset) { return image_.be(base_ + offset, 4); }
  std::string both16(uint64_t offset) { return image_.both(base_ + offset, 2); }
  std::string both32(uint64_t offset) { return image_.both(base_ + offset, 4); }
  const uint8_t* bytes(uint64_t offset, uint64_t count) {
    return image_.take(base_ + offset, count);
  }
  Fields at(uint64_t offset) const { return Fields(image_, base_ + offset); }
  uint64_t base() const { return base_; }

  // A text field padded with spaces: trailing spaces are left out.
  std::string padded(uint64_t offset, uint64_t width) {
    const uint8_t* p = bytes(offset, width);
    if (p == nullptr) return "?";
    uint64_t length = width;
    while (length > 0 && p[length - 1] == ' ') --length;
    return quoted(p, length);
  }
  // Bytes that should be zero-padded text or zeros: up to the last non-zero byte.
  std::string trimmed(uint64_t offset, uint64_t width) {
    const uint8_t* p = bytes(offset, width);
    if (p == nullptr) return "?";
    uint64_t length = width;
    while (length > 0 && p[length - 1] == 0) --length;
    return quoted(p, length);
  }
  std::string hex_trimmed(uint64_t offset, uint64_t width) {
    const uint8_t* p = bytes(offset, width);
    if (p == nullptr) return "?";
    uint64_t length = width;
    while (length > 0 && p[length - 1] == 0) --length;
    return length == 0 ? "0" : hex(p, length);
  }

 private:
  Image& image_;
  uint64_t base_;
};

// --- ISO 9660 -----------------------------------------------------------------

std::string iso_date7(Fields f) {
  const uint8_t* p = f.bytes(0, 7);
  if (p == nullptr) return "?";
  if (std::all_of(p, p + 7, [](uint8_t b) { return b == 0; })) return "none";
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u tz=%d", 1900u + p[0], p[1], p[2],
                p[3], p[4], p[5], static_cast<int8_t>(p[6]));
  return text;
}

std::string iso_date17(Fields f) {
  const uint8_t* p = f.bytes(0, 17);
  if (p == nullptr) return "?";
  return quoted(p, 16) + " tz=" + std::to_string(static_cast<int8_t>(p[16]));
}

struct IsoDirectory {
  uint64_t location;
  uint64_t bytes;
  std::string path;
};

class IsoDecoder {
 public:
  IsoDecoder(Image& image, Listing& listing,
             std::map<std::pair<uint64_t, uint64_t>, std::vector<std::string>>& data)
      : image_(image), listing_(listing), data_(data) {}

  // A primary volume descriptor (ECMA-119 8.4), or a supplementary one
  // (8.5) whose escape sequences name UCS-2 (Joliet), with the hierarchy it
  // leads to.
  void volume_descriptor(uint64_t sector, bool joliet) {
    joliet_ = joliet;
    Fields f(image_, sector * block);
    f.u8(0);
    f.bytes(1, 5);
    f.u8(6);
    if (joliet) {
      listing_.add(sector, "ISO supplementary volume descriptor (Joliet) version=" + num(f.u8(6)) +
                               " flags=" + num(f.u8(7)) + " escapes=" + f.hex_trimmed(88, 32) +
                               " system=" + text(f, 8, 32) + " volume=" + text(f, 40, 32) +
                               " space=" + f.both32(80) + " set_size=" + f.both16(120) +
                               " sequence=" + f.both16(124) + " block=" + f.both16(128));
    } else {
      listing_.add(sector, "ISO primary volume descriptor version=" + num(f.u8(6)) +
                               " system=" + f.padded(8, 32) + " volume=" + f.padded(40, 32) +
                               " space=" + f.both32(80) + " set_size=" + f.both16(120) +
                               " sequence=" + f.both16(124) + " block=" + f.both16(128));
    }
    const uint64_t table_bytes = f.le32(132);
    const uint64_t l_table = f.le32(140), m_table = f.be32(148);
    listing_.add(sector, "    path_table_bytes=" + f.both32(132) + " L=" + num(l_table) +
                             " optional_L=" + num(f.le32(144)) + " M=" + num(m_table) +
                             " optional_M=" + num(f.be32(152)));
    const Record root = record(f.at(156));
    listing_.add(sector, "    root " + root.line);
    listing_.add(sector, "    volume_set=" + text(f, 190, 128) + " publisher=" + text(f, 318, 128) +
                             " preparer=" + text(f, 446, 128));
    listing_.add(sector, "    application=" + text(f, 574, 128) + " copyright=" + text(f, 702, 37) +
                             " abstract=" + text(f, 739, 37) +
                             " bibliographic=" + text(f, 776, 37));
    listing_.add(sector,
                 "    created=" + iso_date17(f.at(813)) + " modified=" + iso_date17(f.at(830)) +
                     " expires=" + iso_date17(f.at(847)) + " effective=" + iso_date17(f.at(864)) +
                     " structure_version=" + num(f.u8(881)));
    path_table(l_table, table_bytes, true);
    path_table(m_table, table_bytes, false);
    directories(IsoDirectory{root.location, root.bytes, ""});
  }

 private:
  // A text field: 8-bit and padded with spaces, or in a Joliet descriptor
  // UCS-2 padded with UCS-2 spaces (a field of odd width ends in one byte
  // more, shown when it is not zero).
  std::string text(Fields f, uint64_t offset, uint64_t width) {
    if (!joliet_) return f.padded(offset, width);
    const uint8_t* p = f.bytes(offset, width);
    if (p == nullptr) return "?";
    uint64_t units = width / 2;
    while (units > 0 && p[2 * units - 2] == 0 && p[2 * units - 1] == ' ') --units;
    std::string out = "u\"" + utf16be(p, 2 * units) + "\"";
    if (width % 2 != 0 && p[width - 1] != 0) out += "+" + hex(p + width - 1, 1);
    return out;
  }

  // An identifier as text: 8-bit bytes quoted, or UCS-2 decoded (Joliet).
  std::string identifier_text(const uint8_t* id, uint64_t length) {
    if (!joliet_ || (length == 1 && id[0] <= 1)) return quoted(id, length);
    return "u\"" + utf16be(id, length) + "\"";
  }

  struct Record {
    uint64_t length = 0, location = 0, bytes = 0, flags = 0;
    std::string name;  // empty for the "." and ".." records
    std::string line;
  };

  // One directory record (ECMA-119 9.1).
  Record record(Fields f) {
    Record r;
    r.length = f.u8(0);
    const uint64_t name_length = f.u8(32);
    const uint8_t* name = f.bytes(33, name_length);
    r.location = image_.le(f.base() + 2, 4);
    r.bytes = image_.le(f.base() + 10, 4);
    r.flags = f.u8(25);
    r.line = "record length=" + num(r.length) + " attribute_length=" + num(f.u8(1)) +
             " extent=" + f.both32(2) + " bytes=" + f.both32(10) + " date=" + iso_date7(f.at(18)) +
             " flags=" + num(r.flags) + " unit=" + num(f.u8(26)) + " gap=" + num(f.u8(27)) +
             " volume=" + f.both16(28) +
             " id=" + (name != nullptr ? identifier_text(name, name_length) : "?");
    const uint64_t used = 33 + name_length + (name_length % 2 == 0 ? 1 : 0);
    if (r.length > used) {
      // The root's first record starts the System Use Sharing Protocol
      // with "SP" (SUSP 5.3): from there on the system use is entries.
      const uint8_t* head = image_.peek(f.base() + used, 7);
      if (!joliet_ && r.length - used >= 7 && head != nullptr && head[0] == 'S' && head[1] == 'P' &&
          head[4] == 0xBE && head[5] == 0xEF)
        susp_ = true;
      if (susp_ && !joliet_) {
        r.line += " susp:" + system_use(f.base() + used, r.length - used);
      } else {
        r.line +=
            " system_use=" + f.hex_trimmed(used, r.length - used) + "/" + num(r.length - used);
      }
    }
    if (name != nullptr && !(name_length == 1 && name[0] <= 1)) {
      r.name = joliet_ ? utf16be(name, name_length)
                       : std::string(reinterpret_cast<const char*>(name), name_length);
    }
    return r;
  }

  // The System Use Entries (SUSP 1.12, RRIP 1.12) at `at`, and those of the
  // continuation areas that a "CE" entry names, decoded as text.
  std::string system_use(uint64_t at, uint64_t length, int depth = 0) {
    std::string out;
    Fields f(image_, at);
    uint64_t offset = 0;
    while (length - offset >= 4) {
      const uint8_t* header = image_.peek(at + offset, 4);
      if (header == nullptr || header[2] < 4 || header[2] > length - offset) break;
      const uint64_t size = header[2];
      Fields e = f.at(offset);
      const std::string signature(reinterpret_cast<const char*>(e.bytes(0, 2)), 2);
      out += " " + signature;
      if (e.u8(3) != 1) out += "(v" + num(e.u8(3)) + ")";
      if (signature == "SP" && size == 7) {
        out += "(check=" + hex(e.bytes(4, 2), 2) + " skip=" + num(e.u8(6)) + ")";
      } else if (signature == "CE" && size == 28) {
        const uint64_t ce_block = image_.le(e.base() + 4, 4),
                       ce_offset = image_.le(e.base() + 12, 4),
                       ce_length = image_.le(e.base() + 20, 4);
        out += "(" + e.both32(4) + "+" + e.both32(12) + " length=" + e.both32(20) + ")";
        if (depth < 4 && ce_offset + ce_length <= block)
          out += " {" + system_use(ce_block * block + ce_offset, ce_length, depth + 1) + " }";
      } else if (signature == "ER" && size >= 8) {
        const uint64_t id = e.u8(4), des = e.u8(5), src = e.u8(6);
        out += "(version=" + num(e.u8(7)) + " id=" + e.trimmed(8, id) +
               " descriptor=" + e.trimmed(8 + id, des) + " source=" + e.trimmed(8 + id + des, src) +
               ")";
      } else if (signature == "PX" && (size == 44 || size == 36)) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%06llo",
                      static_cast<unsigned long long>(image_.le(e.base() + 4, 4)));
        e.both32(4);
        out += std::string("(mode=") + mode + " links=" + e.both32(12) + " uid=" + e.both32(20) +
               " gid=" + e.both32(28) + (size == 44 ? " serial=" + e.both32(36) : "") + ")";
      } else if (signature == "NM" && size >= 5) {
        out += "(flags=" + num(e.u8(4)) + " " + quoted(e.bytes(5, size - 5), size - 5) + ")";
      } else if (signature == "TF" && size >= 5) {
        const uint64_t flags = e.u8(4);
        out += "(flags=" + num(flags);
        for (uint64_t i = 0; 5 + 7 * i + 7 <= size; ++i) out += " " + iso_date7(e.at(5 + 7 * i));
        out += ")";
      } else if ((signature == "CL" || signature == "PL") && size == 12) {
        out += "(" + e.both32(4) + ")";
      } else if (signature == "RE" && size == 4) {
      } else {
        out += "(" + e.hex_trimmed(4, size - 4) + "/" + num(size - 4) + ")";
      }
      e.u8(2);
      offset += size;
    }
    if (offset < length) out += " rest=" + f.hex_trimmed(offset, length - offset);
    return out;
  }

  void path_table(uint64_t sector, uint64_t bytes, bool little_endian) {
    const std::string name = std::string(joliet_ ? "Joliet" : "ISO") +
                             (little_endian ? " path table L" : " path table M");
    listing_.add(sector, name + " bytes=" + num(bytes));
    for (uint64_t offset = 0; offset < bytes;) {
      Fields f(image_, sector * block + offset);
      const uint64_t name_length = f.u8(0);
      const uint64_t location = little_endian ? f.le32(2) : f.be32(2);
      const uint64_t parent = little_endian ? f.le16(6) : f.be16(6);
      const uint8_t* id = f.bytes(8, name_length);
      listing_.add(sector, "    directory attribute_length=" + num(f.u8(1)) +
                               " extent=" + num(location) + " parent=" + num(parent) +
                               " id=" + (id != nullptr ? identifier_text(id, name_length) : "?"));
      if (name_length == 0 || id == nullptr) break;
      offset += 8 + name_length + name_length % 2;
    }
  }

  void directories(const IsoDirectory& root) {
    std::vector<IsoDirectory> queue{root};
    std::set<uint64_t> seen;
    for (size_t next = 0; next < queue.size(); ++next) {
      const IsoDirectory directory = queue[next];
      if (!seen.insert(directory.location).second) continue;
      const uint64_t start = directory.location * block;
      listing_.add(directory.location, std::string(joliet_ ? "Joliet" : "ISO") + " directory /" +
                                           directory.path + " bytes=" + num(directory.bytes));
      for (uint64_t offset = 0; offset < directory.bytes;) {
        if (!image_.has(start + offset, 1)) break;
        const uint8_t length = image_.peek(start + offset, 1)[0];
        if (length == 0) {
          offset = (offset / block + 1) * block;  // records never cross a sector
          continue;
        }
        const Record r = record(Fields(image_, start + offset));
        listing_.add(directory.location + offset / block, "    " + r.line);
        if (!r.name.empty()) {
          const std::string path = directory.path + r.name;
          if (r.flags & 2) {
            queue.push_back(IsoDirectory{r.location, r.bytes, path + "/"});
          } else if (r.bytes > 0) {
            data_[{r.location * block, r.bytes}].push_back((joliet_ ? "joliet /" : "iso /") + path);
          }
        }
        offset += length;
      }
    }
  }

  Image& image_;
  Listing& listing_;
  std::map<std::pair<uint64_t, uint64_t>, std::vector<std::string>>& data_;
  bool joliet_ = false;
  bool susp_ = false;  // the primary hierarchy's records carry SUSP entries
};

// --- UDF -------------------------------------------------------------------------

uint16_t crc_itu(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

std::string timestamp(Fields f) {
  const uint64_t type_zone = f.le16(0);
  const uint8_t* p = f.bytes(2, 10);
  if (p == nullptr) return "?";
  const int zone = static_cast<int>(type_zone & 0xFFF) - ((type_zone & 0x800) ? 0x1000 : 0);
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", p[0] | (p[1] << 8), p[2], p[3],
                p[4], p[5], p[6]);
  std::string result = text;
  if (p[7] != 0 || p[8] != 0 || p[9] != 0) result += "." + hex(p + 7, 3);
  result += zone == -2047 ? " tz=none" : " tz=" + std::to_string(zone);
  if ((type_zone >> 12) != 1) result += " type=" + num(type_zone >> 12);
  return result;
}

std::string regid(Fields f) {
  const uint64_t flags = f.u8(0);
  std::string text = f.trimmed(1, 23);
  const std::string suffix = f.hex_trimmed(24, 8);
  if (flags != 0) text += " flags=" + num(flags);
  if (suffix != "0") text += " suffix=" + suffix;
  return text;
}

std::string charspec(Fields f) { return "cs" + num(f.u8(0)) + " " + f.trimmed(1, 63); }

// The characters of a d-string or file identifier (compression ID first).
std::string dchars(const uint8_t* p, uint64_t count) {
  if (count == 0) return "\"\"";
  std::string text;
  if (p[0] == 8) {
    for (uint64_t i = 1; i < count; ++i) append_utf8(text, p[i]);
  } else if (p[0] == 16) {
    for (uint64_t i = 1; i + 1 < count; i += 2)
      append_utf8(text, static_cast<uint32_t>(p[i] << 8 | p[i + 1]));
  } else {
    return "compression" + num(p[0]) + ":" + hex(p + 1, count - 1);
  }
  return (p[0] == 8 ? "8\"" : "16\"") + text + "\"";
}

std::string dstring(Fields f, uint64_t width) {
  const uint64_t used = f.u8(width - 1);
  if (used == 0) return "empty";
  if (used > width - 1) return "used=" + num(used) + "!";
  const uint8_t* p = f.bytes(0, used);
  return p == nullptr ? "?" : dchars(p, used);
}

std::string extent_ad(Fields f) { return num(f.le32(0)) + "@" + num(f.le32(4)); }

std::string long_ad(Fields f) {
  const uint64_t length = f.le32(0);
  std::string text = (length >> 30 ? "type" + num(length >> 30) + ":" : "") +
                     num(length & 0x3FFFFFFF) + "@" + num(f.le16(8)) + ":" + num(f.le32(4));
  const std::string use = f.hex_trimmed(10, 6);
  if (use != "0") text += " use=" + use;
  return text;
}

const char* tag_name(uint64_t id) {
  switch (id) {
    case 1: return "primary volume descriptor";
    case 2: return "anchor volume descriptor pointer";
    case 4: return "implementation use volume descriptor";
    case 5: return "partition descriptor";
    case 6: return "logical volume descriptor";
    case 7: return "unallocated space descriptor";
    case 8: return "terminating descriptor";
    case 9: return "logical volume integrity descriptor";
    case 256: return "file set descriptor";
    case 257: return "file identifier";
    case 258: return "allocation extent descriptor";
    case 261: return "file entry";
    case 262: return "extended attribute header";
    case 266: return "extended file entry";
    default: return "unknown descriptor";
  }
}

// An allocation descriptor of a file entry or allocation extent.
struct Allocation {
  uint64_t type;
  uint64_t bytes;
  uint64_t partition;
  uint64_t block;
};

struct Entry {
  bool valid = false;
  bool directory = false;
  uint64_t information_length = 0;
  std::vector<Allocation> allocations;
};

class UdfDecoder {
 public:
  UdfDecoder(Image& image, Listing& listing,
             std::map<std::pair<uint64_t, uint64_t>, std::vector<std::string>>& data)
      : image_(image), listing_(listing), data_(data) {}

  void decode() {
    if (tag_id(256) != 2) return;
    anchor(256);
    const uint64_t last = image_.sectors() - 1;
    if (last != 256 && tag_id(last) == 2) anchor(last);
    if (partition_start_ == no_sector) return;
    if (!integrity_.empty()) sequence(integrity_[1], integrity_[0], "integrity");
    if (metadata_map_) metadata_files();
    file_set();
  }

 private:
  uint64_t tag_id(uint64_t sector) const {
    const uint8_t* p = image_.peek(sector * block, 2);
    return p == nullptr ? 0 : static_cast<uint64_t>(p[0] | (p[1] << 8));
  }

  // The descriptor tag: identifier, version, serial, CRC length and location,
  // with the checksum and the CRC checked rather than printed.
  std::string tag(uint64_t at) {
    Fields f(image_, at);
    const uint64_t id = f.le16(0), version = f.le16(2), checksum = f.u8(4);
    f.u8(5);
    const uint64_t serial = f.le16(6), crc = f.le16(8), crc_length = f.le16(10);
    const uint64_t location = f.le32(12);
    const uint8_t* head = image_.peek(at, 16);
    unsigned sum = 0;
    for (int i = 0; head != nullptr && i < 16; ++i) sum += i == 4 ? 0 : head[i];
    const uint8_t* body = image_.peek(at + 16, crc_length);
    std::string text = std::string(tag_name(id)) + " [tag " + num(id) + " v" + num(version) +
                       " serial=" + num(serial) + " crc_length=" + num(crc_length) +
                       " location=" + num(location);
    if ((sum & 0xFF) != checksum) text += " BAD-CHECKSUM";
    if (body == nullptr || crc_itu(body, crc_length) != crc) text += " BAD-CRC";
    return text + "]";
  }

  void anchor(uint64_t sector) {
    Fields f(image_, sector * block);
    const uint64_t main_bytes = f.le32(16), main_start = f.le32(20);
    const uint64_t reserve_bytes = f.le32(24), reserve_start = f.le32(28);
    listing_.add(sector, tag(sector * block) + " main=" + num(main_bytes) + "@" + num(main_start) +
                             " reserve=" + num(reserve_bytes) + "@" + num(reserve_start));
    if (sequences_.insert(main_start).second) sequence(main_start, main_bytes, "main");
    if (sequences_.insert(reserve_start).second) sequence(reserve_start, reserve_bytes, "reserve");
  }

  void sequence(uint64_t first, uint64_t bytes, const std::string& which) {
    for (uint64_t sector = first; sector < first + bytes / block; ++sector) {
      const uint64_t id = tag_id(sector);
      if (id == 0) break;
      const uint64_t at = sector * block;
      Fields f(image_, at);
      std::string line = which + " " + tag(at);
      switch (id) {
        case 1:
          line += " sequence=" + num(f.le32(16)) + " number=" + num(f.le32(20)) +
                  " volume=" + dstring(f.at(24), 32) + " volume_sequence=" + num(f.le16(56)) + "/" +
                  num(f.le16(58)) + " interchange=" + num(f.le16(60)) + "/" + num(f.le16(62)) +
                  " charsets=" + num(f.le32(64)) + "/" + num(f.le32(68));
          listing_.add(sector, line);
          listing_.add(sector, "    volume_set=" + dstring(f.at(72), 128) +
                                   " charsets=" + charspec(f.at(200)) + ", " + charspec(f.at(264)) +
                                   " abstract=" + extent_ad(f.at(328)) +
                                   " copyright=" + extent_ad(f.at(336)));
          listing_.add(
              sector, "    application=" + regid(f.at(344)) + " recorded=" + timestamp(f.at(376)) +
                          " implementation=" + regid(f.at(388)) + " use=" + f.hex_trimmed(420, 64) +
                          " predecessor=" + num(f.le32(484)) + " flags=" + num(f.le16(488)));
          break;
        case 4:
          line += " sequence=" + num(f.le32(16)) + " implementation=" + regid(f.at(20));
          listing_.add(sector, line);
          listing_.add(sector,
                       "    charset=" + charspec(f.at(52)) + " volume=" + dstring(f.at(116), 128) +
                           " info=" + dstring(f.at(244), 36) + "," + dstring(f.at(280), 36) + "," +
                           dstring(f.at(316), 36) + " lv_implementation=" + regid(f.at(352)) +
                           " use=" + f.hex_trimmed(384, 128));
          break;
        case 5:
          partition_start_ = f.le32(188);
          line += " sequence=" + num(f.le32(16)) + " flags=" + num(f.le16(20)) +
                  " number=" + num(f.le16(22)) + " contents=" + regid(f.at(24)) +
                  " contents_use=" + f.hex_trimmed(56, 128) + " access=" + num(f.le32(184)) +
                  " start=" + num(partition_start_) + " length=" + num(f.le32(192));
          listing_.add(sector, line);
          listing_.add(
              sector, "    implementation=" + regid(f.at(196)) + " use=" + f.hex_trimmed(228, 128));
          break;
        case 6: logical_volume(sector, f, line); break;
        case 7:
          line += " sequence=" + num(f.le32(16)) + " descriptors=" + num(f.le32(20));
          listing_.add(sector, line);
          break;
        case 9: integrity(sector, f, line); break;
        default: listing_.add(sector, line); break;
      }
      if (id == 8) break;
    }
  }

  void logical_volume(uint64_t sector, Fields f, std::string line) {
    const uint64_t map_bytes = f.le32(264), maps = f.le32(268);
    line += " sequence=" + num(f.le32(16)) + " charset=" + charspec(f.at(20)) +
            " volume=" + dstring(f.at(84), 128) + " block=" + num(f.le32(212));
    listing_.add(sector, line);
    file_set_block_ = f.le32(252);
    file_set_partition_ = f.le16(256);
    listing_.add(sector, "    domain=" + regid(f.at(216)) + " file_set=" + long_ad(f.at(248)) +
                             " map_bytes=" + num(map_bytes) + " maps=" + num(maps));
    integrity_ = {f.le32(432), f.le32(436)};
    listing_.add(sector, "    implementation=" + regid(f.at(272)) + " use=" +
                             f.hex_trimmed(304, 128) + " integrity=" + extent_ad(f.at(432)));
    uint64_t offset = 440;
    for (uint64_t i = 0; i < maps && offset < 440 + map_bytes; ++i) {
      Fields map = f.at(offset);
      const uint64_t type = map.u8(0), length = map.u8(1);
      if (type == 1) {
        listing_.add(sector, "    map " + num(i) + " type 1 length=" + num(length) +
                                 " volume_sequence=" + num(map.le16(2)) +
                                 " partition=" + num(map.le16(4)));
      } else {
        metadata_map_ = true;
        metadata_file_ = map.le32(40);
        mirror_file_ = map.le32(44);
        listing_.add(sector,
                     "    map " + num(i) + " type " + num(type) + " length=" + num(length) + " " +
                         regid(map.at(4)) + " volume_sequence=" + num(map.le16(36)) +
                         " partition=" + num(map.le16(38)) + " metadata=" + num(metadata_file_) +
                         " mirror=" + num(mirror_file_) + " bitmap=" + num(map.le32(48)) +
                         " allocation_unit=" + num(map.le32(52)) +
                         " alignment_unit=" + num(map.le16(56)) + " flags=" + num(map.u8(58)));
      }
      if (length == 0) break;
      offset += length;
    }
  }

  void integrity(uint64_t sector, Fields f, std::string line) {
    const uint64_t partitions = f.le32(72), use_bytes = f.le32(76);
    line += " recorded=" + timestamp(f.at(16)) + " type=" + num(f.le32(28)) +
            " next=" + extent_ad(f.at(32)) + " next_unique_id=" + num(f.le64(40)) +
            " contents_use=" + f.hex_trimmed(48, 24) + " partitions=" + num(partitions);
    listing_.add(sector, line);
    std::string tables = "    free=";
    for (uint64_t i = 0; i < partitions; ++i) tables += (i ? "," : "") + num(f.le32(80 + 4 * i));
    tables += " sizes=";
    for (uint64_t i = 0; i < partitions; ++i)
      tables += (i ? "," : "") + num(f.le32(80 + 4 * (partitions + i)));
    Fields use = f.at(80 + 8 * partitions);
    tables += " implementation=" + regid(use) + " files=" + num(use.le32(32)) +
              " directories=" + num(use.le32(36)) + " revisions=" + num(use.le16(40)) + "/" +
              num(use.le16(42)) + "/" + num(use.le16(44)) +
              (use_bytes > 46 ? " use=" + use.hex_trimmed(46, use_bytes - 46) : "");
    listing_.add(sector, tables);
  }

  // Absolute sector of a logical block of partition reference `partition`.
  uint64_t sector_of(uint64_t partition, uint64_t logical) const {
    if (partition == 0) return partition_start_ + logical;
    if (partition != 1 || !metadata_map_) return no_sector;
    for (const Allocation& extent : metadata_extents_) {
      const uint64_t blocks = extent.bytes / block;
      if (logical < blocks) return partition_start_ + extent.block + logical;
      logical -= blocks;
    }
    return no_sector;
  }

  void metadata_files() {
    const Entry metadata = entry(0, metadata_file_, "metadata file", false);
    metadata_extents_ = metadata.allocations;
    const Entry mirror = entry(0, mirror_file_, "metadata mirror file", false);
    // The mirror's data must equal the metadata file's, block for block.
    uint64_t blocks = 0;
    for (const Allocation& extent : metadata.allocations) blocks += extent.bytes / block;
    std::vector<uint64_t> mirror_sectors;
    for (const Allocation& extent : mirror.allocations)
      for (uint64_t i = 0; i < extent.bytes / block; ++i)
        mirror_sectors.push_back(partition_start_ + extent.block + i);
    if (mirror_sectors.empty()) return;
    std::string verdict = "identical to the metadata file's " + num(blocks) + " blocks";
    bool same = mirror_sectors.size() == blocks;
    for (uint64_t i = 0; same && i < blocks; ++i) {
      const uint8_t* a = image_.peek(sector_of(1, i) * block, block);
      const uint8_t* b = image_.peek(mirror_sectors[i] * block, block);
      if (a == nullptr || b == nullptr || !std::equal(a, a + block, b)) {
        verdict = "DIFFERS from the metadata file's data at block " + num(i);
        same = false;
      }
    }
    if (same)
      for (uint64_t s : mirror_sectors) image_.take(s * block, block);
    listing_.add(mirror_sectors.front(), "metadata mirror data: " + verdict);
  }

  void file_set() {
    const uint64_t sector = sector_of(file_set_partition_, file_set_block_);
    if (sector == no_sector || tag_id(sector) != 256) return;
    Fields f(image_, sector * block);
    listing_.add(sector, tag(sector * block) + " recorded=" + timestamp(f.at(16)) +
                             " interchange=" + num(f.le16(28)) + "/" + num(f.le16(30)) +
                             " charsets=" + num(f.le32(32)) + "/" + num(f.le32(36)) +
                             " number=" + num(f.le32(40)) + "/" + num(f.le32(44)));
    listing_.add(
        sector, "    charset=" + charspec(f.at(48)) + " volume=" + dstring(f.at(112), 128) +
                    " file_set_charset=" + charspec(f.at(240)) +
                    " file_set=" + dstring(f.at(304), 32) + " copyright=" + dstring(f.at(336), 32) +
                    " abstract=" + dstring(f.at(368), 32));
    const uint64_t root_block = f.le32(404), root_partition = f.le16(408);
    listing_.add(sector, "    root=" + long_ad(f.at(400)) + " domain=" + regid(f.at(416)) +
                             " next=" + long_ad(f.at(448)) + " streams=" + long_ad(f.at(464)));
    const uint64_t next = sector_of(file_set_partition_, file_set_block_ + 1);
    if (next != no_sector && tag_id(next) == 8) listing_.add(next, tag(next * block));
    directories(root_partition, root_block);
  }

  // Reads the file identifiers of every directory, breadth first, and the
  // entry of every child.
  void directories(uint64_t root_partition, uint64_t root_block) {
    struct Pending {
      uint64_t partition, logical;
      std::string path;
    };
    std::vector<Pending> queue{{root_partition, root_block, "/"}};
    std::set<std::pair<uint64_t, uint64_t>> seen;
    for (size_t next = 0; next < queue.size(); ++next) {
      const Pending current = queue[next];
      if (!seen.insert({current.partition, current.logical}).second) continue;
      const Entry directory = entry(current.partition, current.logical, current.path, true);
      if (!directory.directory) continue;
      // The identifier stream, byte by byte, as absolute image offsets.
      std::vector<uint64_t> where;
      for (const Allocation& extent : directory.allocations) {
        for (uint64_t i = 0; i < extent.bytes; ++i) {
          const uint64_t sector = sector_of(extent.partition, extent.block + i / block);
          if (sector == no_sector) break;
          where.push_back(sector * block + i % block);
        }
      }
      where.resize(std::min<uint64_t>(where.size(), directory.information_length));
      for (uint64_t offset = 0; offset + 38 <= where.size();) {
        const Identifier id = identifier(where, offset);
        if (id.length == 0) break;
        if (!id.parent && id.name_valid) {
          const std::string path = current.path + id.name;
          queue.push_back({id.partition, id.logical, path + (id.directory ? "/" : "")});
        }
        offset += id.length;
      }
    }
  }

  struct Identifier {
    uint64_t length = 0;
    bool parent = false, directory = false, name_valid = false;
    uint64_t partition = 0, logical = 0;
    std::string name;
  };

  // One file identifier descriptor at `offset` of a directory's stream.
  Identifier identifier(const std::vector<uint64_t>& where, uint64_t offset) {
    // Copies the descriptor out of the stream (it may cross a block) and
    // claims its bytes.
    const uint64_t fixed = 38;
    auto byte_at = [&](uint64_t i) -> uint8_t {
      return offset + i < where.size() ? image_.peek(where[offset + i], 1)[0] : 0;
    };
    const uint64_t name_length = byte_at(19);
    const uint64_t use_length = static_cast<uint64_t>(byte_at(36) | (byte_at(37) << 8));
    const uint64_t length = (fixed + use_length + name_length + 3) & ~uint64_t{3};
    Identifier id;
    if (byte_at(0) != 1 || byte_at(1) != 1 || offset + length > where.size()) return id;
    std::vector<uint8_t> copy(length);
    for (uint64_t i = 0; i < length; ++i) {
      copy[i] = byte_at(i);
      image_.take(where[offset + i], 1);
    }
    // Decoded from the copy, so fields that cross a block read whole.
    auto le = [&](uint64_t at, int width) {
      uint64_t value = 0;
      for (int i = width - 1; i >= 0; --i) value = value << 8 | copy[at + static_cast<uint64_t>(i)];
      return value;
    };
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i) sum += i == 4 ? 0 : copy[static_cast<size_t>(i)];
    const uint64_t crc_length = le(10, 2);
    std::string tag_text = "file identifier [tag 257 v" + num(le(2, 2)) +
                           " serial=" + num(le(6, 2)) + " crc_length=" + num(crc_length) +
                           " location=" + num(le(12, 4));
    if ((sum & 0xFF) != copy[4]) tag_text += " BAD-CHECKSUM";
    if (16 + crc_length > length || crc_itu(copy.data() + 16, crc_length) != le(8, 2))
      tag_text += " BAD-CRC";
    tag_text += "]";
    id.length = length;
    const uint64_t characteristics = copy[18];
    id.parent = (characteristics & 8) != 0;
    id.directory = (characteristics & 2) != 0;
    id.partition = le(28, 2);
    id.logical = le(24, 4);
    const uint64_t icb_length = le(20, 4);
    const uint64_t name_at = fixed + use_length;
    const std::string name = dchars(copy.data() + name_at, name_length);
    if (name_length > 0) {
      id.name_valid = true;
      // The path shows the name without its compression mark.
      const size_t quote = name.find('"');
      id.name = quote == std::string::npos ? name : name.substr(quote + 1, name.size() - quote - 2);
    }
    std::string line = "    " + tag_text + " version=" + num(le(16, 2)) +
                       " characteristics=" + num(characteristics) +
                       " icb=" + (icb_length >> 30 ? "type" + num(icb_length >> 30) + ":" : "") +
                       num(icb_length & 0x3FFFFFFF) + "@" + num(id.partition) + ":" +
                       num(id.logical) + " icb_flags=" + num(le(30, 2)) +
                       " unique_id=" + num(le(32, 4));
    if (use_length > 0) line += " use=" + hex(copy.data() + fixed, use_length);
    line += id.parent ? " (parent)" : " name=" + name;
    // Padding after the name must be zero.
    for (uint64_t i = name_at + name_length; i < length; ++i)
      if (copy[i] != 0) line += " PADDING-NOT-ZERO";
    listing_.add(where[offset] / block, line);
    return id;
  }

  // A file entry or extended file entry, with its extended attributes,
  // allocation descriptors and continuation extents; file data extents are
  // noted for the listing.
  Entry entry(uint64_t partition, uint64_t logical, const std::string& path, bool file_tree) {
    Entry result;
    const uint64_t sector = sector_of(partition, logical);
    const uint64_t id = sector == no_sector ? 0 : tag_id(sector);
    if (id != 261 && id != 266) {
      if (sector != no_sector) listing_.add(sector, path + ": no file entry (tag " + num(id) + ")");
      return result;
    }
    const bool extended = id == 266;
    Fields f(image_, sector * block);
    const uint64_t file_type = f.u8(27), flags = f.le16(34);
    result.valid = true;
    result.directory = file_type == 4;
    listing_.add(sector, tag(sector * block) + " " + path);
    listing_.add(sector, "    icb prior=" + num(f.le32(16)) + " strategy=" + num(f.le16(20)) + "/" +
                             num(f.le16(22)) + " max=" + num(f.le16(24)) +
                             " type=" + num(file_type) + " parent=" + num(f.le32(28)) + ":" +
                             num(f.le16(32)) + " flags=" + num(flags) + " uid=" + num(f.le32(36)) +
                             " gid=" + num(f.le32(40)) + " permissions=" + num(f.le32(44)) +
                             " links=" + num(f.le16(48)) + " record=" + num(f.u8(50)) + "/" +
                             num(f.u8(51)) + "/" + num(f.le32(52)));
    result.information_length = f.le64(56);
    std::string sizes = "    length=" + num(result.information_length);
    uint64_t at = 64;
    if (extended) sizes += " object_size=" + num(f.le64(at)), at += 8;
    sizes += " blocks=" + num(f.le64(at));
    at += 8;
    sizes += " access=" + timestamp(f.at(at));
    sizes += " modified=" + timestamp(f.at(at + 12));
    at += 24;
    if (extended) sizes += " created=" + timestamp(f.at(at)), at += 12;
    sizes += " attributes=" + timestamp(f.at(at));
    at += 12;
    listing_.add(sector, sizes);
    std::string rest = "    checkpoint=" + num(f.le32(at));
    at += extended ? 8 : 4;
    rest += " ea_icb=" + long_ad(f.at(at));
    at += 16;
    if (extended) rest += " streams=" + long_ad(f.at(at)), at += 16;
    rest += " implementation=" + regid(f.at(at)) + " unique_id=" + num(f.le64(at + 32));
    const uint64_t ea_length = f.le32(at + 40), ad_length = f.le32(at + 44);
    rest += " ea_length=" + num(ea_length) + " ad_length=" + num(ad_length);
    listing_.add(sector, rest);
    const uint64_t ea_start = at + 48;
    if (ea_length > 0) attributes(sector, ea_start, ea_length);
    allocations(sector, f.at(ea_start + ea_length), ad_length, flags & 7, partition, result);
    if (!file_tree || result.directory) return result;
    for (size_t i = 0; i < result.allocations.size(); ++i) {
      const Allocation& a = result.allocations[i];
      const uint64_t start = sector_of(a.partition, a.block);
      if (a.type != 0 || a.bytes == 0 || start == no_sector) continue;
      data_[{start * block, a.bytes}].push_back(
          "udf " + path + (result.allocations.size() > 1 ? " #" + num(i) : ""));
    }
    return result;
  }

  void attributes(uint64_t sector, uint64_t start, uint64_t length) {
    const uint64_t at = sector * block + start;
    Fields header(image_, at);
    const uint64_t implementation = header.le32(16), application = header.le32(20);
    listing_.add(sector, "    ea " + tag(at) + " implementation_at=" + num(implementation) +
                             " application_at=" + num(application));
    for (uint64_t offset = 24; offset + 12 <= length;) {
      Fields a = header.at(offset);
      const uint64_t type = a.le32(0), subtype = a.u8(4), bytes = a.le32(8);
      std::string line = "    ea attribute type=" + num(type) + "/" + num(subtype) +
                         " length=" + num(bytes) + " reserved=" + a.hex_trimmed(5, 3);
      if (type == 2048 && bytes >= 48) {
        const uint64_t use = a.le32(12);
        line += " " + regid(a.at(16)) + " use=" + a.hex_trimmed(48, use) + "/" + num(use);
      }
      listing_.add(sector, line);
      if (bytes == 0) break;
      offset += bytes;
    }
  }

  void allocations(uint64_t sector, Fields area, uint64_t length, uint64_t form,
                   uint64_t own_partition, Entry& result) {
    const uint64_t size = form == 0 ? 8 : 16;
    std::string line;
    int on_line = 0;
    auto flush = [&] {
      if (!line.empty()) listing_.add(sector, "    ad" + line);
      line.clear();
      on_line = 0;
    };
    for (uint64_t offset = 0; offset + size <= length; offset += size) {
      Fields ad = area.at(offset);
      Allocation a{};
      const uint64_t raw = ad.le32(0);
      a.type = raw >> 30;
      a.bytes = raw & 0x3FFFFFFF;
      if (form == 0) {
        a.block = ad.le32(4);
        a.partition = own_partition;
        line +=
            " " + (a.type ? "type" + num(a.type) + ":" : "") + num(a.bytes) + "@" + num(a.block);
      } else {
        a.block = ad.le32(4);
        a.partition = ad.le16(8);
        line += " " + long_ad(ad);
      }
      if (++on_line == 6) flush();
      if (a.type == 3) {
        flush();
        continuation(a, result);
        return;
      }
      result.allocations.push_back(a);
    }
    flush();
  }

  void continuation(const Allocation& next, Entry& result) {
    const uint64_t sector = sector_of(next.partition, next.block);
    if (sector == no_sector || tag_id(sector) != 258) return;
    Fields f(image_, sector * block);
    const uint64_t length = f.le32(20);
    listing_.add(
        sector, tag(sector * block) + " previous=" + num(f.le32(16)) + " ad_length=" + num(length));
    allocations(sector, f.at(24), length, 1, next.partition, result);
  }

  Image& image_;
  Listing& listing_;
  std::map<std::pair<uint64_t, uint64_t>, std::vector<std::string>>& data_;
  std::set<uint64_t> sequences_;
  std::vector<uint64_t> integrity_;
  uint64_t partition_start_ = no_sector;
  uint64_t file_set_block_ = 0, file_set_partition_ = 0;
  bool metadata_map_ = false;
  uint64_t metadata_file_ = 0, mirror_file_ = 0;
  std::vector<Allocation> metadata_extents_;
};

// --- Boot record and catalog ---------------------------------------------------------

// One boot entry of the catalog (initial or section entry).
std::string boot_entry(Fields e) {
  return "indicator=" + hex(e.bytes(0, 1), 1) + " media=" + num(e.u8(1)) +
         " load_segment=" + num(e.le16(2)) + " system_type=" + num(e.u8(4)) +
         " unused=" + num(e.u8(5)) + " sectors=" + num(e.le16(6)) + " at=" + num(e.le32(8)) +
         " criteria=" + e.hex_trimmed(12, 20);
}

// An El Torito boot record (volume descriptor type 0) and the catalog it
// names: the validation entry with its checksum, the initial entry and every
// section with its entries, up to the first unused entry.
void boot_record(Image& image, Listing& listing, uint64_t sector) {
  Fields f(image, sector * block);
  listing.add(sector, "boot record version=" + num(f.u8(6)) + " system=" + f.trimmed(7, 32) +
                          " boot_id=" + f.trimmed(39, 32) + " catalog=" + num(f.le32(71)) +
                          " system_use=" + f.hex_trimmed(75, 1973));
  const uint64_t catalog = image.peek(sector * block + 71, 4) == nullptr ? 0 : f.le32(71);
  if (catalog == 0 || catalog >= image.sectors()) return;
  Fields c(image, catalog * block);
  uint64_t sum = 0;
  for (uint64_t at = 0; at < 32; at += 2) {
    const uint8_t* p = image.peek(catalog * block + at, 2);
    if (p != nullptr) sum += static_cast<uint64_t>(p[0] | (p[1] << 8));
  }
  listing.add(catalog, "boot catalog validation header=" + num(c.u8(0)) +
                           " platform=" + hex(c.bytes(1, 1), 1) + " reserved=" + num(c.le16(2)) +
                           " id=" + c.trimmed(4, 24) + " checksum=" + num(c.le16(28)) +
                           ((sum & 0xFFFF) == 0 ? "" : " BAD-CHECKSUM") +
                           " key=" + hex(c.bytes(30, 2), 2));
  listing.add(catalog, "    initial " + boot_entry(c.at(32)));
  for (uint64_t at = 64; at + 32 <= block;) {
    const uint8_t* p = image.peek(catalog * block + at, 1);
    if (p == nullptr || (*p != 0x90 && *p != 0x91)) break;
    Fields h = c.at(at);
    const uint64_t header = h.u8(0);
    const uint64_t entries = h.le16(2);
    listing.add(catalog, "    section header=" + hex(h.bytes(0, 1), 1) +
                             " platform=" + hex(h.bytes(1, 1), 1) + " entries=" + num(entries) +
                             " id=" + h.trimmed(4, 28));
    at += 32;
    for (uint64_t i = 0; i < entries && at + 32 <= block; ++i, at += 32)
      listing.add(catalog, "        entry " + boot_entry(c.at(at)));
    if (header == 0x91) break;
  }
}

// --- Volume recognition ---------------------------------------------------------

// The volume descriptors from sector 16: ISO 9660 ones ("CD001") and the
// UDF volume structure descriptors, up to the first sector that is neither.
// --- MBR and GPT (UEFI 2.10 5.2, 5.3) -----------------------------------------------

std::string guid_text(const uint8_t* g) {
  char text[40];
  std::snprintf(text, sizeof text,
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", g[3], g[2],
                g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14],
                g[15]);
  return text;
}

std::string chs_text(const uint8_t* chs) {
  const unsigned cylinder = chs[2] | (static_cast<unsigned>(chs[1] & 0xC0) << 2);
  return num(cylinder) + "/" + num(chs[0]) + "/" + num(chs[1] & 0x3Fu);
}

class PartitionDecoder {
 public:
  PartitionDecoder(Image& image, Listing& listing) : image_(image), listing_(listing) {}

  void decode() {
    const uint8_t* signature = image_.peek(510, 2);
    if (signature == nullptr || signature[0] != 0x55 || signature[1] != 0xAA) return;
    Fields mbr(image_, 0);
    const uint8_t* code = mbr.bytes(0, 432);
    char hash[24];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(code != nullptr ? fnv1a(code, 432) : 0));
    listing_.add(
        0, "MBR boot_code fnv=" + std::string(hash) + " loader_block=" + num(mbr.le64(432)) +
               " disk_signature=" + hex(mbr.bytes(440, 4), 4) + " reserved=" + num(mbr.le16(444)) +
               " signature=" + hex(mbr.bytes(510, 2), 2));
    for (uint64_t i = 0; i < 4; ++i) {
      Fields record = mbr.at(446 + 16 * i);
      const uint64_t indicator = record.u8(0), type = record.u8(4);
      const std::string chs = chs_text(record.bytes(1, 3)) + "-" + chs_text(record.bytes(5, 3));
      const uint64_t first = record.le32(8), count = record.le32(12);
      if (indicator == 0 && type == 0 && count == 0 && first == 0) continue;
      listing_.add(0, "  partition " + num(i + 1) + " indicator=" + hex(record.bytes(0, 1), 1) +
                          " type=" + hex(record.bytes(4, 1), 1) + " chs=" + chs +
                          " lba=" + num(first) + " blocks=" + num(count));
    }
    const uint8_t* primary = image_.peek(512, 8);
    if (primary == nullptr || std::string(reinterpret_cast<const char*>(primary), 8) != "EFI PART")
      return;
    const uint64_t alternate = header(512, "primary");
    header(alternate * 512, "backup");
  }

 private:
  // A GPT header and its entries; returns the alternate header's block.
  uint64_t header(uint64_t at, const std::string& which) {
    const uint8_t* raw = image_.peek(at, 92);
    if (raw == nullptr) {
      image_.problems.push_back("no " + which + " GPT header at byte " + num(at));
      return 0;
    }
    std::vector<uint8_t> copy(raw, raw + 92);
    std::fill_n(copy.begin() + 16, 4, uint8_t{0});
    const uint32_t header_crc = partition::crc32(copy.data(), copy.size());
    Fields f(image_, at);
    const uint64_t sector = at / block;
    std::string line = "GPT " + which + " header at block " + num(at / 512) +
                       " signature=" + quoted(f.bytes(0, 8), 8) +
                       " revision=" + hex(f.bytes(8, 4), 4) + " size=" + num(f.le32(12));
    line += f.le32(16) == header_crc ? " crc=ok" : " CRC-MISMATCH";
    line += " reserved=" + num(f.le32(20)) + " my=" + num(f.le64(24));
    const uint64_t alternate = f.le64(32);
    line += " alternate=" + num(alternate) + " usable=" + num(f.le64(40)) + "-" + num(f.le64(48)) +
            " disk=" + guid_text(f.bytes(56, 16));
    const uint64_t entries = f.le64(72), count = f.le32(80), size = f.le32(84);
    const uint64_t entries_crc = f.le32(88);
    f.bytes(92, 512 - 92);
    line += " entries=" + num(entries) + " count=" + num(count) + " size=" + num(size);
    listing_.add(sector, line);
    const uint8_t* array = image_.take(entries * 512, count * size);
    if (array == nullptr) return alternate;
    const bool crc_ok = partition::crc32(array, count * size) == entries_crc;
    listing_.add(entries * 512 / block,
                 "GPT " + which + " entries" + (crc_ok ? " crc=ok" : " CRC-MISMATCH"));
    for (uint64_t i = 0; i < count && size >= 128; ++i) {
      const uint8_t* e = array + i * size;
      if (std::all_of(e, e + size, [](uint8_t b) { return b == 0; })) continue;
      std::string name;
      for (size_t c = 56; c + 1 < 128 && (e[c] | e[c + 1]) != 0; c += 2)
        append_utf8(name, static_cast<uint32_t>(e[c] | e[c + 1] << 8));
      uint64_t first = 0, last = 0, attributes = 0;
      for (int b = 7; b >= 0; --b) {
        first = first << 8 | e[32 + b];
        last = last << 8 | e[40 + b];
        attributes = attributes << 8 | e[48 + b];
      }
      char attribute_text[24];
      std::snprintf(attribute_text, sizeof attribute_text, "%016llx",
                    static_cast<unsigned long long>(attributes));
      listing_.add(entries * 512 / block,
                   "  entry " + num(i + 1) + " type=" + guid_text(e) +
                       " unique=" + guid_text(e + 16) + " blocks=" + num(first) + "-" + num(last) +
                       " attributes=" + attribute_text + " name=\"" + name + "\"");
    }
    return alternate;
  }

  Image& image_;
  Listing& listing_;
};

void recognition(Image& image, Listing& listing, IsoDecoder& iso) {
  static const std::set<std::string> udf_ids = {"BEA01", "NSR02", "NSR03", "TEA01", "BOOT2"};
  for (uint64_t sector = 16; sector < image.sectors(); ++sector) {
    const uint8_t* p = image.peek(sector * block + 1, 5);
    if (p == nullptr) return;
    const std::string id(reinterpret_cast<const char*>(p), 5);
    Fields f(image, sector * block);
    if (id == "CD001") {
      const uint64_t type = f.u8(0);
      f.bytes(1, 5);
      const uint8_t* escapes = image.peek(sector * block + 88, 3);
      const bool ucs2 = escapes != nullptr && escapes[0] == 0x25 && escapes[1] == 0x2F &&
                        (escapes[2] == 0x40 || escapes[2] == 0x43 || escapes[2] == 0x45);
      if (type == 1 || (type == 2 && ucs2)) {
        iso.volume_descriptor(sector, type == 2);
      } else if (type == 0) {
        boot_record(image, listing, sector);
      } else {
        listing.add(sector, "ISO volume descriptor type=" + num(type) + " version=" + num(f.u8(6)));
      }
    } else if (udf_ids.count(id) != 0) {
      listing.add(sector, "volume structure descriptor type=" + num(f.u8(0)) +
                              " id=" + quoted(f.bytes(1, 5), 5) + " version=" + num(f.u8(6)));
    } else {
      return;
    }
  }
}

}  // namespace

std::string dump_image(const std::vector<uint8_t>& bytes) {
  Image image(bytes);
  Listing listing;
  std::map<std::pair<uint64_t, uint64_t>, std::vector<std::string>> data;
  IsoDecoder iso(image, listing, data);
  recognition(image, listing, iso);
  UdfDecoder(image, listing, data).decode();
  PartitionDecoder(image, listing).decode();

  for (const auto& [extent, owners] : data) {
    const uint8_t* p = image.take(extent.first, extent.second);
    const uint64_t first = extent.first / block;
    const uint64_t last = (extent.first + extent.second - 1) / block;
    std::string line = "data " + num(first) + "-" + num(last) + " bytes=" + num(extent.second);
    if (p != nullptr) {
      char hash[24];
      std::snprintf(hash, sizeof hash, " fnv=%016llx",
                    static_cast<unsigned long long>(fnv1a(p, extent.second)));
      line += hash;
    }
    for (const std::string& owner : owners) line += " " + owner;
    listing.add(first, line);
  }

  // The listing in sector order, with the runs of unexplained zero sectors
  // between the structures and every unexplained non-zero byte.
  std::string out;
  auto prefix = [](uint64_t sector) {
    std::string text = num(sector);
    return std::string(text.size() < 8 ? 8 - text.size() : 0, ' ') + text + "  ";
  };
  uint64_t zero_from = no_sector;
  auto close_zero_run = [&](uint64_t end) {
    if (zero_from == no_sector) return;
    out += prefix(zero_from) + "zero " + num(zero_from) + "-" + num(end - 1) + " (" +
           num(end - zero_from) + " sectors)\n";
    zero_from = no_sector;
  };
  const auto& lines = listing.lines();
  for (uint64_t sector = 0; sector < image.sectors(); ++sector) {
    bool any_claimed = false;
    std::string unexplained;
    uint64_t run_start = no_sector;
    for (uint64_t i = 0; i <= block; ++i) {
      const uint64_t at = sector * block + i;
      const bool stray = i < block && !image.claimed(at) && image.byte(at) != 0;
      if (i < block && image.claimed(at)) any_claimed = true;
      if (stray && run_start == no_sector) run_start = i;
      if (!stray && run_start != no_sector) {
        unexplained +=
            " " + num(run_start) + "-" + num(i - 1) + ":" +
            hex(image.peek(sector * block + run_start, std::min<uint64_t>(i - run_start, 8)),
                std::min<uint64_t>(i - run_start, 8));
        run_start = no_sector;
      }
    }
    const auto found = lines.find(sector);
    if (found == lines.end() && !any_claimed && unexplained.empty()) {
      if (zero_from == no_sector) zero_from = sector;
      continue;
    }
    close_zero_run(sector);
    bool first = true;
    if (found != lines.end()) {
      for (const std::string& line : found->second) {
        out += (first ? prefix(sector) : std::string(10, ' ')) + line + "\n";
        first = false;
      }
    }
    if (!unexplained.empty())
      out += (first ? prefix(sector) : std::string(10, ' ')) + "UNEXPLAINED bytes" + unexplained +
             "\n";
  }
  close_zero_run(image.sectors());
  if (bytes.size() % block != 0) out += "UNEXPLAINED: the image ends inside a sector\n";
  for (const std::string& problem : image.problems) out += "PROBLEM: " + problem + "\n";
  return out;
}

}  // namespace kestrel::test
