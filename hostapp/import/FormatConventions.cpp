#include "hostapp/import/FormatConventions.h"

#include <cstdint>
#include <sstream>

namespace hostapp {

namespace {

// Axes as signed unit vectors: +X is (1, 0, 0).
struct Axis {
  int index = 0;
  float sign = 1;
};

Axis ParseAxis(const std::string& text) {
  Axis axis;
  size_t at = 0;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    axis.sign = text[0] == '-' ? -1.0f : 1.0f;
    at = 1;
  }
  const char name = at < text.size() ? static_cast<char>(text[at] | 0x20) : 'y';
  axis.index = name == 'x' ? 0 : name == 'y' ? 1 : 2;
  return axis;
}

host::Point3 Vector(const Axis& axis) {
  host::Point3 v;
  v[axis.index] = axis.sign;
  return v;
}

host::Point3 Cross(const host::Point3& a, const host::Point3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// A file axis where Assimp hands it over, by the row's handed_over.
Axis HandedOver(const FormatConvention& row, const Axis& file_axis) {
  std::istringstream words(row.handed_over);
  std::string word;
  for (int i = 0; i <= file_axis.index; ++i) words >> word;
  Axis axis = ParseAxis(word);
  axis.sign *= file_axis.sign;
  return axis;
}

const std::vector<FormatConvention> kConventions = {
    {"glTF", "gltf glb", "+Y", "+Z", false, "metres", "the file's own: glTF fixes them", "x y z"},
    {"FBX", "fbx", "+Y", "+Z", false, "its unit scale (centimetres without)",
     "its axis settings win", "x y z"},
    {"Collada", "dae zae", "+Y", "+Z", false, "its <unit> (metres without)", "its <up_axis> wins",
     "x y z"},
    {"DirectX", "x", "+Y", "-Z", true, "none: inches", "", "x y -z"},
    {"Blitz3D B3D", "b3d", "+Y", "+Z", true, "none: inches", "", "x y -z"},
    {"Half-Life SMD", "smd vta", "+Z", "+X", false, "none: inches", "", "x y z"},
    {"Doom 3 MD5", "md5mesh md5anim md5camera", "+Z", "+X", false, "none: inches", "", "x -z y"},
    {"3D Studio", "3ds prj", "+Z", "-Y", false, "none: inches", "", "x -z y"},
    {"Quake MDL, MD2, MD3", "mdl md2 md3", "+Z", "+X", false, "Quake units", "", "x y z"},
    // As the format's author's own model faces (Red Eclipse's players face
    // -Y, which the game turns itself: --turn 90 brings them round).
    {"Inter-Quake IQM", "iqm", "+Z", "+X", false, "Quake units", "", "x y z"},
    // Quake-family files that Assimp reads (MDC, other games' MDL) come Y-up.
    {"Quake MDC", "mdc", "+Z", "+X", false, "Quake units", "", "x -z y"},
    {"STL, 3MF, AMF", "stl 3mf amf", "+Z", "-Y", false, "none: inches", "no convention: as read",
     "x y z"},
    {"OBJ, PLY", "obj ply", "+Y", "+Z", false, "none: inches", "no convention: as read", "x y z"},
    {"any other", "", "+Y", "+Z", false, "none: inches", "as Assimp hands them over", "x y z"},
};

// Rows of the transform that takes the file's up and front, where Assimp
// hands them over, to the host's +Z and -Y.
host::Matrix3 Turn(const host::Point3& up, const host::Point3& front) {
  const host::Point3 right = Cross(up, front);
  host::Point3 rows[3];
  for (int i = 0; i < 3; ++i) rows[i] = {right[i], -front[i], up[i]};
  return host::Matrix3(rows[0], rows[1], rows[2], {0, 0, 0});
}

}  // namespace

host::Matrix3 TurnAboutUp(int degrees) {
  host::Matrix3 turn;
  for (int k = 0; k < (degrees / 90) % 4; ++k)
    turn = turn * host::Matrix3({0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, 0});
  return turn;
}

std::string TurnWords(int degrees) {
  if (degrees % 360 == 0) return "";
  return "turned " + std::to_string(degrees) +
         " degrees counter-clockwise seen from above (--turn)";
}

const std::vector<FormatConvention>& FormatConventions() { return kConventions; }

const FormatConvention& ConventionOf(const std::string& extension) {
  for (const FormatConvention& row : kConventions) {
    std::istringstream words(row.extensions);
    std::string word;
    while (words >> word)
      if (word == extension) return row;
  }
  return kConventions.back();
}

std::vector<std::string> FormatConventionLines() {
  std::vector<std::string> lines;
  auto line = [&lines](const std::string& format, const std::string& up, const std::string& front,
                       const std::string& hand, const std::string& unit, const std::string& notes) {
    auto cell = [](std::string text, size_t width) {
      return text.size() < width ? text + std::string(width - text.size(), ' ') : text + " ";
    };
    lines.push_back(cell(format, 31) + cell(up, 4) + cell(front, 7) + cell(hand, 7) +
                    (notes.empty() ? unit : cell(unit, 38) + notes));
    while (!lines.back().empty() && lines.back().back() == ' ') lines.back().pop_back();
  };
  line("format", "up", "front", "hand", "unit", "notes");
  for (const FormatConvention& row : kConventions)
    line(row.format, row.up, row.front, row.left_handed ? "left" : "right", row.unit, row.notes);
  return lines;
}

bool IsUpAxisName(const std::string& text) {
  for (const char* name : {"", "x", "y", "z", "-x", "-y", "-z"})
    if (text == name) return true;
  return false;
}

namespace {

// The file's up and front, from the table and the choice.
void UpAndFront(const FormatConvention& row, const AxesChoice& choice, Axis* up, Axis* front) {
  const Axis table_up = ParseAxis(row.up);
  *up = table_up;
  *front = ParseAxis(row.front);
  if (choice.up.empty()) return;
  *up = ParseAxis(choice.up);
  // Along the new up, the front turns with it: to the table's up, away from
  // where it pointed.
  if (up->index == front->index) {
    const float sign = up->sign == front->sign ? -1.0f : 1.0f;
    *front = table_up;
    front->sign *= sign;
  }
}

std::string AxisName(const Axis& axis) {
  return std::string(axis.sign < 0 ? "-" : "+") + "XYZ"[axis.index];
}

}  // namespace

host::Matrix3 ConventionToHost(const std::string& extension, const AxesChoice& choice) {
  const FormatConvention& row = ConventionOf(extension);
  Axis up, front;
  UpAndFront(row, choice, &up, &front);
  return Turn(Vector(HandedOver(row, up)), Vector(HandedOver(row, front))) *
         TurnAboutUp(choice.turn);
}

std::string ConventionWords(const std::string& extension, const AxesChoice& choice) {
  const FormatConvention& row = ConventionOf(extension);
  Axis up, front;
  UpAndFront(row, choice, &up, &front);
  std::string words = std::string(row.format) + ": up " + AxisName(up) +
                      (choice.up.empty() ? "" : " (--up)") + ", front " + AxisName(front) + ", " +
                      (row.left_handed ? "left" : "right") + "-handed" +
                      (choice.up.empty() ? " (the format's)" : "");
  const std::string turn = TurnWords(choice.turn);
  return turn.empty() ? words : words + "; " + turn;
}

}  // namespace hostapp
