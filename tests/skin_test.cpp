// The skin: Quake palette and colour matching, the layout under the byte
// budget, painting, and the stand-in host's bitmaps that painting relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "RunProgram.h"
#include "TestSupport.h"
#include "export/ExportSettings.h"
#include "host/Bitmap.h"
#include "hostapp/scene/StandInScene.h"
#include "scene/MaterialTable.h"
#include "skin/QuakePalette.h"
#include "skin/SkinPainter.h"

namespace {

using vandrell::MaterialTable;
using vandrell::NearestPaletteIndex;
using vandrell::QuakePalette;

// ---------------------------------------------------------------------------
// Tiny image encoders, so that decoding is checked against files the test
// itself wrote byte by byte.

struct Rgb {
  uint8_t r, g, b;
};

void PutLe16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}
void PutBe16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}
void PutBe32(std::vector<uint8_t>& out, uint32_t value) {
  PutBe16(out, value >> 16);
  PutBe16(out, value & 0xFFFF);
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

void PutPngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  PutBe32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBe32(out, Crc32(typed.data(), typed.size()));
}

// An 8-bit RGBA PNG, its image data in one stored (uncompressed) deflate block.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), rgba.begin() + y * width * 4, rgba.begin() + (y + 1) * width * 4);
  }
  std::vector<uint8_t> zlib = {0x78, 0x01, 0x01};  // header; final stored block
  PutLe16(zlib, static_cast<uint32_t>(raw.size()));
  PutLe16(zlib, static_cast<uint32_t>(~raw.size() & 0xFFFF));
  zlib.insert(zlib.end(), raw.begin(), raw.end());
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(zlib, (b << 16) | a);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBe32(header, static_cast<uint32_t>(width));
  PutBe32(header, static_cast<uint32_t>(height));
  header.insert(header.end(),
                {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter set, no interlace
  PutPngChunk(png, "IHDR", header);
  PutPngChunk(png, "IDAT", zlib);
  PutPngChunk(png, "IEND", {});
  return png;
}

// A 24-bit BMP: rows bottom-up, BGR, each row padded to 4 bytes.
std::vector<uint8_t> EncodeBmp(int width, int height, const std::vector<Rgb>& pixels) {
  const int row_size = (width * 3 + 3) / 4 * 4;
  std::vector<uint8_t> bmp = {'B', 'M'};
  PutLe32(bmp, static_cast<uint32_t>(54 + row_size * height));
  PutLe32(bmp, 0);
  PutLe32(bmp, 54);
  PutLe32(bmp, 40);
  PutLe32(bmp, static_cast<uint32_t>(width));
  PutLe32(bmp, static_cast<uint32_t>(height));
  PutLe16(bmp, 1);
  PutLe16(bmp, 24);
  for (int i = 0; i < 6; ++i) PutLe32(bmp, 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const Rgb& p = pixels[static_cast<size_t>(y * width + x)];
      bmp.insert(bmp.end(), {p.b, p.g, p.r});
    }
    for (int pad = width * 3; pad < row_size; ++pad) bmp.push_back(0);
  }
  return bmp;
}

// An uncompressed 24-bit TGA with the first row at the bottom.
std::vector<uint8_t> EncodeTga(int width, int height, const std::vector<Rgb>& pixels) {
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  PutLe16(tga, static_cast<uint32_t>(width));
  PutLe16(tga, static_cast<uint32_t>(height));
  tga.push_back(24);
  tga.push_back(0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const Rgb& p = pixels[static_cast<size_t>(y * width + x)];
      tga.insert(tga.end(), {p.b, p.g, p.r});
    }
  }
  return tga;
}

// Bits most significant first, with the 0xFF byte stuffing of JPEG entropy data.
class JpegBits {
 public:
  explicit JpegBits(std::vector<uint8_t>& out) : out_(out) {}
  void Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = static_cast<uint8_t>((byte_ << 1) | ((bits >> i) & 1u));
      if (++filled_ == 8) {
        out_.push_back(byte_);
        if (byte_ == 0xFF) out_.push_back(0);
        byte_ = 0;
        filled_ = 0;
      }
    }
  }
  void Flush() {
    while (filled_ != 0) Put(1, 1);
  }

 private:
  std::vector<uint8_t>& out_;
  uint8_t byte_ = 0;
  int filled_ = 0;
};

// One flat 8 x 8 block of a colour given as Y, Cb, Cr levels.
struct YccBlock {
  int y, cb, cr;
};

