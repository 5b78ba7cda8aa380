// The MDL writer and reader: files written from hand-made models and read back
// byte by byte, against offsets and values worked out by hand.
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "export/ExportSettings.h"
#include "mdlformat/MdlReader.h"
#include "model/MdlModel.h"
#include "plugin/MdlExporter.h"
#include "tests/TestSupport.h"

namespace {

using testing_support::FloatBits;
using testing_support::ReadInt32;
using vandrell::g_export_settings;
using vandrell::MdlExporter;
using vandrell::MdlModel;

// Restores the process-wide settings a test changes.
class SettingsScope {
 public:
  SettingsScope() : saved_(g_export_settings) {}
  ~SettingsScope() { g_export_settings = saved_; }

 private:
  vandrell::ExportSettings saved_;
};

void SetSettings(int32_t frame_count, int32_t skin_byte_budget, float collision_box_scale,
                 const char* base_name) {
  g_export_settings.frame_count = frame_count;
  g_export_settings.skin_byte_budget = skin_byte_budget;
  g_export_settings.collision_box_scale = collision_box_scale;
  std::snprintf(g_export_settings.base_name, sizeof g_export_settings.base_name, "%s", base_name);
}

struct Vertex {
  int32_t s, t;
  uint8_t x, y, z, normal;
};

void SetWorkVertex(MdlModel& model, int32_t j, const Vertex& v) {
  vandrell::FrameVertex& record = model.work_vertices[j];
  record.s = v.s;
  record.t = v.t;
  record.packed_x = v.x;
  record.packed_y = v.y;
  record.packed_z = v.z;
  record.normal_index = v.normal;
}

// Everything a stream received once it is closed.
class MemoryStream {
 public:
  MemoryStream() : stream_(open_memstream(&buffer_, &size_)) {}
  ~MemoryStream() {
    if (stream_) std::fclose(stream_);
    std::free(buffer_);
  }
  FILE* get() const { return stream_; }
  std::vector<uint8_t> Close() {
    std::fclose(stream_);
    stream_ = nullptr;
    return std::vector<uint8_t>(buffer_, buffer_ + size_);
  }

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  FILE* stream_;
};

// What WriteModel returned and the bytes it wrote.
struct Written {
  int result;
  std::vector<uint8_t> bytes;
};

Written WriteToMemory(MdlExporter& exporter) {
  MemoryStream stream;
  const int result = exporter.WriteModel(stream.get());
  return {result, stream.Close()};
}

// A stream that takes the first `budget` bytes and no more: a write that does
// not fit is taken in part and reported short, the way a full disk behaves.
// With failing_write, the write of that number (from 0) takes nothing.
// Unbuffered, so each fwrite reaches it at once. Records the size of every
// write it is asked for.
class FailingStream {
 public:
  explicit FailingStream(size_t budget, size_t failing_write = SIZE_MAX)
      : budget_(budget), failing_write_(failing_write) {
    cookie_io_functions_t functions = {};
    functions.write = &FailingStream::Write;
    stream_ = fopencookie(this, "wb", functions);
    if (stream_) setvbuf(stream_, nullptr, _IONBF, 0);
  }
  ~FailingStream() {
    if (stream_) std::fclose(stream_);
  }
  FILE* get() const { return stream_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  const std::vector<size_t>& write_sizes() const { return write_sizes_; }

 private:
  static ssize_t Write(void* cookie, const char* data, size_t size) {
    FailingStream* self = static_cast<FailingStream*>(cookie);
    self->write_sizes_.push_back(size);
    // A disk that refuses one write only and would take the next.
    if (self->write_sizes_.size() - 1 == self->failing_write_) return 0;
    const size_t taken = std::min(size, self->budget_ - self->bytes_.size());
    self->bytes_.insert(self->bytes_.end(), data, data + taken);
    return static_cast<ssize_t>(taken);
  }

  size_t budget_;
  size_t failing_write_;
  std::vector<uint8_t> bytes_;
  std::vector<size_t> write_sizes_;
  FILE* stream_ = nullptr;
};

// The one-frame model of the 16564-byte file: a 128 x 128 skin, 3 vertices,
// 1 triangle, asymmetric values everywhere.
void BuildOneFrameModel(MdlModel& model) {
  SetSettings(1, 16384, 1.0f, "ogre");
  ASSERT_EQ(model.Allocate(1), 1);
  model.scale[0] = 0.5f;
  model.scale[1] = 0.25f;
  model.scale[2] = 2.0f;
  model.scale_origin[0] = -1.0f;
  model.scale_origin[1] = 3.0f;
  model.scale_origin[2] = 0.0f;
  model.bounding_radius = 1.5f;
  model.synctype = 0;
  model.flags = 9;
  for (int32_t i = 0; i < model.skin_bytes; ++i) model.skin[i] = static_cast<uint8_t>(i * 7);
  SetWorkVertex(model, 0, {5, 6, 10, 200, 30, 5});
  SetWorkVertex(model, 1, {120, 7, 250, 20, 31, 100});
  SetWorkVertex(model, 2, {64, 127, 128, 128, 255, 161});
  model.work_triangles[0] = {{0, 2, 1}};
  model.numverts = 3;
  model.numtris = 1;
  model.StoreFrame(0);
}

TEST(MdlWriter, OneFrameModelWritesEveryFieldAtItsOffset) {
  SettingsScope settings;
  MdlExporter exporter;
  BuildOneFrameModel(exporter.Model());
  const Written out = WriteToMemory(exporter);
  ASSERT_EQ(out.result, 1);
  const std::vector<uint8_t>& b = out.bytes;
  // 84 + 4 + 128 x 128 + 3 x 12 + 16 + (28 + 3 x 4).
  ASSERT_EQ(b.size(), 16564u);

  // Header.
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 4),
            (std::vector<uint8_t>{0x49, 0x44, 0x50, 0x4F}));
  EXPECT_EQ(ReadInt32(b, 4), 6);
  EXPECT_EQ(static_cast<uint32_t>(ReadInt32(b, 8)), 0x3F000000u);   // 0.5
  EXPECT_EQ(static_cast<uint32_t>(ReadInt32(b, 12)), 0x3E800000u);  // 0.25
  EXPECT_EQ(static_cast<uint32_t>(ReadInt32(b, 16)), 0x40000000u);  // 2.0
  EXPECT_EQ(static_cast<uint32_t>(ReadInt32(b, 20)), 0xBF800000u);  // -1.0
  EXPECT_EQ(static_cast<uint32_t>(ReadInt32(b, 24)), 0x40400000u);  // 3.0
  EXPECT_EQ(static_cast<uint32_t>(ReadInt32(b, 28)), 0x00000000u);
  EXPECT_EQ(static_cast<uint32_t>(ReadInt32(b, 32)), 0x3FC00000u);  // 1.5
  EXPECT_EQ(ReadInt32(b, 36), 0);
  EXPECT_EQ(ReadInt32(b, 40), 0);
  EXPECT_EQ(ReadInt32(b, 44), 0);
  EXPECT_EQ(ReadInt32(b, 48), 1);                                   // numskins
  EXPECT_EQ(ReadInt32(b, 52), 128);                                 // skinwidth
  EXPECT_EQ(ReadInt32(b, 56), 128);                                 // skinheight
  EXPECT_EQ(ReadInt32(b, 60), 3);                                   // numverts
  EXPECT_EQ(ReadInt32(b, 64), 1);                                   // numtris
  EXPECT_EQ(ReadInt32(b, 68), 1);                                   // numframes
  EXPECT_EQ(ReadInt32(b, 72), 0);                                   // synctype
  EXPECT_EQ(ReadInt32(b, 76), 9);                                   // flags
  EXPECT_EQ(static_cast<uint32_t>(ReadInt32(b, 80)), 0x3F800000u);  // size 1.0

