// LoadStringA over the string tables of registered resource scripts.
#include <cstring>

#include "ResourceScript.h"

extern "C" int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
  // A zero count would ask for a read-only pointer into the resource; that
  // form is not offered, so it copies nothing.
  if (!buffer || bufferMax <= 0) return 0;
  const win32::ResourceSet* resources = win32::FindResources(instance);
  if (!resources) {
    buffer[0] = '\0';
    return 0;
  }
  auto found = resources->strings.find(id);
  if (found == resources->strings.end()) {
    buffer[0] = '\0';
    return 0;
  }
  // At most bufferMax - 1 characters, always terminated.
  const size_t room = static_cast<size_t>(bufferMax) - 1;
  const size_t count = found->second.size() < room ? found->second.size() : room;
  std::memcpy(buffer, found->second.data(), count);
  buffer[count] = '\0';
  return static_cast<int>(count);
}