// A baseline JPEG, 8 rows high, one flat block after another from the left.
// Quantisation is 1 everywhere; every block carries only its DC coefficient
// (8 x (level - 128) for a flat block). DC categories have 4-bit codes equal to
// the category; the AC table holds only end-of-block, coded "0".
// Bytes in excess_data follow the entropy-coded data before the end marker, as
// some encoders leave them.
std::vector<uint8_t> EncodeFlatJpeg(const std::vector<YccBlock>& blocks,
                                    const std::vector<uint8_t>& excess_data = {}) {
  const int width = static_cast<int>(blocks.size()) * 8;
  std::vector<uint8_t> jpeg = {0xFF, 0xD8};
  jpeg.insert(jpeg.end(), {0xFF, 0xDB, 0x00, 67, 0x00});
  jpeg.insert(jpeg.end(), 64, 1);
  jpeg.insert(jpeg.end(), {0xFF, 0xC0, 0x00, 17, 8});
  PutBe16(jpeg, 8);
  PutBe16(jpeg, static_cast<uint32_t>(width));
  jpeg.insert(jpeg.end(), {3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0});
  // DC table: twelve codes of length 4.
  jpeg.insert(jpeg.end(), {0xFF, 0xC4, 0x00, 31, 0x00, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0,  0, 0,
                           0,    0,    0,    0,  0,    1, 2, 3, 4,  5, 6, 7, 8, 9, 10, 11});
  // AC table: end-of-block alone, length 1.
  jpeg.insert(jpeg.end(),
              {0xFF, 0xC4, 0x00, 20, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
  jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0x00, 12, 3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0});
  JpegBits bits(jpeg);
  int previous[3] = {0, 0, 0};
  for (const YccBlock& block : blocks) {
    const int levels[3] = {block.y, block.cb, block.cr};
    for (int c = 0; c < 3; ++c) {
      const int dc = 8 * (levels[c] - 128);
      const int diff = dc - previous[c];
      previous[c] = dc;
      int category = 0;
      while ((std::abs(diff) >> category) != 0) ++category;
      bits.Put(static_cast<uint32_t>(category), 4);
      if (category > 0) {
        const int value = diff >= 0 ? diff : diff + (1 << category) - 1;
        bits.Put(static_cast<uint32_t>(value), category);
      }
      bits.Put(0, 1);  // end of block
    }
  }
  bits.Flush();
  jpeg.insert(jpeg.end(), excess_data.begin(), excess_data.end());
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

std::vector<uint8_t> ToRgba(const std::vector<Rgb>& pixels) {
  std::vector<uint8_t> rgba;
  for (const Rgb& p : pixels) rgba.insert(rgba.end(), {p.r, p.g, p.b, 255});
  return rgba;
}

std::vector<uint8_t> SolidRgba(int width, int height, Rgb colour) {
  return ToRgba(std::vector<Rgb>(static_cast<size_t>(width) * height, colour));
}

// RGBA of pixel (x, y) of a loaded bitmap.
std::vector<int> PixelOf(const host::Bitmap& bitmap, int x, int y) {
  uint8_t rgba[4];
  bitmap.Storage()->ReadColor(x, y, rgba);
  return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

// A 3 x 2 image with no symmetry, of colours that are palette entries among
// the first 224 and nowhere else there: 208 0000FF, 63 6B6B0F, 79 7F0000 on top,
// 15 EBEBEB, 176 6F837B, 100 572B17 below.
const std::vector<Rgb> kAsymmetric = {{0x00, 0x00, 0xFF}, {0x6B, 0x6B, 0x0F}, {0x7F, 0x00, 0x00},
                                      {0xEB, 0xEB, 0xEB}, {0x6F, 0x83, 0x7B}, {0x57, 0x2B, 0x17}};

// ---------------------------------------------------------------------------
// Palette

TEST(QuakePalette, EveryEntryIsTheFormatsLevelTimes257) {
  for (int k = 0; k < vandrell::kPaletteSize; ++k) {
    EXPECT_EQ(QuakePalette[k].r, vandrell::kQuakePaletteRgb[k][0] * 257) << "entry " << k;
    EXPECT_EQ(QuakePalette[k].g, vandrell::kQuakePaletteRgb[k][1] * 257) << "entry " << k;
    EXPECT_EQ(QuakePalette[k].b, vandrell::kQuakePaletteRgb[k][2] * 257) << "entry " << k;
  }
  // Spot checks in 16-bit units, written out.
  EXPECT_EQ(QuakePalette[1].r, 3855);     // 0F
  EXPECT_EQ(QuakePalette[224].r, 11051);  // 2B, the first fullbright colour
  EXPECT_EQ(QuakePalette[244].g, 49087);  // BF
  EXPECT_EQ(QuakePalette[254].b, 65535);  // FF
  EXPECT_EQ(QuakePalette[255].g, 65535);  // the last entry is pure green
  EXPECT_EQ(QuakePalette[255].r, 0);
}

TEST(NearestPaletteIndex, PicksTheClosestOfTheFirst255EntriesWithTiesToTheLower) {
  EXPECT_EQ(NearestPaletteIndex(0.0f, 0.0f, 0.0f), 0);  // entry 48 is black too
  EXPECT_EQ(NearestPaletteIndex(1.0f, 1.0f, 1.0f), 254);
  EXPECT_EQ(NearestPaletteIndex(0.0f, 1.0f, 0.0f), 63);  // entry 255 is never considered
  EXPECT_EQ(NearestPaletteIndex(1.0f, 0.0f, 0.0f), 251);
  EXPECT_EQ(NearestPaletteIndex(0.0f, 0.0f, 1.0f), 208);
  EXPECT_EQ(NearestPaletteIndex(0.5f, 0.5f, 0.5f), 8);
  // Every distance is beyond the starting 100: the first entry stays.
  EXPECT_EQ(NearestPaletteIndex(20.0f, 0.0f, 0.0f), 0);
}

TEST(NearestPaletteIndex, ExactTiesInEightBitLevelsKeepTheLowerIndex) {
  // Colours at equal distances, in 8-bit levels, from two entries. Rounding a
  // distance differently from the best one kept would pick the higher entry.
  // (0, 0, 3): entries 0 and 48 are both black, 9 away.
  EXPECT_EQ(NearestPaletteIndex(0.0f, 0.0f, 3.0f / 255.0f), 0);
  // Grey 13: entries 1 (0F0F0F), 32 (0B0B0F) and 223 (0B0B0F) are all 12 away.
  const float grey13 = 13.0f / 255.0f;
  EXPECT_EQ(NearestPaletteIndex(grey13, grey13, grey13), 1);
  // Grey 83 lies halfway between entries 5 (4B4B4B) and 6 (5B5B5B), 192 away.
  const float grey83 = 83.0f / 255.0f;
  EXPECT_EQ(NearestPaletteIndex(grey83, grey83, grey83), 5);
}

// ---------------------------------------------------------------------------
// Host bitmaps

class HostBitmaps : public ::testing::Test {
 protected:
  void TearDown() override {
    host::TheManager->ForgetImages();
    host::TheManager->SetCreateFails(false);
  }

  // A paletted bitmap of the given size with the first count palette entries.
  static std::unique_ptr<host::Bitmap> Paletted(int width, int height, int count) {
    host::BitmapInfo info;
    info.SetWidth(width);
    info.SetHeight(height);
    info.SetType(host::kBitmapType8BitPaletted);
    std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Create(&info));
    if (bitmap) bitmap->Storage()->SetPalette(0, count, QuakePalette);
    return bitmap;
  }

  static std::unique_ptr<host::Bitmap> Held(const std::string& name, int width, int height,
                                            const std::vector<uint8_t>& rgba) {
    host::TheManager->RegisterImage(name, width, height, rgba.data());
    host::BitmapInfo info(name.c_str());
    return std::unique_ptr<host::Bitmap>(host::TheManager->Load(&info));
  }

  static std::vector<int> Row(const host::Bitmap& bitmap, int y) {
    std::vector<uint8_t> row(static_cast<size_t>(bitmap.Width()));
    EXPECT_EQ(bitmap.Storage()->ReadIndexRow(0, y, bitmap.Width(), row.data()), 1);
    return std::vector<int>(row.begin(), row.end());
  }

  testing_support::TempDir dir_;
};

TEST_F(HostBitmaps, LoadsPngBmpAndTgaFilesTopRowFirst) {
  std::vector<uint8_t> rgba = ToRgba(kAsymmetric);
  rgba[7] = 128;  // the second pixel half transparent
  testing_support::WriteFileBytes(dir_.File("a.png"), EncodePng(3, 2, rgba));
  testing_support::WriteFileBytes(dir_.File("a.bmp"), EncodeBmp(3, 2, kAsymmetric));
  testing_support::WriteFileBytes(dir_.File("a.tga"), EncodeTga(3, 2, kAsymmetric));

  for (const char* name : {"a.png", "a.bmp", "a.tga"}) {
    SCOPED_TRACE(name);
    host::BitmapInfo info(dir_.File(name).c_str());
    int status = -1;
    std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Load(&info, &status));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(bitmap->Width(), 3);
    EXPECT_EQ(bitmap->Height(), 2);
    const int alpha = std::string(name) == "a.png" ? 128 : 255;
    EXPECT_EQ(PixelOf(*bitmap, 0, 0), (std::vector<int>{0x00, 0x00, 0xFF, 255}));
    EXPECT_EQ(PixelOf(*bitmap, 1, 0), (std::vector<int>{0x6B, 0x6B, 0x0F, alpha}));
    EXPECT_EQ(PixelOf(*bitmap, 2, 0), (std::vector<int>{0x7F, 0x00, 0x00, 255}));
    EXPECT_EQ(PixelOf(*bitmap, 0, 1), (std::vector<int>{0xEB, 0xEB, 0xEB, 255}));
    EXPECT_EQ(PixelOf(*bitmap, 1, 1), (std::vector<int>{0x6F, 0x83, 0x7B, 255}));
    EXPECT_EQ(PixelOf(*bitmap, 2, 1), (std::vector<int>{0x57, 0x2B, 0x17, 255}));
  }
}

