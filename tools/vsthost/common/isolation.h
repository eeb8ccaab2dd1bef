// What check needs from the operating system: a process of its own for each
// check, with a time limit and a report the parent can read even when the
// child crashed; and text buffers that end at an inaccessible page. One
// implementation for POSIX systems (fork, mmap) and one for Windows
// (CreateProcess, VirtualAlloc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vsthost {

// Written by a check's process while it runs: the step it is in (to name the
// call that crashed or hung) and its verdict.
struct CheckReport {
  char step[256];
  char detail[1024];
  int32_t verdict;  // a Verdict; meaningful once the child has exited normally
};

// A text buffer of `size` bytes that ends exactly where an inaccessible page
// begins: writing one byte past its end faults. Throws std::runtime_error when
// the memory or the guard page cannot be set up, so a check never passes
// without its guard.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  char* data() { return base_ + usable_ - size_; }
  size_t size() const { return size_; }

 private:
  size_t size_, usable_ = 0, mapped_ = 0;
  char* base_ = nullptr;
};

// How a check's process ended.
struct ChildOutcome {
  enum Kind { kExited, kCrashed, kTimedOut, kNotStarted } kind = kNotStarted;
  int exitStatus = 0;
  std::string reason;  // the signal or exception for kCrashed, the error for kNotStarted
  std::string output;  // what the process printed
};

// What a check's process needs to know to run one check.
struct ChildRequest {
  std::string check;
  double timeoutSeconds = 60.0;
  // Where a process cannot fork (Windows): what the program started again
  // gets after `--check-child MAPPING`.
  std::vector<std::string> childArguments;
};

// The parent's side: the report memory shared with every check process.
class Isolation {
 public:
  Isolation();  // throws std::runtime_error when the shared memory cannot be made
  ~Isolation();
  Isolation(const Isolation&) = delete;
  Isolation& operator=(const Isolation&) = delete;

  CheckReport& report() { return *report_; }
  // Runs one check in a process of its own and waits at most the request's
  // time limit, then kills it. POSIX systems run `body` in a forked copy of
  // this process; on Windows this program is started again with the hidden
  // command `--check-child` and runs the check through checkChild().
  ChildOutcome run(const ChildRequest& request, const std::function<int()>& body);

 private:
  CheckReport* report_ = nullptr;
  void* mapping_ = nullptr;  // the mapped memory (POSIX) or the file mapping (Windows)
  std::string mappingName_;
};

// The child's side on Windows: opens the report named on the command line.
// Null when it cannot.
CheckReport* openChildReport(const std::string& mappingName);

}  // namespace vsthost
