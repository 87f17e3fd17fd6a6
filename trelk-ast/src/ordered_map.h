#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trelk {

// A map from text to V that keeps its keys in the order of first insertion:
// the maps of source analysis are keyed by names in the order the source
// writes them, and handing them out in that order is deterministic and
// readable. Lookups are linear: these maps hold the keywords of one call,
// the parameters of one function or the fields of one class.
template <class V>
class OrderedMap {
 public:
  using value_type = std::pair<std::string, V>;

  // The value under `key`, or null.
  const V* find(std::string_view key) const {
    for (const value_type& entry : entries_) {
      if (entry.first == key) {
        return &entry.second;
      }
    }
    return nullptr;
  }
  V* find(std::string_view key) {
    return const_cast<V*>(std::as_const(*this).find(key));
  }
  bool contains(std::string_view key) const { return find(key) != nullptr; }

  // Sets `key` to `value`; a key already present keeps its place.
  void insert_or_assign(std::string_view key, V value) {
    if (V* existing = find(key)) {
      *existing = std::move(value);
      return;
    }
    entries_.emplace_back(std::string(key), std::move(value));
  }

  // The value under `key`, inserted as V() when absent.
  V& operator[](std::string_view key) {
    if (V* existing = find(key)) {
      return *existing;
    }
    return entries_.emplace_back(std::string(key), V()).second;
  }

  void reserve(std::size_t count) { entries_.reserve(count); }

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  friend bool operator==(const OrderedMap&, const OrderedMap&) = default;

 private:
  std::vector<value_type> entries_;
};

}  // namespace trelk
