#pragma once
// A check report as one line of JSON, for scripts.

#include <string>

#include "examine/MdlCheck.h"

namespace vandrell {

// {"file", "ok" (no error found), "file_bytes", "expected_bytes", "header"
// (absent when the file is shorter than one), "counts", "engines" (each with
// "loads" and "problems"), "findings" (each with "severity", "what" and, for
// an engine's refusal, "engine")}. Floats that JSON cannot hold (NaN,
// infinities) are null.
std::string CheckReportJson(const std::string& path, const MdlCheckReport& report);

}  // namespace vandrell
