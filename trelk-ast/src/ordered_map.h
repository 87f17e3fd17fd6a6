#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trelk {

// How an OrderedMap hashes and compares its keys. A test puts its own in
// place to count the comparisons.
struct TextKeyTraits {
  static std::size_t hash(std::string_view key) {
    return std::hash<std::string_view>()(key);
  }
  static bool equal(std::string_view a, std::string_view b) { return a == b; }
};

// A map from text to V that keeps its keys in the order of first insertion:
// the maps of source analysis are keyed by names in the order the source
// writes them, and handing them out in that order is deterministic and
// readable.
//
// A lookup, an insertion or an assignment costs constant time on average,
// whatever the size: one class may hold tens of thousands of fields, and
// the extraction looks each field up as it adds it. A map of up to
// kLinearLimit keys (the keywords of one call, the parameters of one
// function: nearly every map) is searched in order, which is cheaper there
// than hashing; past that, an open-addressing index of entry positions
// stands beside the entries and is rebuilt, twice as large, whenever it
// would be more than half full. The index holds positions, not pointers,
// so a copy of the map is a plain copy of both.
template <class V, class Traits = TextKeyTraits>
class OrderedMap {
 public:
  using value_type = std::pair<std::string, V>;

  // Keys beyond this many are found through the index.
  static constexpr std::size_t kLinearLimit = 8;

  // The value under `key`, or null.
  const V* find(std::string_view key) const {
    const std::size_t position = position_of(key);
    return position == kAbsent ? nullptr : &entries_[position].second;
  }
  V* find(std::string_view key) {
    const std::size_t position = position_of(key);
    return position == kAbsent ? nullptr : &entries_[position].second;
  }
  bool contains(std::string_view key) const { return find(key) != nullptr; }

  // Sets `key` to `value`; a key already present keeps its place.
  void insert_or_assign(std::string_view key, V value) {
    if (V* existing = find(key)) {
      *existing = std::move(value);
      return;
    }
    append(key, std::move(value));
  }

  // The value under `key`, inserted as V() when absent.
  V& operator[](std::string_view key) {
    if (V* existing = find(key)) {
      return *existing;
    }
    return append(key, V());
  }

  void reserve(std::size_t count) { entries_.reserve(count); }

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // Equal entries in equal order; the index follows from them.
  friend bool operator==(const OrderedMap& a, const OrderedMap& b) {
    return a.entries_ == b.entries_;
  }

 private:
  static constexpr std::size_t kAbsent = ~std::size_t{0};

  std::size_t position_of(std::string_view key) const {
    if (slots_.empty()) {
      for (std::size_t position = 0; position < entries_.size(); ++position) {
        if (Traits::equal(entries_[position].first, key)) {
          return position;
        }
      }
      return kAbsent;
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = Traits::hash(key) & mask;;
         slot = (slot + 1) & mask) {
      const std::uint32_t entry = slots_[slot];
      if (entry == 0) {
        return kAbsent;
      }
      if (Traits::equal(entries_[entry - 1].first, key)) {
        return entry - 1;
      }
    }
  }

  // REQUIRES: `key` is absent.
  V& append(std::string_view key, V value) {
    V& added = entries_.emplace_back(std::string(key), std::move(value)).second;
    if (entries_.size() > kLinearLimit) {
      if (2 * entries_.size() > slots_.size()) {
        rebuild_index();
      } else {
        index_entry(entries_.size() - 1);
      }
    }
    return added;
  }

  void rebuild_index() {
    slots_.assign(std::bit_ceil(4 * entries_.size()), 0);
    for (std::size_t position = 0; position < entries_.size(); ++position) {
      index_entry(position);
    }
  }

  // REQUIRES: the index has a free slot.
  void index_entry(std::size_t position) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = Traits::hash(entries_[position].first) & mask;
    while (slots_[slot] != 0) {
      slot = (slot + 1) & mask;
    }
    // Positions fit 32 bits: every key is a name written in a source text,
    // which is smaller than 4 GiB.
    slots_[slot] = static_cast<std::uint32_t>(position + 1);
  }

  std::vector<value_type> entries_;
  // Empty while the map holds at most kLinearLimit keys; then a power of two
  // in size, at most half full. Each slot holds an entry's position plus
  // one, or 0 when free.
  std::vector<std::uint32_t> slots_;
};

}  // namespace trelk
