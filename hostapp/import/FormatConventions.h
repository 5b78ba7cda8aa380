#pragma once
// Which way is up and which way a model faces in each format, in one table:
// the import turns every file by it, and --help and the README print it.
//
// A row gives the format's up axis and the way its models face, as signed
// axes of the file's own coordinates, its handedness and its unit. Where a
// file states its axes or unit (glTF, FBX's axis settings, Collada's
// <up_axis>), the file wins; where a format has no convention at all (STL,
// PLY, OBJ), the row says what the import assumes.
//
// The host is right-handed, Z up, a model facing -Y. A file's point p goes
// to the host's (p . right, -(p . front), p . up), with up, front and p in
// the coordinates Assimp hands over and right = up x front there. Those are
// right-handed always: Assimp turns a left-handed file's Z round (DirectX,
// B3D), so a left-handed file's front along Z points the other way there.
// The change of handedness is Assimp's, and the model comes out as itself,
// not its mirror image; the table's front then turns it to face the host's.

#include <string>
#include <vector>

#include "host/Geometry.h"

namespace hostapp {

struct FormatConvention {
  const char* format;      // "Half-Life SMD"
  const char* extensions;  // "smd vta", lower case, space-separated
  const char* up;          // the file's up axis, "+Z"
  const char* front;       // the way its models face, "+X"
  bool left_handed;
  const char* unit;   // in words
  const char* notes;  // what the file may state instead, or empty
  // Where Assimp puts each of the file's axes x, y, z: "x y z" as read,
  // "x y -z" for Z turned round, "x -z y" for a Z-up file made Y-up.
  const char* handed_over;
};

// The table, in the order --help prints it.
const std::vector<FormatConvention>& FormatConventions();

// The row for a file's extension (lower case); the last row, the default,
// for any extension not named.
const FormatConvention& ConventionOf(const std::string& extension);

// The table as text lines, a header line first, for --help and the README.
std::vector<std::string> FormatConventionLines();

// The user's word for the file's axes (--up, --turn). up is "" (the table's)
// or one of x, y, z, -x, -y, -z; turn is 0, 90, 180 or 270 degrees,
// counter-clockwise seen from above.
struct AxesChoice {
  std::string up;
  int turn = 0;
};

// Whether text names an up axis for AxesChoice (empty included).
bool IsUpAxisName(const std::string& text);

// The turn from a file's axes, as its reader hands them over, to the host's,
// as a row-vector transform (row i is where the file's axis i goes): by its
// row of the table, with the choice's up axis (the front then follows the
// table: it stays when it is not along the new up axis, otherwise it becomes
// the table's up turned away from it) and then the choice's turn.
host::Matrix3 ConventionToHost(const std::string& extension, const AxesChoice& choice);

// The same in words, for listings: "Blitz3D B3D: up +Y, front +Z,
// left-handed (the format's)", "... up +Z (--up), front -Y, ...; turned 90
// degrees counter-clockwise seen from above (--turn)".
std::string ConventionWords(const std::string& extension, const AxesChoice& choice);

// A turn of degrees (a multiple of 90) counter-clockwise about the host's Z,
// seen from above, and its words for listings (empty for none).
host::Matrix3 TurnAboutUp(int degrees);
std::string TurnWords(int degrees);

}  // namespace hostapp
