#include "hostapp/import/ImportGuard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

namespace hostapp {

namespace {

// How often the parent looks at the child's memory and the clock. Memory
// grows by page faults, a few GiB a second at most, so the bound is overshot
// by tens of MiB at worst.
constexpr int kPollMilliseconds = 10;

// The child's report: one letter, then the reason of a failure.
constexpr char kPassed = 'P';
constexpr char kFailed = 'F';
constexpr char kOutOfMemory = 'M';

// Resident memory of a process in bytes, or -1 when it cannot be read.
long long ResidentBytes(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid));
  std::FILE* file = std::fopen(path, "r");
  if (!file) return -1;
  long long size = 0;
  long long resident = 0;
  const int read = std::fscanf(file, "%lld %lld", &size, &resident);
  std::fclose(file);
  if (read != 2) return -1;
  return resident * sysconf(_SC_PAGESIZE);
}

bool NamesBadAlloc(const std::string& reason) {
  return reason.find("bad_alloc") != std::string::npos;
}

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

[[noreturn]] void RunChild(int report_fd, const std::function<bool(std::string*)>& work) {
  std::string report;
  try {
    std::string error;
    if (work(&error))
      report = std::string(1, kPassed);
    else
      report = std::string(1, NamesBadAlloc(error) ? kOutOfMemory : kFailed) + error;
  } catch (const std::bad_alloc&) {
    report = std::string(1, kOutOfMemory);
  } catch (const std::exception& e) {
    report = std::string(1, kFailed) + e.what();
  } catch (...) {
    report = std::string(1, kFailed) + "an unknown exception ended the import";
  }
  WriteAll(report_fd, report);
  close(report_fd);
  // No destructors, no buffered output twice, no leak report: the parent
  // carries on with its own copy of everything.
  _exit(0);
}

GuardReport Killed(pid_t child, GuardOutcome outcome) {
  kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return {outcome, ""};
}

}  // namespace

GuardReport RunGuarded(const ImportLimits& limits, const std::function<bool(std::string*)>& work) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {GuardOutcome::kNotStarted, std::strerror(errno)};
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    const int saved = errno;
    close(fds[0]);
    close(fds[1]);
    return {GuardOutcome::kNotStarted, std::strerror(saved)};
  }
  if (child == 0) {
    close(fds[0]);
    RunChild(fds[1], work);
  }
  close(fds[1]);

  const auto started = std::chrono::steady_clock::now();
  const long long memory_bound = static_cast<long long>(limits.memory_mib) << 20;
  std::string report;
  for (;;) {
    // The bounds are checked before every wait, so that even a child that
    // starts over its memory bound (it shares its parent's pages) is stopped.
    if (limits.memory_mib > 0 && ResidentBytes(child) > memory_bound) {
      close(fds[0]);
      return Killed(child, GuardOutcome::kOutOfMemory);
    }
    const auto elapsed = std::chrono::steady_clock::now() - started;
    if (limits.seconds > 0 && elapsed >= std::chrono::seconds(limits.seconds)) {
      close(fds[0]);
      return Killed(child, GuardOutcome::kOutOfTime);
    }
    pollfd entry{fds[0], POLLIN, 0};
    const int ready = poll(&entry, 1, kPollMilliseconds);
    if (ready > 0) {
      char buffer[4096];
      const ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n > 0) {
        report.append(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n == 0 || errno != EINTR) break;  // the child has closed its end
    } else if (ready < 0 && errno != EINTR) {
      break;
    }
  }
  close(fds[0]);

  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return {GuardOutcome::kCrashed, std::strerror(errno)};
  }
  const bool reported = !report.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!reported) {
    if (WIFSIGNALED(status)) {
      const int signal_number = WTERMSIG(status);
      const char* name = strsignal(signal_number);
      return {GuardOutcome::kCrashed,
              "signal " + std::to_string(signal_number) + (name ? std::string(", ") + name : "")};
    }
    return {GuardOutcome::kCrashed,
            "exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1)};
  }
  switch (report[0]) {
    case kPassed:
      return {GuardOutcome::kPassed, ""};
    case kOutOfMemory:
      return {GuardOutcome::kOutOfMemory, report.substr(1)};
    default:
      return {GuardOutcome::kFailed, report.substr(1)};
  }
}

std::string GuardMessage(const std::string& scene, const ImportLimits& limits,
                         const GuardReport& report) {
  const std::string prefix = "cannot read " + scene + ": ";
  switch (report.outcome) {
    case GuardOutcome::kPassed:
      return "";
    case GuardOutcome::kFailed:
      return scene + ": " + report.detail;
    case GuardOutcome::kCrashed:
      return prefix + "the import library crashed (" + report.detail + ")";
    case GuardOutcome::kOutOfMemory:
      if (limits.memory_mib > 0)
        return prefix + "the import ran out of memory (bound " + std::to_string(limits.memory_mib) +
               " MiB, --import-memory)";
      return prefix + "the import ran out of memory";
    case GuardOutcome::kNotStarted:
      return prefix + "the import could not be started (" + report.detail + ")";
    case GuardOutcome::kOutOfTime:
      return prefix + "the import took too long (bound " + std::to_string(limits.seconds) +
             " seconds, --import-time)";
  }
  return prefix + "the import failed";
}

}  // namespace hostapp
