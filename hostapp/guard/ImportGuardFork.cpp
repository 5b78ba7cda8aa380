#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "hostapp/guard/ImportGuard.h"

namespace hostapp {

namespace {

// How often the parent looks at the child's memory and the clock. Memory
// grows by page faults, a few GiB a second at most, so the bound is overshot
// by tens of MiB at worst.
constexpr int kPollMilliseconds = 10;

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
  WriteAll(report_fd, RunAndReport(work));
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
  return ReadReport(report);
}

}  // namespace hostapp
