#include "host/Bitmap.h"

#include <cstring>

namespace host {

namespace {
BitmapManager g_manager;
}
BitmapManager* TheManager = &g_manager;

BitmapStorage::BitmapStorage(int width, int height, int type)
    : width_(width), height_(height), type_(type),
      pixels_(static_cast<size_t>(width) * height * (type == kBitmapType8BitPaletted ? 1 : 4)) {}

int BitmapStorage::SetPalette(int first, int count, const PaletteColor16* colours) {
  if (type_ != kBitmapType8BitPaletted || first < 0 || count < 0 || first + count > 256) return 0;
  if (palette_.size() < static_cast<size_t>(first + count)) palette_.resize(first + count);
  for (int i = 0; i < count; ++i) palette_[first + i] = colours[i];
  return 1;
}

int BitmapStorage::CopyScaledFrom(const Bitmap*, int, int) { return 0; }

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
  auto held = images_.find(info->Name());
  if (held == images_.end()) return nullptr;
  auto storage = std::make_unique<BitmapStorage>(held->second.width, held->second.height,
                                                 kBitmapTypeTrueColor);
  storage->Pixels() = held->second.rgba;
  if (status) *status = 1;
  return new Bitmap(std::move(storage));
}

Bitmap* BitmapManager::Create(BitmapInfo* info) {
  if (create_fails_ || !info || info->Width() <= 0 || info->Height() <= 0) return nullptr;
  if (info->Type() != kBitmapTypeTrueColor && info->Type() != kBitmapType8BitPaletted) return nullptr;
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

bool BitmapManager::RegisterEncodedImage(const std::string&, const uint8_t*, size_t) { return false; }

void BitmapManager::ForgetImages() { images_.clear(); }

}  // namespace host
