#pragma once
// A model of the Quake family (MDL, MD2, MD3, IQM) as its file holds it, every
// frame decoded: what the import turns into the host's scene. Positions are in
// the file's own axes (X forward, Y left, Z up) and Quake units.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/Geometry.h"
#include "mdlformat/ByteCursor.h"

namespace hostapp {

// A triangle as the file lists it: its corners' indices into the surface's
// vertices and into its texture vertices. The games draw a triangle whose
// corners run clockwise, seen from its front.
struct QuakeTriangle {
  uint32_t vertex[3] = {0, 0, 0};
  uint32_t texture_vertex[3] = {0, 0, 0};
};

// One triangle mesh with a texture: MDL and MD2 files hold one, an MD3 file
// one per surface.
struct QuakeSurface {
  std::string name;     // MD3: the surface's name; empty for MDL and MD2
  std::string texture;  // the skin or shader name as written in the file; empty when none
  size_t vertex_count = 0;
  // Vertex v of frame f at f x vertex_count + v.
  std::vector<host::Point3> positions;
  // (u, v, 0), u to the right and v up the texture, 0 .. 1 across it.
  std::vector<host::Point3> texture_vertices;
  std::vector<QuakeTriangle> triangles;
};

// An MD3 tag: a place and a turn per frame, in the model's own space, where
// another model is attached. Rows 0 to 2 of a frame's matrix are the tag's
// forward, left and up axes, row 3 its origin, so that a point of the attached
// model times the matrix is the point in this model's space.
struct QuakeTag {
  std::string name;
  std::vector<host::Matrix3> frames;
};

// An MDL file's own skin: palette indices, row by row, top row first.
struct QuakeSkin {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

// A clip the file names itself (an IQM animation): count frames from first.
struct QuakeModelClip {
  std::string name;
  size_t first = 0;
  size_t count = 0;
};

struct QuakeModel {
  std::string format;                    // "MDL", "MD2", "MD3" or "IQM"
  size_t frame_count = 0;                // at least 1
  std::vector<std::string> frame_names;  // one a frame, as written
  // The clips the file names, in its order; empty when its clips are the
  // runs of its frame names (MDL, MD2, MD3).
  std::vector<QuakeModelClip> clips;
  // IQM: the frames of motion the file stores, even with no joints or
  // meshes to pose.
  size_t animation_frames = 0;
  std::vector<QuakeSurface> surfaces;
  std::vector<QuakeTag> tags;
  QuakeSkin skin;  // MDL only; empty otherwise
  // What was odd but read as the games read it, one sentence each.
  std::vector<std::string> notes;
};

// The readers of each format, for ReadQuakeModel; each expects its own
// format's bytes and checks them.
bool ReadMd2(const uint8_t* data, size_t size, QuakeModel* model, std::string* error);
bool ReadMd3(const uint8_t* data, size_t size, QuakeModel* model, std::string* error);
bool ReadMdlModel(const uint8_t* data, size_t size, QuakeModel* model, std::string* error);

// How a reader gives up, with the reason in *error: the cursor's message
// when the bytes ran out or a section lies outside the file (FromCursor), or
// a reason of the reader's own (Refuse). Both return false.
class ReaderFailure {
 public:
  ReaderFailure(const vandrell::ByteCursor& in, std::string* error) : in_(in), error_(error) {}
  bool FromCursor() const {
    *error_ = in_.error();
    return false;
  }
  bool Refuse(const std::string& reason) const {
    *error_ = reason;
    return false;
  }

 private:
  const vandrell::ByteCursor& in_;
  std::string* error_;
};

// What the readers share. SeekSection moves the cursor to count records of
// record_size bytes at base + offset, all of which must lie in the file;
// otherwise the cursor fails, naming what. CheckHeader makes sure the
// header_size bytes of a header are there and that it starts with ident and
// version; otherwise false with the reason in *error.
bool SeekSection(vandrell::ByteCursor& in, uint64_t base, int64_t offset, uint64_t count,
                 uint64_t record_size, const std::string& what);
bool CheckHeader(vandrell::ByteCursor& in, size_t header_size, const char* format,
                 const char* ident, int32_t version, std::string* error);

// The format a file's first bytes name: "MDL" ("IDPO"), "MD2" ("IDP2"),
// "MD3" ("IDP3"), "IQM" ("INTERQUAKEMODEL"), or empty.
std::string QuakeFormatOf(const uint8_t* data, size_t size);

// Reads a whole MDL, MD2, MD3 or IQM file, the format chosen by its first bytes.
// False with the reason in *error, which names no file, when the bytes are
// no model of the family or are damaged in a way no game could load.
bool ReadQuakeModel(const uint8_t* data, size_t size, QuakeModel* model, std::string* error);

// The same for a file; an unreadable file is an error too.
bool ReadQuakeModelFile(const std::string& path, QuakeModel* model, std::string* error);

}  // namespace hostapp
