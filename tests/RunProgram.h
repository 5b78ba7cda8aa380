#pragma once
// Running a program as a user would: its exit status and what it printed.

#include <string>
#include <vector>

namespace testing_support {

struct ProgramRun {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

// Runs path with args (argv[0] is path), in directory when it is not empty.
ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& args,
                      const std::string& directory = "");

}  // namespace testing_support
