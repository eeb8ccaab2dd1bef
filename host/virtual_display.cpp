// A private Xvfb for machines without a display. Xvfb picks a free display
// number itself and writes it to a descriptor we hand it (-displayfd), so two
// starting at once never race for the same number. It does not reset when its
// last client leaves (-noreset): a reset refuses connections for a moment, and
// a host opens and closes several in a row.
#include <memory>
#include <string>

#include "vst/editor_window.h"

#if defined(_WIN32)

namespace host {

std::unique_ptr<VirtualDisplay> VirtualDisplay::start(std::string&) {
  return std::unique_ptr<VirtualDisplay>(new VirtualDisplay());
}

VirtualDisplay::~VirtualDisplay() = default;

}  // namespace host

#else

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace host {

namespace {

// The Xvfb on PATH; empty when there is none.
std::string findXvfb() {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/Xvfb";
    struct stat status {};
    if (stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return "";
}

void stop(pid_t pid) {
  kill(pid, SIGTERM);
  for (int waited = 0; waited < 300; ++waited) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

std::unique_ptr<VirtualDisplay> VirtualDisplay::start(std::string& error) {
  const std::string xvfb = findXvfb();
  if (xvfb.empty()) {
    error = "no display (DISPLAY is not set) and no Xvfb to start one: install the xvfb package";
    return nullptr;
  }
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    error = std::string("cannot start Xvfb: ") + std::strerror(errno);
    return nullptr;
  }
  const std::string fd = std::to_string(pipeEnds[1]);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::string("cannot start Xvfb: ") + std::strerror(errno);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return nullptr;
  }
  if (pid == 0) {
    // Xvfb goes with us, however we end (with the thread that started it).
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    close(pipeEnds[0]);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    // -noreset: a server resets when its last client leaves and refuses
    // connections meanwhile; a host that opens and closes windows in turn
    // would find it gone.
    execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
          "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeEnds[1]);
  // Xvfb writes its display number and a newline once it accepts connections.
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  bool done = false;
  while (!done) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) break;
    pollfd reading{pipeEnds[0], POLLIN, 0};
    const int ready = poll(&reading, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[16];
    const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
    if (got <= 0) break;  // Xvfb ended without a number
    for (ssize_t i = 0; i < got; ++i) {
      if (buffer[i] == '\n') done = true;
      if (buffer[i] >= '0' && buffer[i] <= '9') number += buffer[i];
    }
  }
  close(pipeEnds[0]);
  if (!done || number.empty()) {
    stop(pid);
    error = "Xvfb (" + xvfb + ") did not start a display within 5 s";
    return nullptr;
  }
  std::unique_ptr<VirtualDisplay> display(new VirtualDisplay());
  display->pid_ = pid;
  display->name_ = ":" + number;
  const char* previous = std::getenv("DISPLAY");
  display->hadPrevious_ = previous != nullptr;
  if (previous != nullptr) display->previous_ = previous;
  setenv("DISPLAY", display->name_.c_str(), 1);
  return display;
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ > 0) stop(static_cast<pid_t>(pid_));
  if (hadPrevious_)
    setenv("DISPLAY", previous_.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

}  // namespace host

#endif
