// A value shared between the audio thread and control threads.
//
// Every load and store is one whole, relaxed atomic access: the audio thread
// sees either the old or the new value, never a torn one, and nothing else is
// published with it. It reads and assigns like the plain value it wraps, and
// occupies exactly the same storage.
#pragma once

#include <atomic>

template <typename T>
class Relaxed {
 public:
  constexpr Relaxed(T initial = T()) noexcept : value_(initial) {}
  Relaxed(const Relaxed&) = delete;
  Relaxed& operator=(const Relaxed&) = delete;

  operator T() const noexcept { return value_.load(std::memory_order_relaxed); }
  Relaxed& operator=(T next) noexcept {
    value_.store(next, std::memory_order_relaxed);
    return *this;
  }
  T load() const noexcept { return value_.load(std::memory_order_relaxed); }

 private:
  static_assert(std::atomic<T>::is_always_lock_free, "shared values must be lock-free");
  std::atomic<T> value_;
};
