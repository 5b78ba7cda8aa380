#pragma once
// Where a case's files go, in the platform's own terms: paths in the run
// folder, and the small location, where no file may grow beyond 2 KB.

#include <string>

namespace wintest {

// A '/'-separated relative path joined to the run folder in the platform's
// own form.
std::string NativePath(const std::string& run_folder, const std::string& relative);

// The largest file a small-location case may write.
constexpr long kSmallLocationBytes = 2048;
// Turns the small location on (no file this process writes may grow beyond
// kSmallLocationBytes) or off again. Where a program cannot do it itself the
// script that starts it must have done it; false with a reason.
bool LimitFileSize(bool on, std::string* error);

}  // namespace wintest
