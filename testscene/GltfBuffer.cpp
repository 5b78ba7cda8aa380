#include "testscene/GltfBuffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace testscene {

namespace {

static_assert(sizeof(float) == 4, "glTF floats are 32-bit");

const char* TypeName(int components) {
  switch (components) {
    case 1:
      return "SCALAR";
    case 2:
      return "VEC2";
    case 3:
      return "VEC3";
    case 4:
      return "VEC4";
    case 16:
      return "MAT4";
    default:
      return "?";
  }
}

void AppendLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

size_t GltfBuffer::Align() {
  while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  return bytes_.size();
}

int GltfBuffer::AddAccessor(size_t offset, size_t element_count, int component_type, int components,
                            int target, const std::string& bounds) {
  std::string view = "{\"buffer\": 0, \"byteOffset\": " + std::to_string(offset) +
                     ", \"byteLength\": " + std::to_string(bytes_.size() - offset);
  if (target) view += ", \"target\": " + std::to_string(target);
  views_.push_back(view + "}");
  accessors_.push_back("{\"bufferView\": " + std::to_string(views_.size() - 1) +
                       ", \"componentType\": " + std::to_string(component_type) +
                       ", \"count\": " + std::to_string(element_count) + ", \"type\": \"" +
                       TypeName(components) + "\"" + bounds + "}");
  return static_cast<int>(accessors_.size()) - 1;
}

int GltfBuffer::AddFloats(const std::vector<float>& values, int components, bool bounds,
                          int target) {
  const size_t offset = Align();
  for (float value : values) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    AppendLittleEndian(bytes_, bits, 4);
  }
  const size_t stride = static_cast<size_t>(components);
  std::string minmax;
  if (bounds && !values.empty()) {
    std::string low, high;
    for (size_t c = 0; c < stride; ++c) {
      float lo = values[c], hi = lo;
      for (size_t i = c; i < values.size(); i += stride) {
        lo = std::min(lo, values[i]);
        hi = std::max(hi, values[i]);
      }
      low += (c ? ", " : "") + Number(lo);
      high += (c ? ", " : "") + Number(hi);
    }
    minmax = ", \"min\": [" + low + "], \"max\": [" + high + "]";
  }
  return AddAccessor(offset, values.size() / stride, kFloat, components, target, minmax);
}

int GltfBuffer::AddUint8(const std::vector<uint8_t>& values, int components, int target) {
  const size_t offset = Align();
  bytes_.insert(bytes_.end(), values.begin(), values.end());
  return AddAccessor(offset, values.size() / static_cast<size_t>(components), kUnsignedByte,
                     components, target, "");
}

int GltfBuffer::AddUint16(const std::vector<uint16_t>& values, int components, int target) {
  const size_t offset = Align();
  for (uint16_t value : values) AppendLittleEndian(bytes_, value, 2);
  return AddAccessor(offset, values.size() / static_cast<size_t>(components), kUnsignedShort,
                     components, target, "");
}

int GltfBuffer::AddUint32(const std::vector<uint32_t>& values, int components, int target) {
  const size_t offset = Align();
  for (uint32_t value : values) AppendLittleEndian(bytes_, value, 4);
  return AddAccessor(offset, values.size() / static_cast<size_t>(components), kUnsignedInt,
                     components, target, "");
}

std::string GltfBuffer::Members(const std::string& uri) const {
  const std::string location =
      uri.empty() ? "data:application/octet-stream;base64," + Base64(bytes_) : uri;
  std::string json = "  \"buffers\": [{\"byteLength\": " + std::to_string(bytes_.size()) +
                     ", \"uri\": \"" + location + "\"}],\n";
  json += "  \"bufferViews\": [\n" + JoinLines(views_) + "\n  ],\n";
  json += "  \"accessors\": [\n" + JoinLines(accessors_) + "\n  ]";
  return json;
}

std::string JoinLines(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) text += (i ? ",\n    " : "    ") + items[i];
  return text;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    const uint32_t group = static_cast<uint32_t>(bytes[i]) << 16 |
                           (left > 1 ? static_cast<uint32_t>(bytes[i + 1]) << 8 : 0) |
                           (left > 2 ? bytes[i + 2] : 0);
    text += kDigits[group >> 18 & 63];
    text += kDigits[group >> 12 & 63];
    text += left > 1 ? kDigits[group >> 6 & 63] : '=';
    text += left > 2 ? kDigits[group & 63] : '=';
  }
  return text;
}

}  // namespace testscene
