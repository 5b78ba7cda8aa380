#include "hostapp/import/FileToHost.h"

#include <cmath>
#include <cstdio>

#include "hostapp/import/ImportOptions.h"

namespace hostapp {

bool IsUnitName(const std::string& name) { return name.empty() || FindUnitName(name); }

std::string UnitNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string UnitWords(double metres) {
  const struct {
    double metres;
    const char* name;
  } known[] = {{1.0, "metres"},        {0.01, "centimetres"},
               {0.001, "millimetres"}, {kMetresPerInch, "inches"},
               {0.3048, "feet"},       {1000.0, "kilometres"}};
  for (const auto& unit : known)
    if (std::fabs(metres / unit.metres - 1.0) < 1e-6) return unit.name;
  return "units of " + UnitNumber(metres) + " m";
}

FileUnit ChosenUnit(double file_metres, double applied, const std::string& description,
                    const std::string& choice) {
  FileUnit unit;
  unit.description = description;
  double metres = file_metres;
  const UnitName* named = FindUnitName(choice);
  if (named && named->metres > 0.0) {
    unit.description = UnitWords(named->metres) + " (chosen; the file: " + description + ")";
    metres = named->metres;
  }
  unit.host_units = metres / kMetresPerInch;
  unit.factor = unit.host_units / applied;
  return unit;
}

host::Matrix3 QuakeFacingToHost() {
  return host::Matrix3({0, -1, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0});
}

host::Matrix3 ScaledToHost(const host::Matrix3& to_host, double factor) {
  if (factor == 1.0) return to_host;
  const float f = static_cast<float>(factor);
  return to_host * host::Matrix3({f, 0, 0}, {0, f, 0}, {0, 0, f}, {0, 0, 0});
}

}  // namespace hostapp
