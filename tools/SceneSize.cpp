#include "tools/SceneSize.h"

#include <cmath>
#include <cstdio>

#include "hostapp/scene/SceneBounds.h"

namespace hostapp {
namespace {

std::string Number(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::vector<std::string> UnitAndSizeLines(const ImportSummary& summary, StandInScene& scene,
                                          HostTime t) {
  std::vector<std::string> lines;
  const std::string size = Number("%.6g", summary.unit_size);
  lines.push_back("unit: " + summary.unit + ", 1 file unit = " + size +
                  (size == "1" ? " Quake unit" : " Quake units"));
  const SceneBox box = MeasureScene(scene, t);
  if (box.empty) {
    lines.push_back("size: no triangles");
  } else {
    lines.push_back("size: " + Number("%.2f", box.Width()) + " wide, " +
                    Number("%.2f", box.Depth()) + " deep, " + Number("%.2f", box.Height()) +
                    " high in Quake units, at tick " + std::to_string(t));
  }
  return lines;
}

bool ScaleForHeight(StandInScene& scene, HostTime t, double height, std::string* percent,
                    std::string* error) {
  const SceneBox box = MeasureScene(scene, t);
  if (box.empty) {
    *error = "the scene has no triangles to scale to a height";
    return false;
  }
  const double measured = box.Height();
  const double value = height / measured * 100.0;
  if (!(measured > 0.0) || !std::isfinite(value)) {
    *error = "the model is flat along Z at its first frame (height " + Number("%g", measured) +
             "), so no scale gives it a height";
    return false;
  }
  // Six significant digits put the height well within one packing step
  // (a 255th of the model's extent).
  *percent = Number("%.6g", value);
  return true;
}

}  // namespace hostapp
