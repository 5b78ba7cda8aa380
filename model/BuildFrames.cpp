// Frame sampling: every collected node's mesh at every sampled time becomes
// one frame of triangles, then the model-wide passes finish the model.
#include "model/BuildFrames.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "export/ExportSettings.h"
#include "host/Geometry.h"
#include "host/Mesh.h"
#include "host/Timing.h"
#include "model/FinishFrames.h"
#include "model/FrameWalk.h"
#include "model/Quantize.h"
#include "scene/MaterialTable.h"
#include "scene/SceneCollector.h"

namespace vandrell {

namespace {

// A quarter turn, formed in single precision (1.5707964 radians): with the
// host's sense of RotateZ it brings the host's front (-Y) to the +X that
// Quake models face.
constexpr float kQuarterTurn = 3.14159265358979f * 0.5f;

// Texture vertex (u, v, w) of corner c of face f. A mesh without mapping
// coordinates, or an index past its texture vertices, gives (0, 0, 0).
host::Point3 TextureVertex(const host::Mesh& mesh, int f, int c) {
  const size_t face = static_cast<size_t>(f);
  if (face >= mesh.texture_faces.size()) return host::Point3();
  const uint32_t index = mesh.texture_faces[face].t[c];
  if (index >= mesh.texture_vertices.size()) return host::Point3();
  return mesh.texture_vertices[index];
}

// False, with points unchanged, when memory runs out.
bool Resize(std::vector<host::Point3>& points, size_t count) {
  try {
    points.resize(count);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// The skin coordinates of one corner as last mapped, with what they were
// mapped from. Mapping is a function of these inputs alone (the material
// table does not change while frames are sampled), so a corner whose inputs
// are the same bits as in the frame before keeps its coordinates.
struct MappedCorner {
  bool known = false;
  host::HostMaterial* material = nullptr;
  uint32_t material_index = 0;
  float texture_vertex[3] = {0.0f, 0.0f, 0.0f};
  int32_t s = 0;
  int32_t t = 0;
};

// Everything the skin coordinates of one node's corners are mapped from, as
// it was when they were last mapped: when a frame brings the same bits, every
// corner's memo holds its coordinates and no corner needs looking at.
struct MappingInputs {
  bool known = false;
  host::HostMaterial* material = nullptr;
  int64_t first_triangle = 0;
  std::vector<uint16_t> material_indices;
  std::vector<host::TextureFace> texture_faces;
  std::vector<host::Point3> texture_vertices;

  bool SameAs(host::HostMaterial* node_material, const host::Mesh& mesh, int64_t k) const {
    if (!known || material != node_material || first_triangle != k ||
        material_indices.size() != mesh.faces.size() ||
        texture_faces.size() != mesh.texture_faces.size() ||
        texture_vertices.size() != mesh.texture_vertices.size()) {
      return false;
    }
    static_assert(sizeof(host::TextureFace) == 3 * sizeof(uint32_t) &&
                      sizeof(host::Point3) == 3 * sizeof(float),
                  "compared as bytes: no padding");
    if (!texture_faces.empty() &&
        std::memcmp(texture_faces.data(), mesh.texture_faces.data(),
                    texture_faces.size() * sizeof(host::TextureFace)) != 0) {
      return false;
    }
    if (!texture_vertices.empty() &&
        std::memcmp(texture_vertices.data(), mesh.texture_vertices.data(),
                    texture_vertices.size() * sizeof(host::Point3)) != 0) {
      return false;
    }
    for (size_t f = 0; f < material_indices.size(); ++f) {
      if (material_indices[f] != mesh.getFaceMtlIndex(static_cast<int>(f))) return false;
    }
    return true;
  }

  // False, with the inputs forgotten, when memory runs out.
  bool Remember(host::HostMaterial* node_material, const host::Mesh& mesh, int64_t k) {
    known = false;
    try {
      material_indices.resize(mesh.faces.size());
      for (size_t f = 0; f < material_indices.size(); ++f) {
        material_indices[f] = mesh.getFaceMtlIndex(static_cast<int>(f));
      }
      texture_faces = mesh.texture_faces;
      texture_vertices = mesh.texture_vertices;
    } catch (const std::bad_alloc&) {
      return false;
    }
    material = node_material;
    first_triangle = k;
    known = true;
    return true;
  }
};

// Scratch space kept from frame to frame: the turned vertices of the mesh
// being sampled, and the mapped corners of the whole frame by corner number
// (empty when memory ran out: every corner is then mapped afresh).
struct SamplingScratch {
  std::vector<host::Point3> turned;
  std::vector<host::Point3> turned_normals;
  std::vector<MappedCorner> mapped;
  std::vector<MappingInputs> nodes;  // by node, what its corners were last mapped from
};

void MapCorner(const MaterialTable& table, host::HostMaterial* material, uint32_t material_index,
               const float texture_vertex[3], MappedCorner* memo, int32_t& s, int32_t& t) {
  if (memo && memo->known && memo->material == material && memo->material_index == material_index &&
      std::memcmp(memo->texture_vertex, texture_vertex, sizeof memo->texture_vertex) == 0) {
    s = memo->s;
    t = memo->t;
    return;
  }
  table.MapTextureCoordinate(material, material_index, s, t, texture_vertex);
  if (memo) {
    memo->known = true;
    memo->material = material;
    memo->material_index = material_index;
    std::memcpy(memo->texture_vertex, texture_vertex, sizeof memo->texture_vertex);
    memo->s = s;
    memo->t = t;
  }
}

host::Point3 FaceNormal(const host::Mesh& mesh, int f) {
  const size_t face = static_cast<size_t>(f);
  return face < mesh.face_normals.size() ? mesh.face_normals[face] : host::Point3();
}

// Adds node j's faces at time t to frame i from triangle k on, in the store
// or, when in_work_arrays, in the work arrays; k advances by the node's face
// count. A corner's vertex index past the mesh's
// vertices gives the object's origin rather than a read outside the mesh.
// Returns 0, with nothing
// written, when the node has no mesh at t or its faces would not fit the
// arrays.
int SampleNode(MdlModel& model, SceneCollector& collector, int j, host::HostTime t,
               const host::Matrix3& turn, SamplingScratch& scratch, int32_t i, bool in_work_arrays,
               int64_t& k) {
  host::Mesh* mesh = collector.NodeMeshAt(j, t);
  if (!mesh) return 0;
  const int face_count = mesh->getNumFaces();
  if (k + face_count > model.triangle_capacity) return 0;

  host::HostMaterial* material = collector.NodeMaterial(j);
  host::Matrix3 transform;
  collector.NodeTransform(&transform, j, t);
  // Normals turn with the node but do not move with it.
  host::Matrix3 direction_transform;
  collector.NodeTransform(&direction_transform, j, t);
  direction_transform.NoTrans();
  mesh->buildNormals();

  // Each vertex through the transform and the turn once, not once per corner
  // naming it: the same point through the same matrices gives the same bits.
  // Without room for that, every corner is turned on its own.
  const std::vector<host::Point3>& vertices = mesh->vertices;
  std::vector<host::Point3>& turned = scratch.turned;
  const bool all_turned = Resize(turned, vertices.size());
  if (all_turned) {
    host::TransformPoints(vertices.data(), vertices.size(), transform, turn, turned.data());
  }
  const host::Point3 turned_origin = (host::Point3() * transform) * turn;
  const std::vector<host::Point3>& normals = mesh->face_normals;
  std::vector<host::Point3>& turned_normals = scratch.turned_normals;
  const bool normals_turned = Resize(turned_normals, normals.size());
  if (normals_turned) {
    host::TransformPoints(normals.data(), normals.size(), direction_transform, turn,
                          turned_normals.data());
  }

  const MaterialTable& table = *collector.material_table;
  // The memos are complete only when every corner of the node has one.
  MappingInputs* inputs = static_cast<size_t>(j) < scratch.nodes.size() &&
                                  static_cast<size_t>(3 * (k + face_count)) <= scratch.mapped.size()
                              ? &scratch.nodes[static_cast<size_t>(j)]
                              : nullptr;
  const bool mapped_before = inputs && inputs->SameAs(material, *mesh, k);
  for (int f = 0; f < face_count; ++f) {
    int32_t s[3];
    int32_t row[3];
    host::Point3 corner[3];
    for (int c = 0; c < 3 && mapped_before; ++c) {
      const MappedCorner& memo =
          scratch.mapped[3 * static_cast<size_t>(k) + static_cast<size_t>(c)];
      s[c] = memo.s;
      row[c] = memo.t;
    }
    const uint32_t material_index = mapped_before ? 0 : mesh->getFaceMtlIndex(f);
    for (int c = 0; c < 3 && !mapped_before; ++c) {
      const host::Point3 uvw = TextureVertex(*mesh, f, c);
      const float texture_vertex[3] = {uvw.x, uvw.y, uvw.z};
      const size_t corner_number = 3 * static_cast<size_t>(k) + static_cast<size_t>(c);
      MappedCorner* memo =
          corner_number < scratch.mapped.size() ? &scratch.mapped[corner_number] : nullptr;
      MapCorner(table, material, material_index, texture_vertex, memo, s[c], row[c]);
    }
    for (int c = 0; c < 3; ++c) {
      const uint32_t index = mesh->faces[static_cast<size_t>(f)].v[c];
      if (index >= vertices.size()) {
        corner[c] = turned_origin;
      } else {
        corner[c] = all_turned ? turned[index] : (vertices[index] * transform) * turn;
      }
    }
    const host::Point3 normal = normals_turned && static_cast<size_t>(f) < turned_normals.size()
                                    ? turned_normals[static_cast<size_t>(f)]
                                    : (FaceNormal(*mesh, f) * direction_transform) * turn;

    // Corners 0, 2, 1: with the winding test in AddTriangle a face that agrees
    // with its normal is stored clockwise seen from that side.
    const TriangleInput input{corner[0], s[0],      row[0], corner[2], s[2],
                              row[2],    corner[1], s[1],   row[1],    normal};
    if (in_work_arrays) {
      model.AddTriangle(static_cast<int32_t>(k), input);
    } else {
      model.AddTriangleToStore(i, static_cast<int32_t>(k), input);
    }
    ++k;
  }
  if (inputs && !mapped_before) inputs->Remember(material, *mesh, k - face_count);
  return 1;
}

}  // namespace

BuildStatus BuildFrames(MdlModel& model, SceneCollector& collector) {
  const int32_t frames_in_range =
      host::FramesInRange(collector.start_time, collector.end_time, collector.ticks_per_frame);
  if (g_export_settings.frame_count > frames_in_range) {
    g_export_settings.frame_count = frames_in_range;
  }

  // The face count of the meshes converted at collection sizes every frame.
  const int32_t face_total = collector.TotalFaceCount();
  if (!model.Allocate(face_total)) return BuildStatus::kTooLarge;
  if (!collector.material_table->BuildSkin(model.skin, g_export_settings.skin_byte_budget,
                                           &model.skinwidth, &model.skinheight)) {
    return BuildStatus::kSkinBudgetTooSmall;
  }

  host::Matrix3 turn;
  turn.IdentityMatrix();
  turn.RotateZ(kQuarterTurn);

  // One triangle list serves every frame, so a frame with another face count
  // cannot be written faithfully: the build stops before that frame is stored.
  SamplingScratch scratch;
  try {
    scratch.mapped.resize(3 * static_cast<size_t>(face_total));
    scratch.nodes.resize(static_cast<size_t>(collector.node_count > 0 ? collector.node_count : 0));
  } catch (const std::bad_alloc&) {
    scratch.mapped.clear();
    scratch.nodes.clear();
  }
  // Every frame but the last is written straight into the store: its copy in
  // the work arrays would be overwritten unread by the next frame. The last
  // goes through the work arrays, which the passes expect to hold it.
  int32_t last_in_store = -1;
  // The bounds for quantisation, taken from each frame while it is at hand.
  PositionBounds bounds;
  int32_t frames_bounded = 0;
  for (int32_t i = 0; i < g_export_settings.frame_count && i < model.frame_capacity; ++i) {
    const bool last = i + 1 >= g_export_settings.frame_count || i + 1 >= model.frame_capacity;
    int64_t k = 0;
    for (int j = 0; j < collector.node_count; ++j) {
      if (!SampleNode(model, collector, j, collector.FrameTime(i), turn, scratch, i, last, k)) {
        return BuildStatus::kFaceCountChanged;
      }
    }
    if (k != face_total) return BuildStatus::kFaceCountChanged;
    const FrameVertex* built =
        last ? model.work_vertices
             : model.frame_vertices + static_cast<size_t>(i) * model.vertex_capacity;
    WidenBounds(bounds, built, model.vertex_capacity);
    ++frames_bounded;
    if (last) {
      model.StoreFrame(i);
      last_in_store = -1;
    } else {
      model.CountStoredFrame(i);
      last_in_store = i;
    }
  }
  // Only if the frame count changed while sampling was the final frame
  // written in the store alone.
  if (last_in_store >= 0) model.LoadFrame(last_in_store);

  // The bounds cover every vertex of every frame, which the passes measure
  // too unless counts left from an earlier build say otherwise.
  if (frames_bounded == FramesInUse(model) && model.vertex_capacity == VerticesInUse(model)) {
    FinishFrames(model, bounds);
  } else {
    model.Quantize();
    model.SmoothNormals();
    model.MergeVertices();
  }
  return BuildStatus::kBuilt;
}

}  // namespace vandrell
