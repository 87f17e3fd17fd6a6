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

// The number of live ForkGuards, with kForking set from the moment a fork
// begins until it has copied the process.
std::atomic<std::uint32_t> guards{0};
constexpr std::uint32_t kForking = std::uint32_t{1} << 31;

long futex(const std::atomic<std::uint32_t>& word, int operation,
           std::uint32_t value) {
  // The word is only read by the kernel; the cast drops what it does not
  // need to know.
  return ::syscall(SYS_futex, const_cast<std::atomic<std::uint32_t>*>(&word),
                   operation | FUTEX_PRIVATE_FLAG, value, nullptr, nullptr, 0);
}

// Sets kForking once no other fork has it set, so that no guard begins,
// then waits until the guards alive end.
void wait_for_guards_before_fork() {
  std::uint32_t word = guards.load(std::memory_order_acquire);
  while (true) {
    if ((word & kForking) != 0) {
      (void)wait_while_equal(guards, word);
      word = guards.load(std::memory_order_acquire);
    } else if (guards.compare_exchange_weak(word, word | kForking,
                                            std::memory_order_acquire)) {
      word |= kForking;
      break;
    }
  }
  while (word != kForking) {
    (void)wait_while_equal(guards, word);
    word = guards.load(std::memory_order_acquire);
  }
}

void let_guards_begin_in_parent() {
  guards.store(0, std::memory_order_release);
  wake_all(guards);
}

// The child's only thread is the one that forked: no guard is alive and no
// one sleeps on the word. Only lock-free atomics here, as a handler run in
// the child of a threaded process must.
void start_child() {
  guards.store(0, std::memory_order_relaxed);
  generation.fetch_add(1, std::memory_order_relaxed);
}

// The fork handlers, registered when the library is loaded, before any of
// its threads exists. Registered on first use instead, a fork that met
// another thread inside that one-time initialisation would leave the child
// waiting for ever on the initialisation's guard at its first ForkGuard. A
// failure to register (no memory for the handler) leaves fork() as it was
// before this existed.
[[maybe_unused]] const bool kForkHandlersRegistered =
    pthread_atfork(wait_for_guards_before_fork, let_guards_begin_in_parent,
                   start_child) == 0;

}  // namespace

std::uint32_t fork_generation() noexcept {
  return generation.load(std::memory_order_relaxed);
}

ForkGuard::ForkGuard() noexcept {
  std::uint32_t word = guards.load(std::memory_order_relaxed);
  while (true) {
    if ((word & kForking) != 0) {
      (void)wait_while_equal(guards, word);
      word = guards.load(std::memory_order_relaxed);
    } else if (guards.compare_exchange_weak(word, word + 1,
                                            std::memory_order_acquire,
                                            std::memory_order_relaxed)) {
      return;
    }
  }
}

ForkGuard::~ForkGuard() {
  // The last guard to end while a fork waits wakes it.
  if (guards.fetch_sub(1, std::memory_order_release) - 1 == kForking) {
    wake_all(guards);
  }
}

bool wait_while_equal(const std::atomic<std::uint32_t>& word,
                      std::uint32_t expected) noexcept {
  return futex(word, FUTEX_WAIT, expected) == 0 || errno != EINTR;
}

void wake_all(const std::atomic<std::uint32_t>& word) noexcept {
  (void)futex(word, FUTEX_WAKE, static_cast<std::uint32_t>(INT32_MAX));
}

}  // namespace trelk