  // Skin: type word at 84, pixels 88 .. 16471 (pixel i holds i x 7 mod 256).
  EXPECT_EQ(ReadInt32(b, 84), 0);
  EXPECT_EQ(b[88], 0);
  EXPECT_EQ(b[89], 7);
  EXPECT_EQ(b[88 + 37], 3);       // 259 mod 256
  EXPECT_EQ(b[88 + 16383], 249);  // 114681 mod 256
  for (int i = 0; i < 16384; ++i) ASSERT_EQ(b[88 + i], static_cast<uint8_t>(i * 7)) << i;

  // Skin vertices at 16472, 12 bytes each: on-seam 0, s, t.
  const int32_t skin_vertices[3][3] = {{0, 5, 6}, {0, 120, 7}, {0, 64, 127}};
  for (int j = 0; j < 3; ++j) {
    for (int field = 0; field < 3; ++field)
      EXPECT_EQ(ReadInt32(b, 16472 + 12 * j + 4 * field), skin_vertices[j][field]);
  }

  // Triangle at 16508: faces-front 1, then the indices in stored order.
  EXPECT_EQ(ReadInt32(b, 16508), 1);
  EXPECT_EQ(ReadInt32(b, 16512), 0);
  EXPECT_EQ(ReadInt32(b, 16516), 2);
  EXPECT_EQ(ReadInt32(b, 16520), 1);