TEST_F(HostBitmaps, LoadsAJpegFileWithinTheColourConversionsRounding) {
  // Left block grey 200; right block Y 76, Cb 85, Cr 255, which is
  // R = 76 + 1.402 x 127 = 254.1, G = 76 + 0.344 x 43 - 0.714 x 127 = 0.1,
  // B = 76 - 1.772 x 43 = -0.2, so nearly pure red.
  testing_support::WriteFileBytes(dir_.File("a.jpg"),
                                  EncodeFlatJpeg({{200, 128, 128}, {76, 85, 255}}));
  host::BitmapInfo info(dir_.File("a.jpg").c_str());
  std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Load(&info));
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width(), 16);
  EXPECT_EQ(bitmap->Height(), 8);
  for (int y : {0, 7}) {
    for (int x : {0, 7}) {
      const std::vector<int> grey = PixelOf(*bitmap, x, y);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(grey[c], 200, 1) << x << "," << y;
    }
    for (int x : {8, 15}) {
      const std::vector<int> red = PixelOf(*bitmap, x, y);
      EXPECT_NEAR(red[0], 254, 2) << x << "," << y;
      EXPECT_NEAR(red[1], 0, 2) << x << "," << y;
      EXPECT_NEAR(red[2], 0, 2) << x << "," << y;
    }
  }
}

TEST_F(HostBitmaps, AJpegWithExcessScanDataStillLoads) {
  // Entropy-coded bytes past the last block, among them a stuffed 0xFF (FF 00),
  // as progressive encoders leave them at the end of a scan. A decoder must
  // skip them up to the next marker.
  const std::vector<uint8_t> excess = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x00, 0x12};
  const std::vector<uint8_t> jpeg = EncodeFlatJpeg({{30, 128, 128}, {220, 128, 128}}, excess);
  testing_support::WriteFileBytes(dir_.File("excess.jpg"), jpeg);
  host::BitmapInfo info(dir_.File("excess.jpg").c_str());
  std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Load(&info));
  ASSERT_NE(bitmap, nullptr);
  EXPECT_NEAR(PixelOf(*bitmap, 0, 0)[0], 30, 1);
  EXPECT_NEAR(PixelOf(*bitmap, 15, 7)[0], 220, 1);
  ASSERT_TRUE(host::TheManager->RegisterEncodedImage("excess", jpeg.data(), jpeg.size()));
  host::BitmapInfo held("excess");
  std::unique_ptr<host::Bitmap> from_memory(host::TheManager->Load(&held));
  ASSERT_NE(from_memory, nullptr);
  EXPECT_NEAR(PixelOf(*from_memory, 8, 0)[1], 220, 1);
}

