#pragma once
// The on-disk layout of a Quake MDL model, version 6, shared by the reader and
// the exporter's writer. Every value is little-endian: an int32 is
// two's-complement, a float IEEE 754 single precision, a byte unsigned. The
// sections follow one another without padding: header, skins, skin vertices,
// triangles, frames.

#include <cstdint>

namespace vandrell {
namespace mdl_format {

// "IDPO": the magic bytes at offset 0; read as a little-endian int32 they are
// 0x4F504449.
constexpr uint8_t kMagic[4] = {0x49, 0x44, 0x50, 0x4F};
constexpr uint32_t kIdent = 0x4F504449;
constexpr int32_t kVersion = 6;

// Header: 84 bytes, offsets of its fifteen fields.
constexpr int32_t kHeaderSize = 84;
constexpr int32_t kIdentOffset = 0;
constexpr int32_t kVersionOffset = 4;
constexpr int32_t kScaleOffset = 8;         // float[3]
constexpr int32_t kScaleOriginOffset = 20;  // float[3]
constexpr int32_t kBoundingRadiusOffset = 32;
constexpr int32_t kEyePositionOffset = 36;  // float[3]
constexpr int32_t kNumSkinsOffset = 48;
constexpr int32_t kSkinWidthOffset = 52;
constexpr int32_t kSkinHeightOffset = 56;
constexpr int32_t kNumVertsOffset = 60;
constexpr int32_t kNumTrisOffset = 64;
constexpr int32_t kNumFramesOffset = 68;
constexpr int32_t kSyncTypeOffset = 72;
constexpr int32_t kFlagsOffset = 76;
constexpr int32_t kSizeOffset = 80;

// Effect bits of the header's flags: what the game does with a model as it
// moves (a trail behind it, or a turn in place).
constexpr int32_t kFlagRocketSmokeTrail = 1;
constexpr int32_t kFlagGrenadeSmokeTrail = 2;
constexpr int32_t kFlagGibLongBloodTrail = 4;
constexpr int32_t kFlagRotate = 8;
constexpr int32_t kFlagWizardGreenTracer = 16;
constexpr int32_t kFlagGibShortBloodTrail = 32;
constexpr int32_t kFlagHellknightYellowTracer = 64;
constexpr int32_t kFlagVorePurpleTracer = 128;

// Skin: a type word, then skinwidth x skinheight palette indices, row by row,
// top row first. Type 0 is one plain skin; type 1 a group (an int32 count,
// that many float intervals, that many pixel blocks), which this exporter
// never writes.
constexpr int32_t kSkinTypeSize = 4;
constexpr int32_t kSkinTypeSingle = 0;
constexpr int32_t kSkinTypeGroup = 1;

// Skin vertex: on-seam flag, s, t; three int32. A vertex on the seam of a
// two-sided skin carries kOnSeam; any other is 0.
constexpr int32_t kSkinVertexSize = 12;
constexpr int32_t kOnSeam = 0x20;

// Triangle: faces-front flag, then three vertex indices; four int32.
constexpr int32_t kTriangleSize = 16;

// Packed vertex: x, y, z, normal index; one byte each. A packed coordinate c
// stands for scale_origin + c x scale on its axis.
constexpr int32_t kPackedVertexSize = 4;
constexpr int32_t kNormalCount = 162;  // normal indices run 0 .. 161

// Frame: a type word (0 plain; otherwise a group: an int32 count, a box,
// that many float intervals, that many plain frames without their type word),
// then the box minimum and maximum as packed vertices (fourth byte 0), a
// 16-byte zero-padded name, and numverts packed vertices.
constexpr int32_t kFrameTypeSize = 4;
constexpr int32_t kFrameTypeSingle = 0;
constexpr int32_t kFrameNameSize = 16;
// Box minimum, box maximum and name: what precedes a frame's vertices.
constexpr int32_t kFrameBodyHeaderSize = 2 * kPackedVertexSize + kFrameNameSize;
// A plain frame before its vertices, type word included: 28 bytes.
constexpr int32_t kFrameHeaderSize = kFrameTypeSize + kFrameBodyHeaderSize;

// Size of a file with one plain skin and plain frames only, the kind this
// exporter writes; counts non-negative.
constexpr int64_t FileSize(int64_t skinwidth, int64_t skinheight, int64_t numverts, int64_t numtris,
                           int64_t numframes) {
  return kHeaderSize + kSkinTypeSize + skinwidth * skinheight + kSkinVertexSize * numverts +
         kTriangleSize * numtris + numframes * (kFrameHeaderSize + kPackedVertexSize * numverts);
}

}  // namespace mdl_format
}  // namespace vandrell
