#pragma once
// The box the scene's triangles fill at a time, in host units and world
// axes, as the exporter samples them: every node whose object converts to a
// triangle mesh, each face corner carried by its node's transform.

#include "host/Geometry.h"
#include "hostapp/scene/StandInScene.h"

namespace hostapp {

struct SceneBox {
  bool empty = true;  // no triangle at all: low and high mean nothing
  host::Point3 low;
  host::Point3 high;

  // Width (X), depth (Y) and height (Z); zero for an empty box.
  double Width() const { return empty ? 0.0 : static_cast<double>(high.x) - low.x; }
  double Depth() const { return empty ? 0.0 : static_cast<double>(high.y) - low.y; }
  double Height() const { return empty ? 0.0 : static_cast<double>(high.z) - low.z; }
};

SceneBox MeasureScene(StandInScene& scene, HostTime t);

}  // namespace hostapp
