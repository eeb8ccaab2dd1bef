// Files that appear whole or not at all: written beside their target under a
// temporary name and renamed into its place only when complete, so a failure,
// an interrupt or a crashing module never leaves half a file behind.
#pragma once

#include <csignal>
#include <cstddef>
#include <string>

namespace vsthost {

// A file written beside `target` and put in its place by commit(); removed
// if never committed. `what` names it in errors ("output", "the preset").
class TemporaryFile {
 public:
  TemporaryFile(const std::string& target, const char* what);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  const std::string& target() const { return target_; }

  // Throws Error naming the target when the bytes cannot all be written.
  void write(const void* bytes, size_t size);
  // Writes the file through to the disk, then puts it in the target's place.
  void commit();

 private:
  std::string target_, path_, what_;
  int fd_ = -1;
  bool committed_ = false;
};

// A render's output: a temporary file that a fatal signal removes too. The
// signal handlers that were there before come back when it goes, so a caller
// of render() (the demo, the tests) keeps its own.
class TemporaryOutput : public TemporaryFile {
 public:
  explicit TemporaryOutput(const std::string& target);
  ~TemporaryOutput();

 private:
  static const int kFatalSignals[];
  static const size_t kSignals;
  void (*previous_[8])(int) = {};
};

// A new empty file in the temporary folder ($TMPDIR or /tmp; the system's on
// Windows), its name starting with `prefix`, for what a child process hands
// back; the caller removes it. Throws Error when none can be made.
std::string newTemporaryFile(const char* prefix);

// `text` into `target`, whole or not at all.
void writeWholeFile(const std::string& target, const std::string& text, const char* what);

}  // namespace vsthost
