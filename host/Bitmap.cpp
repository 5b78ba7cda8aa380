// The bitmap classes: storage, bitmap and the manager that loads and creates
// them. Decoding and resampling live in their own files.
#include "host/Bitmap.h"

#include <algorithm>
#include <cstring>

#include "host/BitmapDecoding.h"
#include "host/BitmapResampling.h"

namespace host {

namespace {

BitmapManager g_manager;

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
    storage = DecodeImageFile(name.c_str());
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

bool BitmapManager::RegisterEncodedImage(const std::string& name, const uint8_t* data, size_t size,
                                         std::string* reason) {
  return Hold(name, DecodeImageMemory(data, size, reason));
}

bool BitmapManager::RegisterImageFile(const std::string& path, std::string* reason) {
  return Hold(path, DecodeImageFile(path.c_str(), reason));
}

bool BitmapManager::HeldImageSize(const std::string& name, int* width, int* height) const {
  auto held = images_.find(name);
  if (held == images_.end()) return false;
  *width = held->second.width;
  *height = held->second.height;
  return true;
}

bool BitmapManager::Hold(const std::string& name, std::unique_ptr<BitmapStorage> decoded) {
  if (!decoded) {
    // What stood under the name before is out of date.
    images_.erase(name);
    return false;
  }
  HeldImage image;
  image.width = decoded->Width();
  image.height = decoded->Height();
  image.rgba = std::move(decoded->Pixels());
  images_[name] = std::move(image);
  return true;
}

void BitmapManager::ForgetImages() { images_.clear(); }

}  // namespace host
