#pragma once

namespace vandrell {

// The text of resource.h followed by Vandrell.rc, for builds whose Win32
// layer reads resource scripts at run time.
extern const char* const kResourceScript;

}  // namespace vandrell