  // Frame at 16524: type, box minimum and maximum, name, vertices.
  EXPECT_EQ(ReadInt32(b, 16524), 0);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 16528, b.begin() + 16536),
            (std::vector<uint8_t>{10, 20, 30, 0, 250, 200, 255, 0}));
  const char name[16] = {'o', 'g', 'r', 'e', '0'};
  EXPECT_EQ(std::memcmp(b.data() + 16536, name, 16), 0);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 16552, b.end()),
            (std::vector<uint8_t>{10, 200, 30, 5, 250, 20, 31, 100, 128, 128, 255, 161}));
}

TEST(MdlWriter, HeaderGoesOutInFifteenWritesAndSkinInTwo) {
  SettingsScope settings;
  MdlExporter exporter;
  BuildOneFrameModel(exporter.Model());
  FailingStream stream(1u << 20);
  ASSERT_NE(stream.get(), nullptr);
  ASSERT_EQ(exporter.WriteModel(stream.get()), 1);
  const std::vector<size_t>& sizes = stream.write_sizes();
  // ident, version, scale, origin, radius, eye, then eight int32 and size;
  // the skin's type word and its 16384 pixels; 3 x 3 skin-vertex fields;
  // 4 triangle fields; the frame's type, 8 box bytes, name, and its vertices'
  // 3 x 4 bytes in one block.
  const std::vector<size_t> expected = {4, 4,     12, 12, 4, 12, 4, 4, 4, 4,
                                        4, 4,     4,  4,  4,                   // header
                                        4, 16384,                              // skin
                                        4, 4,     4,  4,  4, 4,  4, 4, 4,      // skin vertices
                                        4, 4,     4,  4,                       // triangle
                                        4, 1,     1,  1,  1, 1,  1, 1, 1, 16,  // frame head
                                        12};                                   // frame vertices
  EXPECT_EQ(sizes, expected);
}

TEST(MdlWriter, ZeroCountsWriteHeaderAndSkinTypeOnly) {
  SettingsScope settings;
  MdlExporter exporter;
  MdlModel& model = exporter.Model();
  SetSettings(1, 0, 1.0f, "ogre");
  ASSERT_EQ(model.Allocate(0), 1);
  const Written out = WriteToMemory(exporter);
  ASSERT_EQ(out.result, 1);
  ASSERT_EQ(out.bytes.size(), 88u);
  EXPECT_EQ(ReadInt32(out.bytes, 52), 128);
  EXPECT_EQ(ReadInt32(out.bytes, 56), 0);
  EXPECT_EQ(ReadInt32(out.bytes, 60), 0);
  EXPECT_EQ(ReadInt32(out.bytes, 64), 0);
  EXPECT_EQ(ReadInt32(out.bytes, 68), 0);
  EXPECT_EQ(ReadInt32(out.bytes, 84), 0);
}

