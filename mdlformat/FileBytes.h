#pragma once
// A whole file read into memory, for the readers that take bytes or text.

#include <cstdint>
#include <string>
#include <vector>

namespace vandrell {

// Reads the file at path into *bytes. False, with "cannot open PATH" or
// "cannot read PATH" in *error (when given), when it cannot.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);
// The same for a text file (its bytes as they are, no line ends changed).
bool ReadFileText(const std::string& path, std::string* text, std::string* error);

}  // namespace vandrell
