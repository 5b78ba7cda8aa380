#pragma once
// Will a Quake MDL file load in a game? Two kinds of findings:
//
// - format: what the bytes themselves get wrong (magic, version, counts,
//   indices, skin coordinates, normals, seam flags, group intervals, a file
//   too short; bytes after the last frame, which games ignore, are a
//   warning). These are worked out from the raw bytes by a walk of its own that
//   carries on past a damaged part where it can, so a broken file is
//   diagnosed rather than merely refused.
// - engines: limits of the engines people play Quake models in, each naming
//   the engine that refuses the model; and what an engine loads but warns
//   about, or a network protocol cannot send, each a note ("loads, but ...").
//
// A finding is an error when the file is damaged or when no engine would load
// it; a model that only some engines refuse gets warnings; a note never makes
// a model unfit.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mdlformat/MdlReader.h"

namespace vandrell {

enum class FindingSeverity { kError, kWarning, kNote };

struct MdlFinding {
  FindingSeverity severity = FindingSeverity::kError;
  std::string what;    // one sentence, no trailing full stop
  std::string engine;  // the engine that refuses or notes; empty for a format finding
};

// One engine's view of a model's header.
struct EngineVerdict {
  std::string engine;                 // e.g. "GLQuake"
  std::vector<std::string> problems;  // empty when the engine loads the model
  // What it loads but warns about, or cannot show in full: "warns of ...".
  std::vector<std::string> cautions;
  // A network protocol rather than an engine: it refuses nothing, and does not
  // count as an engine that loads the model.
  bool protocol = false;
};

struct MdlCheckReport {
  bool header_read = false;  // the file holds at least the 84-byte header
  MdlFileHeader header;      // as stored, whatever its values
  uint64_t file_bytes = 0;
  // Bytes the counts call for with plain skins and frames; groups make a file
  // larger than this.
  uint64_t expected_bytes = 0;
  bool layout_walked = false;          // every section was found where the counts put it
  int32_t skin_images = 0;             // images found in the skins, group members counted
  int32_t frame_poses = 0;             // frames found, group members counted
  std::vector<EngineVerdict> engines;  // empty when the header itself is unsound
  std::vector<MdlFinding> findings;    // format findings first, then one per refusing engine

  bool HasErrors() const;
};

// Checks size bytes at data. Never reads outside them.
MdlCheckReport CheckMdl(const uint8_t* data, size_t size);
// The same for a file; an unreadable file gives one error finding.
MdlCheckReport CheckMdlFile(const std::string& path);

// Each engine's problems with a model of this header, in a fixed engine
// order: Quake and QuakeWorld (software), GLQuake, QuakeSpasm/FitzQuake,
// ironwail, vkQuake, DarkPlaces; then Quake's standard network protocol (15).
std::vector<EngineVerdict> JudgeEngines(const MdlFileHeader& header);

// An engine's problems (or cautions) as one sentence: "; " between them.
std::string JoinProblems(const std::vector<std::string>& problems);

// "error", "warning" or "note".
const char* SeverityName(FindingSeverity severity);

}  // namespace vandrell