TEST(MdlWriter, SkinOfZeroBytesWritesOnlyItsTypeWord) {
  SettingsScope settings;
  MdlExporter exporter;
  MdlModel& model = exporter.Model();
  // 100 bytes give a 128 x 0 skin.
  SetSettings(1, 100, 1.0f, "ogre");
  ASSERT_EQ(model.Allocate(1), 1);
  SetWorkVertex(model, 0, {1, 2, 3, 4, 5, 6});
  SetWorkVertex(model, 1, {7, 8, 9, 10, 11, 12});
  SetWorkVertex(model, 2, {13, 14, 15, 16, 17, 18});
  model.work_triangles[0] = {{2, 1, 0}};
  model.numverts = 3;
  model.numtris = 1;
  model.StoreFrame(0);
  const Written out = WriteToMemory(exporter);
  ASSERT_EQ(out.result, 1);
  // 84 + 4 + 36 + 16 + 40.
  ASSERT_EQ(out.bytes.size(), 180u);
  EXPECT_EQ(ReadInt32(out.bytes, 84), 0);
  EXPECT_EQ(ReadInt32(out.bytes, 88), 0);  // first skin vertex's on-seam flag
  EXPECT_EQ(ReadInt32(out.bytes, 92), 1);  // its s
}

TEST(MdlWriter, SkinLargerThanItsBufferIsRefusedUnread) {
  SettingsScope settings;
  MdlExporter exporter;
  MdlModel& model = exporter.Model();
  SetSettings(1, 1000, 1.0f, "ogre");
  ASSERT_EQ(model.Allocate(0), 1);
  // 128 x 8 = 1024 bytes claimed of a 1000-byte buffer.
  model.skinheight = 8;
  const Written too_large = WriteToMemory(exporter);
  EXPECT_EQ(too_large.result, 0);
  EXPECT_EQ(too_large.bytes.size(), 84u);  // the header, and no skin byte
  model.skinwidth = -4;
  EXPECT_EQ(WriteToMemory(exporter).result, 0);
  // 8 x 125 is exactly the buffer.
  model.skinwidth = 8;
  model.skinheight = 125;
  const Written fits = WriteToMemory(exporter);
  EXPECT_EQ(fits.result, 1);
  EXPECT_EQ(fits.bytes.size(), 84u + 4u + 1000u);
}

// A one-frame model of two vertices spanning x 20 .. 220, y 0 .. 4, z 0 .. 5,
// written with the given collision-box scale; returns the 8 box bytes.
std::vector<uint8_t> BoxBytesAtScale(float collision_box_scale) {
  SettingsScope settings;
  MdlExporter exporter;
  MdlModel& model = exporter.Model();
  SetSettings(1, 0, collision_box_scale, "box");
  EXPECT_EQ(model.Allocate(1), 1);
  SetWorkVertex(model, 0, {0, 0, 220, 0, 5, 7});
  SetWorkVertex(model, 1, {0, 0, 20, 4, 0, 7});
  model.numverts = 2;
  model.numtris = 0;
  model.StoreFrame(0);
  const Written out = WriteToMemory(exporter);
  EXPECT_EQ(out.result, 1);
  // Header 84, skin type 4, skin vertices 24: the frame starts at 112.
  EXPECT_EQ(out.bytes.size(), 112u + 28u + 8u);
  if (out.bytes.size() < 124) return {};
  return std::vector<uint8_t>(out.bytes.begin() + 116, out.bytes.begin() + 124);
}

