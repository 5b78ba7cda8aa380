#include "hostapp/import/assimp/NodeMeshes.h"

#include <assimp/material.h>

#include <algorithm>
#include <cstdint>

#include "hostapp/import/textures/TextureRepeats.h"

namespace hostapp {

namespace {

// Which texture axes repeat: the file's wrap mode of the material's diffuse
// texture, repeating where the file says nothing (the default of the
// formats).
TextureRepeat RepeatOf(const aiMaterial* material) {
  TextureRepeat repeat;
  const aiTextureType type = material->GetTextureCount(aiTextureType_DIFFUSE) > 0
                                 ? aiTextureType_DIFFUSE
                                 : aiTextureType_BASE_COLOR;
  // Assimp's clamp and decal (a border outside 0 .. 1) both end at the edge.
  auto wrap = [](int mode) {
    return mode == aiTextureMapMode_Wrap     ? TextureWrap::kRepeat
           : mode == aiTextureMapMode_Mirror ? TextureWrap::kMirroredRepeat
                                             : TextureWrap::kClamp;
  };
  int mode = aiTextureMapMode_Wrap;
  if (material->Get(AI_MATKEY_MAPPINGMODE_U(type, 0), mode) == AI_SUCCESS) repeat.u = wrap(mode);
  mode = aiTextureMapMode_Wrap;
  if (material->Get(AI_MATKEY_MAPPINGMODE_V(type, 0), mode) == AI_SUCCESS) repeat.v = wrap(mode);
  return repeat;
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
