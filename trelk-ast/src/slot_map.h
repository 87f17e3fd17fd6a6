#pragma once

#include <cxxabi.h>

#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>

namespace trelk {

// A map from path text to a value computed at most once per key, shared by
// any number of threads: the shape of both of source analysis's caches.
//
// A reader-writer lock guards the map and is held only for a lookup or a
// get-or-insert; each key's slot has a mutex of its own, held while the value
// is computed, so different keys are computed in parallel and concurrent
// requests for one key wait for its first computation and share the result.
// The map lock is always released before a slot's mutex is taken. Keys are
// compared byte by byte; nothing is ever removed.
//
// A computation either gives a value or a failure message, and either is
// kept for good. When a computation ends by an exception (a broken
// invariant), the slot stays not computed and is poisoned: the exception
// goes on to the caller, and every later request for that key fails with the
// slot's poisoning message. An exhausted heap does not poison: the next
// request tries again, and neither does the end of the thread (the forced
// unwind of pthread_exit), which must pass through every frame. Nothing that
// can break an invariant runs under the map lock, so the map itself is never
// poisoned.
template <class Value>
class SlotMap {
 public:
  // `slot_poisoned_prefix` followed by the key is the text of a poisoned
  // slot's failure. REQUIRES: it outlives the map (a literal).
  explicit SlotMap(std::string_view slot_poisoned_prefix)
      : slot_poisoned_prefix_(slot_poisoned_prefix) {}
  SlotMap(const SlotMap&) = delete;
  SlotMap& operator=(const SlotMap&) = delete;

  // The value or failure of `key`, computed by `compute()` (which returns
  // std::expected<Value, std::string>) if no request computed it before.
  template <class Compute>
  std::expected<Value, std::string> get_or_compute(std::string_view key,
                                                   Compute&& compute) {
    const std::shared_ptr<Slot> slot = find_or_insert(key);
    std::lock_guard<std::mutex> guard(slot->mutex);
    if (slot->poisoned) {
      return std::unexpected(std::string(slot_poisoned_prefix_) +
                             std::string(key));
    }
    if (const Value* value = std::get_if<Value>(&slot->state)) {
      return *value;
    }
    if (const Failure* failure = std::get_if<Failure>(&slot->state)) {
      return std::unexpected(failure->message);
    }
    try {
      std::expected<Value, std::string> result = compute();
      if (result) {
        slot->state = *result;
      } else {
        slot->state = Failure{result.error()};
      }
      return result;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const abi::__forced_unwind&) {
      // The thread is being ended (pthread_exit); the computation was
      // abandoned, not broken.
      throw;
    } catch (...) {
      slot->poisoned = true;
      throw;
    }
  }

  // The number of keys requested so far.
  std::size_t size() const {
    std::shared_lock<std::shared_mutex> lock(map_mutex_);
    return slots_.size();
  }

 private:
  struct Failure {
    std::string message;
  };
  struct Slot {
    std::mutex mutex;
    bool poisoned = false;
    std::variant<std::monostate, Value, Failure> state;
  };
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const {
      return std::hash<std::string_view>()(key);
    }
  };

  std::shared_ptr<Slot> find_or_insert(std::string_view key) {
    {
      std::shared_lock<std::shared_mutex> lock(map_mutex_);
      const auto found = slots_.find(key);
      if (found != slots_.end()) {
        return found->second;
      }
    }
    // Another thread may insert the key between the two locks; the second
    // lookup then finds its slot and shares it.
    std::unique_lock<std::shared_mutex> lock(map_mutex_);
    const auto found = slots_.find(key);
    if (found != slots_.end()) {
      return found->second;
    }
    return slots_.emplace(std::string(key), std::make_shared<Slot>())
        .first->second;
  }

  std::string_view slot_poisoned_prefix_;
  mutable std::shared_mutex map_mutex_;
  std::unordered_map<std::string, std::shared_ptr<Slot>, KeyHash,
                     std::equal_to<>>
      slots_;
};

}  // namespace trelk
