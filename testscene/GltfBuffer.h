#pragma once
// Writing glTF 2.0 scene files from code: the binary buffer of a file with its
// views and accessors. The example maker, the export benchmark and the tests
// build their scenes with it; each writes the rest of the JSON (nodes, meshes,
// materials, animations) itself and places Members() among it.

#include <cstdint>
#include <string>
#include <vector>

namespace testscene {

// Component types of an accessor.
constexpr int kUnsignedByte = 5121;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kFloat = 5126;

// Targets of a buffer view: vertex attributes, and triangle indices.
constexpr int kVertexTarget = 34962;
constexpr int kIndexTarget = 34963;

class GltfBuffer {
 public:
  // Each Add appends the values, little-endian and 4-byte aligned, as a view
  // of their own with an accessor over it, and returns the accessor's index.
  // components is the values an element holds: 1 (SCALAR), 2, 3, 4 (VEC2 to
  // VEC4) or 16 (MAT4). target, when not 0, goes on the view. With bounds
  // the accessor states each component's minimum and maximum, as POSITION
  // and animation times need.
  int AddFloats(const std::vector<float>& values, int components, bool bounds = false,
                int target = 0);
  int AddUint8(const std::vector<uint8_t>& values, int components, int target = 0);
  int AddUint16(const std::vector<uint16_t>& values, int components, int target = 0);
  int AddUint32(const std::vector<uint32_t>& values, int components, int target = 0);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

  // The "buffers", "bufferViews" and "accessors" members of the file, one
  // item a line, without a comma after the last. The buffer is uri (a .bin
  // file beside the scene), or with an empty uri its bytes embedded as a
  // base64 data URI.
  std::string Members(const std::string& uri = "") const;

 private:
  // Pads to 4 bytes and returns where the next view starts.
  size_t Align();
  int AddAccessor(size_t offset, size_t element_count, int component_type, int components,
                  int target, const std::string& bounds);

  std::vector<uint8_t> bytes_;
  std::vector<std::string> views_;
  std::vector<std::string> accessors_;
};

// The items of a JSON array one a line, each indented by four spaces, the
// lines joined by commas.
std::string JoinLines(const std::vector<std::string>& items);

// A number as JSON text with the nine significant digits that bring back a
// single-precision value exactly.
std::string Number(double value);

// The bytes in base64 (RFC 4648, with padding).
std::string Base64(const std::vector<uint8_t>& bytes);

}  // namespace testscene
