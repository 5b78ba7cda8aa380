#include "mdlformat/ByteCursor.h"

#include <cstring>
#include <limits>

namespace vandrell {

static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559,
              "floats are read from their IEEE 754 single-precision bit pattern");

ByteCursor::ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

ByteCursor::ByteCursor(const std::vector<uint8_t>& bytes)
    : ByteCursor(bytes.data(), bytes.size()) {}

bool ByteCursor::Need(uint64_t count, const std::string& what) {
  if (Has(count)) return true;
  return Fail("the file ends inside " + what + ": it needs " + std::to_string(count) +
              " bytes at offset " + std::to_string(offset_) + ", " + std::to_string(remaining()) +
              " remain");
}

bool ByteCursor::Fail(const std::string& message) {
  // An empty message would read as success; the first failure is the cause.
  if (ok()) error_ = message.empty() ? "unreadable data" : message;
  return false;
}

bool ByteCursor::Available(uint64_t count) {
  if (Has(count)) return true;
  return Fail("the file ends at offset " + std::to_string(offset_) + ": " + std::to_string(count) +
              " more bytes are needed, " + std::to_string(remaining()) + " remain");
}

bool ByteCursor::Seek(uint64_t offset) {
  if (!ok()) return false;
  if (offset > size_)
    return Fail("offset " + std::to_string(offset) + " lies beyond the end of the " +
                std::to_string(size_) + "-byte file");
  offset_ = static_cast<size_t>(offset);
  return true;
}

bool ByteCursor::Skip(uint64_t count) {
  if (!Available(count)) return false;
  offset_ += static_cast<size_t>(count);
  return true;
}

uint16_t ByteCursor::Uint16() {
  if (!Available(2)) return 0;
  const uint8_t* p = data_ + offset_;
  offset_ += 2;
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

int16_t ByteCursor::Int16() {
  const uint16_t bits = Uint16();
  // Two's complement, without relying on an out-of-range conversion.
  return static_cast<int16_t>(bits <= 0x7FFF ? bits : static_cast<int32_t>(bits) - 0x10000);
}

uint32_t ByteCursor::Uint32() {
  if (!Available(4)) return 0;
  const uint8_t* p = data_ + offset_;
  offset_ += 4;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t ByteCursor::Int32() {
  const uint32_t bits = Uint32();
  return bits <= 0x7FFFFFFFu ? static_cast<int32_t>(bits) : -static_cast<int32_t>(~bits) - 1;
}

float ByteCursor::Float() {
  const uint32_t bits = Uint32();
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool ByteCursor::Bytes(void* out, size_t count) {
  if (!Available(count)) return false;
  if (count > 0) std::memcpy(out, data_ + offset_, count);
  offset_ += count;
  return true;
}

std::string ByteCursor::FixedString(size_t field_size) {
  if (!Available(field_size)) return std::string();
  const char* field = reinterpret_cast<const char*>(data_ + offset_);
  const void* zero = field_size > 0 ? std::memchr(field, 0, field_size) : nullptr;
  const size_t length =
      zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : field_size;
  offset_ += field_size;
  return std::string(field, length);
}

}  // namespace vandrell
