#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace host {

// One palette colour, 16 bits a component, 65535 full intensity.
struct PaletteColor16 {
  uint16_t r = 0;
  uint16_t g = 0;
  uint16_t b = 0;
};

// Bitmap type codes of BitmapInfo::SetType.
constexpr int kBitmapTypeTrueColor = 1;     // 8-bit RGBA pixels
constexpr int kBitmapType8BitPaletted = 2;  // one palette index a pixel

// Copy modes of BitmapStorage::CopyScaledFrom.
constexpr int kCopyScaled = 1;  // the whole source scaled to the destination's size

// What to load or create: a name (a file path or a registered image), and the
// size and type of a bitmap to create.
class BitmapInfo {
 public:
  BitmapInfo() = default;
  explicit BitmapInfo(const char* name) { SetName(name); }

  void SetName(const char* name) { name_ = name ? name : ""; }
  const char* Name() const { return name_.c_str(); }
  void SetWidth(int width) { width_ = width; }
  void SetHeight(int height) { height_ = height; }
  void SetType(int type) { type_ = type; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Type() const { return type_; }

 private:
  std::string name_;
  int width_ = 0;
  int height_ = 0;
  int type_ = kBitmapTypeTrueColor;
};

class Bitmap;

// The pixels of a bitmap: RGBA8 for true colour, one index a pixel for
// paletted bitmaps. Row 0 is the top row.
class BitmapStorage {
 public:
  BitmapStorage(int width, int height, int type);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Type() const { return type_; }

  // Sets count palette entries from entry first on; returns 1, or 0 when the
  // range does not fit 0 .. 255 or the storage is not paletted.
  int SetPalette(int first, int count, const PaletteColor16* colours);
  // Copies the whole source, scaled to this storage's size (mode
  // kCopyScaled): area-average when shrinking, bilinear when enlarging. On a
  // paletted storage every colour becomes the nearest entry of the palette set
  // so far, and pixels the source cannot give get fill_index. Returns 1 on
  // success, 0 for an unknown mode or a source without pixels.
  int CopyScaledFrom(const Bitmap* source, int mode, int fill_index);
  // Reads count palette indices of row y from column x on into out; returns 1,
  // or 0 when the span lies outside the storage or it is not paletted.
  int ReadIndexRow(int x, int y, int count, uint8_t* out) const;

  // RGBA8 of pixel (x, y); paletted pixels are looked up in the palette.
  void ReadColor(int x, int y, uint8_t rgba[4]) const;
  // Raw pixel bytes: 4 a pixel (true colour) or 1 a pixel (paletted).
  std::vector<uint8_t>& Pixels() { return pixels_; }
  const std::vector<uint8_t>& Pixels() const { return pixels_; }
  int PaletteSize() const { return static_cast<int>(palette_.size()); }

 private:
  int width_;
  int height_;
  int type_;
  std::vector<uint8_t> pixels_;
  std::vector<PaletteColor16> palette_;
};

// A loaded or created bitmap. Deleting it releases its storage.
class Bitmap {
 public:
  explicit Bitmap(std::unique_ptr<BitmapStorage> storage);
  ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  // The pixels; null for a bitmap without storage.
  BitmapStorage* Storage() const { return storage_.get(); }
  // 0 without storage.
  int Width() const;
  int Height() const;

 private:
  std::unique_ptr<BitmapStorage> storage_;
};

// Loads images from files or from memory and creates new bitmaps.
class BitmapManager {
 public:
  // Reads the image the info names: a registered in-memory image of that name
  // first, else a file in one of the common formats (PNG, JPEG, TGA, BMP, PCX,
  // GIF, PSD, HDR). Returns null when it cannot; *status (when given) is 1 on
  // success and 0 on failure. The caller owns the bitmap.
  Bitmap* Load(BitmapInfo* info, int* status = nullptr);
  // A new bitmap of the info's width, height and type; null when the size is
  // not positive or the type unknown. The caller owns the bitmap.
  Bitmap* Create(BitmapInfo* info);

  // Holds an RGBA8 image under a name, for Load to find before any file.
  void RegisterImage(const std::string& name, int width, int height, const uint8_t* rgba);
  // Decodes an encoded image (PNG, JPEG, ...) from memory and holds it under a
  // name; false when the data cannot be decoded, with the reason in *reason
  // when given (words that follow "cannot be read: ").
  bool RegisterEncodedImage(const std::string& name, const uint8_t* data, size_t size,
                            std::string* reason = nullptr);
  // The same for the image file at path, held under the path itself: Load
  // then finds it without reading the file again. Each call reads the file
  // afresh.
  bool RegisterImageFile(const std::string& path, std::string* reason = nullptr);
  // The size of the image held under name; false when none is held.
  bool HeldImageSize(const std::string& name, int* width, int* height) const;
  void ForgetImages();

  // For fault tests: while set, Create yields null.
  void SetCreateFails(bool fails) { create_fails_ = fails; }

 private:
  struct HeldImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
  };
  // Holds what was decoded under name; false, forgetting any image held
  // under it before, when nothing was.
  bool Hold(const std::string& name, std::unique_ptr<BitmapStorage> decoded);

  std::map<std::string, HeldImage> images_;
  bool create_fails_ = false;
};

// The process-wide bitmap manager.
extern BitmapManager* TheManager;

}  // namespace host