TEST_F(HostBitmaps, AFileThatCannotBeReadYieldsNullAndStatusZero) {
  testing_support::WriteFileBytes(dir_.File("junk.png"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i'});
  for (const std::string& path : {dir_.File("absent.png"), dir_.File("junk.png"), std::string()}) {
    host::BitmapInfo info(path.c_str());
    int status = -1;
    EXPECT_EQ(host::TheManager->Load(&info, &status), nullptr) << path;
    EXPECT_EQ(status, 0) << path;
  }
  EXPECT_EQ(host::TheManager->Load(nullptr), nullptr);
}

TEST_F(HostBitmaps, AnImageThatCannotBeReadSaysWhy) {
  testing_support::WriteFileBytes(dir_.File("junk.png"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i'});
  testing_support::WriteFileBytes(dir_.File("empty.tga"), {});
  std::vector<uint8_t> cut = EncodePng(3, 2, ToRgba(kAsymmetric));
  cut.resize(cut.size() - 20);  // into the image data
  testing_support::WriteFileBytes(dir_.File("cut.png"), cut);
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"absent.png", "the file cannot be opened"},
      {"junk.png",
       "not an image in a format that is read (PNG, JPEG, TGA, BMP, PCX, GIF, PSD, HDR)"},
      {"empty.tga", "the file is empty"},
      {"cut.png", "damaged, or a kind of image that is not read ("},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_FALSE(host::TheManager->RegisterImageFile(dir_.File(c.name), &reason)) << c.name;
    EXPECT_EQ(reason.compare(0, std::string(c.reason).size(), c.reason), 0)
        << c.name << ": " << reason;
  }
  // A file that reads is held under its path, with its size.
  testing_support::WriteFileBytes(dir_.File("a.bmp"), EncodeBmp(3, 2, kAsymmetric));
  ASSERT_TRUE(host::TheManager->RegisterImageFile(dir_.File("a.bmp")));
  int width = 0, height = 0;
  ASSERT_TRUE(host::TheManager->HeldImageSize(dir_.File("a.bmp"), &width, &height));
  EXPECT_EQ(width, 3);
  EXPECT_EQ(height, 2);
  // Once it no longer reads, nothing stale stays held under its name.
  testing_support::WriteFileBytes(dir_.File("a.bmp"), {'B', 'M'});
  EXPECT_FALSE(host::TheManager->RegisterImageFile(dir_.File("a.bmp")));
  EXPECT_FALSE(host::TheManager->HeldImageSize(dir_.File("a.bmp"), &width, &height));
}

// A PCX header: 8 bits a pixel, the given corners, planes and bytes a line.
std::vector<uint8_t> PcxHeader(int encoding, int bits, int right, int bottom, int planes,
                               int bytes_per_line) {
  std::vector<uint8_t> pcx = {10, 5, static_cast<uint8_t>(encoding), static_cast<uint8_t>(bits)};
  for (int value : {0, 0, right, bottom, 72, 72}) PutLe16(pcx, static_cast<uint32_t>(value));
  pcx.resize(65, 0);  // the 16-colour palette and a reserved byte
  pcx.push_back(static_cast<uint8_t>(planes));
  PutLe16(pcx, static_cast<uint32_t>(bytes_per_line));
  pcx.resize(128, 0);
  return pcx;
}

std::vector<int> DecodedPixel(const std::vector<uint8_t>& file, int x, int y) {
  if (!host::TheManager->RegisterEncodedImage("pcx", file.data(), file.size())) return {};
  host::BitmapInfo info("pcx");
  std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Load(&info));
  return bitmap ? PixelOf(*bitmap, x, y) : std::vector<int>();
}

TEST_F(HostBitmaps, PcxRunsPlanesAndPaletteDecodeAsWritten) {
  // 3 x 2 palette indices in lines of 4 bytes (one unused): 1 2 2 | 3 and
  // 3 3 C5 | 7. A run of three 3s runs from the first line's spare byte into
  // the second line, and index C5, whose top bits would read as a run,
  // comes as a run of one.
  std::vector<uint8_t> paletted = PcxHeader(1, 8, 2, 1, 1, 4);
  paletted.insert(paletted.end(), {0x01, 0xC2, 0x02, 0xC3, 0x03, 0xC1, 0xC5, 0x07});
  std::vector<uint8_t> palette(768, 0);
  const std::vector<std::pair<int, Rgb>> entries = {
      {1, {10, 20, 30}}, {2, {40, 50, 60}}, {3, {70, 80, 90}}, {0xC5, {200, 100, 0}}};
  for (const auto& entry : entries) {
    palette[entry.first * 3] = entry.second.r;
    palette[entry.first * 3 + 1] = entry.second.g;
    palette[entry.first * 3 + 2] = entry.second.b;
  }
  paletted.push_back(12);
  paletted.insert(paletted.end(), palette.begin(), palette.end());
  EXPECT_EQ(DecodedPixel(paletted, 0, 0), (std::vector<int>{10, 20, 30, 255}));
  EXPECT_EQ(DecodedPixel(paletted, 1, 0), (std::vector<int>{40, 50, 60, 255}));
  EXPECT_EQ(DecodedPixel(paletted, 2, 0), (std::vector<int>{40, 50, 60, 255}));
  EXPECT_EQ(DecodedPixel(paletted, 0, 1), (std::vector<int>{70, 80, 90, 255}));
  EXPECT_EQ(DecodedPixel(paletted, 1, 1), (std::vector<int>{70, 80, 90, 255}));
  EXPECT_EQ(DecodedPixel(paletted, 2, 1), (std::vector<int>{200, 100, 0, 255}));

  // 24 bits, not encoded: 2 x 1, each line the red, green and blue planes.
  std::vector<uint8_t> rgb = PcxHeader(0, 8, 1, 0, 3, 2);
  rgb.insert(rgb.end(), {255, 1, 0, 2, 0, 3});
  EXPECT_EQ(DecodedPixel(rgb, 0, 0), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(DecodedPixel(rgb, 1, 0), (std::vector<int>{1, 2, 3, 255}));

  // 32 bits: a fourth plane of alpha; 1 x 1 in planes of 2 bytes.
  std::vector<uint8_t> rgba = PcxHeader(1, 8, 0, 0, 4, 2);
  rgba.insert(rgba.end(), {9, 0, 8, 0, 7, 0, 0x80, 0});
  EXPECT_EQ(DecodedPixel(rgba, 0, 0), (std::vector<int>{9, 8, 7, 128}));

  // What cannot be read says why.
  // Without the last byte of the pixel data.
  std::vector<uint8_t> short_data(paletted.begin(), paletted.begin() + 128 + 7);
  short_data.insert(short_data.end(), paletted.begin() + 128 + 8, paletted.end());
  std::vector<uint8_t> no_marker = paletted;
  no_marker[128 + 8] = 0;
  // Data of two bytes cannot make 2^28 pixels, nor any amount 2^32.
  std::vector<uint8_t> huge = PcxHeader(1, 8, 16383, 16383, 3, 16384);
  huge.insert(huge.end(), {0xFF, 0x00});
  std::vector<uint8_t> too_large = PcxHeader(1, 8, 65534, 65534, 3, 65535);
  too_large.insert(too_large.end(), {0xFF, 0x00});
  const struct {
    std::vector<uint8_t> bytes;
    const char* reason;
  } damaged[] = {
      {short_data, "the PCX pixel data ends early"},
      {no_marker, "the 256-colour palette at the end of the PCX file is missing"},
      {PcxHeader(1, 1, 7, 7, 4, 2),
       "PCX images of 1 bit a pixel in 4 planes are not read (only 8 bits in 1, 3 or 4 planes)"},
      {PcxHeader(1, 8, 1, 0, 2, 2),
       "PCX images of 8 bits a pixel in 2 planes are not read (only 8 bits in 1, 3 or 4 planes)"},
      {PcxHeader(1, 8, 1, 0, 3, 1), "the PCX header gives 1 bytes a line for a width of 2"},
      {std::vector<uint8_t>(rgb.begin(), rgb.begin() + 60),
       "the PCX header is cut short (60 of 128 bytes)"},
      {huge, "the PCX pixel data ends early"},
      {too_large, "the PCX image of 65535x65535 pixels is too large"},
  };
  for (const auto& d : damaged) {
    std::string reason;
    EXPECT_FALSE(
        host::TheManager->RegisterEncodedImage("bad", d.bytes.data(), d.bytes.size(), &reason));
    EXPECT_EQ(reason, d.reason);
  }
  std::vector<uint8_t> no_pixel = rgb;
  no_pixel[8] = 0;  // right 0
  no_pixel[4] = 1;  // left 1
  std::string reason;
  EXPECT_FALSE(
      host::TheManager->RegisterEncodedImage("bad", no_pixel.data(), no_pixel.size(), &reason));
  EXPECT_EQ(reason, "the PCX header's corners (1, 0) and (0, 0) enclose no pixel");
}

TEST_F(HostBitmaps, LoadsPcxFilesThatImageMagickWrites) {
  const std::string convert = "/usr/bin/convert";
  if (!testing_support::FileExists(convert))
    GTEST_SKIP() << "ImageMagick's convert is not installed (scripts/setup.sh --tests)";
  // 70 x 3 pixels: a first line of 66 of one colour (longer than one run can
  // be) and 4 others, then lines of colours that change at every pixel. The
  // colours lie far apart, so that a palette of them loses none.
  const int width = 70;
  const int height = 3;
  const Rgb tail[] = {{0, 0, 255}, {0, 255, 0}, {255, 255, 0}, {255, 0, 255}};
  std::vector<Rgb> pixels;
  for (int x = 0; x < width; ++x) pixels.push_back(x < 66 ? Rgb{200, 30, 10} : tail[x - 66]);
  for (int y = 1; y < height; ++y)
    for (int x = 0; x < width; ++x)
      pixels.push_back({static_cast<uint8_t>(x % 4 * 85), static_cast<uint8_t>(x / 4 % 4 * 85),
                        static_cast<uint8_t>(y * 120)});
  testing_support::WriteFileBytes(dir_.File("source.png"),
                                  EncodePng(width, height, ToRgba(pixels)));

  const struct {
    const char* type;
    const char* file;
    int planes;
  } kinds[] = {{"Palette", "paletted.pcx", 1}, {"TrueColor", "truecolor.pcx", 3}};
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.file);
    const testing_support::ProgramRun run = testing_support::RunProgram(
        convert, {dir_.File("source.png"), "-type", kind.type, dir_.File(kind.file)});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<uint8_t> written = testing_support::ReadFileBytes(dir_.File(kind.file));
    ASSERT_GT(written.size(), 128u);
    // The kind of file meant: run-length encoded, 8 bits in so many planes.
    EXPECT_EQ(written[2], 1);
    EXPECT_EQ(written[3], 8);
    EXPECT_EQ(written[65], kind.planes);
    host::BitmapInfo info(dir_.File(kind.file).c_str());
    std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Load(&info));
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->Width(), width);
    ASSERT_EQ(bitmap->Height(), height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const Rgb& p = pixels[static_cast<size_t>(y * width + x)];
        ASSERT_EQ(PixelOf(*bitmap, x, y), (std::vector<int>{p.r, p.g, p.b, 255})) << x << ", " << y;
      }
    }
  }
}

