#include "stack_thread.h"

#include <pthread.h>

#include <cerrno>
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

}  // namespace

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
