#include "stack_thread.h"

#include <pthread.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <memory>
#include <system_error>
#include <utility>

namespace trelk {
namespace {

struct ThreadStart {
  std::function<void()> work;
  // Set by the thread when `work` throws; read only after a join.
  std::exception_ptr failure;
  bool capture_failure = false;
};

void* thread_main(void* arg) {
  ThreadStart* start = static_cast<ThreadStart*>(arg);
  if (!start->capture_failure) {
    // A detached thread owns its start record.
    std::unique_ptr<ThreadStart> owned(start);
    owned->work();
    return nullptr;
  }
  try {
    start->work();
  } catch (...) {
    start->failure = std::current_exception();
  }
  return nullptr;
}

// Creates a thread running `start` with the given stack; returns 0 or the
// error number of the failed call.
int create_thread(std::size_t stack_size, bool detached, ThreadStart* start,
                  pthread_t* thread) {
  pthread_attr_t attr;
  int error = pthread_attr_init(&attr);
  if (error != 0) {
    return error;
  }
  error = pthread_attr_setstacksize(&attr, stack_size);
  if (error == 0 && detached) {
    error = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  }
  if (error == 0) {
    error = pthread_create(thread, &attr, thread_main, start);
  }
  pthread_attr_destroy(&attr);
  return error;
}

// The calling thread's stack, [low, high), found by its first call of
// stack_bytes_left. pthread_getattr_np reads /proc/self/maps for the main
// thread, far too dear to ask on every parse.
struct StackBounds {
  std::uintptr_t low = 0;
  std::uintptr_t high = 0;
  bool looked = false;
};

thread_local StackBounds t_stack_bounds;

void find_stack_bounds(StackBounds& bounds) {
  bounds.looked = true;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) {
    return;
  }
  void* address = nullptr;
  std::size_t size = 0;
  // The range it gives excludes the guard page.
  if (pthread_attr_getstack(&attr, &address, &size) == 0) {
    bounds.low = reinterpret_cast<std::uintptr_t>(address);
    bounds.high = bounds.low + size;
  }
  pthread_attr_destroy(&attr);
}

}  // namespace

std::size_t stack_bytes_left() {
  StackBounds& bounds = t_stack_bounds;
  if (!bounds.looked) [[unlikely]] {
    find_stack_bounds(bounds);
  }
  const auto here =
      reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  if (here <= bounds.low || here > bounds.high) {
    return 0;
  }
  return here - bounds.low;
}

void run_on_thread_with_stack(std::size_t stack_size,
                              std::function<void()> work) {
  ThreadStart start{
      .work = std::move(work), .failure = nullptr, .capture_failure = true};
  pthread_t thread;
  const int error = create_thread(stack_size, false, &start, &thread);
  if (error != 0) {
    throw std::system_error(error, std::generic_category(),
                            "cannot start a thread");
  }
  pthread_join(thread, nullptr);
  if (start.failure) {
    std::rethrow_exception(start.failure);
  }
}

std::expected<void, std::string> start_detached_thread(
    std::size_t stack_size, std::function<void()> work) {
  auto start = std::make_unique<ThreadStart>();
  start->work = std::move(work);
  pthread_t thread;
  const int error = create_thread(stack_size, true, start.get(), &thread);
  if (error != 0) {
    return std::unexpected(std::generic_category().message(error));
  }
  // The thread deletes its start record when it ends.
  start.release();
  return {};
}

}  // namespace trelk