TEST_F(HostBitmaps, ImagesHeldInMemoryComeBeforeFilesOfTheSameName) {
  const std::string path = dir_.File("held.bmp");
  testing_support::WriteFileBytes(path, EncodeBmp(1, 1, {{1, 2, 3}}));
  std::unique_ptr<host::Bitmap> held = Held(path, 2, 1, SolidRgba(2, 1, {9, 8, 7}));
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->Width(), 2);
  EXPECT_EQ(PixelOf(*held, 1, 0), (std::vector<int>{9, 8, 7, 255}));

  host::TheManager->ForgetImages();
  host::BitmapInfo info(path.c_str());
  std::unique_ptr<host::Bitmap> file(host::TheManager->Load(&info));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(PixelOf(*file, 0, 0), (std::vector<int>{1, 2, 3, 255}));
}

TEST_F(HostBitmaps, EncodedImagesRegisteredFromMemoryLoadByName) {
  const std::vector<uint8_t> png = EncodePng(3, 2, ToRgba(kAsymmetric));
  ASSERT_TRUE(host::TheManager->RegisterEncodedImage("*0", png.data(), png.size()));
  const std::vector<uint8_t> jpeg = EncodeFlatJpeg({{50, 128, 128}});
  ASSERT_TRUE(host::TheManager->RegisterEncodedImage("*1", jpeg.data(), jpeg.size()));
  const std::vector<uint8_t> junk = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(host::TheManager->RegisterEncodedImage("*2", junk.data(), junk.size()));
  EXPECT_FALSE(host::TheManager->RegisterEncodedImage("*3", nullptr, 0));

  host::BitmapInfo first("*0");
  std::unique_ptr<host::Bitmap> decoded(host::TheManager->Load(&first));
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(PixelOf(*decoded, 2, 0), (std::vector<int>{0x7F, 0x00, 0x00, 255}));
  EXPECT_EQ(PixelOf(*decoded, 0, 1), (std::vector<int>{0xEB, 0xEB, 0xEB, 255}));
  host::BitmapInfo second("*1");
  std::unique_ptr<host::Bitmap> grey(host::TheManager->Load(&second));
  ASSERT_NE(grey, nullptr);
  EXPECT_NEAR(PixelOf(*grey, 3, 3)[0], 50, 1);
  host::BitmapInfo third("*2");
  EXPECT_EQ(host::TheManager->Load(&third), nullptr);
}

TEST_F(HostBitmaps, LoadsTheSharedScenesTextures) {
  const std::string scenes = testing_support::SharedScenesDir();
  if (scenes.empty()) GTEST_SKIP() << "the shared scenes folder is absent";
  struct Expected {
    const char* name;
    int width, height;
  };
  // Two progressive JPEGs and an 8-bit paletted BMP.
  for (const Expected& e : {Expected{"axe.jpg", 512, 512}, Expected{"dwarf.jpg", 512, 512},
                            Expected{"faerie2.bmp", 220, 193}}) {
    host::BitmapInfo info((scenes + "/" + e.name).c_str());
    std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Load(&info));
    ASSERT_NE(bitmap, nullptr) << e.name;
    EXPECT_EQ(bitmap->Width(), e.width) << e.name;
    EXPECT_EQ(bitmap->Height(), e.height) << e.name;
    // Not one flat colour: the pixels really were decoded.
    const std::vector<uint8_t>& pixels = bitmap->Storage()->Pixels();
    EXPECT_NE(std::count(pixels.begin(), pixels.end(), pixels[0]),
              static_cast<std::ptrdiff_t>(pixels.size()))
        << e.name;
  }
}

TEST_F(HostBitmaps, ScaledCopyOfTheSameSizeKeepsEveryPixel) {
  std::unique_ptr<host::Bitmap> source = Held("same", 3, 2, ToRgba(kAsymmetric));
  std::unique_ptr<host::Bitmap> copy = Paletted(3, 2, 224);
  ASSERT_EQ(copy->Storage()->CopyScaledFrom(source.get(), host::kCopyScaled, 0), 1);
  EXPECT_EQ(Row(*copy, 0), (std::vector<int>{208, 63, 79}));
  EXPECT_EQ(Row(*copy, 1), (std::vector<int>{15, 176, 100}));
}