TEST(MdlWriter, ShrinkMovesBothEndsInward) {
  // s = 0.5: x amount 200 x 0.5 x 0.5 = 50; y 4 x 0.25 = 1; z 5 x 0.25 = 1.25 -> 1.
  EXPECT_EQ(BoxBytesAtScale(0.5f), (std::vector<uint8_t>{70, 1, 1, 0, 170, 3, 4, 0}));
  // s = 0: half of each range, rounded down: 100, 2, and 2.5 -> 2.
  EXPECT_EQ(BoxBytesAtScale(0.0f), (std::vector<uint8_t>{120, 2, 2, 0, 120, 2, 3, 0}));
  // s is single precision: 1 - 0.9f = 0.10000002384185791015625, so x gets
  // 200 x that x 0.5 = 10.0000024 -> 10 (1 - 0.9 in double would give 9).
  EXPECT_EQ(BoxBytesAtScale(0.9f), (std::vector<uint8_t>{30, 0, 0, 0, 210, 4, 5, 0}));
}

TEST(MdlWriter, ShrinkNeverEnlargesTheBox) {
  const std::vector<uint8_t> exact = {20, 0, 0, 0, 220, 4, 5, 0};
  EXPECT_EQ(BoxBytesAtScale(1.0f), exact);
  EXPECT_EQ(BoxBytesAtScale(1.5f), exact);
  EXPECT_EQ(BoxBytesAtScale(std::numeric_limits<float>::quiet_NaN()), exact);
  EXPECT_EQ(BoxBytesAtScale(std::numeric_limits<float>::infinity()), exact);
}

TEST(MdlWriter, NegativeShrinkKeepsBoxBytesToEightBits) {
  // s = -2: x amount 200 x 3 x 0.5 = 300: 20 + 300 = 320 -> 64, 220 - 300 =
  // -80 -> 176; y 4 x 1.5 = 6: 6 and -2 -> 254; z 7.5 -> 7: 7 and -2 -> 254.
  EXPECT_EQ(BoxBytesAtScale(-2.0f), (std::vector<uint8_t>{64, 6, 7, 0, 176, 254, 254, 0}));
  // An amount no integer holds leaves the box as found rather than converting
  // an infinity.
  EXPECT_EQ(BoxBytesAtScale(-std::numeric_limits<float>::infinity()),
            (std::vector<uint8_t>{20, 0, 0, 0, 220, 4, 5, 0}));
}

TEST(MdlWriter, ShrinkUsesTheFullByteRange) {
  SettingsScope settings;
  MdlExporter exporter;
  MdlModel& model = exporter.Model();
  SetSettings(1, 0, 0.0f, "x");
  ASSERT_EQ(model.Allocate(1), 1);
  SetWorkVertex(model, 0, {0, 0, 0, 255, 9, 0});
  SetWorkVertex(model, 1, {0, 0, 255, 0, 9, 0});
  SetWorkVertex(model, 2, {0, 0, 128, 128, 9, 0});
  model.numverts = 3;
  model.StoreFrame(0);
  const Written out = WriteToMemory(exporter);
  ASSERT_EQ(out.result, 1);
  // Frame at 84 + 4 + 36 = 124; box at 128. Range 255 at s = 0: amount 127.
  ASSERT_EQ(out.bytes.size(), 124u + 28u + 12u);
  EXPECT_EQ(std::vector<uint8_t>(out.bytes.begin() + 128, out.bytes.begin() + 136),
            (std::vector<uint8_t>{127, 127, 9, 0, 128, 128, 9, 0}));
}

// Frames without vertices, frame_count of them, written with base_name;
// each frame is 28 bytes from offset 88.
std::vector<uint8_t> EmptyFrames(int32_t frame_count, const char* base_name) {
  SettingsScope settings;
  MdlExporter exporter;
  MdlModel& model = exporter.Model();
  SetSettings(frame_count, 0, 0.5f, base_name);
  EXPECT_EQ(model.Allocate(0), 1);
  for (int32_t f = 0; f < frame_count; ++f) model.StoreFrame(f);
  const Written out = WriteToMemory(exporter);
  EXPECT_EQ(out.result, 1);
  EXPECT_EQ(out.bytes.size(), 88u + 28u * static_cast<size_t>(frame_count));
  return out.bytes;
}

std::string NameField(const std::vector<uint8_t>& bytes, size_t frame) {
  const size_t at = 88 + 28 * frame + 12;
  if (bytes.size() < at + 16) return "<missing>";
  return std::string(bytes.begin() + static_cast<long>(at),
                     bytes.begin() + static_cast<long>(at) + 16);
}

