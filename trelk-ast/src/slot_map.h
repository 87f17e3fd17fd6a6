#pragma once

#include <cxxabi.h>

#include <atomic>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <variant>
#include <vector>

#include "fork_aware_wait.h"

namespace trelk {

// A failure as a computation may give it: kept for good, or, when not
// `kept` (an interrupted read), ending one request only, so that the slot
// stays not computed and the next request computes again.
struct SlotFailure {
  std::string message;
  bool kept = true;
};

// A map from path text to a value computed at most once per key, shared by
// any number of threads: the shape of both of source analysis's caches.
//
// A reader-writer lock guards the map and is held only for a lookup or a
// get-or-insert. Each key's slot is one atomic word: the first request marks
// it as computing and computes with no lock held, so different keys are
// computed in parallel, and concurrent requests for one key sleep on the word
// until the first computation ends, then share the result. Keys are compared
// byte by byte; nothing is ever removed.
//
// A fork() may come at any instruction of another thread, and the child
// still answers. A computing slot records the fork generation it was marked
// in: in a child process the thread that computes it does not exist, so the
// first request there that finds such a slot computes it anew. A result is
// published by one pointer store, so a child has either all of it, shared,
// or none. And the map lock is held only under a ForkGuard, so a child never
// inherits the lock held or the map half changed.
//
// A computation either gives a value or a failure message, and either is
// kept for good. When a computation ends by an exception (a broken
// invariant), the slot is poisoned: the exception goes on to the caller, and
// every later request for that key fails with the slot's poisoning message.
// An exhausted heap does not poison, nor is a failure that is not kept, nor
// the end of the thread (the forced unwind of pthread_exit, which must pass
// through every frame): the next request tries again. Nothing that can break an
// invariant runs under the map lock, so the map itself is never poisoned.
template <class Value>
class SlotMap {
 public:
  // `slot_poisoned_prefix` followed by the key is the text of a poisoned
  // slot's failure. REQUIRES: it outlives the map (a literal).
  explicit SlotMap(std::string_view slot_poisoned_prefix)
      : slot_poisoned_prefix_(slot_poisoned_prefix) {}
  // The same, with a slot for each of `keys` from the start. A request that
  // inserts takes the lock exclusively, and every reader that meets it then
  // sleeps in the kernel and must be woken; when the keys are known up front
  // (a project's file list), requests for them only ever share the lock.
  SlotMap(std::string_view slot_poisoned_prefix,
          const std::vector<std::string>& keys)
      : slot_poisoned_prefix_(slot_poisoned_prefix) {
    slots_.reserve(keys.size());
    for (const std::string& key : keys) {
      if (auto [slot, added] = slots_.try_emplace(key); added) {
        slot->second = std::make_shared<Slot>();
      }
    }
  }
  SlotMap(const SlotMap&) = delete;
  SlotMap& operator=(const SlotMap&) = delete;

  // The value or failure of `key`, computed by `compute()` if no request
  // computed it before. `compute` returns std::expected<Value, std::string>,
  // whose failure is kept, or std::expected<Value, SlotFailure>. While another
  // thread computes the key this request sleeps; after each signal that
  // interrupts the sleep it asks `go_on`, and when that declines it ends with
  // `interrupted` and leaves the slot alone.
  template <class Compute>
  std::expected<Value, std::string> get_or_compute(
      std::string_view key, Compute&& compute,
      const std::function<bool()>& go_on = {},
      std::string_view interrupted = {}) {
    const std::shared_ptr<Slot> slot = find_or_insert(key);
    std::uint32_t word = slot->word.load(std::memory_order_acquire);
    while (true) {
      if (const Outcome* outcome =
              slot->outcome.load(std::memory_order_acquire)) {
        if (const Value* value = std::get_if<Value>(outcome)) {
          return *value;
        }
        return std::unexpected(std::get<Failure>(*outcome).message);
      }
      switch (kind_of(word)) {
        case kDone:
          // The outcome was stored before the word said so: read it again.
          continue;
        case kPoisoned:
          return std::unexpected(std::string(slot_poisoned_prefix_) +
                                 std::string(key));
        case kComputing:
          if (generation_of(word) == (fork_generation() & kGenerationMask)) {
            break;
          }
          // Its computing thread was left behind by a fork.
          [[fallthrough]];
        case kEmpty: {
          const std::uint32_t mine = computing_word();
          if (slot->word.compare_exchange_weak(word, mine,
                                               std::memory_order_acquire)) {
            return compute_into(*slot, mine, compute);
          }
          continue;
        }
      }
      // Computed by another thread: sleep until its word changes.
      if ((word & kWaiters) == 0 &&
          !slot->word.compare_exchange_weak(word, word | kWaiters,
                                            std::memory_order_acquire)) {
        continue;
      }
      word |= kWaiters;
      if (!wait_while_equal(slot->word, word) && go_on && !go_on()) {
        return std::unexpected(std::string(interrupted));
      }
      word = slot->word.load(std::memory_order_acquire);
    }
  }

