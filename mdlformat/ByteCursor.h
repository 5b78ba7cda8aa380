#pragma once
// Reading a little-endian binary file held in memory, front to back or by
// offset. The Quake family of model files (MDL, MD2, MD3) all store integers
// as two's-complement little-endian values and reals as IEEE 754 single
// precision, which is what this cursor reads.
//
// Every read checks that its bytes are there. The first read that would run
// past the end reads nothing: the cursor stays where it is, keeps a message
// saying where the bytes ran out, and from then on every read fails and gives
// 0. A reader can therefore read a run of fields and look at ok() once. For
// a message that names the part of the file, check a whole part up front with
// Need():
//
//   ByteCursor in(bytes);
//   if (!in.Need(16 * count, "the triangles")) return in.error();
//   for (...) triangle = {in.Int32(), in.Int32(), in.Int32(), in.Int32()};
//
// gives "the file ends inside the triangles: it needs 48 bytes at offset 132,
// 20 remain" for a short file.
//
// The cursor does not own the bytes; they must outlive it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vandrell {

class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, size_t size);
  explicit ByteCursor(const std::vector<uint8_t>& bytes);

  // Where the next read starts, counted from the first byte.
  size_t offset() const { return offset_; }
  size_t size() const { return size_; }
  size_t remaining() const { return size_ - offset_; }
  // The next unread byte; remaining() bytes follow it.
  const uint8_t* Here() const { return data_ + offset_; }

  // False once a read or check has failed; error() then says why.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  // True when count more bytes are there; checks only.
  bool Has(uint64_t count) const { return ok() && count <= remaining(); }
  // The same, but a shortfall fails the cursor with a message naming what
  // the bytes were for ("the header", "frame 3").
  bool Need(uint64_t count, const std::string& what);
  // Fails the cursor with message (unless it has failed already, whose first
  // message stays); returns false, for `return in.Fail(...)`.
  bool Fail(const std::string& message);

  // Moves to offset, counted from the first byte; the end itself is a valid
  // place. False (and failed) beyond the end.
  bool Seek(uint64_t offset);
  // Moves count bytes on; false (and failed) past the end.
  bool Skip(uint64_t count);

  // Little-endian values; 0 when they are not there. Uint8 is defined here:
  // readers call it for every byte of a frame's vertices.
  uint8_t Uint8() {
    if (Has(1)) return data_[offset_++];
    Available(1);
    return 0;
  }
  uint16_t Uint16();
  int16_t Int16();
  uint32_t Uint32();
  int32_t Int32();
  float Float();  // from its single-precision bit pattern, NaNs included
  // Copies count bytes to out; false (and nothing copied) when they are not there.
  bool Bytes(void* out, size_t count);
  // A text field of field_size bytes, padded with zero bytes: the text before
  // the first zero byte, or all of the field when it holds none. Empty when
  // the field is not there.
  std::string FixedString(size_t field_size);

 private:
  // True when count bytes are there; otherwise fails with the plain message.
  bool Available(uint64_t count);

  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
  std::string error_;
};

}  // namespace vandrell
