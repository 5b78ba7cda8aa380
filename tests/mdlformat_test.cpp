// The MDL format library on its own: the byte cursor, the reader (against
// files written byte by byte here and in MdlBytes), the table of normals,
// Quake's palette and clips from frame names. Nothing of the exporter is linked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "mdlformat/ByteCursor.h"
#include "mdlformat/FileBytes.h"
#include "mdlformat/FrameNameClips.h"
#include "mdlformat/MdlOutline.h"
#include "mdlformat/MdlReader.h"
#include "mdlformat/NormalTable.h"
#include "mdlformat/QuakePalette.h"
#include "tests/MdlBytes.h"

namespace {

using testing_support::MdlBytes;
using testing_support::MdlLayout;
using vandrell::ByteCursor;
using vandrell::kQuakePaletteRgb;
using vandrell::NormalTable;
namespace mdl_format = vandrell::mdl_format;

uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// --- Byte cursor --------------------------------------------------------------

TEST(ByteCursor, ReadsLittleEndianValuesOfEveryWidth) {
  const std::vector<uint8_t> bytes = {
      0x7F,                    // 127
      0x34, 0x12,              // 0x1234
      0xFE, 0xFF,              // -2
      0x00, 0x80,              // -32768
      0x78, 0x56, 0x34, 0x12,  // 0x12345678
      0xFF, 0xFF, 0xFF, 0xFF,  // -1
      0x00, 0x00, 0x00, 0x80,  // -2147483648
      0x00, 0x00, 0xC0, 0x3F,  // 1.5
      0x01, 0x00, 0xC0, 0x7F,  // a NaN with a payload
      0x05, 0x06,              // two bytes
      'a',  'b',  0,    'z',   // "ab" and padding
      'w',  'x',  'y',  'z',   // a field without a zero byte
  };
  ByteCursor in(bytes);
  EXPECT_EQ(in.Uint8(), 127);
  EXPECT_EQ(in.Uint16(), 0x1234);
  EXPECT_EQ(in.Int16(), -2);
  EXPECT_EQ(in.Int16(), -32768);
  EXPECT_EQ(in.offset(), 7u);
  EXPECT_EQ(in.Uint32(), 0x12345678u);
  EXPECT_EQ(in.Int32(), -1);
  EXPECT_EQ(in.Int32(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(in.Float(), 1.5f);
  EXPECT_EQ(Bits(in.Float()), 0x7FC00001u);
  uint8_t two[2] = {};
  EXPECT_TRUE(in.Bytes(two, 2));
  EXPECT_EQ(two[0], 5);
  EXPECT_EQ(two[1], 6);
  EXPECT_EQ(in.FixedString(4), "ab");
  EXPECT_EQ(in.FixedString(4), "wxyz");
  EXPECT_EQ(in.remaining(), 0u);
  EXPECT_EQ(in.offset(), bytes.size());
  EXPECT_TRUE(in.ok());
  EXPECT_EQ(in.error(), "");
}

TEST(ByteCursor, AShortReadReadsNothingAndEveryLaterReadFails) {
  const std::vector<uint8_t> bytes = {1, 2, 3};
  ByteCursor in(bytes);
  EXPECT_EQ(in.Uint8(), 1);
  EXPECT_EQ(in.Uint32(), 0u);
  EXPECT_FALSE(in.ok());
  EXPECT_EQ(in.offset(), 1u);
  EXPECT_EQ(in.error(), "the file ends at offset 1: 4 more bytes are needed, 2 remain");
  // Two bytes are there, but the cursor has stopped: a run of reads is
  // checked once, at its end, and the first cause is kept.
  EXPECT_EQ(in.Uint8(), 0);
  EXPECT_EQ(in.Uint16(), 0);
  EXPECT_FALSE(in.Has(1));
  EXPECT_FALSE(in.Need(1, "the rest"));
  EXPECT_FALSE(in.Skip(1));
  EXPECT_EQ(in.offset(), 1u);
  EXPECT_EQ(in.error(), "the file ends at offset 1: 4 more bytes are needed, 2 remain");

  ByteCursor none(nullptr, 10);
  EXPECT_EQ(none.size(), 0u);
  EXPECT_EQ(none.FixedString(1), "");
  EXPECT_FALSE(none.ok());
}

TEST(ByteCursor, NeedNamesThePartAndSeekStaysInsideTheBytes) {
  const std::vector<uint8_t> bytes = {0, 0, 0, 0, 0x2A, 0, 0, 0};
  ByteCursor in(bytes);
  EXPECT_TRUE(in.Need(8, "the header"));
  EXPECT_TRUE(in.Skip(6));
  EXPECT_TRUE(in.Has(2));
  EXPECT_FALSE(in.Has(3));
  EXPECT_TRUE(in.ok());
  EXPECT_FALSE(in.Need(4, "frame 0"));
  EXPECT_EQ(in.error(), "the file ends inside frame 0: it needs 4 bytes at offset 6, 2 remain");

  ByteCursor seeking(bytes);
  EXPECT_TRUE(seeking.Seek(4));
  EXPECT_EQ(seeking.Int32(), 42);
  EXPECT_TRUE(seeking.Seek(4));
  EXPECT_EQ(seeking.Uint8(), 0x2A);
  EXPECT_TRUE(seeking.Seek(8));  // the end itself
  EXPECT_EQ(seeking.remaining(), 0u);
  EXPECT_TRUE(seeking.ok());
  EXPECT_FALSE(seeking.Seek(9));
  EXPECT_EQ(seeking.error(), "offset 9 lies beyond the end of the 8-byte file");
  EXPECT_EQ(seeking.offset(), 8u);

  // A count no memory could hold is refused, not wrapped around.
  ByteCursor huge(bytes);
  EXPECT_FALSE(huge.Need(std::numeric_limits<uint64_t>::max(), "the skins"));
  EXPECT_EQ(huge.error(),
            "the file ends inside the skins: it needs 18446744073709551615 bytes at offset 0, 8 "
            "remain");
  // The first failure is the one reported.
  EXPECT_FALSE(huge.Fail("something else"));
  EXPECT_EQ(huge.error().rfind("the file ends inside the skins", 0), 0u);
}

// --- Reader -------------------------------------------------------------------

// MdlBytes(MdlLayout()) is 252 bytes: the header (0 .. 83); skin 0's type
// (84) and its 8 x 4 pixels (88 .. 119); three skin vertices (120 .. 155);
// one triangle (156 .. 171); frames 0 and 1 of 40 bytes each from 172 on,
// frame 0's box at 176, its name at 184 and its vertices at 200 .. 211.

TEST(MdlReader, ReadsEveryPartOfAHandMadeFile) {
  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdl(MdlBytes(MdlLayout()), &file, &error)) << error;
  const vandrell::MdlFileHeader& h = file.header;
  EXPECT_EQ(std::memcmp(h.ident, "IDPO", 4), 0);
  EXPECT_EQ(h.version, 6);
  EXPECT_EQ(Bits(h.scale[2]), 0x3F800000u);  // 1.0
  EXPECT_EQ(Bits(h.scale_origin[0]), 0u);
  EXPECT_EQ(h.bounding_radius, 255.0f);
  EXPECT_EQ(h.numskins, 1);
  EXPECT_EQ(h.skinwidth, 8);
  EXPECT_EQ(h.skinheight, 4);
  EXPECT_EQ(h.numverts, 3);
  EXPECT_EQ(h.numtris, 1);
  EXPECT_EQ(h.numframes, 2);
  EXPECT_EQ(h.flags, 0);
  EXPECT_EQ(h.size, 1.0f);
  EXPECT_EQ(file.skin_types, std::vector<int32_t>{0});
  ASSERT_EQ(file.skins.size(), 1u);
  EXPECT_EQ(file.skins[0].group, -1);
  EXPECT_EQ(file.skins[0].pixels, std::vector<uint8_t>(32, 251));
  ASSERT_EQ(file.skin_vertices.size(), 3u);
  EXPECT_EQ(file.skin_vertices[1].s, 8);
  EXPECT_EQ(file.skin_vertices[2].t, 4);
  ASSERT_EQ(file.triangles.size(), 1u);
  EXPECT_EQ(file.triangles[0].faces_front, 1);
  EXPECT_EQ(file.triangles[0].vertices[1], 1);
  EXPECT_EQ(file.frame_types, (std::vector<int32_t>{0, 0}));
  ASSERT_EQ(file.frames.size(), 2u);
  EXPECT_STREQ(file.frames[1].name, "f1");
  EXPECT_TRUE(file.frames[1].name_terminated);
  EXPECT_EQ(file.frames[1].box_max.y, 255);
  EXPECT_EQ(file.frames[1].box_max.z, 255);
  ASSERT_EQ(file.frames[1].vertices.size(), 3u);
  EXPECT_EQ(file.frames[1].vertices[1].y, 255);
  EXPECT_EQ(file.frames[1].vertices[2].z, 255);
  EXPECT_EQ(file.frames[1].vertices[2].normal_index, 52);
  // Packed 255 at scale 1 from origin 0.
  EXPECT_EQ(vandrell::DecodeCoordinate(h, 1, 255), 255.0f);
}

TEST(MdlReader, RefusesEveryTruncatedFile) {
  const std::vector<uint8_t> whole = MdlBytes(MdlLayout());
  for (size_t size = 0; size < whole.size(); ++size) {
    // A copy of exactly size bytes, so that a read past it is caught by the
    // sanitizers.
    const std::vector<uint8_t> prefix(whole.begin(), whole.begin() + static_cast<long>(size));
    vandrell::MdlFile file;
    std::string error;
    ASSERT_FALSE(vandrell::ReadMdl(prefix, &file, &error)) << size;
    ASSERT_NE(error.find("ends inside"), std::string::npos) << size << ": " << error;
  }
  std::string error;
  vandrell::MdlFile file;
  ASSERT_FALSE(
      vandrell::ReadMdl(std::vector<uint8_t>(whole.begin(), whole.begin() + 10), &file, &error));
  EXPECT_EQ(error, "the file ends inside the header: it needs 84 bytes at offset 0, 10 remain");
  ASSERT_FALSE(
      vandrell::ReadMdl(std::vector<uint8_t>(whole.begin(), whole.begin() + 180), &file, &error));
  EXPECT_EQ(error, "the file ends inside frame 0: it needs 36 bytes at offset 176, 4 remain");
}

TEST(MdlReader, RefusesCorruptFilesWithAReason) {
  const std::vector<uint8_t> whole = MdlBytes(MdlLayout());
  struct Case {
    size_t offset;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  const Case cases[] = {
      {0, {'I', 'D', 'P', '2'}, "not an MDL file: the first four bytes are not \"IDPO\""},
      {4, {8, 0, 0, 0}, "unsupported MDL version 8 (expected 6)"},
      {60, {0xFF, 0xFF, 0xFF, 0xFF}, "negative numverts (-1)"},
      {68, {0x00, 0x00, 0x00, 0x80}, "negative numframes (-2147483648)"},
      // numframes 100000 where 2 are.
      {68,
       {0xA0, 0x86, 0x01, 0x00},
       "the file ends inside frame 2: it needs 4 bytes at offset 252, 0 remain"},
      {84, {2, 0, 0, 0}, "skin 0 has the unknown type 2"},
      {164, {3, 0, 0, 0}, "triangle 0 uses vertex 3, outside the 3 vertices"},
      {203, {162}, "frame 0, vertex 0: normal index 162 is outside the 162 normals"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = whole;
    std::copy(c.bytes.begin(), c.bytes.end(), bytes.begin() + static_cast<long>(c.offset));
    vandrell::MdlFile file;
    std::string error;
    EXPECT_FALSE(vandrell::ReadMdl(bytes, &file, &error)) << c.reason;
    EXPECT_EQ(error, c.reason);
  }

  // Bytes after the last frame are counted, not refused: games ignore them.
  std::vector<uint8_t> longer = whole;
  longer.insert(longer.end(), {0, 7, 0});
  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdl(longer, &file, &error)) << error;
  EXPECT_EQ(file.trailing_bytes, 3u);
  EXPECT_EQ(file.frames.size(), 2u);
  ASSERT_TRUE(vandrell::ReadMdl(whole, &file, &error)) << error;
  EXPECT_EQ(file.trailing_bytes, 0u);

  EXPECT_FALSE(vandrell::ReadMdlFile("/nonexistent-folder/model.mdl", &file, &error));
  EXPECT_EQ(error, "cannot open /nonexistent-folder/model.mdl");
}

TEST(MdlReader, AnySingleCorruptByteIsReadSafely) {
  const std::vector<uint8_t> whole = MdlBytes(MdlLayout());
  // Whatever one byte becomes, the reader either gives a structure whose
  // parts match its header or a reason; run under the sanitizers, it also
  // shows that nothing outside the bytes is read.
  for (size_t at = 0; at < whole.size(); ++at) {
    for (uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
      std::vector<uint8_t> bytes = whole;
      bytes[at] = value;
      vandrell::MdlFile file;
      std::string error;
      if (vandrell::ReadMdl(bytes, &file, &error)) {
        const vandrell::MdlFileHeader& h = file.header;
        ASSERT_EQ(file.skin_vertices.size(), static_cast<size_t>(h.numverts)) << at;
        ASSERT_EQ(file.triangles.size(), static_cast<size_t>(h.numtris)) << at;
        ASSERT_EQ(file.frame_types.size(), static_cast<size_t>(h.numframes)) << at;
        for (const vandrell::MdlFrame& frame : file.frames)
          ASSERT_EQ(frame.vertices.size(), static_cast<size_t>(h.numverts)) << at;
      } else {
        ASSERT_FALSE(error.empty()) << at;
      }
    }
  }
}

// Little-endian bytes of hand-made files.
void Put32(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
}

TEST(MdlReader, ReadsSkinAndFrameGroups) {
  // A 4 x 1 skin, 1 vertex, 0 triangles; one skin group of 2 images and one
  // frame group of 2 frames.
  std::vector<uint8_t> b = {'I', 'D', 'P', 'O'};
  Put32(b, 6);
  for (int i = 0; i < 10; ++i) Put32(b, 0x3F800000);  // scale, origin, radius, eye: 1.0
  for (uint32_t v : {1u, 4u, 1u, 1u, 0u, 1u, 0u, 0u}) Put32(b, v);
  Put32(b, 0x3F800000);  // size
  Put32(b, 1);           // skin group
  Put32(b, 2);           // of 2 images
  Put32(b, 0x3E800000);  // 0.25 s
  Put32(b, 0x3F000000);  // 0.5 s
  for (uint8_t p : {1, 2, 3, 4, 5, 6, 7, 8}) b.push_back(p);
  Put32(b, 0);  // skin vertex: on-seam, s, t
  Put32(b, 3);
  Put32(b, 0);
  Put32(b, 1);                                                // frame group
  Put32(b, 2);                                                // of 2 frames
  for (uint8_t p : {0, 0, 0, 0, 9, 9, 9, 0}) b.push_back(p);  // group box
  Put32(b, 0x3DCCCCCD);                                       // 0.1 s
  Put32(b, 0x3E4CCCCD);                                       // 0.2 s
  for (int m = 0; m < 2; ++m) {
    for (uint8_t p : {1, 2, 3, 0, 1, 2, 3, 0}) b.push_back(p);
    const char name[16] = {'g', static_cast<char>('0' + m)};
    b.insert(b.end(), name, name + 16);
    for (uint8_t p : {1, 2, 3, 161}) b.push_back(p);
  }

  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdl(b, &file, &error)) << error;
  ASSERT_EQ(file.skins.size(), 2u);
  EXPECT_EQ(file.skin_types, std::vector<int32_t>{1});
  EXPECT_EQ(file.skins[1].group, 0);
  EXPECT_EQ(file.skins[1].interval, 0.5f);
  EXPECT_EQ(file.skins[1].pixels, (std::vector<uint8_t>{5, 6, 7, 8}));
  ASSERT_EQ(file.frames.size(), 2u);
  EXPECT_EQ(file.frame_types, std::vector<int32_t>{1});
  EXPECT_STREQ(file.frames[1].name, "g1");
  EXPECT_EQ(file.frames[1].group, 0);
  EXPECT_EQ(Bits(file.frames[1].interval), 0x3E4CCCCDu);
  EXPECT_EQ(file.frames[1].vertices[0].normal_index, 161);

  // A group claiming more members than the file has room for is refused
  // before anything is allocated for them.
  std::vector<uint8_t> huge = b;
  huge[88] = 0xFF;
  huge[89] = 0xFF;
  huge[90] = 0xFF;
  huge[91] = 0x7F;
  EXPECT_FALSE(vandrell::ReadMdl(huge, &file, &error));
  EXPECT_EQ(error.rfind("the file ends inside skin 0's intervals", 0), 0u) << error;
}

// The outline read a block at a time must say of every file what reading it
// whole says: the same verdict for plain files, the same header, frame count
// and first frame name where it passes, and a pass only where the whole read
// passes with nothing after the last frame.
class PlainOutline {
 public:
  // In the working folder, named after the test: tests run side by side.
  PlainOutline()
      : path_(std::string("mdlformat_outline_") +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".mdl") {}
  ~PlainOutline() { std::remove(path_.c_str()); }

  // Writes bytes to the file and compares both readers on it; the outline's verdict.
  bool Agrees(const std::vector<uint8_t>& bytes, const std::string& what) {
    {
      std::ofstream out(path_, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    }
    vandrell::MdlOutline outline;
    const bool quick = vandrell::ReadPlainMdlOutline(path_, &outline);
    vandrell::MdlFile file;
    std::string error;
    const bool whole = vandrell::ReadMdlFile(path_, &file, &error) && file.trailing_bytes == 0;
    const bool plain = std::all_of(file.skin_types.begin(), file.skin_types.end(),
                                   [](int32_t t) { return t == 0; }) &&
                       std::all_of(file.frame_types.begin(), file.frame_types.end(),
                                   [](int32_t t) { return t == 0; });
    EXPECT_EQ(quick, whole && plain) << what << ": " << error;
    if (quick && whole) {
      EXPECT_EQ(std::memcmp(&outline.header, &file.header, sizeof outline.header), 0) << what;
      EXPECT_EQ(outline.frame_count, file.frames.size()) << what;
      if (!file.frames.empty()) {
        EXPECT_EQ(std::memcmp(outline.first_frame_name, file.frames[0].name, 17), 0) << what;
      }
    }
    return quick;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(MdlOutline, PassesAPlainFileWithItsHeaderAndFirstFrameName) {
  PlainOutline check;
  ASSERT_TRUE(check.Agrees(MdlBytes(MdlLayout()), "the hand-made file"));
  vandrell::MdlOutline outline;
  ASSERT_TRUE(vandrell::ReadPlainMdlOutline(check.path(), &outline));
  EXPECT_EQ(outline.header.numverts, 3);
  EXPECT_EQ(outline.header.skinwidth, 8);
  EXPECT_EQ(outline.frame_count, 2u);
  EXPECT_STREQ(outline.first_frame_name, "f0");

  // Sections larger than one block of reading.
  MdlLayout large;
  large.numverts = 20000;
  large.numtris = 6000;
  large.numframes = 3;
  std::vector<uint8_t> bytes = MdlBytes(large);
  EXPECT_TRUE(check.Agrees(bytes, "large"));
  // The last triangle's last corner, and the last frame's last normal index:
  // both far into their section.
  std::vector<uint8_t> bad_corner = bytes;
  testing_support::PutInt32(&bad_corner, testing_support::FramesOffset(large) - 4, 20000);
  EXPECT_FALSE(check.Agrees(bad_corner, "last corner"));
  std::vector<uint8_t> bad_normal = bytes;
  bad_normal.back() = 162;
  EXPECT_FALSE(check.Agrees(bad_normal, "last normal"));
  bad_normal.back() = 161;
  EXPECT_TRUE(check.Agrees(bad_normal, "last normal 161"));

  EXPECT_FALSE(vandrell::ReadPlainMdlOutline("/nonexistent-folder/model.mdl", &outline));
}

TEST(MdlOutline, AgreesWithTheWholeReadOnEveryDamagedFile) {
  PlainOutline check;
  const std::vector<uint8_t> whole = MdlBytes(MdlLayout());
  for (size_t size = 0; size < whole.size(); ++size)
    ASSERT_FALSE(
        check.Agrees(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(size)),
                     "cut at " + std::to_string(size)));
  std::vector<uint8_t> longer = whole;
  longer.push_back(0);
  EXPECT_FALSE(check.Agrees(longer, "one byte more"));
  int passed = 0;
  for (size_t at = 0; at < whole.size(); ++at) {
    for (uint8_t value : {0x00, 0x01, 0x80, 0xA2, 0xFF}) {
      std::vector<uint8_t> bytes = whole;
      bytes[at] = value;
      passed += check.Agrees(bytes, "byte " + std::to_string(at) + " = " + std::to_string(value));
    }
  }
  // Most single bytes (pixels, positions, names) leave a sound file.
  EXPECT_GT(passed, 0);
}

TEST(MdlReader, NameWithoutZeroByteStaysWithinItsField) {
  std::vector<uint8_t> bytes = MdlBytes(MdlLayout());
  // Frame 0's name field is 184 .. 199.
  for (size_t i = 184; i < 200; ++i) bytes[i] = 'n';
  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdl(bytes, &file, &error)) << error;
  EXPECT_EQ(std::string(file.frames[0].name), std::string(16, 'n'));
  EXPECT_FALSE(file.frames[0].name_terminated);
  EXPECT_STREQ(file.frames[1].name, "f1");
}

TEST(MdlReader, HeaderFieldsAreReadAsStoredWhateverTheirValues) {
  std::vector<uint8_t> bytes = MdlBytes(MdlLayout());
  std::fill(bytes.begin(), bytes.begin() + 4, 'X');  // no magic
  bytes[60] = 0xFE;                                  // numverts -2
  bytes[61] = bytes[62] = bytes[63] = 0xFF;
  ByteCursor in(bytes);
  vandrell::MdlFileHeader header;
  ASSERT_TRUE(vandrell::ReadMdlHeaderFields(in, &header));
  EXPECT_EQ(header.ident[3], 'X');
  EXPECT_EQ(header.numverts, -2);
  EXPECT_EQ(header.skinwidth, 8);
  EXPECT_EQ(header.size, 1.0f);
  EXPECT_EQ(in.offset(), 84u);

  ByteCursor short_header(bytes.data(), 83);
  EXPECT_FALSE(vandrell::ReadMdlHeaderFields(short_header, &header));
  EXPECT_EQ(short_header.error(),
            "the file ends inside the header: it needs 84 bytes at offset 0, 83 remain");
}

// --- Normal table ---------------------------------------------------------------

TEST(NormalTable, ListedRowsHoldTheFormatsStandardValues) {
  struct Row {
    int index;
    float x, y, z;
  };
  const Row rows[] = {
      {0, -0.525731f, 0.000000f, 0.850651f},     {1, -0.442863f, 0.238856f, 0.864188f},
      {2, -0.295242f, 0.000000f, 0.955423f},     {5, 0.000000f, 0.000000f, 1.000000f},
      {32, 0.000000f, 1.000000f, 0.000000f},     {41, 0.850651f, 0.525731f, 0.000000f},
      {42, 0.716567f, 0.681718f, 0.147621f},     {43, 0.716567f, 0.681718f, -0.147621f},
      {47, 0.688191f, 0.587785f, 0.425325f},     {52, 1.000000f, 0.000000f, 0.000000f},
      {84, 0.000000f, 0.000000f, -1.000000f},    {104, 0.000000f, -1.000000f, 0.000000f},
      {143, -1.000000f, 0.000000f, 0.000000f},   {160, -0.587785f, -0.425325f, -0.688191f},
      {161, -0.688191f, -0.587785f, -0.425325f},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Bits(NormalTable[row.index][0]), Bits(row.x)) << "entry " << row.index;
    EXPECT_EQ(Bits(NormalTable[row.index][1]), Bits(row.y)) << "entry " << row.index;
    EXPECT_EQ(Bits(NormalTable[row.index][2]), Bits(row.z)) << "entry " << row.index;
  }
}

TEST(NormalTable, EveryEntryIsTheNearestFloatToItsSixDecimalValue) {
  const std::string path = std::string(VANDRELL_SOURCE_DIR) + "/../shared/data/normals.txt";
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) GTEST_SKIP() << "the six-decimal normal list is not at " << path;
  char line[256];
  int entries = 0;
  while (std::fgets(line, sizeof line, file)) {
    if (line[0] == '#' || line[0] == '\n') continue;
    int index = -1;
    char x[32], y[32], z[32];
    ASSERT_EQ(std::sscanf(line, "%d %31s %31s %31s", &index, x, y, z), 4) << line;
    ASSERT_EQ(index, entries);
    // strtof rounds the decimal text to the nearest float: an independent route.
    EXPECT_EQ(Bits(NormalTable[index][0]), Bits(std::strtof(x, nullptr))) << index;
    EXPECT_EQ(Bits(NormalTable[index][1]), Bits(std::strtof(y, nullptr))) << index;
    EXPECT_EQ(Bits(NormalTable[index][2]), Bits(std::strtof(z, nullptr))) << index;
    ++entries;
  }
  std::fclose(file);
  EXPECT_EQ(entries, mdl_format::kNormalCount);
}

TEST(NormalTable, IsAUnitSetClosedUnderSignChangesAndCyclicPermutation) {
  const auto find = [](float x, float y, float z) {
    for (int i = 0; i < mdl_format::kNormalCount; ++i) {
      if (NormalTable[i][0] == x && NormalTable[i][1] == y && NormalTable[i][2] == z) return i;
    }
    return -1;
  };
  const float magnitudes[] = {0.0f,      0.147621f, 0.162460f, 0.238856f, 0.262866f, 0.295242f,
                              0.309017f, 0.425325f, 0.442863f, 0.500000f, 0.525731f, 0.587785f,
                              0.681718f, 0.688191f, 0.716567f, 0.809017f, 0.850651f, 0.864188f,
                              0.951056f, 0.955423f, 1.0f};
  for (int i = 0; i < mdl_format::kNormalCount; ++i) {
    const float x = NormalTable[i][0];
    const float y = NormalTable[i][1];
    const float z = NormalTable[i][2];
    EXPECT_NEAR(std::sqrt(double{x} * x + double{y} * y + double{z} * z), 1.0, 2e-6) << i;
    for (float component : {x, y, z}) {
      EXPECT_NE(std::find(std::begin(magnitudes), std::end(magnitudes), std::fabs(component)),
                std::end(magnitudes))
          << "entry " << i << " component " << component;
    }
    // 0.0f and -0.0f compare equal, so a sign change of a zero finds the entry.
    for (int signs = 0; signs < 8; ++signs) {
      const float sx = (signs & 1) ? -x : x;
      const float sy = (signs & 2) ? -y : y;
      const float sz = (signs & 4) ? -z : z;
      EXPECT_GE(find(sx, sy, sz), 0) << "signs " << signs << " of entry " << i;
    }
    EXPECT_GE(find(y, z, x), 0) << "cycle of entry " << i;
    EXPECT_GE(find(z, x, y), 0) << "cycle of entry " << i;
    EXPECT_EQ(find(x, y, z), i) << "entry " << i << " appears twice";
  }
}

// --- Quake palette --------------------------------------------------------------

// DarkPlaces carries Quake's palette in its program, for games that ship no
// gfx/palette.lmp of their own: the game's colours, written down by other
// hands than ours. Entries 0 to 254 must be those. Entry 255 is ours alone:
// pure green, where the game has 9F5B53; no colour is ever matched to it.
TEST(QuakePalette, EntriesUpTo254AreTheGamesAsDarkPlacesCarriesThem) {
  std::string engine;
  for (const char* path : {"/usr/games/darkplaces-server", "/usr/bin/darkplaces-server"}) {
    if (std::FILE* file = std::fopen(path, "rb")) {
      std::fclose(file);
      engine = path;
      break;
    }
  }
  if (engine.empty())
    GTEST_SKIP() << "darkplaces-server is not installed (scripts/setup.sh installs it)";
  std::vector<uint8_t> program;
  ASSERT_TRUE(vandrell::ReadFileBytes(engine, &program, nullptr)) << engine;

  // The engine's table starts with black and the first steps of the grey
  // ramp; of every place these stand, the one that agrees longest is it.
  const uint8_t start[] = {0x00, 0x00, 0x00, 0x0F, 0x0F, 0x0F, 0x1F, 0x1F, 0x1F, 0x2F, 0x2F, 0x2F};
  const size_t table_bytes = 3 * vandrell::kPaletteSize;
  size_t best = 0;
  int best_agreeing = -1;
  for (auto at = program.begin();
       (at = std::search(at, program.end(), std::begin(start), std::end(start))) != program.end();
       ++at) {
    const size_t offset = static_cast<size_t>(at - program.begin());
    if (program.size() - offset < table_bytes) break;
    int agreeing = 0;
    for (int k = 0; k < 255; ++k)
      agreeing +=
          std::equal(kQuakePaletteRgb[k], kQuakePaletteRgb[k] + 3, &program[offset + 3 * k]);
    if (agreeing > best_agreeing) {
      best_agreeing = agreeing;
      best = offset;
    }
  }
  ASSERT_GE(best_agreeing, 0) << engine << " holds no palette starting 000000 0F0F0F 1F1F1F";
  for (int k = 0; k < 255; ++k) {
    const uint8_t* game = &program[best + 3 * k];
    EXPECT_TRUE(std::equal(kQuakePaletteRgb[k], kQuakePaletteRgb[k] + 3, game))
        << "entry " << k << ": ours " << int{kQuakePaletteRgb[k][0]} << ","
        << int{kQuakePaletteRgb[k][1]} << "," << int{kQuakePaletteRgb[k][2]} << ", the game's "
        << int{game[0]} << "," << int{game[1]} << "," << int{game[2]};
  }
  EXPECT_EQ((std::vector<int>{kQuakePaletteRgb[255][0], kQuakePaletteRgb[255][1],
                              kQuakePaletteRgb[255][2]}),
            (std::vector<int>{0x00, 0xFF, 0x00}));
  EXPECT_EQ(vandrell::kPaletteSizeWithoutFullbright, 224);
}

// --- Clips from frame names ---------------------------------------------------

TEST(FrameNameClips, ConsecutiveFramesSharingTheTextBeforeTrailingDigitsFormAClip) {
  const std::vector<vandrell::FrameRun> runs =
      vandrell::ClipsFromFrameNames({"stand1", "stand2", "stand10", "run1", "run2", "stand11",
                                     "pain", "pain3", "frame 1", "frame 2", "", "42", "Run1"});
  const std::vector<std::pair<std::string, size_t>> expected = {
      {"stand", 3}, {"run", 2}, {"stand", 1}, {"pain", 2}, {"frame", 4}, {"Run", 1}};
  ASSERT_EQ(runs.size(), expected.size());
  size_t first = 0;
  for (size_t r = 0; r < runs.size(); ++r) {
    EXPECT_EQ(runs[r].name, expected[r].first) << r;
    EXPECT_EQ(runs[r].count, expected[r].second) << r;
    EXPECT_EQ(runs[r].first, first) << r;
    first += runs[r].count;
  }
}

}  // namespace
