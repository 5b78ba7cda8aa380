#pragma once
// What a scene holds when it holds no triangle to export, in words that end
// a sentence about the file: "holds an animation but no mesh", "holds only
// lines". Assimp gives a file of bones and motion alone (BVH, an MD5
// animation), and any other file without a mesh, a mesh of its own making:
// pyramids along the bones or nodes, with a material named
// "SkeletonMaterial". That mesh is no mesh of the file's.

#include <string>

struct aiScene;

namespace hostapp {

// Empty when the scene has a triangle of the file's own.
std::string MeshlessContents(const aiScene* scene);

// True for the mesh Assimp makes of a skeleton (see above).
bool IsSkeletonStandIn(const aiScene* scene, unsigned mesh);

}  // namespace hostapp
