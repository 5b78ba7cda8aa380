#pragma once
// Text of JSON values, for the documents examine/ writes.

#include <string>

namespace vandrell {

// text as a JSON string in quotes. Bytes beyond ASCII and control bytes are
// escaped one by one as \u00XX (a name from a file need not be UTF-8), so the
// result is plain ASCII and always valid.
std::string JsonString(const std::string& text);

}  // namespace vandrell
