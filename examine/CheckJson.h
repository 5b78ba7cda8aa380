#pragma once
// A check report as one line of JSON, for scripts.

#include <string>

#include "examine/MdlCheck.h"

namespace vandrell {

// {"file", "ok" (no error found), "file_bytes", "expected_bytes", "header"
// (absent when the file is shorter than one), "counts", "engines" (each with
// "loads", "problems" and "cautions"; the last is network protocol 15, which
// always "loads"), "findings" (each with "severity": "error", "warning" or
// "note", "what" and, for an engine's refusal or note, "engine")}. Floats that JSON cannot hold
// (NaN, infinities) are null.
std::string CheckReportJson(const std::string& path, const MdlCheckReport& report);

}  // namespace vandrell