TEST(MdlWriter, FrameNamesAreBaseNameAndNumberZeroPadded) {
  const std::vector<uint8_t> ogre = EmptyFrames(13, "ogre");
  EXPECT_EQ(NameField(ogre, 0), std::string("ogre0\0\0\0\0\0\0\0\0\0\0\0", 16));
  EXPECT_EQ(NameField(ogre, 12), std::string("ogre12\0\0\0\0\0\0\0\0\0\0", 16));
  // Without vertices the box bytes are all 0.
  for (size_t f = 0; f < 13; ++f) {
    EXPECT_EQ(ReadInt32(ogre, 88 + 28 * f), 0);
    EXPECT_EQ(ReadInt32(ogre, 88 + 28 * f + 4), 0);
    EXPECT_EQ(ReadInt32(ogre, 88 + 28 * f + 8), 0);
  }

  const std::vector<uint8_t> unnamed = EmptyFrames(3, "");
  EXPECT_EQ(NameField(unnamed, 0), std::string("0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
  EXPECT_EQ(NameField(unnamed, 2), std::string("2\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
}

TEST(MdlWriter, LongNamesAreCutToFifteenCharactersAndAZero) {
  const std::vector<uint8_t> frames = EmptyFrames(1001, "abcdefghijkl");
  EXPECT_EQ(NameField(frames, 999), std::string("abcdefghijkl999\0", 16));
  EXPECT_EQ(NameField(frames, 1000), std::string("abcdefghijkl100\0", 16));
  // The settings hold up to 16 characters before the dialog cuts them.
  const std::vector<uint8_t> longest = EmptyFrames(1, "abcdefghijklmnop");
  EXPECT_EQ(NameField(longest, 0), std::string("abcdefghijklmno\0", 16));
}

// Three frames of 3 vertices, no skin pixels: frame f at 140 + 40 f.
void BuildThreeFrameModel(MdlModel& model) {
  SetSettings(3, 0, 1.0f, "run");
  ASSERT_EQ(model.Allocate(1), 1);
  model.work_triangles[0] = {{0, 1, 2}};
  model.numverts = 3;
  model.numtris = 1;
  for (int32_t f = 0; f < 3; ++f) {
    for (int32_t j = 0; j < 3; ++j) {
      const uint8_t base = static_cast<uint8_t>(10 * f + 3 * j);
      SetWorkVertex(model, j,
                    {j, 2 * j, base, static_cast<uint8_t>(base + 1), static_cast<uint8_t>(base + 2),
                     static_cast<uint8_t>(f + j)});
    }
    model.StoreFrame(f);
  }
}

TEST(MdlWriter, SkinVerticesAndTrianglesComeFromTheLastFrame) {
  SettingsScope settings;
  MdlExporter exporter;
  MdlModel& model = exporter.Model();
  SetSettings(2, 0, 1.0f, "uv");
  ASSERT_EQ(model.Allocate(1), 1);
  model.numverts = 3;
  model.numtris = 1;
  // Two frames at the same positions whose skin coordinates and winding differ.
  SetWorkVertex(model, 0, {5, 6, 1, 2, 3, 4});
  SetWorkVertex(model, 1, {120, 7, 5, 6, 7, 8});
  SetWorkVertex(model, 2, {64, 127, 9, 10, 11, 12});
  model.work_triangles[0] = {{0, 2, 1}};
  model.StoreFrame(0);
  SetWorkVertex(model, 0, {9, 1, 1, 2, 3, 4});
  SetWorkVertex(model, 1, {100, 50, 5, 6, 7, 8});
  SetWorkVertex(model, 2, {3, 44, 9, 10, 11, 12});
  model.work_triangles[0] = {{0, 1, 2}};
  model.StoreFrame(1);

  const Written written = WriteToMemory(exporter);
  ASSERT_EQ(written.result, 1);
  // 84 + 4 (no skin pixels) + 3 x 12 + 16 + 2 x (28 + 12).
  ASSERT_EQ(written.bytes.size(), 220u);
  const std::vector<uint8_t>& b = written.bytes;
  // Skin vertices from offset 88: on-seam 0, then frame 1's s and t.
  const int32_t expected_st[3][2] = {{9, 1}, {100, 50}, {3, 44}};
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(ReadInt32(b, 88 + 12 * j), 0) << j;
    EXPECT_EQ(ReadInt32(b, 92 + 12 * j), expected_st[j][0]) << j;
    EXPECT_EQ(ReadInt32(b, 96 + 12 * j), expected_st[j][1]) << j;
  }
  // The triangle from offset 124: faces-front 1, then frame 1's order.
  EXPECT_EQ(ReadInt32(b, 124), 1);
  EXPECT_EQ(ReadInt32(b, 128), 0);
  EXPECT_EQ(ReadInt32(b, 132), 1);
  EXPECT_EQ(ReadInt32(b, 136), 2);
}

TEST(MdlWriter, WriteFailingInsideAFrameLeavesEarlierFramesComplete) {
  SettingsScope settings;
  MdlExporter exporter;
  BuildThreeFrameModel(exporter.Model());
  const Written full = WriteToMemory(exporter);
  ASSERT_EQ(full.result, 1);
  // 84 + 4 + 36 + 16 + 3 x 40.
  ASSERT_EQ(full.bytes.size(), 260u);

  // A stream taking 200 bytes fails inside frame 1 (180 .. 219), at its name.
  {
    FailingStream stream(200);
    ASSERT_NE(stream.get(), nullptr);
    EXPECT_EQ(exporter.WriteModel(stream.get()), 0);
    const std::vector<uint8_t>& got = stream.bytes();
    // Frame 1's type and box went out, and the part of its name that fitted.
    ASSERT_EQ(got.size(), 200u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), full.bytes.begin()));
    // Frame 0 complete: type, box, name "run0", vertices.
    EXPECT_EQ(ReadInt32(got, 140), 0);
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 144, got.begin() + 152),
              (std::vector<uint8_t>{0, 1, 2, 0, 6, 7, 8, 0}));
    EXPECT_EQ(std::string(got.begin() + 152, got.begin() + 168),
              std::string("run0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 168, got.begin() + 180),
              (std::vector<uint8_t>{0, 1, 2, 0, 3, 4, 5, 1, 6, 7, 8, 2}));
    // Frame 1's box: 10 .. 16, 11 .. 17, 12 .. 18.
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 184, got.begin() + 192),
              (std::vector<uint8_t>{10, 11, 12, 0, 16, 17, 18, 0}));
  }

  // Every shorter stream fails, leaving a prefix of the complete file: no
  // write goes unchecked.
  for (size_t budget = 0; budget < 260; ++budget) {
    FailingStream stream(budget);
    ASSERT_NE(stream.get(), nullptr);
    ASSERT_EQ(exporter.WriteModel(stream.get()), 0) << "budget " << budget;
    const std::vector<uint8_t>& got = stream.bytes();
    ASSERT_EQ(got.size(), budget);
    ASSERT_TRUE(std::equal(got.begin(), got.end(), full.bytes.begin())) << "budget " << budget;
  }
  // A stream that refuses a single write and takes the ones after it: the
  // writer stops at that write whichever it is, so nothing follows it.
  FailingStream counting(260);
  ASSERT_EQ(exporter.WriteModel(counting.get()), 1);
  const std::vector<size_t> sizes = counting.write_sizes();
  for (size_t k = 0; k < sizes.size(); ++k) {
    FailingStream stream(260, k);
    ASSERT_EQ(exporter.WriteModel(stream.get()), 0) << "write " << k;
    size_t before = 0;
    for (size_t i = 0; i < k; ++i) before += sizes[i];
    ASSERT_EQ(stream.write_sizes().size(), k + 1) << "write " << k;
    ASSERT_EQ(stream.bytes().size(), before) << "write " << k;
  }

  FailingStream enough(260);
  EXPECT_EQ(exporter.WriteModel(enough.get()), 1);
  EXPECT_EQ(enough.bytes(), full.bytes);
}

