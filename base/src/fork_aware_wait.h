#pragma once

#include <atomic>
#include <cstdint>

// Waiting on a word that another thread changes, in a way that survives
// fork(): no lock is held while waiting, so a child never inherits one that a
// thread which does not exist in it holds, and waits can be interrupted by
// signals so that the interpreter's handlers can run.
namespace trelk {

// How many fork() calls lie between the first process and this one: 0 there,
// one more in each child. A thread that recorded it before a fork finds that
// it differs in the child; the thread itself does not exist there. The first
// call registers the fork handler, which only adds one to a lock-free
// atomic, as a handler run in the child of a threaded process must.
[[nodiscard]] std::uint32_t fork_generation() noexcept;

// Sleeps while `word` holds `expected`, until a wake, a signal or a spurious
// return; the caller checks the word again. Returns false when a signal
// interrupted the sleep.
[[nodiscard]] bool wait_while_equal(const std::atomic<std::uint32_t>& word,
                                    std::uint32_t expected) noexcept;

// Wakes every thread sleeping in wait_while_equal on `word`.
void wake_all(const std::atomic<std::uint32_t>& word) noexcept;

}  // namespace trelk
