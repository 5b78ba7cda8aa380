// Decoding image files into bitmap storage: our own reader for PCX, stb for
// every format it reads, libjpeg (where the build has it) for the JPEG data
// stb gives up on.
#include "host/BitmapDecoding.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/PcxDecoding.h"

// Where the system's stb library cannot be linked (the Windows cross-build),
// the build compiles the decoder from the system's single header here.
#if defined(VANDRELL_COMPILE_STB_IMAGE)
#define STB_IMAGE_IMPLEMENTATION
#endif
#include <stb_image.h>

#if defined(VANDRELL_HAVE_LIBJPEG)
#include <jpeglib.h>

#include <csetjmp>
#endif

namespace host {

namespace {

// Pixels decoded by stb, released with stb's own free.
struct StbPixelsFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};
using StbPixels = std::unique_ptr<stbi_uc, StbPixelsFree>;

// Takes over what an stb decoder returned; null when it failed.
std::unique_ptr<BitmapStorage> FromDecoded(stbi_uc* decoded, int width, int height) {
  StbPixels pixels(decoded);
  if (!pixels || width <= 0 || height <= 0) return nullptr;
  return TrueColorStorage(width, height, pixels.get());
}

#if defined(VANDRELL_HAVE_LIBJPEG)
// stb gives up on a JPEG scan followed by excess entropy-coded bytes that hold
// a stuffed 0xFF (progressive encoders leave such bytes); libjpeg skips them.
// It is asked only about JPEG data that stb could not decode.

bool IsJpeg(const uint8_t* data, size_t size) {
  return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

struct JpegErrorExit {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void LeaveJpegDecoding(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrorExit*>(info->err)->jump, 1);
}
// Warnings (such as skipped excess bytes) are not errors; nothing is printed.
void IgnoreJpegMessage(j_common_ptr) {}

struct DecodedRgba {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
  std::vector<uint8_t> row;
};

// Fills out and returns true, or returns false for data libjpeg rejects. The
// error exit jumps back here out of libjpeg's frames only, and every object
// this function changes after setjmp lives in out or in libjpeg's memory.
bool DecodeJpegWithLibjpeg(const uint8_t* data, size_t size, DecodedRgba* out) {
  jpeg_decompress_struct info;
  JpegErrorExit error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = LeaveJpegDecoding;
  error.manager.output_message = IgnoreJpegMessage;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out->width = static_cast<int>(info.output_width);
  out->height = static_cast<int>(info.output_height);
  out->rgba.resize(static_cast<size_t>(out->width) * out->height * 4);
  out->row.resize(static_cast<size_t>(out->width) * 3);
  while (info.output_scanline < info.output_height) {
    uint8_t* target = out->rgba.data() + static_cast<size_t>(info.output_scanline) * out->width * 4;
    JSAMPROW row = out->row.data();
    jpeg_read_scanlines(&info, &row, 1);
    for (int x = 0; x < out->width; ++x) {
      std::memcpy(target + x * 4, out->row.data() + x * 3, 3);
      target[x * 4 + 3] = 255;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

std::unique_ptr<BitmapStorage> DecodeJpegFallback(const uint8_t* data, size_t size) {
  if (!data || !IsJpeg(data, size)) return nullptr;
  DecodedRgba decoded;
  if (!DecodeJpegWithLibjpeg(data, size, &decoded) || decoded.width <= 0 || decoded.height <= 0)
    return nullptr;
  return TrueColorStorage(decoded.width, decoded.height, decoded.rgba.data());
}
#else
std::unique_ptr<BitmapStorage> DecodeJpegFallback(const uint8_t*, size_t) { return nullptr; }
#endif

// stb's terse reason in words a user can act on.
std::string DecodingFailure(const char* stb_reason) {
  const std::string said = stb_reason ? stb_reason : "";
  if (said.empty() || said == "unknown image type")
    return "not an image in a format that is read (PNG, JPEG, TGA, BMP, PCX, GIF, PSD, HDR)";
  return "damaged, or a kind of image that is not read (" + said + ")";
}

}  // namespace

std::unique_ptr<BitmapStorage> TrueColorStorage(int width, int height, const uint8_t* rgba) {
  auto storage = std::make_unique<BitmapStorage>(width, height, kBitmapTypeTrueColor);
  if (!storage->Pixels().empty())
    std::memcpy(storage->Pixels().data(), rgba, storage->Pixels().size());
  return storage;
}

std::unique_ptr<BitmapStorage> DecodeImageFile(const char* path, std::string* reason) {
  std::vector<uint8_t> bytes;
  std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
  if (!file) {
    if (reason) *reason = "the file cannot be opened";
    return nullptr;
  }
  uint8_t block[65536];
  size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0)
    bytes.insert(bytes.end(), block, block + got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    if (reason) *reason = "reading the file failed";
    return nullptr;
  }
  if (bytes.empty()) {
    if (reason) *reason = "the file is empty";
    return nullptr;
  }
  return DecodeImageMemory(bytes.data(), bytes.size(), reason);
}

std::unique_ptr<BitmapStorage> DecodeImageMemory(const uint8_t* data, size_t size,
                                                 std::string* reason) {
  std::string ignored;
  std::string& why = reason ? *reason : ignored;
  if (!data || size == 0) {
    why = "no bytes";
    return nullptr;
  }
  if (LooksLikePcx(data, size)) {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    if (!DecodePcx(data, size, &width, &height, &rgba, &why)) return nullptr;
    return TrueColorStorage(width, height, rgba.data());
  }
  if (size > static_cast<size_t>(INT_MAX)) {
    why = "the file is too large";
    return nullptr;
  }
  int width = 0;
  int height = 0;
  int channels = 0;
  stbi_uc* decoded =
      stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4);
  const std::string stb_reason = decoded ? "" : DecodingFailure(stbi_failure_reason());
  std::unique_ptr<BitmapStorage> storage = FromDecoded(decoded, width, height);
  if (!storage) storage = DecodeJpegFallback(data, size);
  if (!storage) why = stb_reason.empty() ? "an image of no pixels" : stb_reason;
  return storage;
}

}  // namespace host
