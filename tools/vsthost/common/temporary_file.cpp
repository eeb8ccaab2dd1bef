#include "common/temporary_file.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/common.h"

namespace vsthost {

namespace {

// The temporary output, removed by the signal handler if the process dies.
char temporaryPath[4096];

void removeTemporaryAndDie(int signal) {
  if (temporaryPath[0] != '\0') unlink(temporaryPath);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

TemporaryFile::TemporaryFile(const std::string& target, const char* what)
    : target_(target), what_(what) {
  std::string pattern = target + ".vsthost-XXXXXX";
  fd_ = mkstemp(&pattern[0]);
  if (fd_ < 0) throw Error(target + ": cannot create " + what + " (" + std::strerror(errno) + ")");
  path_ = pattern;
}

TemporaryFile::~TemporaryFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_) unlink(path_.c_str());
}

void TemporaryFile::write(const void* bytes, size_t size) {
  const char* data = static_cast<const char*>(bytes);
  size_t done = 0;
  while (done < size) {
    const auto wrote =
        ::write(fd_, data + done, static_cast<unsigned>(std::min<size_t>(size - done, 1 << 30)));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0)
      throw Error(target_ + ": cannot write " + what_ + " (" + std::strerror(errno) + ")");
    done += static_cast<size_t>(wrote);
  }
}

void TemporaryFile::commit() {
#ifdef _WIN32
  // Windows renames only a closed file, and rename() never replaces one.
  const bool synced = _commit(fd_) == 0;
  const int closed = close(fd_);
  fd_ = -1;
  if (!synced || closed != 0)
    throw Error(target_ + ": write failed (" + std::strerror(errno) + ")");
  if (!MoveFileExA(path_.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw Error(target_ + ": cannot write (Windows error " + std::to_string(GetLastError()) + ")");
#else
  if (fsync(fd_) != 0 && errno != EINVAL)
    throw Error(target_ + ": write failed (" + std::strerror(errno) + ")");
  // mkstemp makes the file private; give it the permissions a new file gets.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
  if (std::rename(path_.c_str(), target_.c_str()) != 0)
    throw Error(target_ + ": cannot write (" + std::strerror(errno) + ")");
#endif
  committed_ = true;
}

#ifdef _WIN32
const int TemporaryOutput::kFatalSignals[] = {SIGINT, SIGTERM, SIGSEGV, SIGFPE, SIGILL, SIGABRT};
const size_t TemporaryOutput::kSignals = 6;
#else
const int TemporaryOutput::kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGSEGV,
                                              SIGBUS, SIGFPE,  SIGILL, SIGABRT};
const size_t TemporaryOutput::kSignals = 8;
#endif

TemporaryOutput::TemporaryOutput(const std::string& target) : TemporaryFile(target, "output") {
  if (path().size() >= sizeof temporaryPath) throw Error(target + ": path too long");
  std::memcpy(temporaryPath, path().c_str(), path().size() + 1);
  for (size_t i = 0; i < kSignals; ++i)
    previous_[i] = std::signal(kFatalSignals[i], removeTemporaryAndDie);
}

TemporaryOutput::~TemporaryOutput() {
  for (size_t i = 0; i < kSignals; ++i)
    if (previous_[i] != SIG_ERR) std::signal(kFatalSignals[i], previous_[i]);
  temporaryPath[0] = '\0';
}

void writeWholeFile(const std::string& target, const std::string& text, const char* what) {
  TemporaryFile file(target, what);
  file.write(text.data(), text.size());
  file.commit();
}

std::string newTemporaryFile(const char* prefix) {
#ifdef _WIN32
  char folder[MAX_PATH], path[MAX_PATH];
  if (GetTempPathA(sizeof folder, folder) == 0 || GetTempFileNameA(folder, prefix, 0, path) == 0)
    throw Error("cannot make a temporary file (Windows error " + std::to_string(GetLastError()) +
                ")");
  return path;
#else
  const char* folder = std::getenv("TMPDIR");
  std::string pattern =
      std::string(folder != nullptr && *folder ? folder : "/tmp") + "/" + prefix + "-XXXXXX";
  const int fd = mkstemp(&pattern[0]);
  if (fd < 0) throw Error(std::string("cannot make a temporary file: ") + std::strerror(errno));
  close(fd);
  return pattern;
#endif
}

}  // namespace vsthost
