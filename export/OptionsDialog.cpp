#include "export/OptionsDialog.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "export/ExportSettings.h"
#include "export/LeadingDecimal.h"
#include "mdlformat/MdlFormat.h"
#include "plugin/MdlExporter.h"
#include "resources/resource.h"

namespace vandrell {

MdlExporter* g_dialog_exporter = nullptr;

namespace {

// Room for 99 characters of a numeric field.
constexpr int kFieldBuffer = 100;
// The base-name field takes 13 typed characters; OK keeps 12 of them.
constexpr int kBaseNameTypingLimit = 13;

// Largest "Limit Texture Size" entry whose byte count fits a signed 32-bit number.
constexpr long kLargestTextureKBytes = INT32_MAX / 1024;

// Effect bits of the model flags, by check box.
struct FlagBox {
  int control_id;
  int32_t bit;
};
constexpr FlagBox kFlagBoxes[] = {
    {IDC_ROCKET_SMOKE_TRAIL, mdl_format::kFlagRocketSmokeTrail},
    {IDC_GRENADE_SMOKE_TRAIL, mdl_format::kFlagGrenadeSmokeTrail},
    {IDC_GIB_LONG_BLOOD_TRAIL, mdl_format::kFlagGibLongBloodTrail},
    {IDC_GIB_SHORT_BLOOD_TRAIL, mdl_format::kFlagGibShortBloodTrail},
    {IDC_WIZARD_GREEN_TRACER, mdl_format::kFlagWizardGreenTracer},
    {IDC_HELLKNIGHT_YELLOW_TRACER, mdl_format::kFlagHellknightYellowTracer},
    {IDC_VORE_PURPLE_TRACER, mdl_format::kFlagVorePurpleTracer},
};

// The leading decimal number of a field, 0 when there is none. strtol reads
// what atol reads but saturates where atol would be undefined, so 99 typed
// digits are merely too large.
long ReadLong(HWND window, int id) {
  char text[kFieldBuffer];
  GetDlgItemTextA(window, id, text, kFieldBuffer);
  return std::strtol(text, nullptr, 10);
}

// value rounded to single precision; a magnitude beyond the largest float
// (by half a unit or more) becomes an infinity of its sign, as the rounding
// itself would give, instead of a conversion the language leaves undefined.
float RoundToFloat(double value) {
  constexpr double kFirstOverflow = 0x1.ffffffp+127;  // FLT_MAX + half its last unit
  if (value >= kFirstOverflow) return std::numeric_limits<float>::infinity();
  if (value <= -kFirstOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// A percentage field as a factor, the product formed in double precision.
// Only a leading decimal number counts: pasted "0x10", "inf" or "nan" is 0.
float ReadPercent(HWND window, int id) {
  char text[kFieldBuffer];
  GetDlgItemTextA(window, id, text, kFieldBuffer);
  return RoundToFloat(LeadingDecimal(text) * 0.01);
}

int32_t ClampToInt32(long value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

void InitDialog(HWND window, LPARAM lParam) {
  g_dialog_exporter = reinterpret_cast<MdlExporter*>(lParam);
  CheckDlgButton(window, IDC_GOURAUD_SHADING, BST_CHECKED);
  CheckDlgButton(window, IDC_RANDOM, BST_CHECKED);
  SetDlgItemTextA(window, IDC_SCALE_MODEL, "100");
  SetDlgItemTextA(window, IDC_SCALE_COLLISION_BOX, "100");
  SetDlgItemTextA(window, IDC_TEXTURE_LIMIT, "16");
  SendDlgItemMessageA(window, IDC_BASE_NAME, EM_LIMITTEXT, kBaseNameTypingLimit, 0);
  SetDlgItemTextA(window, IDC_BASE_NAME, g_export_settings.base_name);
  SetDlgItemTextA(window, IDC_FRAMES, "1");
}

void StoreSettings(HWND window) {
  ExportSettings& settings = g_export_settings;
  settings.gouraud_shading = static_cast<int32_t>(IsDlgButtonChecked(window, IDC_GOURAUD_SHADING));
  settings.fullbright_colors =
      static_cast<int32_t>(IsDlgButtonChecked(window, IDC_FULLBRIGHT_COLORS));
  settings.model_scale = ReadPercent(window, IDC_SCALE_MODEL);
  settings.collision_box_scale = ReadPercent(window, IDC_SCALE_COLLISION_BOX);
  // A negative budget marks an entry whose byte count cannot be held; the
  // driver refuses it.
  const long kbytes = ReadLong(window, IDC_TEXTURE_LIMIT);
  settings.skin_byte_budget =
      (kbytes < 0 || kbytes > kLargestTextureKBytes) ? -1 : static_cast<int32_t>(kbytes * 1024);
  settings.frame_count = ClampToInt32(ReadLong(window, IDC_FRAMES));
  GetDlgItemTextA(window, IDC_BASE_NAME, settings.base_name, kDialogBaseNameLength + 1);

  if (!g_dialog_exporter) return;
  MdlModel& model = g_dialog_exporter->Model();
  model.synctype = static_cast<int32_t>(IsDlgButtonChecked(window, IDC_RANDOM));
  model.flags = IsDlgButtonChecked(window, IDC_ROTATE) == BST_CHECKED ? mdl_format::kFlagRotate : 0;
  for (const FlagBox& box : kFlagBoxes) {
    if (IsDlgButtonChecked(window, box.control_id) == BST_CHECKED) model.flags += box.bit;
  }
}

}  // namespace

INT_PTR CALLBACK OptionsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitDialog(window, lParam);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  switch (LOWORD(wParam)) {
    case IDOK:
      StoreSettings(window);
      EndDialog(window, 1);
      return 1;
    case IDCANCEL:
      EndDialog(window, 0);
      return 1;
    default:
      return 0;
  }
}

}  // namespace vandrell
