#pragma once
// Assimp's matrices and vectors as the host's.

#include <assimp/matrix4x4.h>
#include <assimp/vector3.h>

#include "host/Geometry.h"

namespace hostapp {

// Assimp's matrices act on column vectors; the host's on row vectors.
host::Matrix3 ToHost(const aiMatrix4x4& m);
host::Point3 ToPoint(const aiVector3D& v);
// Inverse of an affine transform, in double precision; a singular transform
// gives the identity.
host::Matrix3 Inverse(const host::Matrix3& m);

}  // namespace hostapp
