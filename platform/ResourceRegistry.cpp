// Which module owns which resources. Modules register their script when they
// load (or a test registers one under a handle of its own).
#include <cctype>
#include <cstdlib>
#include <map>
#include <string>

#include "ResourceScript.h"
#include "Win32StandIn.h"

namespace win32 {
namespace {

// Never destroyed: modules forget their resources from their own unload
// code, which may run after this library's static objects are gone.
std::map<HINSTANCE, ResourceSet>& Registry() {
  static auto* registry = new std::map<HINSTANCE, ResourceSet>;
  return *registry;
}

bool SameName(const std::string& upper_name, LPCSTR name) {
  size_t i = 0;
  for (; i < upper_name.size() && name[i]; ++i) {
    if (upper_name[i] != std::toupper(static_cast<unsigned char>(name[i]))) return false;
  }
  return i == upper_name.size() && !name[i];
}

}  // namespace

bool RegisterResourceScript(HINSTANCE module, const std::string& script, std::string* error) {
  ResourceSet resources;
  if (!ParseResourceScript(script, &resources, error)) return false;
  Registry()[module] = std::move(resources);
  return true;
}

void ForgetResources(HINSTANCE module) { Registry().erase(module); }

const ResourceSet* FindResources(HINSTANCE module) {
  auto found = Registry().find(module);
  return found == Registry().end() ? nullptr : &found->second;
}

const DialogTemplate* FindDialogTemplate(HINSTANCE module, LPCSTR template_name) {
  const ResourceSet* resources = FindResources(module);
  if (!resources || !template_name) return nullptr;
  int id = 0;
  if (IS_INTRESOURCE(template_name)) {
    id = static_cast<int>(reinterpret_cast<UINT_PTR>(template_name) & 0xFFFF);
  } else if (template_name[0] == '#') {
    // "#102" names the numeric resource 102.
    char* end = nullptr;
    const long number = std::strtol(template_name + 1, &end, 10);
    if (*end != '\0' || number < 1 || number > 0xFFFF) return nullptr;
    id = static_cast<int>(number);
  }
  for (const DialogTemplate& dialog : resources->dialogs) {
    if (id != 0 ? dialog.id == id : (!dialog.name.empty() && SameName(dialog.name, template_name)))
      return &dialog;
  }
  return nullptr;
}

}  // namespace win32
