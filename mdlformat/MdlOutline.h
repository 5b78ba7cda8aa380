#pragma once
// What a model file tells of itself without its skins and vertices held in
// memory: for a caller that only needs to know that a file reads back whole,
// what its header says and what its frames are called, such as mdlexport's
// check of what it has just written.

#include <cstddef>
#include <string>

#include "mdlformat/MdlReader.h"

namespace vandrell {

struct MdlOutline {
  MdlFileHeader header;
  size_t frame_count = 0;          // plain frames, each member of a group counting once
  char first_frame_name[17] = {};  // as MdlFrame::name; empty without frames
};

// The outline of a model read whole.
MdlOutline OutlineOf(const MdlFile& file);

// True, with *outline filled, when the file at path holds plain skins and
// plain frames only and ReadMdlFile reads it with no bytes after the last
// frame; then *outline is OutlineOf what ReadMdlFile gives. False when it
// does not, or cannot tell (groups, an unreadable file): ReadMdlFile then
// says why. Reads a block at a time, never the whole file into memory.
bool ReadPlainMdlOutline(const std::string& path, MdlOutline* outline);

}  // namespace vandrell
