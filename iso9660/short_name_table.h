// A table of short byte strings (at most 16 bytes, no zero byte), each with
// a number: what the naming of a folder's look-alike identifiers looks up
// once per name. One flat array of slots, sized once for the names it will
// hold, so a folder of 100,000 look-alikes makes no allocation per name.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace kestrel::iso9660 {

class ShortNameTable {
 public:
  static constexpr size_t max_key_bytes = 16;

  // Room for `names` keys without growing.
  explicit ShortNameTable(size_t names) { slots_.resize(slot_count_for(names)); }

  // The number kept for `key`, made `initial` when the key is new. The
  // reference is valid until the next key is added.
  uint32_t& number(std::string_view key, uint32_t initial) {
    const Key packed = pack(key);
    Slot* slot = &slots_[find(packed)];
    if (!slot->used) {
      slot = &add(packed);
      slot->value = initial;
    }
    return slot->value;
  }
  // Adds `key`; false when it was there.
  bool insert(std::string_view key) {
    const Key packed = pack(key);
    if (slots_[find(packed)].used) return false;
    add(packed);
    return true;
  }
  bool contains(std::string_view key) const { return slots_[find(pack(key))].used; }

 private:
  struct Key {
    uint64_t high = 0;
    uint64_t low = 0;
    bool operator==(const Key&) const = default;
  };
  struct Slot {
    Key key;
    uint32_t value = 0;
    bool used = false;
  };

  // At most half the slots in use.
  static size_t slot_count_for(size_t keys) {
    return std::bit_ceil(keys < 4 ? size_t{8} : 2 * keys);
  }

  // The key's bytes, zero-padded: keys hold no zero byte, so two keys are
  // equal exactly when their packed forms are.
  static Key pack(std::string_view text) {
    uint8_t bytes[max_key_bytes] = {};
    std::memcpy(bytes, text.data(), text.size() < max_key_bytes ? text.size() : max_key_bytes);
    Key key;
    std::memcpy(&key.high, bytes, sizeof key.high);
    std::memcpy(&key.low, bytes + sizeof key.high, sizeof key.low);
    return key;
  }

  // A 64-bit finaliser in which each input bit changes about half the
  // output bits.
  static uint64_t mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    return x;
  }

  // The slot that holds `key`, or the free one where it would go (linear
  // probing). At least half the slots are free, so the search ends.
  size_t find(const Key& key) const {
    // Every byte of the key reaches the low bits the slot is taken from:
    // look-alike identifiers differ in their last bytes.
    const uint64_t hash = mix(key.high ^ mix(key.low));
    const size_t mask = slots_.size() - 1;
    for (size_t at = static_cast<size_t>(hash) & mask;; at = (at + 1) & mask) {
      if (!slots_[at].used || slots_[at].key == key) return at;
    }
  }

  // Puts a key that is not in the table into it, growing the table first
  // when it would be more than half full.
  Slot& add(const Key& key) {
    if (2 * (used_ + 1) > slots_.size()) {
      std::vector<Slot> old = std::move(slots_);
      slots_.assign(slot_count_for(used_ + 1), Slot{});
      for (const Slot& slot : old) {
        if (slot.used) slots_[find(slot.key)] = slot;
      }
    }
    Slot& slot = slots_[find(key)];
    slot.key = key;
    slot.used = true;
    ++used_;
    return slot;
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

}  // namespace kestrel::iso9660
