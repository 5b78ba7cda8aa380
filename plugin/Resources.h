#pragma once
#include <windows.h>

namespace vandrell {

// The library's instance handle, recorded by DllMain; null before.
extern HINSTANCE g_module;

// Entry id of the string table in the shared 256-byte text buffer; null when
// the module handle is not set or the id is missing. Every call overwrites
// the buffer: keep the text only until the next call.
const char* LoadResString(int id);

// A message box with the texts of two string ids, the active window as owner.
// A text that cannot be loaded shows as empty. Returns the box's result.
int ShowResMessage(int text_id, int caption_id, unsigned type);

// The same, with text_id's text used as a printf format for one string.
int ShowResMessageWith(int text_id, const char* argument, int caption_id, unsigned type);

}  // namespace vandrell
