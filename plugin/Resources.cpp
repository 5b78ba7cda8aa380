#include "plugin/Resources.h"

#include <cstdio>

#include "host/CStr.h"

namespace vandrell {

HINSTANCE g_module = nullptr;

namespace {
char g_text_buffer[256];
}

const char* LoadResString(int id) {
  if (!g_module) return nullptr;
  if (LoadStringA(g_module, static_cast<UINT>(id), g_text_buffer, sizeof g_text_buffer) == 0)
    return nullptr;
  return g_text_buffer;
}

int ShowResMessage(int text_id, int caption_id, unsigned type) {
  // The text is copied before the caption is loaded: both share one buffer.
  host::CStr text(LoadResString(text_id));
  host::CStr caption(LoadResString(caption_id));
  const int result = MessageBoxA(GetActiveWindow(), text, caption, type);
  text.Release();
  caption.Release();
  return result;
}

int ShowResMessageWith(int text_id, const char* argument, int caption_id, unsigned type) {
  host::CStr format(LoadResString(text_id));
  char text[512];
  std::snprintf(text, sizeof text, format.data(), argument ? argument : "");
  host::CStr caption(LoadResString(caption_id));
  return MessageBoxA(GetActiveWindow(), text, caption, type);
}

}  // namespace vandrell
