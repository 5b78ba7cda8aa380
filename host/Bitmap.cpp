#include "host/Bitmap.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <unordered_map>

// Where the system's stb library cannot be linked (the Windows cross-build),
// the build compiles the decoder from the system's single header here.
#if defined(VANDRELL_COMPILE_STB_IMAGE)
#define STB_IMAGE_IMPLEMENTATION
#endif
#include <stb_image.h>

#if defined(VANDRELL_HAVE_LIBJPEG)
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#endif

namespace host {

namespace {

BitmapManager g_manager;

// Pixels decoded by stb, released with stb's own free.
struct StbPixelsFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};
using StbPixels = std::unique_ptr<stbi_uc, StbPixelsFree>;

// A true-colour storage holding a copy of width x height RGBA8 pixels.
std::unique_ptr<BitmapStorage> TrueColorStorage(int width, int height, const uint8_t* rgba) {
  auto storage = std::make_unique<BitmapStorage>(width, height, kBitmapTypeTrueColor);
  if (!storage->Pixels().empty())
    std::memcpy(storage->Pixels().data(), rgba, storage->Pixels().size());
  return storage;
}

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

std::unique_ptr<BitmapStorage> DecodeJpegFileFallback(const char* path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return nullptr;
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  return DecodeJpegFallback(bytes.data(), bytes.size());
}
#else
std::unique_ptr<BitmapStorage> DecodeJpegFallback(const uint8_t*, size_t) { return nullptr; }
std::unique_ptr<BitmapStorage> DecodeJpegFileFallback(const char*) { return nullptr; }
#endif

std::unique_ptr<BitmapStorage> DecodeFile(const char* path) {
  int width = 0;
  int height = 0;
  int channels = 0;
  stbi_uc* decoded = stbi_load(path, &width, &height, &channels, 4);
  std::unique_ptr<BitmapStorage> storage = FromDecoded(decoded, width, height);
  return storage ? std::move(storage) : DecodeJpegFileFallback(path);
}

std::unique_ptr<BitmapStorage> DecodeMemory(const uint8_t* data, size_t size) {
  if (!data || size == 0 || size > static_cast<size_t>(INT_MAX)) return nullptr;
  int width = 0;
  int height = 0;
  int channels = 0;
  stbi_uc* decoded =
      stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4);
  std::unique_ptr<BitmapStorage> storage = FromDecoded(decoded, width, height);
  return storage ? std::move(storage) : DecodeJpegFallback(data, size);
}

// One source sample of an output pixel along one axis.
struct Tap {
  int index;
  float weight;
};
// Per output position, the source samples whose weights add up to 1.
using AxisFilter = std::vector<std::vector<Tap>>;

// Resampling along one axis from source_size to output_size samples. Shrinking
// averages the source samples under each output sample's footprint, weighted
// by how much of each it covers; enlarging (or keeping the size) interpolates
// linearly between the two nearest source sample centres, so an equal size
// copies every sample exactly.
AxisFilter MakeAxisFilter(int source_size, int output_size) {
  AxisFilter filter(static_cast<size_t>(output_size));
  const double ratio = static_cast<double>(source_size) / output_size;
  for (int i = 0; i < output_size; ++i) {
    std::vector<Tap>& taps = filter[static_cast<size_t>(i)];
    if (output_size < source_size) {
      const double from = i * ratio;
      const double to = (i + 1) * ratio;
      const int first = static_cast<int>(std::floor(from));
      for (int j = first; j < source_size && j < to; ++j) {
        const double covered = std::min(to, j + 1.0) - std::max(from, static_cast<double>(j));
        if (covered > 0.0) taps.push_back({j, static_cast<float>(covered / ratio)});
      }
    } else {
      const double at = (i + 0.5) * ratio - 0.5;
      if (at <= 0.0) {
        taps.push_back({0, 1.0f});
      } else if (at >= source_size - 1) {
        taps.push_back({source_size - 1, 1.0f});
      } else {
        const int j = static_cast<int>(std::floor(at));
        const double f = at - j;
        taps.push_back({j, static_cast<float>(1.0 - f)});
        if (f > 0.0) taps.push_back({j + 1, static_cast<float>(f)});
      }
    }
  }
  return filter;
}

// A weighted colour sum back to an 8-bit level, rounded to nearest.
uint8_t ToLevel(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 255.0f) return 255;
  return static_cast<uint8_t>(value + 0.5f);
}

