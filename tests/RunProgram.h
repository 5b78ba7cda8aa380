#pragma once
// Running a program as a user would: its exit status and what it printed.

#include <sys/resource.h>

#include <string>
#include <vector>

namespace testing_support {

struct ProgramRun {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

struct RunOptions {
  // Working directory of the program; empty for the test's own.
  std::string directory;
  // Largest file the program may write, in bytes; 0 for no limit. Writing
  // past it fails with EFBIG instead of raising a signal.
  rlim_t file_size_limit = 0;
  // When the test runs as root, the program runs as the user nobody.
  bool unprivileged = false;
  // Standard error goes to a pseudo-terminal instead of a file.
  bool terminal_stderr = false;
};

// Runs path with args (argv[0] is path), standard input from /dev/null.
ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& args,
                      const RunOptions& options = {});

}  // namespace testing_support
