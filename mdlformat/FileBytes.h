#pragma once
// A whole file read into memory, for the readers that take bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace vandrell {

// Reads the file at path into *bytes. False, with "cannot open PATH" or
// "cannot read PATH" in *error (when given), when it cannot.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

}  // namespace vandrell
