// Check isolation on Windows: each check runs in a new process of this
// program (CreateProcess), reports through a named file mapping and is
// terminated at its time limit; guard pages come from VirtualAlloc and
// VirtualProtect.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "common/isolation.h"

namespace vsthost {

namespace {

std::string windowsError(const char* what) {
  return std::string(what) + " (Windows error " + std::to_string(GetLastError()) + ")";
}

size_t pageSize() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  return system.dwPageSize;
}

// One argument quoted for CreateProcess's command line, so the child's C
// runtime splits it back as it was.
std::string quoted(const std::string& argument) {
  std::string result = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    result.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    result += c;
  }
  result.append(2 * backslashes, '\\');
  return result + "\"";
}

std::string exceptionName(DWORD code) {
  const char* name = nullptr;
  switch (code) {
    case 0xC0000005: name = "access violation"; break;
    case 0xC000001D: name = "illegal instruction"; break;
    case 0xC0000094: name = "integer division by zero"; break;
    case 0xC00000FD: name = "stack overflow"; break;
    case 0xC0000409: name = "stack buffer overrun"; break;
    case 0xC0000374: name = "heap corruption"; break;
    default: break;
  }
  char text[64];
  std::snprintf(text, sizeof text, "exception 0x%08lX", static_cast<unsigned long>(code));
  return name != nullptr ? std::string(name) + ", " + text : text;
}

}  // namespace

GuardedBuffer::GuardedBuffer(size_t size) : size_(size) {
  const size_t page = pageSize();
  usable_ = (size + page - 1) / page * page;
  mapped_ = usable_ + page;
  void* memory = VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (memory == nullptr) throw std::runtime_error(windowsError("cannot allocate a guarded buffer"));
  base_ = static_cast<char*>(memory);
  DWORD previous = 0;
  if (!VirtualProtect(base_ + usable_, page, PAGE_NOACCESS, &previous)) {
    const std::string error = windowsError("cannot set up a guard page");
    VirtualFree(base_, 0, MEM_RELEASE);
    throw std::runtime_error(error);
  }
}

GuardedBuffer::~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }

Isolation::Isolation() {
  static int made = 0;
  mappingName_ = "Local\\vsthost-check-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++made);
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(CheckReport), mappingName_.c_str());
  if (mapping == nullptr)
    throw std::runtime_error(windowsError("cannot make memory for the check processes"));
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CheckReport));
  if (view == nullptr) {
    const std::string error = windowsError("cannot map memory for the check processes");
    CloseHandle(mapping);
    throw std::runtime_error(error);
  }
  mapping_ = mapping;
  report_ = static_cast<CheckReport*>(view);
  // A crashing check ends its process without a dialog box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
}

Isolation::~Isolation() {
  UnmapViewOfFile(report_);
  CloseHandle(static_cast<HANDLE>(mapping_));
}

ChildOutcome Isolation::run(const ChildRequest& request, const std::function<int()>&) {
  std::memset(report_, 0, sizeof *report_);
  ChildOutcome outcome;
  char program[MAX_PATH * 2];
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) {
    outcome.reason = windowsError("cannot find this program to start a check process");
    return outcome;
  }
  // What the effect prints goes to a temporary file, read back afterwards.
  char directory[MAX_PATH], path[MAX_PATH];
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE capture = INVALID_HANDLE_VALUE;
  if (GetTempPathA(sizeof directory, directory) != 0 &&
      GetTempFileNameA(directory, "vsc", 0, path) != 0)
    capture = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inheritable, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  std::string command = quoted(program) + " --check-child " + quoted(mappingName_);
  for (const auto& argument : request.childArguments) command += " " + quoted(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (capture != INVALID_HANDLE_VALUE) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = capture;
    startup.hStdError = capture;
  }
  PROCESS_INFORMATION process{};
  // Starting a process can fail for a moment on a busy system (seen under
  // Wine as an internal error): try a few times before the check fails.
  bool started = false;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                             nullptr, nullptr, &startup, &process) != 0;
  }
  if (!started) {
    outcome.reason = windowsError("cannot start a check process");
    if (capture != INVALID_HANDLE_VALUE) CloseHandle(capture);
    return outcome;
  }
  CloseHandle(process.hThread);
  const auto limit = static_cast<DWORD>(request.timeoutSeconds * 1000);
  const DWORD waited = WaitForSingleObject(process.hProcess, limit);
  if (waited == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    outcome.kind = ChildOutcome::kTimedOut;
  } else if (waited != WAIT_OBJECT_0) {
    outcome.reason = windowsError("lost the check process");
  } else {
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    if (code >= 0xC0000000u) {
      outcome.kind = ChildOutcome::kCrashed;
      outcome.reason = exceptionName(code);
    } else {
      outcome.kind = ChildOutcome::kExited;
      outcome.exitStatus = static_cast<int>(code);
    }
  }
  CloseHandle(process.hProcess);
  if (capture != INVALID_HANDLE_VALUE) {
    SetFilePointer(capture, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(capture, chunk, sizeof chunk, &read, nullptr) && read > 0)
      outcome.output.append(chunk, read);
    CloseHandle(capture);
  }
  return outcome;
}

CheckReport* openChildReport(const std::string& mappingName) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, mappingName.c_str());
  if (mapping == nullptr) return nullptr;
  // The view keeps the mapping alive; the handle is left to the process's end.
  return static_cast<CheckReport*>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CheckReport)));
}

}  // namespace vsthost
