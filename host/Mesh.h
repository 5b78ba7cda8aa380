#pragma once
#include <cstdint>
#include <vector>

#include "host/Geometry.h"

namespace host {

// One triangle: three indices into Mesh::vertices, in the mesh's winding
// order, and the face's material index (which sub-material of a
// multi-material it uses).
struct MeshFace {
  uint32_t v[3] = {0, 0, 0};
  uint16_t material_index = 0;
};

// The mapping of one triangle: three indices into Mesh::texture_vertices,
// corner for corner with the MeshFace of the same number.
struct TextureFace {
  uint32_t t[3] = {0, 0, 0};
};

// A triangle mesh. The exporter reads the arrays directly. A mesh without
// mapping coordinates has empty texture_vertices and texture_faces.
class Mesh {
 public:
  std::vector<Point3> vertices;
  std::vector<MeshFace> faces;
  // (u, v, w) per texture vertex; v points up in the texture.
  std::vector<Point3> texture_vertices;
  std::vector<TextureFace> texture_faces;
  // One unit normal per face, valid after buildNormals().
  std::vector<Point3> face_normals;

  int getNumFaces() const { return static_cast<int>(faces.size()); }
  int getNumVerts() const { return static_cast<int>(vertices.size()); }
  int getNumTVerts() const { return static_cast<int>(texture_vertices.size()); }

  // Fills face_normals: the normalised (v1 - v0) x (v2 - v0) of every face; a
  // face without area, or one naming a vertex that does not exist, gets the
  // zero vector.
  void buildNormals();
  // The material index of face f; 0 for an f outside the faces.
  uint16_t getFaceMtlIndex(int f) const;
};

}  // namespace host