// width x height RGBA8 pixels resampled to out_width x out_height.
std::vector<uint8_t> Resample(const uint8_t* rgba, int width, int height, int out_width,
                              int out_height) {
  const AxisFilter across = MakeAxisFilter(width, out_width);
  const AxisFilter down = MakeAxisFilter(height, out_height);
  // Rows first: every source row shrunk or stretched to the output width.
  std::vector<float> rows(static_cast<size_t>(height) * out_width * 4, 0.0f);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = rgba + static_cast<size_t>(y) * width * 4;
    float* out = rows.data() + static_cast<size_t>(y) * out_width * 4;
    for (int x = 0; x < out_width; ++x, out += 4) {
      for (const Tap& tap : across[static_cast<size_t>(x)]) {
        const uint8_t* pixel = in + static_cast<size_t>(tap.index) * 4;
        for (int c = 0; c < 4; ++c) out[c] += tap.weight * pixel[c];
      }
    }
  }
  // Then columns.
  std::vector<uint8_t> result(static_cast<size_t>(out_width) * out_height * 4);
  std::vector<float> sum(static_cast<size_t>(out_width) * 4);
  for (int y = 0; y < out_height; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    for (const Tap& tap : down[static_cast<size_t>(y)]) {
      const float* row = rows.data() + static_cast<size_t>(tap.index) * out_width * 4;
      for (size_t k = 0; k < sum.size(); ++k) sum[k] += tap.weight * row[k];
    }
    uint8_t* out = result.data() + static_cast<size_t>(y) * out_width * 4;
    for (size_t k = 0; k < sum.size(); ++k) out[k] = ToLevel(sum[k]);
  }
  return result;
}

// Nearest palette entry of 8-bit colours, remembered per distinct colour: a
// texture holds far fewer colours than pixels.
class PaletteMatcher {
 public:
  explicit PaletteMatcher(const std::vector<PaletteColor16>& palette) : palette_(palette) {}

  // Plain squared distance in 16-bit RGB; ties keep the lower index.
  uint8_t Nearest(uint8_t r, uint8_t g, uint8_t b) {
    const uint32_t key = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
    auto known = cache_.find(key);
    if (known != cache_.end()) return known->second;
    // An 8-bit level is its 16-bit value divided by 257.
    const int64_t red = r * 257;
    const int64_t green = g * 257;
    const int64_t blue = b * 257;
    int64_t best_distance = INT64_MAX;
    uint8_t best = 0;
    for (size_t k = 0; k < palette_.size(); ++k) {
      const int64_t dr = red - palette_[k].r;
      const int64_t dg = green - palette_[k].g;
      const int64_t db = blue - palette_[k].b;
      const int64_t distance = dr * dr + dg * dg + db * db;
      if (distance < best_distance) {
        best_distance = distance;
        best = static_cast<uint8_t>(k);
      }
    }
    cache_.emplace(key, best);
    return best;
  }

 private:
  const std::vector<PaletteColor16>& palette_;
  std::unordered_map<uint32_t, uint8_t> cache_;
};

}  // namespace

BitmapManager* TheManager = &g_manager;

BitmapStorage::BitmapStorage(int width, int height, int type)
    : width_(width),
      height_(height),
      type_(type),
      pixels_(static_cast<size_t>(width) * height * (type == kBitmapType8BitPaletted ? 1 : 4)) {}

int BitmapStorage::SetPalette(int first, int count, const PaletteColor16* colours) {
  if (type_ != kBitmapType8BitPaletted || first < 0 || count < 0 || first + count > 256) return 0;
  if (palette_.size() < static_cast<size_t>(first + count)) palette_.resize(first + count);
  for (int i = 0; i < count; ++i) palette_[first + i] = colours[i];
  return 1;
}

