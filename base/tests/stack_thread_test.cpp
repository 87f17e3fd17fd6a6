#include "stack_thread.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace trelk {
namespace {

// The stack size the running thread was created with.
std::size_t current_stack_size() {
  pthread_attr_t attr;
  std::size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstacksize(&attr, &size);
    pthread_attr_destroy(&attr);
  }
  return size;
}

TEST(StackThreadTest, RunsOnAThreadWithTheRequestedStack) {
  std::size_t seen = 0;
  std::thread::id worker_id;
  run_on_thread_with_stack(kThreadStackSize, [&] {
    seen = current_stack_size();
    worker_id = std::this_thread::get_id();
  });
  EXPECT_EQ(seen, kThreadStackSize);
  EXPECT_NE(worker_id, std::this_thread::get_id());
}

TEST(StackThreadTest, StackLeftIsWithinTheThreadsStack) {
  std::size_t left = 0;
  run_on_thread_with_stack(kThreadStackSize,
                           [&] { left = stack_bytes_left(); });
  EXPECT_LT(left, kThreadStackSize);
  EXPECT_GT(left, kThreadStackSize / 2);
}

TEST(StackThreadTest, RethrowsTheFailureOfTheWork) {
  EXPECT_THROW(run_on_thread_with_stack(
                   kThreadStackSize,
                   [] { throw std::runtime_error("from the thread"); }),
               std::runtime_error);
}

TEST(StackThreadTest, DetachedThreadRunsWithTheRequestedStack) {
  // Shared, since the detached thread may outlive a failing test.
  auto seen = std::make_shared<std::atomic<std::size_t>>(0);
  ASSERT_TRUE(start_detached_thread(kThreadStackSize, [seen] {
                seen->store(current_stack_size());
              }).has_value());
  for (int i = 0; i < 2000 && seen->load() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(seen->load(), kThreadStackSize);
}

TEST(StackThreadTest, InvalidStackSizeIsReportedNotRun) {
  bool ran = false;
  // A stack below PTHREAD_STACK_MIN is refused by the system.
  auto started = start_detached_thread(1, [&ran] { ran = true; });
  EXPECT_FALSE(started.has_value());
  EXPECT_FALSE(ran);
  EXPECT_THROW(run_on_thread_with_stack(1, [&ran] { ran = true; }),
               std::system_error);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace trelk