TEST(MdlWriter, CountsBeyondTheBuffersAreRefusedUnwritten) {
  SettingsScope settings;
  MdlExporter exporter;
  MdlModel& model = exporter.Model();
  BuildThreeFrameModel(model);
  MemoryStream stream;
  model.numverts = 4;  // the capacity is 3
  EXPECT_EQ(model.WriteSkinVertices(stream.get()), 0);
  EXPECT_EQ(model.WriteFrames(stream.get()), 0);
  model.numverts = 3;
  model.numtris = 2;  // the capacity is 1
  EXPECT_EQ(model.WriteTriangles(stream.get()), 0);
  model.numtris = 1;
  model.numframes = 4;  // the store holds 3
  EXPECT_EQ(model.WriteFrames(stream.get()), 0);
  EXPECT_TRUE(stream.Close().empty());
}

TEST(MdlWriter, FramesLeaveTheLastFrameInTheWorkArrays) {
  SettingsScope settings;
  MdlExporter exporter;
  MdlModel& model = exporter.Model();
  BuildThreeFrameModel(model);
  model.LoadFrame(0);
  ASSERT_EQ(WriteToMemory(exporter).result, 1);
  EXPECT_EQ(model.work_vertices[0].packed_x, 20);
  EXPECT_EQ(model.work_vertices[2].normal_index, 4);
}

