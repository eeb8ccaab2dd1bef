// Check isolation on POSIX systems: fork, a shared anonymous mapping for the
// report, mmap and mprotect for the guard pages.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "common/isolation.h"

namespace vsthost {

GuardedBuffer::GuardedBuffer(size_t size) : size_(size) {
  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  usable_ = (size + page - 1) / page * page;
  void* memory =
      mmap(nullptr, usable_ + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED)
    throw std::runtime_error(std::string("cannot map a guarded buffer: ") + std::strerror(errno));
  base_ = static_cast<char*>(memory);
  mapped_ = usable_ + page;
  if (mprotect(base_ + usable_, page, PROT_NONE) != 0) {
    const int error = errno;
    munmap(base_, mapped_);
    throw std::runtime_error(std::string("cannot set up a guard page: ") + std::strerror(error));
  }
}

GuardedBuffer::~GuardedBuffer() { munmap(base_, mapped_); }

Isolation::Isolation() {
  void* shared =
      mmap(nullptr, sizeof(CheckReport), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED)
    throw std::runtime_error(std::string("cannot map memory for the check processes: ") +
                             std::strerror(errno));
  mapping_ = shared;
  report_ = static_cast<CheckReport*>(shared);
}

Isolation::~Isolation() { munmap(mapping_, sizeof(CheckReport)); }

namespace {

std::string signalName(int signal) {
  const char* name = strsignal(signal);
  return name != nullptr ? name : "signal " + std::to_string(signal);
}

}  // namespace

ChildOutcome Isolation::run(const ChildRequest& request, const std::function<int()>& body) {
  std::memset(report_, 0, sizeof *report_);
  ChildOutcome outcome;
  std::FILE* capture = std::tmpfile();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    outcome.reason = std::string("cannot start a check process: ") + std::strerror(errno);
    if (capture != nullptr) std::fclose(capture);
    return outcome;
  }
  if (child == 0) {
    // A fault must end this process by its signal, also where a sanitizer has
    // installed handlers of its own, so the parent can name it.
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(signal, SIG_DFL);
    // The effect's own printing goes to the capture, not into the table.
    if (capture != nullptr) {
      dup2(fileno(capture), STDOUT_FILENO);
      dup2(fileno(capture), STDERR_FILENO);
    }
    const int status = body();
    std::fflush(nullptr);
    _exit(status);  // skip the effect's static destructors: they are not under test here
  }
  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::milliseconds(static_cast<long long>(request.timeoutSeconds * 1000));
  int status = 0;
  outcome.kind = ChildOutcome::kExited;
  for (;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) {
      outcome.kind = ChildOutcome::kNotStarted;
      outcome.reason = std::string("lost the check process: ") + std::strerror(errno);
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      outcome.kind = ChildOutcome::kTimedOut;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (outcome.kind == ChildOutcome::kExited && WIFSIGNALED(status)) {
    outcome.kind = ChildOutcome::kCrashed;
    outcome.reason = signalName(WTERMSIG(status));
  } else if (outcome.kind == ChildOutcome::kExited) {
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  }
  if (capture != nullptr) {
    std::rewind(capture);
    char line[4096];
    while (std::fgets(line, sizeof line, capture) != nullptr) outcome.output += line;
    std::fclose(capture);
  }
  return outcome;
}

CheckReport* openChildReport(const std::string&) { return nullptr; }

}  // namespace vsthost