TEST_F(HostBitmaps, ShrinkingAveragesTheCoveredArea) {
  // 4 x 2: a black and white checker on the left half, red on the right.
  const std::vector<Rgb> pixels = {{0, 0, 0},       {255, 255, 255}, {255, 0, 0}, {255, 0, 0},
                                   {255, 255, 255}, {0, 0, 0},       {255, 0, 0}, {255, 0, 0}};
  std::unique_ptr<host::Bitmap> source = Held("checker", 4, 2, ToRgba(pixels));
  host::BitmapInfo info;
  info.SetWidth(2);
  info.SetHeight(1);
  std::unique_ptr<host::Bitmap> true_colour(host::TheManager->Create(&info));
  ASSERT_EQ(true_colour->Storage()->CopyScaledFrom(source.get(), host::kCopyScaled, 0), 1);
  // 127.5 rounds up.
  EXPECT_EQ(PixelOf(*true_colour, 0, 0), (std::vector<int>{128, 128, 128, 255}));
  EXPECT_EQ(PixelOf(*true_colour, 1, 0), (std::vector<int>{255, 0, 0, 255}));

  // Grey 128 lies nearest to 7B7B7B (8); red to 7F0000 (79) among the first
  // 224 entries and to FF0000 (251) among all 256.
  std::unique_ptr<host::Bitmap> without = Paletted(2, 1, 224);
  ASSERT_EQ(without->Storage()->CopyScaledFrom(source.get(), host::kCopyScaled, 0), 1);
  EXPECT_EQ(Row(*without, 0), (std::vector<int>{8, 79}));
  std::unique_ptr<host::Bitmap> with = Paletted(2, 1, 256);
  ASSERT_EQ(with->Storage()->CopyScaledFrom(source.get(), host::kCopyScaled, 0), 1);
  EXPECT_EQ(Row(*with, 0), (std::vector<int>{8, 251}));

  // 3 -> 2 columns: each output covers one and a half source pixels, so
  // black, white, black give 255 x 0.5 / 1.5 = 85 twice, nearest 5B5B5B (6).
  std::unique_ptr<host::Bitmap> thirds =
      Held("thirds", 3, 1, ToRgba({{0, 0, 0}, {255, 255, 255}, {0, 0, 0}}));
  std::unique_ptr<host::Bitmap> two = Paletted(2, 1, 224);
  ASSERT_EQ(two->Storage()->CopyScaledFrom(thirds.get(), host::kCopyScaled, 0), 1);
  EXPECT_EQ(Row(*two, 0), (std::vector<int>{6, 6}));
}

TEST_F(HostBitmaps, EnlargingInterpolatesBetweenSampleCentres) {
  // 2 -> 4 columns: output centres fall at source positions -0.25, 0.25, 0.75
  // and 1.25, giving 0, 63.75, 191.25 and 255.
  std::unique_ptr<host::Bitmap> source = Held("ramp", 2, 1, ToRgba({{0, 0, 0}, {255, 255, 255}}));
  host::BitmapInfo info;
  info.SetWidth(4);
  info.SetHeight(1);
  std::unique_ptr<host::Bitmap> true_colour(host::TheManager->Create(&info));
  ASSERT_EQ(true_colour->Storage()->CopyScaledFrom(source.get(), host::kCopyScaled, 0), 1);
  EXPECT_EQ(PixelOf(*true_colour, 0, 0)[0], 0);
  EXPECT_EQ(PixelOf(*true_colour, 1, 0)[0], 64);
  EXPECT_EQ(PixelOf(*true_colour, 2, 0)[0], 191);
  EXPECT_EQ(PixelOf(*true_colour, 3, 0)[0], 255);
  // 3F3F3F (4), BBBBBB (12), and EBEBEB (15) for white without entry 254.
  std::unique_ptr<host::Bitmap> paletted = Paletted(4, 1, 224);
  ASSERT_EQ(paletted->Storage()->CopyScaledFrom(source.get(), host::kCopyScaled, 0), 1);
  EXPECT_EQ(Row(*paletted, 0), (std::vector<int>{0, 4, 12, 15}));
}

TEST_F(HostBitmaps, OnlyTheEntriesOfTheGivenPaletteAppear) {
  // Every hue and brightness on a 32 x 32 grid.
  std::vector<Rgb> pixels;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x)
      pixels.push_back({static_cast<uint8_t>(x * 8), static_cast<uint8_t>(y * 8),
                        static_cast<uint8_t>(255 - x * 4 - y * 4)});
  }
  pixels[0] = {255, 0, 0};
  std::unique_ptr<host::Bitmap> source = Held("hues", 32, 32, ToRgba(pixels));
  std::unique_ptr<host::Bitmap> without = Paletted(32, 32, 224);
  ASSERT_EQ(without->Storage()->CopyScaledFrom(source.get(), host::kCopyScaled, 0), 1);
  const std::vector<uint8_t>& limited = without->Storage()->Pixels();
  EXPECT_LE(*std::max_element(limited.begin(), limited.end()), 223);
  std::unique_ptr<host::Bitmap> with = Paletted(32, 32, 256);
  ASSERT_EQ(with->Storage()->CopyScaledFrom(source.get(), host::kCopyScaled, 0), 1);
  EXPECT_EQ(with->Storage()->Pixels()[0], 251);
}

TEST_F(HostBitmaps, CopyWithoutUsableSourceOrModeFails) {
  std::unique_ptr<host::Bitmap> target = Paletted(2, 2, 224);
  // No source: every pixel is one the source cannot give.
  EXPECT_EQ(target->Storage()->CopyScaledFrom(nullptr, host::kCopyScaled, 7), 0);
  EXPECT_EQ(Row(*target, 0), (std::vector<int>{7, 7}));
  EXPECT_EQ(Row(*target, 1), (std::vector<int>{7, 7}));
  const host::Bitmap empty(nullptr);
  EXPECT_EQ(target->Storage()->CopyScaledFrom(&empty, host::kCopyScaled, 3), 0);
  EXPECT_EQ(Row(*target, 1), (std::vector<int>{3, 3}));
  // An unknown mode changes nothing.
  std::unique_ptr<host::Bitmap> source = Held("red", 1, 1, SolidRgba(1, 1, {255, 0, 0}));
  EXPECT_EQ(target->Storage()->CopyScaledFrom(source.get(), 2, 0), 0);
  EXPECT_EQ(Row(*target, 0), (std::vector<int>{3, 3}));

  uint8_t out[4] = {};
  EXPECT_EQ(target->Storage()->ReadIndexRow(1, 0, 2, out), 0);  // one column too many
  EXPECT_EQ(target->Storage()->ReadIndexRow(0, 2, 1, out), 0);  // below the last row
  EXPECT_EQ(source->Storage()->ReadIndexRow(0, 0, 1, out), 0);  // not paletted
}

// ---------------------------------------------------------------------------
// BuildSkin

// Skin bytes no block paints in these tests.
constexpr uint8_t kUnwritten = 0xCD;

