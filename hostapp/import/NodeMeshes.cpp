#include "hostapp/import/NodeMeshes.h"

#include <assimp/material.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace hostapp {

namespace {

// Which texture axes repeat beyond 0 .. 1: the file's wrap mode of the
// material's diffuse texture, repeating where the file says nothing (the
// default of the formats).
struct TextureRepeat {
  bool u = true;
  bool v = true;
};

TextureRepeat RepeatOf(const aiMaterial* material) {
  TextureRepeat repeat;
  const aiTextureType type = material->GetTextureCount(aiTextureType_DIFFUSE) > 0
                                 ? aiTextureType_DIFFUSE
                                 : aiTextureType_BASE_COLOR;
  int mode = aiTextureMapMode_Wrap;
  if (material->Get(AI_MATKEY_MAPPINGMODE_U(type, 0), mode) == AI_SUCCESS)
    repeat.u = mode == aiTextureMapMode_Wrap;
  mode = aiTextureMapMode_Wrap;
  if (material->Get(AI_MATKEY_MAPPINGMODE_V(type, 0), mode) == AI_SUCCESS)
    repeat.v = mode == aiTextureMapMode_Wrap;
  return repeat;
}

// The exporter limits texture coordinates to 0 .. 1 instead of repeating
// them, so a face that lies within one repeat of a repeating texture (a tiled
// floor, a box mapped at 5 .. 6) is moved by whole repeats into the first,
// axis by axis. A face that spans more than one repeat stays as it is.
// Returns whether any corner moved.
bool MoveIntoFirstRepeat(const TextureRepeat& repeat, host::Point3 corners[3]) {
  bool moved = false;
  for (int axis = 0; axis < 2; ++axis) {
    if (!(axis == 0 ? repeat.u : repeat.v)) continue;
    const double low = std::min({corners[0][axis], corners[1][axis], corners[2][axis]});
    const double high = std::max({corners[0][axis], corners[1][axis], corners[2][axis]});
    const double whole = std::floor(low);
    if (!std::isfinite(whole) || whole == 0.0 || high - whole > 1.0) continue;
    for (int c = 0; c < 3; ++c) corners[c][axis] = static_cast<float>(corners[c][axis] - whole);
    moved = true;
  }
  return moved;
}

}  // namespace

void GatherNodeMesh(const aiScene* source, const aiNode* node, const std::string& node_name,
                    ImportedAnimation::NodeMesh& node_mesh, std::vector<unsigned>& material_indices,
                    std::vector<std::string>& mesh_lines) {
  bool any_uvs = false;
  for (unsigned n = 0; n < node->mNumMeshes; ++n) {
    const unsigned m = node->mMeshes[n];
    if (m >= source->mNumMeshes) continue;
    const aiMesh* mesh = source->mMeshes[m];
    unsigned triangles = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) triangles += mesh->mFaces[f].mNumIndices == 3;
    mesh_lines.push_back(
        std::string(mesh->mName.length ? mesh->mName.C_Str() : node_name) + ": " +
        std::to_string(triangles) + " triangles, " + std::to_string(mesh->mNumVertices) +
        " vertices" + (mesh->HasTextureCoords(0) ? "" : ", no UVs") +
        (mesh->mNumBones ? ", " + std::to_string(mesh->mNumBones) + " bones" : "") +
        (mesh->mNumAnimMeshes ? ", " + std::to_string(mesh->mNumAnimMeshes) + " morph targets"
                              : ""));
    if (triangles == 0) continue;
    node_mesh.meshes.push_back(m);
    any_uvs = any_uvs || mesh->HasTextureCoords(0);
    if (std::find(material_indices.begin(), material_indices.end(), mesh->mMaterialIndex) ==
        material_indices.end())
      material_indices.push_back(mesh->mMaterialIndex);
  }
  if (node_mesh.meshes.empty()) return;

  uint32_t base = 0;
  // When some of the node's meshes have coordinates and others not, the
  // corners of those without map to texture vertex 0, (0, 0, 0).
  const uint32_t unmapped = 0;
  if (any_uvs) node_mesh.texture_vertices.push_back({0, 0, 0});
  for (unsigned m : node_mesh.meshes) {
    const aiMesh* mesh = source->mMeshes[m];
    const uint16_t material_index = static_cast<uint16_t>(
        std::find(material_indices.begin(), material_indices.end(), mesh->mMaterialIndex) -
        material_indices.begin());
    const uint32_t texture_base = static_cast<uint32_t>(node_mesh.texture_vertices.size());
    const bool uvs = mesh->HasTextureCoords(0);
    if (uvs)
      for (unsigned v = 0; v < mesh->mNumVertices; ++v)
        node_mesh.texture_vertices.push_back(
            {mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y, 0.0f});
    const TextureRepeat repeat = RepeatOf(source->mMaterials[mesh->mMaterialIndex]);
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
      const aiFace& face = mesh->mFaces[f];
      if (face.mNumIndices != 3) continue;
      host::MeshFace out;
      host::TextureFace texture_face;
      for (int c = 0; c < 3; ++c) {
        out.v[c] = base + face.mIndices[c];
        texture_face.t[c] = uvs ? texture_base + face.mIndices[c] : unmapped;
      }
      out.material_index = material_index;
      node_mesh.faces.push_back(out);
      if (uvs) {
        host::Point3 corners[3];
        for (int c = 0; c < 3; ++c) corners[c] = node_mesh.texture_vertices[texture_face.t[c]];
        // A face of a repeating texture that lies beyond the first repeat
        // gets corners of its own, moved back into it.
        if (MoveIntoFirstRepeat(repeat, corners)) {
          for (int c = 0; c < 3; ++c) {
            texture_face.t[c] = static_cast<uint32_t>(node_mesh.texture_vertices.size());
            node_mesh.texture_vertices.push_back(corners[c]);
          }
        }
      }
      if (any_uvs) node_mesh.texture_faces.push_back(texture_face);
    }
    base += mesh->mNumVertices;
  }
}

}  // namespace hostapp
