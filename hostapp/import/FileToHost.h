#pragma once
// How a file's coordinates become the host's, for both routes of the import:
// the unit the file is in, or the one the options choose, as host units (the
// host's unit is the inch, and one inch is one Quake unit: a 56-unit player is
// about 1.4 to 1.8 m tall), and the turn that makes a Quake model face the
// host's front.

#include <string>

#include "host/Geometry.h"

namespace hostapp {

constexpr double kMetresPerInch = 0.0254;

struct FileUnit {
  // For listing: the unit and where it comes from, "metres (glTF)".
  std::string description;
  // Host units per unit of the file's coordinates.
  double host_units = 1.0;
  // The factor on the coordinates as the reader hands them over (which for
  // some formats already carry part of the conversion).
  double factor = 1.0;
};

// Whether options.units may name name: empty or one of kUnitNames.
bool IsUnitName(const std::string& name);

// A length in metres in words: a common unit by its name, any other as a
// number of metres.
std::string UnitWords(double metres);
// A number as the unit's words write it (six significant digits).
std::string UnitNumber(double value);

// The unit of a file whose own unit is file_metres long and described so,
// of which the reader already applied applied metres; or the unit named by
// choice when it names one (an unknown name is taken as "file": callers
// check names with IsUnitName).
FileUnit ChosenUnit(double file_metres, double applied, const std::string& description,
                    const std::string& choice);

// Quake models face +X; this turns them to face -Y, the host's front, as
// every other model faces.
host::Matrix3 QuakeFacingToHost();

// to_host followed by a scale of factor on every axis; to_host itself when
// factor is 1.
host::Matrix3 ScaledToHost(const host::Matrix3& to_host, double factor);

}  // namespace hostapp
