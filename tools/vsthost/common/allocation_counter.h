// Counts heap allocations and releases made on one thread while counting is
// on, in the whole process (the loaded module's included), and keeps the
// stack of the first one: what the real-time check measures around
// processReplacing and the parameter calls. Linked only into the programs that
// measure (vsthost and the real-time test), since it replaces the C library's
// allocation functions.
#pragma once

#include <cstddef>
#include <vector>

namespace vsthost {
namespace allocations {

// Turns counting on or off for the calling thread; answers the former state.
bool countOnThisThread(bool on);
// Allocations and releases counted so far, on every thread.
long counted();
// Forgets the first counted call's stack, so the next counted call keeps its own.
void forgetFirstStack();
// The return addresses of the first counted call since forgetFirstStack();
// empty where stacks are not taken.
std::vector<void*> firstStack();
// From now on the heap refuses (answers null to) every block of at least
// `bytes`, on every thread; 0 refuses none. For tests of out-of-memory paths.
// False where the heap cannot be made to refuse (sanitizer builds).
bool refuseFrom(std::size_t bytes);

// Counting off for the calling thread for a scope, e.g. while the host answers
// an effect's callback.
class Paused {
 public:
  Paused();
  ~Paused();
  Paused(const Paused&) = delete;
  Paused& operator=(const Paused&) = delete;

 private:
  bool was_;
};

}  // namespace allocations
}  // namespace vsthost
