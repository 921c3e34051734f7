// Joliet names (the Joliet extension's "Allowed Character Set" and
// "Relaxation of ISO 9660 Restrictions"): UCS-2 big-endian, up to 64 units,
// without the characters that Windows file names cannot hold. Names that
// meet, once folded to one case, are told apart with "~N" before the
// extension.
#include "iso9660/joliet_names.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "iso9660/unit_order.h"

namespace kestrel::iso9660 {

char16_t fold_case(char16_t unit) {
  if (unit >= u'a' && unit <= u'z') return static_cast<char16_t>(unit - 0x20);
  // Latin-1: à to þ but the division sign, and ÿ.
  if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) return static_cast<char16_t>(unit - 0x20);
  if (unit == 0xFF) return 0x178;
  // Greek α to ω (final sigma as sigma), Cyrillic а to я and ѐ to џ.
  if (unit == 0x3C2) return 0x3A3;
  if (unit >= 0x3B1 && unit <= 0x3C9) return static_cast<char16_t>(unit - 0x20);
  if (unit >= 0x430 && unit <= 0x44F) return static_cast<char16_t>(unit - 0x20);
  if (unit >= 0x450 && unit <= 0x45F) return static_cast<char16_t>(unit - 0x50);
  return unit;
}

namespace {

constexpr char16_t replacement = u'_';
constexpr char16_t unique_marker = u'~';
constexpr char16_t separator = u'.';
// The longest extension kept whole when a name is shortened; a longer one is
// cut with the rest of the name.
constexpr size_t max_kept_extension_units = 16;

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool forbidden(char16_t unit) {
  return unit < 0x20 || unit == u'*' || unit == u'/' || unit == u':' || unit == u';' ||
         unit == u'?' || unit == u'\\';
}

// The first `units` units of `text`, one fewer when that would cut a
// surrogate pair in half.
std::u16string_view cut(std::u16string_view text, size_t units) {
  if (units >= text.size()) return text;
  if (units > 0 && is_high_surrogate(text[units - 1])) --units;
  return text.substr(0, units);
}

// `name` with `suffix` before its extension, cut to 64 units: the
// extension (from the last dot that is not the first unit) is kept whole
// when it is short enough; the part before it is cut.
std::u16string fitted(std::u16string_view name, std::u16string_view suffix) {
  std::u16string_view base = name;
  std::u16string_view extension;
  const size_t dot = name.rfind(separator);
  if (dot != std::u16string_view::npos && dot > 0 &&
      name.size() - dot <= max_kept_extension_units) {
    base = name.substr(0, dot);
    extension = name.substr(dot);
  }
  const size_t room = max_joliet_name_units - suffix.size() - extension.size();
  std::u16string out(cut(base, room));
  out += suffix;
  out += extension;
  return out;
}

std::u16string folded(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& unit : out) unit = fold_case(unit);
  return out;
}

std::u16string number_text(uint32_t number) {
  std::u16string text(1, unique_marker);
  for (const char digit : std::to_string(number)) text += static_cast<char16_t>(digit);
  return text;
}

// One child of each group of names that meet keeps its name: the first, in
// naming order, that Joliet holds as it is, else the first; the others get
// the lowest "~N" that no other name of the folder has.
void make_names_unique(const std::vector<JolietChild*>& naming_order) {
  std::unordered_map<std::u16string, std::vector<JolietChild*>> groups;
  for (JolietChild* child : naming_order) groups[folded(child->text())].push_back(child);
  std::unordered_set<std::u16string> taken;
  for (const auto& group : groups) taken.insert(group.first);
  for (JolietChild* child : naming_order) {
    const auto found = groups.find(folded(child->text()));
    if (found == groups.end() || found->second.size() < 2 || found->second.front() != child)
      continue;
    const std::vector<JolietChild*>& group = found->second;
    const auto keeper =
        std::find_if(group.begin(), group.end(), [](const JolietChild* c) { return !c->altered; });
    const JolietChild* keeping = keeper != group.end() ? *keeper : group.front();
    uint32_t number = 1;
    for (JolietChild* member : group) {
      if (member == keeping) continue;
      std::u16string candidate;
      do {
        candidate = fitted(member->text(), number_text(number++));
      } while (!taken.insert(folded(candidate)).second);
      member->name = std::move(candidate);
      member->altered = true;
    }
  }
}