class SkinBuild : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = vandrell::g_export_settings; }
  void TearDown() override {
    vandrell::g_export_settings = saved_;
    host::TheManager->ForgetImages();
    host::TheManager->SetCreateFails(false);
  }

  hostapp::StandInMaterial* Colour(float r, float g, float b) {
    hostapp::StandInMaterial* material =
        scene_.AddMaterial("colour" + std::to_string(++count_), host::Color{r, g, b});
    table_.AddMaterial(material);
    return material;
  }
  // A material whose diffuse map names an image held in memory.
  hostapp::StandInMaterial* Image(int width, int height, const std::vector<uint8_t>& rgba) {
    const std::string name = "image" + std::to_string(++count_);
    host::TheManager->RegisterImage(name, width, height, rgba.data());
    return Mapped(name);
  }
  hostapp::StandInMaterial* Mapped(const std::string& map_name) {
    hostapp::StandInMaterial* material =
        scene_.AddMaterial("mapped" + std::to_string(++count_), host::Color{0.0f, 0.0f, 1.0f});
    material->SetDiffuseMap(scene_.AddBitmapTexture(map_name));
    table_.AddMaterial(material);
    return material;
  }

  // Runs BuildSkin over a budget-sized buffer of unwritten bytes.
  int Build(int32_t budget) {
    skin_.assign(static_cast<size_t>(budget), kUnwritten);
    return table_.BuildSkin(skin_.data(), budget, &width_, &height_);
  }
  void ExpectRect(int slot, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const vandrell::MaterialSlot& s = table_.Slot(slot);
    EXPECT_EQ((std::vector<int32_t>{s.x0, s.y0, s.x1, s.y1}),
              (std::vector<int32_t>{x0, y0, x1, y1}))
        << "slot " << slot;
  }
  std::vector<int> SkinRow(int y, int from, int count) const {
    const auto start = skin_.begin() + y * width_ + from;
    return std::vector<int>(start, start + count);
  }

  hostapp::StandInScene scene_;
  MaterialTable table_;
  std::vector<uint8_t> skin_;
  int32_t width_ = -7;
  int32_t height_ = -7;
  int count_ = 0;
  vandrell::ExportSettings saved_;
};

TEST_F(SkinBuild, ABitmapAndTwoColoursShrinkOnceToFit4096Bytes) {
  // Scale 1: 64 + 2 + 2 = 68 columns, 72 x 64 = 4608 bytes. Scale 0.95: the
  // bitmap becomes trunc(60.8) = 60, 64 x 60 = 3840.
  Image(64, 64, SolidRgba(64, 64, {0xEB, 0xEB, 0xEB}));
  Colour(1.0f, 0.0f, 0.0f);
  Colour(0.0f, 0.0f, 1.0f);
  ASSERT_EQ(Build(4096), 1);
  EXPECT_EQ(width_, 64);
  EXPECT_EQ(height_, 60);
  ExpectRect(0, 0, 0, 59, 59);
  ExpectRect(1, 60, 0, 61, 1);
  ExpectRect(2, 62, 0, 63, 1);
  ASSERT_NE(table_.Slot(0).bitmap, nullptr);
  EXPECT_EQ(table_.Slot(1).bitmap, nullptr);

  // The bitmap block is EBEBEB (15) throughout; the colours fill their 2 x 2.
  for (int y = 0; y < 60; ++y) EXPECT_EQ(SkinRow(y, 0, 60), std::vector<int>(60, 15)) << y;
  for (int y = 0; y < 2; ++y) EXPECT_EQ(SkinRow(y, 60, 4), (std::vector<int>{251, 251, 208, 208}));
  // Below the colour blocks nothing is written; the bytes past the skin neither.
  for (int y = 2; y < 60; ++y) EXPECT_EQ(SkinRow(y, 60, 4), std::vector<int>(4, kUnwritten)) << y;
  EXPECT_EQ(std::count(skin_.begin() + 64 * 60, skin_.end(), kUnwritten), 4096 - 64 * 60);
}

TEST_F(SkinBuild, OneColourIn16BytesWritesOnlyItsFourPixels) {
  Colour(0.0f, 1.0f, 0.0f);
  ASSERT_EQ(Build(16), 1);
  EXPECT_EQ(width_, 8);
  EXPECT_EQ(height_, 2);
  ExpectRect(0, 0, 0, 1, 1);
  std::vector<uint8_t> expected(16, kUnwritten);
  expected[0] = expected[1] = expected[8] = expected[9] = 63;
  EXPECT_EQ(skin_, expected);
}

TEST_F(SkinBuild, ATallBitmapFitsOnTheThirteenthTry) {
  // Scale 0.39999986: 10 x 0.39999986 = 3.9999986 and 300 x that = 119.99996,
  // so 3 x 119 in an 8 x 119 skin (952 bytes); the 12th try (0.44999987) gives
  // 4 x 134, 1072 bytes.
  Image(10, 300, SolidRgba(10, 300, {0, 0, 0}));
  ASSERT_EQ(Build(1024), 1);
  EXPECT_EQ(width_, 8);
  EXPECT_EQ(height_, 119);
  ExpectRect(0, 0, 0, 2, 118);
}

TEST_F(SkinBuild, TheEleventhScaleIsJustBelowOneHalf) {
  // Scale 0.49999988: 64 becomes 31, not 32: 32 x 31 = 992 bytes.
  Image(64, 64, SolidRgba(64, 64, {0, 0, 0}));
  ASSERT_EQ(Build(1024), 1);
  EXPECT_EQ(width_, 32);
  EXPECT_EQ(height_, 31);
  ExpectRect(0, 0, 0, 30, 30);
}

TEST_F(SkinBuild, TwoBitmapsShrinkByOneCommonScale) {
  // 5th try, scale 0.79999995: 204.79999 and 102.39999 by 51.199997, so
  // 204 + 102 = 306 columns rounded to 312, 312 x 204 = 63648 bytes; the 4th
  // try (0.85) needs 328 x 217.
  Image(256, 256, SolidRgba(256, 256, {0, 0, 0}));
  Image(128, 64, SolidRgba(128, 64, {0, 0, 0}));
  ASSERT_EQ(Build(65536), 1);
  EXPECT_EQ(width_, 312);
  EXPECT_EQ(height_, 204);
  ExpectRect(0, 0, 0, 203, 203);
  ExpectRect(1, 204, 0, 305, 50);
}

TEST_F(SkinBuild, AnEmptyTableGivesAnEmptySkin) {
  ASSERT_EQ(Build(0), 1);
  EXPECT_EQ(width_, 0);
  EXPECT_EQ(height_, 0);
  ASSERT_EQ(Build(64), 1);
  EXPECT_EQ(skin_, std::vector<uint8_t>(64, kUnwritten));
}

TEST_F(SkinBuild, TheTryAtAScaleBelowZeroIsTheLastOne) {
  // A 64 x 64 bitmap and three colours: the 20th try (scale 0.0499998) still
  // makes the bitmap 3 x 3, a 16 x 3 skin; only the 21st (scale -1.6e-7) makes
  // every block 2 x 2: 8 x 2 = 16 bytes.
  Image(64, 64, SolidRgba(64, 64, {0, 0, 0}));
  Colour(0.0f, 0.0f, 1.0f);
  Colour(0.0f, 0.0f, 1.0f);
  Colour(0.0f, 0.0f, 1.0f);
  ASSERT_EQ(Build(16), 1);
  EXPECT_EQ(width_, 8);
  EXPECT_EQ(height_, 2);
  ExpectRect(0, 0, 0, 1, 1);
  ExpectRect(3, 6, 0, 7, 1);

  // One byte less and no layout fits: 0, nothing painted, size untouched.
  width_ = height_ = -7;
  EXPECT_EQ(Build(15), 0);
  EXPECT_EQ(width_, -7);
  EXPECT_EQ(height_, -7);
  EXPECT_EQ(skin_, std::vector<uint8_t>(15, kUnwritten));
}

