#include "fork_aware_wait.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace trelk {
namespace {

// The futex system call waits on the word's own four bytes.
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

std::atomic<std::uint32_t> generation{0};

void count_fork_in_child() {
  generation.fetch_add(1, std::memory_order_relaxed);
}

long futex(const std::atomic<std::uint32_t>& word, int operation,
           std::uint32_t value) {
  // The word is only read by the kernel; the cast drops what it does not
  // need to know.
  return ::syscall(SYS_futex, const_cast<std::atomic<std::uint32_t>*>(&word),
                   operation | FUTEX_PRIVATE_FLAG, value, nullptr, nullptr, 0);
}

}  // namespace

std::uint32_t fork_generation() noexcept {
  // Registered at most once; a failure to register (no memory for the
  // handler) leaves fork() as it was before this existed.
  static const bool registered =
      pthread_atfork(nullptr, nullptr, count_fork_in_child) == 0;
  (void)registered;
  return generation.load(std::memory_order_relaxed);
}

bool wait_while_equal(const std::atomic<std::uint32_t>& word,
                      std::uint32_t expected) noexcept {
  return futex(word, FUTEX_WAIT, expected) == 0 || errno != EINTR;
}

void wake_all(const std::atomic<std::uint32_t>& word) noexcept {
  (void)futex(word, FUTEX_WAKE, static_cast<std::uint32_t>(INT32_MAX));
}

}  // namespace trelk
