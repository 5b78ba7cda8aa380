#pragma once
// The resources a resource script describes, and the reader of the script.
// Internal to the win32 library.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace win32 {

// What a control behaves as; decided by its class and its type bits.
enum class ControlKind { kPushButton, kDefPushButton, kCheckBox, kGroupBox, kEdit, kStatic };

// One control of a dialog template, as the resource compiler would store it:
// the style already holds the statement's default bits.
struct ControlTemplate {
  int id = 0;  // IDC_STATIC (-1) for controls nobody addresses
  ControlKind kind = ControlKind::kStatic;
  std::string text;
  DWORD style = 0;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
};

struct DialogTemplate {
  int id = 0;        // numeric resource id; 0 for a template known by name
  std::string name;  // upper-case resource name; empty for a numeric id
  std::string caption;
  std::string font;
  int font_size = 0;  // points; 0 without a FONT statement
  DWORD style = 0;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  std::vector<ControlTemplate> controls;    // template order, which is the tab order
};

struct ResourceSet {
  std::map<UINT, std::string> strings;
  std::vector<DialogTemplate> dialogs;
};

// Reads the .rc subset the exporter's script uses into *resources. On failure
// returns false with "line N: reason" in *error (when error is not null).
bool ParseResourceScript(const std::string& script, ResourceSet* resources, std::string* error);

// The resources registered for module, or null.
const ResourceSet* FindResources(HINSTANCE module);

// The dialog template named by a MAKEINTRESOURCE id, "#123" or a name, or null.
const DialogTemplate* FindDialogTemplate(HINSTANCE module, LPCSTR template_name);

}  // namespace win32
