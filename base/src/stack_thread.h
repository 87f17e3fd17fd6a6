#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <string>

namespace trelk {

// 8 MiB (8 * 2^20 bytes, the system's default): the stack of every thread
// the system starts. An optimised parse of input nested up to its bound fits
// in this; a parse that needs more moves to a thread of its own.
inline constexpr std::size_t kThreadStackSize = std::size_t{8} << 20;

// Bytes of the calling thread's stack below the caller's frame, down to its
// guard: how much deeper the caller may recurse. 0 when the system does not
// say, or when the caller runs on a stack other than its thread's own (a
// fiber), so that a caller that needs a known stack makes one. The bounds
// are asked for once per thread; later calls read a frame address.
std::size_t stack_bytes_left();

// Runs `work` on a new POSIX thread whose stack is `stack_size` bytes, and
// waits for it to end. An exception that escapes `work` is rethrown in the
// caller. Throws std::system_error when the thread cannot be created (then
// `work` never runs). std::thread cannot choose a stack size, hence this.
// REQUIRES: stack_size is at least PTHREAD_STACK_MIN.
void run_on_thread_with_stack(std::size_t stack_size,
                              std::function<void()> work);

// Starts `work` on a new detached POSIX thread whose stack is `stack_size`
// bytes and returns at once; nothing can wait for the thread. Returns the
// system's error text when the thread cannot be created (then `work` never
// runs). REQUIRES: `work` lets no exception escape (a worker catches its own
// failures at its top), and stack_size is at least PTHREAD_STACK_MIN.
[[nodiscard]] std::expected<void, std::string> start_detached_thread(
    std::size_t stack_size, std::function<void()> work);

}  // namespace trelk
