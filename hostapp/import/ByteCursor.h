#pragma once
// A little-endian binary file held in memory, read front to back or by
// offset: two's-complement integers and IEEE 754 single-precision reals, as
// the Quake family of model files stores them.
//
// Every read checks that its bytes are there. The first read that would run
// past the end reads nothing and gives 0, the cursor keeps a message saying
// where the bytes ran out, and every later read fails too: a reader reads a
// run of fields and looks at ok() once. Need() checks a whole part up front,
// for a message that names it. The cursor does not own the bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostapp {

class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, size_t size);
  explicit ByteCursor(const std::vector<uint8_t>& bytes);

  size_t offset() const { return offset_; }
  size_t size() const { return size_; }
  size_t remaining() const { return size_ - offset_; }

  // False once a read or check has failed; error() then says why.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  bool Has(uint64_t count) const { return ok() && count <= remaining(); }
  // Has(), but a shortfall fails the cursor with a message naming what the
  // bytes were for ("the header", "frame 3").
  bool Need(uint64_t count, const std::string& what);
  // Fails the cursor (the first message stays); returns false.
  bool Fail(const std::string& message);

  // Moves to offset from the first byte (the end itself included).
  bool Seek(uint64_t offset);
  bool Skip(uint64_t count);

  uint8_t Uint8();
  uint16_t Uint16();
  int16_t Int16();
  uint32_t Uint32();
  int32_t Int32();
  float Float();
  // A zero-padded text field of field_size bytes: the text before its first
  // zero byte, or the whole field when it holds none.
  std::string FixedString(size_t field_size);

 private:
  bool Available(uint64_t count);

  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
  std::string error_;
};

}  // namespace hostapp
