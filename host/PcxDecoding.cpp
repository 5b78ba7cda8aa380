// PCX decoding. The file is a 128-byte header, then the pixel data scan line
// by scan line, each line holding every plane's bytes in turn (bytes_per_line
// of them a plane, which may be more than the width needs), run-length
// encoded: a byte whose top two bits are set repeats the next byte (its low
// six bits times), any other byte stands for itself. Runs may run on into the
// next line, as some writers let them. A one-plane 8-bit image ends with the
// byte 12 and its palette of 256 RGB triples.
#include "host/PcxDecoding.h"

#include <algorithm>

namespace host {

namespace {

// Header fields, at their offsets; words are little-endian.
constexpr size_t kHeaderSize = 128;
constexpr size_t kVersionAt = 1;
constexpr size_t kEncodingAt = 2;
constexpr size_t kBitsAt = 3;
constexpr size_t kLeftAt = 4;
constexpr size_t kTopAt = 6;
constexpr size_t kRightAt = 8;
constexpr size_t kBottomAt = 10;
constexpr size_t kPlanesAt = 65;
constexpr size_t kBytesPerLineAt = 66;

constexpr uint8_t kMaker = 10;
constexpr uint8_t kPaletteMarker = 12;
constexpr size_t kPaletteSize = 1 + 256 * 3;  // the marker and the colours
// A run's byte repeats at most 63 times.
constexpr size_t kLongestRun = 63;
// Larger images are refused rather than allocated: 2^28 pixels are 1 GiB as
// RGBA.
constexpr uint64_t kMostPixels = uint64_t{1} << 28;

unsigned WordAt(const uint8_t* data, size_t at) {
  return static_cast<unsigned>(data[at]) | static_cast<unsigned>(data[at + 1]) << 8;
}

// The planes' bytes of every line, run-length decoded from encoded; false
// when the data ends first.
bool Unpack(const uint8_t* encoded, size_t size, bool run_length, std::vector<uint8_t>* out) {
  const size_t total = out->size();
  if (!run_length) {
    if (size < total) return false;
    std::copy(encoded, encoded + total, out->begin());
    return true;
  }
  size_t in = 0;
  size_t at = 0;
  while (at < total) {
    if (in >= size) return false;
    const uint8_t code = encoded[in++];
    if ((code & 0xC0) != 0xC0) {
      (*out)[at++] = code;
      continue;
    }
    if (in >= size) return false;
    const uint8_t value = encoded[in++];
    // A run past the last line's end repeats nothing that is drawn.
    const size_t count = std::min<size_t>(code & 0x3F, total - at);
    std::fill_n(out->begin() + static_cast<std::ptrdiff_t>(at), count, value);
    at += count;
  }
  return true;
}

}  // namespace

bool LooksLikePcx(const uint8_t* data, size_t size) {
  if (!data || size < 4 || data[0] != kMaker) return false;
  const uint8_t version = data[kVersionAt];
  const uint8_t bits = data[kBitsAt];
  return (version == 0 || (version >= 2 && version <= 5)) && data[kEncodingAt] <= 1 &&
         (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

bool DecodePcx(const uint8_t* data, size_t size, int* width, int* height,
               std::vector<uint8_t>* rgba, std::string* reason) {
  if (!LooksLikePcx(data, size)) {
    *reason = "not a PCX image";
    return false;
  }
  if (size < kHeaderSize) {
    *reason = "the PCX header is cut short (" + std::to_string(size) + " of 128 bytes)";
    return false;
  }
  const unsigned bits = data[kBitsAt];
  const unsigned planes = data[kPlanesAt];
  if (bits != 8 || (planes != 1 && planes != 3 && planes != 4)) {
    *reason = "PCX images of " + std::to_string(bits) + " bit" + (bits == 1 ? "" : "s") +
              " a pixel in " + std::to_string(planes) + " plane" + (planes == 1 ? "" : "s") +
              " are not read (only 8 bits in 1, 3 or 4 planes)";
    return false;
  }
  const unsigned left = WordAt(data, kLeftAt);
  const unsigned top = WordAt(data, kTopAt);
  const unsigned right = WordAt(data, kRightAt);
  const unsigned bottom = WordAt(data, kBottomAt);
  if (right < left || bottom < top) {
    *reason = "the PCX header's corners (" + std::to_string(left) + ", " + std::to_string(top) +
              ") and (" + std::to_string(right) + ", " + std::to_string(bottom) +
              ") enclose no pixel";
    return false;
  }
  const unsigned w = right - left + 1;
  const unsigned h = bottom - top + 1;
  const unsigned bytes_per_line = WordAt(data, kBytesPerLineAt);
  if (bytes_per_line < w) {
    *reason = "the PCX header gives " + std::to_string(bytes_per_line) +
              " bytes a line for a width of " + std::to_string(w);
    return false;
  }
  if (uint64_t{w} * h > kMostPixels) {
    *reason =
        "the PCX image of " + std::to_string(w) + "x" + std::to_string(h) + " pixels is too large";
    return false;
  }

  // The palette of a one-plane image ends the file; the pixel data stops there.
  size_t data_end = size;
  const uint8_t* palette = nullptr;
  if (planes == 1) {
    if (size < kHeaderSize + kPaletteSize || data[size - kPaletteSize] != kPaletteMarker) {
      *reason = "the 256-colour palette at the end of the PCX file is missing";
      return false;
    }
    data_end = size - kPaletteSize;
    palette = data + data_end + 1;
  }
  const size_t line_bytes = static_cast<size_t>(planes) * bytes_per_line;
  const uint64_t total = uint64_t{line_bytes} * h;
  const bool run_length = data[kEncodingAt] == 1;
  const size_t encoded_size = data_end - kHeaderSize;
  // Checked before allocating: no data can stand for more than this.
  if (total > uint64_t{encoded_size} * (run_length ? kLongestRun : 1)) {
    *reason = "the PCX pixel data ends early";
    return false;
  }
  std::vector<uint8_t> unpacked(static_cast<size_t>(total));
  if (!Unpack(data + kHeaderSize, encoded_size, run_length, &unpacked)) {
    *reason = "the PCX pixel data ends early";
    return false;
  }

  rgba->assign(static_cast<size_t>(w) * h * 4, 255);
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* line = unpacked.data() + y * line_bytes;
    uint8_t* out = rgba->data() + y * w * 4;
    for (size_t x = 0; x < w; ++x, out += 4) {
      if (palette) {
        const uint8_t* colour = palette + line[x] * 3;
        out[0] = colour[0];
        out[1] = colour[1];
        out[2] = colour[2];
      } else {
        for (size_t p = 0; p < planes; ++p) out[p] = line[p * bytes_per_line + x];
      }
    }
  }
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  return true;
}

}  // namespace host
