#include "fork_aware_wait.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <thread>

namespace trelk {
namespace {

// A fork that meets a guard alive in another thread copies the process only
// after the guard ends: the child sees everything the guard's holder did
// under it, and can take a guard of its own (none is left counted). The
// holder stays inside for long enough that a fork which did not wait would
// copy it half way.
TEST(ForkGuardTest, AForkWaitsForTheGuardsAlive) {
  for (int run = 0; run < 5; ++run) {
    SCOPED_TRACE(run);
    std::atomic<bool> done_under_guard{false};
    std::latch inside(1);
    std::thread holder([&] {
      const ForkGuard guard;
      inside.count_down();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      done_under_guard.store(true);
    });
    inside.wait();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int code = done_under_guard.load() ? 0 : 1;
      if (code == 0) {
        const ForkGuard mine;
      }
      // Ended by the system call itself: a thread sanitizer's exit would
      // count the parent's holder, which is joined only there, as leaked.
      ::syscall(SYS_exit_group, code);
    }
    EXPECT_TRUE(done_under_guard.load());
    holder.join();
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
}

// The handlers are in place before anything here is used: registered on
// first use, their one-time set-up could meet a fork from another thread
// half way, and the child would wait on it for ever. Run on its own (as
// ctest runs each test), this fork is the first thing the process does with
// any of it, and the child still counts it: its generation is one more than
// its parent's, which the parent's own fork leaves unchanged.
TEST(ForkGuardTest, AForkBeforeAnyUseIsCounted) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::_exit(static_cast<int>(fork_generation() & 0xFF));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(static_cast<std::uint32_t>(WEXITSTATUS(status)),
            (fork_generation() + 1) & 0xFF);
}

}  // namespace
}  // namespace trelk