int BitmapStorage::CopyScaledFrom(const Bitmap* source, int mode, int fill_index) {
  if (mode != kCopyScaled) return 0;
  const BitmapStorage* from = source ? source->Storage() : nullptr;
  if (!from || from->Width() <= 0 || from->Height() <= 0) {
    // Nothing to copy: every pixel is one the source cannot give.
    if (type_ == kBitmapType8BitPaletted)
      std::fill(pixels_.begin(), pixels_.end(), static_cast<uint8_t>(fill_index));
    return 0;
  }
  if (width_ <= 0 || height_ <= 0) return 1;

  // The source as RGBA8; a copy when it is paletted or is this storage itself.
  std::vector<uint8_t> converted;
  const uint8_t* rgba = from->Pixels().data();
  if (from->Type() == kBitmapType8BitPaletted || from == this) {
    converted.resize(static_cast<size_t>(from->Width()) * from->Height() * 4);
    for (int y = 0; y < from->Height(); ++y) {
      for (int x = 0; x < from->Width(); ++x)
        from->ReadColor(x, y, converted.data() + (static_cast<size_t>(y) * from->Width() + x) * 4);
    }
    rgba = converted.data();
  }

  std::vector<uint8_t> scaled = Resample(rgba, from->Width(), from->Height(), width_, height_);
  if (type_ != kBitmapType8BitPaletted) {
    pixels_ = std::move(scaled);
    return 1;
  }
  if (palette_.empty()) {
    std::fill(pixels_.begin(), pixels_.end(), static_cast<uint8_t>(fill_index));
    return 1;
  }
  PaletteMatcher matcher(palette_);
  for (size_t i = 0; i < pixels_.size(); ++i) {
    const uint8_t* pixel = scaled.data() + i * 4;
    pixels_[i] = matcher.Nearest(pixel[0], pixel[1], pixel[2]);
  }
  return 1;
}

int BitmapStorage::ReadIndexRow(int x, int y, int count, uint8_t* out) const {
  if (type_ != kBitmapType8BitPaletted || x < 0 || y < 0 || y >= height_ || count < 0 ||
      x > width_ - count)
    return 0;
  std::memcpy(out, pixels_.data() + static_cast<size_t>(y) * width_ + x, count);
  return 1;
}

void BitmapStorage::ReadColor(int x, int y, uint8_t rgba[4]) const {
  const size_t at = static_cast<size_t>(y) * width_ + x;
  if (type_ == kBitmapType8BitPaletted) {
    const uint8_t index = pixels_[at];
    const PaletteColor16 c = index < palette_.size() ? palette_[index] : PaletteColor16();
    rgba[0] = static_cast<uint8_t>(c.r / 257);
    rgba[1] = static_cast<uint8_t>(c.g / 257);
    rgba[2] = static_cast<uint8_t>(c.b / 257);
    rgba[3] = 255;
  } else {
    std::memcpy(rgba, pixels_.data() + at * 4, 4);
  }
}

Bitmap::Bitmap(std::unique_ptr<BitmapStorage> storage) : storage_(std::move(storage)) {}
Bitmap::~Bitmap() = default;
int Bitmap::Width() const { return storage_ ? storage_->Width() : 0; }
int Bitmap::Height() const { return storage_ ? storage_->Height() : 0; }

Bitmap* BitmapManager::Load(BitmapInfo* info, int* status) {
  if (status) *status = 0;
  if (!info) return nullptr;
  const std::string name = info->Name();
  std::unique_ptr<BitmapStorage> storage;
  auto held = images_.find(name);
  if (held != images_.end()) {
    storage = TrueColorStorage(held->second.width, held->second.height, held->second.rgba.data());
  } else if (!name.empty()) {
    storage = DecodeFile(name.c_str());
  }
  if (!storage) return nullptr;
  if (status) *status = 1;
  return new Bitmap(std::move(storage));
}

Bitmap* BitmapManager::Create(BitmapInfo* info) {
  if (create_fails_ || !info || info->Width() <= 0 || info->Height() <= 0) return nullptr;
  if (info->Type() != kBitmapTypeTrueColor && info->Type() != kBitmapType8BitPaletted)
    return nullptr;
  return new Bitmap(std::make_unique<BitmapStorage>(info->Width(), info->Height(), info->Type()));
}

void BitmapManager::RegisterImage(const std::string& name, int width, int height,
                                  const uint8_t* rgba) {
  HeldImage image;
  image.width = width;
  image.height = height;
  image.rgba.assign(rgba, rgba + static_cast<size_t>(width) * height * 4);
  images_[name] = std::move(image);
}

bool BitmapManager::RegisterEncodedImage(const std::string& name, const uint8_t* data,
                                         size_t size) {
  std::unique_ptr<BitmapStorage> decoded = DecodeMemory(data, size);
  if (!decoded) return false;
  HeldImage image;
  image.width = decoded->Width();
  image.height = decoded->Height();
  image.rgba = std::move(decoded->Pixels());
  images_[name] = std::move(image);
  return true;
}

void BitmapManager::ForgetImages() { images_.clear(); }

}  // namespace host
