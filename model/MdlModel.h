#pragma once
#include <cstdint>
#include <cstdio>

#include "host/Geometry.h"

namespace vandrell {

// One vertex of one frame.
struct FrameVertex {
  int32_t s;         // skin column
  int32_t t;         // skin row
  uint8_t packed_x;  // quantised position, written by Quantize
  uint8_t packed_y;
  uint8_t packed_z;
  uint8_t normal_index;  // index into NormalTable
  float x;               // position after the node transform, the quarter turn
  float y;               // and the model scale, before packing
  float z;
};

// Three indices into one frame's vertices, in winding order.
struct TriangleIndices {
  int32_t v[3];
};

// One triangle as frame sampling hands it to AddTriangle.
struct TriangleInput {
  host::Point3 a;  // corners, transformed and turned, before the model scale
  int32_t s_a;
  int32_t t_a;
  host::Point3 b;
  int32_t s_b;
  int32_t t_b;
  host::Point3 c;
  int32_t s_c;
  int32_t t_c;
  host::Point3 face_normal;  // the mesh's face normal, transformed as a direction; any length
};

// The model one export builds and writes: the MDL header fields in file order,
// the skin, and the frame buffers. Frames are built and changed in the work
// arrays (one frame) and kept in the frame store (every frame back to back);
// LoadFrame and StoreFrame move one frame between them.
class MdlModel {
 public:
  MdlModel();
  ~MdlModel();
  MdlModel(const MdlModel&) = delete;
  MdlModel& operator=(const MdlModel&) = delete;

  // Back to the constructed state, buffers released; synctype and flags, which
  // the options dialog has just set, are kept.
  void Reset();

  // Sizes the buffers for face_count faces a frame, frame_count frames (the
  // settings' frame_count) and a skin of the settings' skin_byte_budget bytes,
  // all zero-filled. skinwidth and skinheight become 128 and budget / 128,
  // placeholders until the skin's layout sets the real size. Returns 1, or 0
  // (with no buffer changed) when a count does not fit a signed 32-bit number
  // or memory runs out. Buffers of an earlier call are released first.
  int Allocate(int32_t face_count);
  // Copies frame f of the store over the work arrays, whole capacity.
  void LoadFrame(int32_t f);
  // Copies the work arrays into frame f of the store; numframes grows to f + 1.
  void StoreFrame(int32_t f);

  // Writes work vertices 3k .. 3k + 2 and work triangle k.
  void AddTriangle(int32_t k, const TriangleInput& input);
  // The same into frame f of the store instead, for frame sampling: a frame
  // written there needs no pass through the work arrays, whose copy the next
  // frame would overwrite unread. Counts the frame as StoreFrame does once
  // its last triangle is in (CountStoredFrame).
  void AddTriangleToStore(int32_t f, int32_t k, const TriangleInput& input);
  // numframes grows to f + 1, as StoreFrame(f) does, for a frame written
  // into the store in place.
  void CountStoredFrame(int32_t f);
  // Sets scale, scale_origin and the packed bytes from the float positions of
  // every frame, and raises bounding_radius.
  void Quantize();
  // With Gouraud shading on, gives the vertices at one packed position one
  // averaged normal index, frame by frame.
  void SmoothNormals();
  // Removes every vertex identical in every frame to a lower-numbered one.
  void MergeVertices();
  int VerticesEqual(int32_t i, int32_t j) const;
  int RemoveVertex(int32_t removed, int32_t kept);

  // The sections of the file; each returns 1, or 0 at the first short write.
  int WriteHeader(FILE* stream) const;
  int WriteSkin(FILE* stream) const;
  int WriteSkinVertices(FILE* stream) const;
  int WriteTriangles(FILE* stream) const;
  int WriteFrames(FILE* stream);

  // Header, in file order.
  uint32_t ident;
  int32_t version;
  float scale[3];
  float scale_origin[3];
  float bounding_radius;
  float eye_position[3];
  int32_t numskins;
  int32_t skinwidth;
  int32_t skinheight;
  int32_t numverts;
  int32_t numtris;
  int32_t numframes;
  int32_t synctype;
  int32_t flags;
  float size;

  // Buffers, owned.
  uint8_t* skin;
  int32_t skin_bytes;  // size of the skin buffer
  FrameVertex* work_vertices;
  FrameVertex* frame_vertices;
  int32_t vertex_capacity;  // records a frame in both vertex arrays
  TriangleIndices* work_triangles;
  TriangleIndices* frame_triangles;
  int32_t triangle_capacity;  // records a frame in both triangle arrays
  int32_t frame_capacity;     // frames the store holds

 private:
  void SetHeaderDefaults();
  void AddTriangleTo(FrameVertex* vertices, TriangleIndices* triangles, int32_t k,
                     const TriangleInput& input);
  void ReleaseBuffers();
};

}  // namespace vandrell
