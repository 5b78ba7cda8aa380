#pragma once
#include <cstdint>

namespace vandrell {

// Longest base name the settings hold, and the longest the dialog keeps.
constexpr int kBaseNameCapacity = 16;
constexpr int kDialogBaseNameLength = 12;

// The user's options, process-wide: zero when the library loads, filled by the
// options dialog's OK, never reset.
struct ExportSettings {
  int32_t gouraud_shading = 0;    // 1: vertex normals are smoothed
  int32_t frame_count = 0;        // frames to sample; lowered to the animation range
  float model_scale = 0.0f;       // factor on positions (percent x 0.01)
  float collision_box_scale = 0.0f;  // factor on each frame's box (percent x 0.01)
  char base_name[kBaseNameCapacity + 1] = {};  // prefix of every frame name
  int32_t fullbright_colors = 0;  // 1: bitmaps may use the palette's fullbright entries
  int32_t skin_byte_budget = 0;   // largest skin in bytes (KBytes x 1024)
};

extern ExportSettings g_export_settings;

}  // namespace vandrell