TEST_F(SkinBuild, ABudgetOfZeroWithAMaterialFails) {
  Colour(1.0f, 1.0f, 1.0f);
  EXPECT_EQ(Build(0), 0);
  EXPECT_EQ(width_, -7);
  EXPECT_EQ(height_, -7);
  EXPECT_EQ(table_.BuildSkin(nullptr, -1, &width_, &height_), 0);
}

TEST_F(SkinBuild, BitmapRowsLandAtTheirBlocksColumns) {
  // A grey block first (0.5 gives 7B7B7B, 8), then the asymmetric 3 x 2 image
  // at columns 2 to 4, copied one to one.
  Colour(0.5f, 0.5f, 0.5f);
  Image(3, 2, ToRgba(kAsymmetric));
  ASSERT_EQ(Build(16), 1);
  EXPECT_EQ(width_, 8);
  EXPECT_EQ(height_, 2);
  ExpectRect(1, 2, 0, 4, 1);
  const int u = kUnwritten;
  EXPECT_EQ(SkinRow(0, 0, 8), (std::vector<int>{8, 8, 208, 63, 79, u, u, u}));
  EXPECT_EQ(SkinRow(1, 0, 8), (std::vector<int>{8, 8, 15, 176, 100, u, u, u}));
}

TEST_F(SkinBuild, FullbrightEntriesComeFromBitmapsOnlyWhenAllowed) {
  // A red bitmap and a red colour. The colour always matches FF0000 (251);
  // the bitmap does so only with fullbright on, and 7F0000 (79) without.
  Image(2, 2, SolidRgba(2, 2, {255, 0, 0}));
  Colour(1.0f, 0.0f, 0.0f);
  vandrell::g_export_settings.fullbright_colors = 0;
  ASSERT_EQ(Build(16), 1);
  EXPECT_EQ(SkinRow(0, 0, 4), (std::vector<int>{79, 79, 251, 251}));
  EXPECT_EQ(SkinRow(1, 0, 4), (std::vector<int>{79, 79, 251, 251}));
  vandrell::g_export_settings.fullbright_colors = 1;
  ASSERT_EQ(Build(16), 1);
  EXPECT_EQ(SkinRow(0, 0, 4), (std::vector<int>{251, 251, 251, 251}));
  EXPECT_EQ(SkinRow(1, 0, 4), (std::vector<int>{251, 251, 251, 251}));
}

TEST_F(SkinBuild, MaterialsWithoutALoadableBitmapArePaintedFlat) {
  // A missing file, a map of another class, and a bitmap texture naming
  // nothing: each a 2 x 2 block of its diffuse colour (blue, 208).
  Mapped("/nonexistent/texture.png");
  hostapp::StandInMaterial* other = Colour(0.0f, 0.0f, 1.0f);
  other->SetDiffuseMap(scene_.AddOtherTextureMap(host::Class_ID(0x241, 0)));
  Mapped("");
  ASSERT_EQ(Build(16), 1);
  for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(table_.Slot(slot).bitmap, nullptr);
  EXPECT_EQ(width_, 8);
  EXPECT_EQ(SkinRow(0, 0, 8),
            (std::vector<int>{208, 208, 208, 208, 208, 208, kUnwritten, kUnwritten}));
  EXPECT_EQ(SkinRow(1, 0, 6), std::vector<int>(6, 208));
}

TEST_F(SkinBuild, ABlockWhosePalettedCopyCannotBeMadeGetsTheFlatColour) {
  Image(3, 2, ToRgba(kAsymmetric));  // diffuse blue
  host::TheManager->SetCreateFails(true);
  ASSERT_EQ(Build(16), 1);
  ASSERT_NE(table_.Slot(0).bitmap, nullptr);
  EXPECT_EQ(SkinRow(0, 0, 4), (std::vector<int>{208, 208, 208, kUnwritten}));
  EXPECT_EQ(SkinRow(1, 0, 4), (std::vector<int>{208, 208, 208, kUnwritten}));
}

TEST_F(SkinBuild, ABitmapWithoutPixelsLeavesItsBlockAtTheCopysFillIndexZero) {
  // The host's scaled copy gives every pixel it cannot take from the source
  // the fill index the painter asks for: entry 0, black. The material is red
  // (251 painted flat), so neither its colour nor an unwritten byte can pass.
  Colour(1.0f, 0.0f, 0.0f);
  vandrell::MaterialSlot& slot = table_.Slot(0);
  slot.bitmap = new host::Bitmap(nullptr);  // the table's to delete
  slot.x0 = 1;
  slot.y0 = 0;
  slot.x1 = 2;
  slot.y1 = 1;
  width_ = 4;
  skin_.assign(8, kUnwritten);
  vandrell::PaintSkin(table_, skin_.data(), width_, false);
  EXPECT_EQ(SkinRow(0, 0, 4), (std::vector<int>{kUnwritten, 0, 0, kUnwritten}));
  EXPECT_EQ(SkinRow(1, 0, 4), (std::vector<int>{kUnwritten, 0, 0, kUnwritten}));
}

TEST_F(SkinBuild, PaintsFromPngAndJpegFiles) {
  testing_support::TempDir dir;
  testing_support::WriteFileBytes(dir.File("a.png"), EncodePng(3, 2, ToRgba(kAsymmetric)));
  // Grey EBEBEB (15) on the left, nearly pure red (79 without fullbright).
  testing_support::WriteFileBytes(dir.File("b.jpg"),
                                  EncodeFlatJpeg({{0xEB, 128, 128}, {76, 85, 255}}));
  Mapped(dir.File("a.png"));
  Mapped(dir.File("b.jpg"));
  ASSERT_EQ(Build(24 * 8), 1);
  EXPECT_EQ(width_, 24);
  EXPECT_EQ(height_, 8);
  ExpectRect(1, 3, 0, 18, 7);
  EXPECT_EQ(SkinRow(0, 0, 3), (std::vector<int>{208, 63, 79}));
  EXPECT_EQ(SkinRow(1, 0, 3), (std::vector<int>{15, 176, 100}));
  std::vector<int> jpeg_row(8, 15);
  jpeg_row.insert(jpeg_row.end(), 8, 79);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(SkinRow(y, 3, 16), jpeg_row) << y;
}

}  // namespace
