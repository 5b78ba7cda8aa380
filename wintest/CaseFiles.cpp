#include "wintest/CaseFiles.h"

#ifdef _WIN32
#include <cstdlib>
#else
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#endif

namespace wintest {

#ifdef _WIN32

std::string NativePath(const std::string& run_folder, const std::string& relative) {
  std::string path = run_folder + "\\" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool LimitFileSize(bool on, std::string* error) {
  // A Windows program cannot limit its own file sizes; under Wine the script
  // starts such a case under "ulimit -f 2" and says so in the environment.
  if (!on) return true;
  const char* limited = std::getenv("VANDRELL_SMALL_LOCATION");
  if (limited && std::string(limited) == std::to_string(kSmallLocationBytes)) return true;
  *error = "a small-location case runs only as scripts/wine-tests.sh starts it";
  return false;
}

#else

std::string NativePath(const std::string& run_folder, const std::string& relative) {
  return run_folder + "/" + relative;
}

bool LimitFileSize(bool on, std::string* error) {
  // Only the soft limit moves, so it can be raised again; a write beyond it
  // fails with EFBIG instead of the signal ending the process.
  rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) {
    *error = std::string("getrlimit: ") + std::strerror(errno);
    return false;
  }
  signal(SIGXFSZ, on ? SIG_IGN : SIG_DFL);
  limit.rlim_cur = on ? static_cast<rlim_t>(kSmallLocationBytes) : limit.rlim_max;
  if (setrlimit(RLIMIT_FSIZE, &limit) == 0) return true;
  *error = std::string("setrlimit: ") + std::strerror(errno);
  return false;
}

#endif

}  // namespace wintest
