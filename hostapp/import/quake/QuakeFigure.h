#pragma once
// A Quake-family model, or a Quake III player of three models hung from one
// another's tags, as the stand-in scene's callbacks evaluate it at any time:
// the chosen clips' poses play one after another, a tenth of a second apart
// (the rate Quake plays its models at), and times in between lie linearly
// between two poses.

#include <cstddef>
#include <string>
#include <vector>

#include "host/Mesh.h"
#include "host/Timing.h"
#include "hostapp/import/quake/QuakeModel.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

// Poses are a tenth of a second apart: 480 host ticks.
constexpr int kQuakePoseTicks = host::kTicksPerSecond / 10;

// One pose of the figure: the frame each part shows.
using QuakePose = std::vector<size_t>;

// A named run of poses.
struct QuakeClip {
  std::string name;
  std::vector<QuakePose> poses;
};

class QuakeFigure {
 public:
  struct Part {
    std::string name;  // the model's file name without its extension: "faerie", "upper"
    std::string path;  // the file it was read from
    QuakeModel model;
    int parent = -1;        // the part whose tag it hangs from; -1 for the root
    size_t parent_tag = 0;  // that tag's index among the parent's tags
  };
  // The faces and texture coordinates of a surface, the same at every time,
  // corners in the host's order.
  struct SurfaceMesh {
    std::vector<host::MeshFace> faces;
    std::vector<host::Point3> texture_vertices;
    std::vector<host::TextureFace> texture_faces;
  };

  std::vector<Part> parts;          // a parent before the parts that hang from it
  std::vector<QuakePose> timeline;  // the poses played, from time 0 on; at least one
  host::Matrix3 to_host;            // the file's axes and unit to the host's

  // Works out every surface's faces; call once the parts are in place.
  void PrepareMeshes();
  // Part p's transform relative to its parent at t: for the root the turn to
  // the host, for any other part its parent's tag.
  host::Matrix3 PartTransform(size_t p, HostTime t) const;
  // Surface s of part p at t, in the part's own space.
  void FillMesh(size_t p, size_t s, HostTime t, host::Mesh& out) const;
  // The time of the last pose.
  HostTime End() const;

 private:
  // The poses t lies between, and how far from the first to the second.
  struct Between {
    size_t from = 0;
    size_t to = 0;
    float f = 0.0f;
  };
  Between At(HostTime t) const;

  std::vector<std::vector<SurfaceMesh>> meshes_;
};

}  // namespace hostapp