// --- Read back -------------------------------------------------------------

TEST(MdlWriter, TheReaderReadsBackWhatItWrote) {
  SettingsScope settings;
  MdlExporter exporter;
  BuildThreeFrameModel(exporter.Model());
  exporter.Model().scale[1] = 0.5f;
  exporter.Model().scale_origin[1] = -2.0f;
  const Written out = WriteToMemory(exporter);
  ASSERT_EQ(out.result, 1);

  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdl(out.bytes, &file, &error)) << error;
  EXPECT_EQ(std::memcmp(file.header.ident, "IDPO", 4), 0);
  EXPECT_EQ(file.header.version, 6);
  EXPECT_EQ(FloatBits(file.header.scale[1]), 0x3F000000u);
  EXPECT_EQ(file.header.numskins, 1);
  EXPECT_EQ(file.header.skinwidth, 128);
  EXPECT_EQ(file.header.skinheight, 0);
  EXPECT_EQ(file.header.numverts, 3);
  EXPECT_EQ(file.header.numtris, 1);
  EXPECT_EQ(file.header.numframes, 3);
  EXPECT_EQ(file.header.synctype, 1);
  ASSERT_EQ(file.skins.size(), 1u);
  EXPECT_TRUE(file.skins[0].pixels.empty());
  ASSERT_EQ(file.skin_vertices.size(), 3u);
  EXPECT_EQ(file.skin_vertices[2].s, 2);
  EXPECT_EQ(file.skin_vertices[2].t, 4);
  ASSERT_EQ(file.triangles.size(), 1u);
  EXPECT_EQ(file.triangles[0].faces_front, 1);
  EXPECT_EQ(file.triangles[0].vertices[2], 2);
  ASSERT_EQ(file.frames.size(), 3u);
  EXPECT_STREQ(file.frames[2].name, "run2");
  EXPECT_TRUE(file.frames[2].name_terminated);
  EXPECT_EQ(file.frames[2].box_min.x, 20);
  EXPECT_EQ(file.frames[2].box_max.z, 28);
  ASSERT_EQ(file.frames[2].vertices.size(), 3u);
  EXPECT_EQ(file.frames[2].vertices[1].y, 24);
  EXPECT_EQ(file.frames[2].vertices[1].normal_index, 3);
  // y of packed 24: -2 + 24 x 0.5 = 10.
  EXPECT_EQ(vandrell::DecodeCoordinate(file.header, 1, 24), 10.0f);
}

}  // namespace