  // The number of keys given up front or requested so far.
  std::size_t size() const {
    const ForkGuard no_fork;
    std::shared_lock<std::shared_mutex> lock(map_mutex_);
    return slots_.size();
  }

 private:
  // A slot's word: its kind in the low bits, then the waiters bit, then (for
  // a computing slot) the low bits of the fork generation it was marked in.
  static constexpr std::uint32_t kEmpty = 0;
  static constexpr std::uint32_t kComputing = 1;
  static constexpr std::uint32_t kDone = 2;
  static constexpr std::uint32_t kPoisoned = 3;
  static constexpr std::uint32_t kKindMask = 3;
  static constexpr std::uint32_t kWaiters = 4;
  static constexpr int kGenerationShift = 3;
  // 2^29 generations: the word's 32 bits less the three above.
  static constexpr std::uint32_t kGenerationMask = (1u << 29) - 1;

  static std::uint32_t kind_of(std::uint32_t word) { return word & kKindMask; }
  static std::uint32_t generation_of(std::uint32_t word) {
    return word >> kGenerationShift;
  }
  static std::uint32_t computing_word() {
    return ((fork_generation() & kGenerationMask) << kGenerationShift) |
           kComputing;
  }

  struct Failure {
    std::string message;
  };
  using Outcome = std::variant<Value, Failure>;
  struct Slot {
    Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { delete outcome.load(std::memory_order_relaxed); }

    std::atomic<std::uint32_t> word{kEmpty};
    // Null until the computing thread stores the whole outcome, built apart,
    // in one step; then never changed. Stored before the word says kDone.
    std::atomic<const Outcome*> outcome{nullptr};
  };

  // Makes `outcome` the slot's result for good and ends the computation.
  static void publish(Slot& slot, std::uint32_t mine, Outcome outcome) {
    slot.outcome.store(new Outcome(std::move(outcome)),
                       std::memory_order_release);
    end_computation(slot, mine, kDone);
  }

  // Ends the computation marked by `mine`: the slot becomes `next`, and the
  // sleepers wake. A slot taken over since (in a child, by a thread that
  // found the mark stale) is left to its new computation.
  static void end_computation(Slot& slot, std::uint32_t mine,
                              std::uint32_t next) {
    std::uint32_t word = mine;
    while (!slot.word.compare_exchange_weak(word, next,
                                            std::memory_order_release)) {
      if ((word & ~kWaiters) != mine) {
        return;
      }
    }
    if ((word & kWaiters) != 0) {
      wake_all(slot.word);
    }
  }

  template <class Compute>
  std::expected<Value, std::string> compute_into(Slot& slot, std::uint32_t mine,
                                                 Compute& compute) {
    try {
      auto result = compute();
      if (result) {
        publish(slot, mine, Outcome(std::in_place_type<Value>, *result));
        return std::move(*result);
      }
      std::string message;
      if constexpr (std::is_same_v<typename decltype(result)::error_type,
                                   SlotFailure>) {
        if (!result.error().kept) {
          end_computation(slot, mine, kEmpty);
          return std::unexpected(std::move(result.error().message));
        }
        message = std::move(result.error().message);
      } else {
        message = std::move(result.error());
      }
      publish(slot, mine, Failure{message});
      return std::unexpected(std::move(message));
    } catch (const std::bad_alloc&) {
      end_computation(slot, mine, kEmpty);
      throw;
    } catch (const abi::__forced_unwind&) {
      // The thread is being ended (pthread_exit); the computation was
      // abandoned, not broken.
      end_computation(slot, mine, kEmpty);
      throw;
    } catch (...) {
      end_computation(slot, mine, kPoisoned);
      throw;
    }
  }

  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const {
      return std::hash<std::string_view>()(key);
    }
  };

  std::shared_ptr<Slot> find_or_insert(std::string_view key) {
    const ForkGuard no_fork;
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
