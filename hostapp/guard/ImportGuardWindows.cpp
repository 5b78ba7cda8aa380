// The guard on Windows: the child is this program started again with the same
// command line and an inheritable pipe named in its environment. The child
// runs the work when it reaches RunGuarded, writes its report into the pipe
// and ends. The parent keeps it in a job object, which ends it if the parent
// goes, caps its committed memory (where the system enforces job limits) and
// keeps an unhandled exception from raising an error dialog; the parent also
// watches the child's memory (the larger of its committed and its resident
// memory: Wine reports only the resident) and the clock itself and ends it
// over either bound.
#include <windows.h>
// K32GetProcessMemoryInfo from kernel32, not psapi.dll.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hostapp/guard/ImportGuard.h"

namespace hostapp {

namespace {

// The environment variable that makes a run the child: the pipe's handle.
constexpr char kChildVariable[] = "VANDRELL_IMPORT_GUARD_PIPE";

// How often the parent looks at the child's memory, the clock and the pipe.
constexpr DWORD kPollMilliseconds = 10;

// Windows reports the exception that ended a process as its exit code.
constexpr DWORD kFirstExceptionCode = 0xC0000000u;

std::string SystemError(DWORD code) {
  char text[256] = "";
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

// An exception nothing handles ends the child quietly with its code, instead
// of a crash dialog or a debugger.
LONG WINAPI EndQuietly(EXCEPTION_POINTERS* exception) {
  TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

[[noreturn]] void RunChild(HANDLE pipe, const std::function<bool(std::string*)>& work) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndQuietly);
  const std::string report = RunAndReport(work);
  size_t done = 0;
  while (done < report.size()) {
    DWORD written = 0;
    if (!WriteFile(pipe, report.data() + done, static_cast<DWORD>(report.size() - done), &written,
                   nullptr) ||
        written == 0)
      break;
    done += written;
  }
  CloseHandle(pipe);
  std::fflush(nullptr);
  // No destructors: the parent carries on with its own copy of everything.
  TerminateProcess(GetCurrentProcess(), 0);
  std::_Exit(0);
}

// The larger of a process's committed private memory and its working set in
// bytes, or -1 when neither can be read.
long long UsedBytes(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters))
    return -1;
  const SIZE_T used = counters.PrivateUsage > counters.WorkingSetSize ? counters.PrivateUsage
                                                                      : counters.WorkingSetSize;
  return static_cast<long long>(used);
}

// Reads what the pipe holds now without waiting; false once the child's end
// is closed.
bool DrainPipe(HANDLE pipe, std::string* report) {
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    char buffer[4096];
    DWORD got = 0;
    const DWORD wanted = available < sizeof buffer ? available : sizeof buffer;
    if (!ReadFile(pipe, buffer, wanted, &got, nullptr) || got == 0) return false;
    report->append(buffer, got);
  }
}

struct Child {
  HANDLE process = nullptr;
  HANDLE job = nullptr;
  HANDLE pipe = nullptr;
  ~Child() {
    if (pipe) CloseHandle(pipe);
    if (process) CloseHandle(process);
    if (job) CloseHandle(job);  // ends the child, if it still runs
  }
};

GuardReport Ended(const Child& child, GuardOutcome outcome) {
  TerminateProcess(child.process, 1);
  WaitForSingleObject(child.process, INFINITE);
  return {outcome, ""};
}

}  // namespace

GuardReport RunGuarded(const ImportLimits& limits, const std::function<bool(std::string*)>& work) {
  char value[32];
  const DWORD length = GetEnvironmentVariableA(kChildVariable, value, sizeof value);
  if (length > 0 && length < sizeof value) {
    const uintptr_t handle = static_cast<uintptr_t>(std::strtoull(value, nullptr, 10));
    RunChild(reinterpret_cast<HANDLE>(handle), work);
  }

  Child child;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE child_end = nullptr;
  if (!CreatePipe(&child.pipe, &child_end, &inherit, 0))
    return {GuardOutcome::kNotStarted, SystemError(GetLastError())};
  SetHandleInformation(child.pipe, HANDLE_FLAG_INHERIT, 0);

  child.job = CreateJobObjectA(nullptr, nullptr);
  if (!child.job) {
    CloseHandle(child_end);
    return {GuardOutcome::kNotStarted, SystemError(GetLastError())};
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION job_limits{};
  job_limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (limits.memory_mib > 0) {
    job_limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    job_limits.ProcessMemoryLimit = static_cast<SIZE_T>(limits.memory_mib) << 20;
  }
  // Where the system cannot keep these limits, the parent's own watch below
  // still holds the bounds.
  SetInformationJobObject(child.job, JobObjectExtendedLimitInformation, &job_limits,
                          sizeof job_limits);

  std::vector<wchar_t> program(32768);
  const DWORD program_length =
      GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
  if (program_length == 0 || program_length >= program.size()) {
    CloseHandle(child_end);
    return {GuardOutcome::kNotStarted, "cannot name this program"};
  }
  std::wstring command_line = GetCommandLineW();
  command_line.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::fflush(nullptr);
  SetEnvironmentVariableA(kChildVariable,
                          std::to_string(reinterpret_cast<uintptr_t>(child_end)).c_str());
  const BOOL created = CreateProcessW(program.data(), &command_line[0], nullptr, nullptr, TRUE,
                                      CREATE_SUSPENDED, nullptr, nullptr, &startup, &started);
  const DWORD create_error = GetLastError();
  SetEnvironmentVariableA(kChildVariable, nullptr);
  CloseHandle(child_end);
  if (!created) return {GuardOutcome::kNotStarted, SystemError(create_error)};
  child.process = started.hProcess;
  AssignProcessToJobObject(child.job, child.process);
  ResumeThread(started.hThread);
  CloseHandle(started.hThread);

  const ULONGLONG began = GetTickCount64();
  const long long memory_bound = static_cast<long long>(limits.memory_mib) << 20;
  std::string report;
  for (;;) {
    // The bounds are checked before every wait, as on Linux.
    if (limits.memory_mib > 0 && UsedBytes(child.process) > memory_bound)
      return Ended(child, GuardOutcome::kOutOfMemory);
    if (limits.seconds > 0 &&
        GetTickCount64() - began >= static_cast<ULONGLONG>(limits.seconds) * 1000)
      return Ended(child, GuardOutcome::kOutOfTime);
    const bool open = DrainPipe(child.pipe, &report);
    if (WaitForSingleObject(child.process, kPollMilliseconds) == WAIT_OBJECT_0) {
      DrainPipe(child.pipe, &report);
      break;
    }
    if (!open) {
      WaitForSingleObject(child.process, INFINITE);
      break;
    }
  }

  DWORD exit_code = 0;
  if (!GetExitCodeProcess(child.process, &exit_code))
    return {GuardOutcome::kCrashed, SystemError(GetLastError())};
  if (!report.empty() && exit_code == 0) return ReadReport(report);

  // Over the job's memory cap an allocation fails; where that ends the child
  // without a report, its peak says why.
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION used{};
  if (limits.memory_mib > 0 &&
      QueryInformationJobObject(child.job, JobObjectExtendedLimitInformation, &used, sizeof used,
                                nullptr) &&
      static_cast<long long>(used.PeakProcessMemoryUsed) >= memory_bound - (memory_bound >> 6))
    return {GuardOutcome::kOutOfMemory, ""};
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(exit_code));
  if (exit_code >= kFirstExceptionCode)
    return {GuardOutcome::kCrashed, std::string("exception ") + code};
  return {GuardOutcome::kCrashed, "exit status " + std::to_string(exit_code)};
}

}  // namespace hostapp
