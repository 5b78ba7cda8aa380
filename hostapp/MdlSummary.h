#pragma once
// The few facts of a written MDL file that mdlexport reports, read from its
// header.

#include <cstdint>
#include <string>

namespace hostapp {

struct MdlSummary {
  int32_t skin_width = 0;
  int32_t skin_height = 0;
  int32_t vertex_count = 0;
  int32_t triangle_count = 0;
  int32_t frame_count = 0;
  uint64_t file_size = 0;
};

// Reads the header of the MDL file at path. False, with a reason, when the
// file cannot be read or is not an MDL file of version 6.
bool ReadMdlSummary(const std::string& path, MdlSummary* summary, std::string* error);

// One line: "<path>: V vertices, T triangles, F frames, skin WxH, S bytes".
std::string FormatMdlSummary(const std::string& path, const MdlSummary& summary);

}  // namespace hostapp