// The children by source name, so that the same folder gives the same
// names whatever order the system lists it in.
std::vector<JolietChild*> naming_order(std::vector<JolietChild>& children) {
  std::vector<JolietChild*> order;
  order.reserve(children.size());
  for (JolietChild& child : children) order.push_back(&child);
  const auto less = [](const JolietChild* a, const JolietChild* b) {
    return source_name_less(*a->node, *b->node);
  };
  // The names of one source folder: their order is total (source_name_less).
  if (!std::is_sorted(order.begin(), order.end(), less))
    std::sort(order.begin(), order.end(), less);
  return order;
}

// True when Joliet holds the name as it is: no forbidden character, no
// unpaired surrogate, no last dot, at most 64 units.
bool holds_as_is(std::u16string_view name) {
  if (name.size() > max_joliet_name_units || (!name.empty() && name.back() == separator))
    return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t unit = name[i];
    if (forbidden(unit)) return false;
    if (is_high_surrogate(unit)) {
      if (i + 1 == name.size() || !is_low_surrogate(name[i + 1])) return false;
      ++i;
    } else if (is_low_surrogate(unit)) {
      return false;
    }
  }
  return true;
}

// FNV-1a over the name folded to one case: names that meet get one value.
uint64_t folded_hash(std::u16string_view name) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char16_t unit : name) {
    // ASCII, most names, without the call.
    const char16_t folded = unit >= 0x80                     ? fold_case(unit)
                            : (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20)
                                                             : unit;
    hash = (hash ^ folded) * 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

std::u16string joliet_name(std::u16string_view name, bool& altered) {
  std::u16string out;
  out.reserve(name.size());
  altered = false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t unit = name[i];
    if (is_high_surrogate(unit) && i + 1 < name.size() && is_low_surrogate(name[i + 1])) {
      out += unit;
      out += name[++i];
    } else if (forbidden(unit) || is_high_surrogate(unit) || is_low_surrogate(unit)) {
      out += replacement;
      altered = true;
    } else {
      out += unit;
    }
  }
  if (out.size() > max_joliet_name_units) {
    out = fitted(out, {});
    altered = true;
  }
  // Readers drop the dots a name ends with, as Windows names cannot end in
  // one: "name." would read back as "name", "..." as ".".
  for (size_t i = out.size(); i > 0 && out[i - 1] == separator; --i) {
    out[i - 1] = replacement;
    altered = true;
  }
  return out;
}

void name_joliet_children(const SourceNode& directory, std::vector<JolietChild>& children) {
  children.clear();
  size_t count = 0;
  for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next)
    ++count;
  children.reserve(count);
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    const std::u16string_view name(child->name, child->name_length);
    // Most names are recorded as they are, and need no copy.
    if (holds_as_is(name)) {
      children.push_back(JolietChild{child, {}, false});
      continue;
    }
    bool altered = false;
    std::u16string joliet = joliet_name(name, altered);
    children.push_back(JolietChild{child, std::move(joliet), altered});
  }
  // Names that meet without regard to case have one folded value; most
  // folders have none.
  std::vector<uint64_t> folded_values;
  folded_values.reserve(children.size());
  for (const JolietChild& child : children) folded_values.push_back(folded_hash(child.text()));
  std::sort(folded_values.begin(), folded_values.end());
  if (std::adjacent_find(folded_values.begin(), folded_values.end()) != folded_values.end())
    make_names_unique(naming_order(children));
  // The names are unique now: the order of their units is total. A folder
  // that UDF has put in name order is in Joliet order already, unless a
  // name was altered.
  const auto by_name = [](const JolietChild& a, const JolietChild& b) {
    return units_less(a.text(), b.text());
  };
  if (std::is_sorted(children.begin(), children.end(), by_name)) return;
  struct SortedChild {
    std::u16string_view name;
    JolietChild* child;
  };
  std::vector<SortedChild> sorted_names;
  sorted_names.reserve(children.size());
  for (JolietChild& child : children) sorted_names.push_back(SortedChild{child.text(), &child});
  std::sort(sorted_names.begin(), sorted_names.end(),
            [](const SortedChild& a, const SortedChild& b) { return units_less(a.name, b.name); });
  std::vector<JolietChild> sorted;
  sorted.reserve(children.size());
  for (const SortedChild& entry : sorted_names) sorted.push_back(std::move(*entry.child));
  children = std::move(sorted);
}

}  // namespace kestrel::iso9660
