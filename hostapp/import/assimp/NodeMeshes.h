#pragma once
// A node's triangle meshes as one host mesh: which of the file's meshes it
// joins, and the faces and texture coordinates, which stay the same at every
// time.

#include <string>
#include <vector>

#include "hostapp/import/assimp/ImportedAnimation.h"

namespace hostapp {

// Fills node_mesh with node's meshes that hold triangles (none for a node without
// any) and material_indices with the file's materials they use, in order of
// first use: a face's material index indexes it. Lists each of the node's
// meshes, named after node_name when it has no name of its own, in mesh_lines.
void GatherNodeMesh(const aiScene* source, const aiNode* node, const std::string& node_name,
                    ImportedAnimation::NodeMesh& node_mesh, std::vector<unsigned>& material_indices,
                    std::vector<std::string>& mesh_lines);

}  // namespace hostapp
