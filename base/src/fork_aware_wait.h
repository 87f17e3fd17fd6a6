#pragma once

#include <atomic>
#include <cstdint>

// Waiting on a word that another thread changes, in a way that survives
// fork(): no lock is held while waiting, so a child never inherits one that a
// thread which does not exist in it holds, and waits can be interrupted by
// signals so that the interpreter's handlers can run. And keeping fork() out
// of the few instructions that change shared state under a lock.
namespace trelk {

// How many fork() calls lie between the first process and this one: 0 there,
// one more in each child. A thread that recorded it before a fork finds that
// it differs in the child; the thread itself does not exist there. The first
// call of this or of ForkGuard registers the fork handlers.
[[nodiscard]] std::uint32_t fork_generation() noexcept;

// Sleeps while `word` holds `expected`, until a wake, a signal or a spurious
// return; the caller checks the word again. Returns false when a signal
// interrupted the sleep.
[[nodiscard]] bool wait_while_equal(const std::atomic<std::uint32_t>& word,
                                    std::uint32_t expected) noexcept;

// Wakes every thread sleeping in wait_while_equal on `word`.
void wake_all(const std::atomic<std::uint32_t>& word) noexcept;

// While a ForkGuard lives, a fork() called by any thread of the process waits
// for it to end before the process is copied, and a ForkGuard made while a
// fork is under way waits for the fork. What a guard covers (a lock and the
// map it guards) therefore never reaches a child half changed, or held by a
// thread that the child does not have. Guards are cheap (one atomic word
// for the whole process) and short: one lookup or insertion each.
// REQUIRES: a guard is never nested in another, and its holder never waits
// for another thread (only for the lock it covers, whose holders are guarded
// too) nor calls fork() while it lives.
class ForkGuard {
 public:
  ForkGuard() noexcept;
  ~ForkGuard();
  ForkGuard(const ForkGuard&) = delete;
  ForkGuard& operator=(const ForkGuard&) = delete;
};

}  // namespace trelk
