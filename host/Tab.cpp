#include "host/Tab.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace host {

void assert1(int line, const char* file) {
  std::fprintf(stderr, "table index out of range (%s:%d)\n", file, line);
  std::abort();
}

int TableInsert(TableStorage*& storage, int at, int count, const void* records, int record_size,
                int reserve) {
  if (count <= 0 || record_size <= 0) return -1;
  const int old_count = storage ? storage->count : 0;
  if (at < 0) at = 0;
  if (at > old_count) at = old_count;
  if (count > INT32_MAX - old_count) return -1;
  const int new_count = old_count + count;
  if (!storage || new_count > storage->capacity) {
    if (reserve < 0) reserve = 0;
    const int64_t capacity = static_cast<int64_t>(new_count) + reserve;
    if (capacity > INT32_MAX) return -1;
    const size_t bytes = offsetof(TableStorage, records) + static_cast<size_t>(capacity) * record_size;
    void* grown = std::realloc(storage, bytes);
    if (!grown) return -1;
    storage = static_cast<TableStorage*>(grown);
    storage->count = old_count;
    storage->capacity = static_cast<int>(capacity);
  }
  unsigned char* base = storage->records;
  const size_t size = static_cast<size_t>(record_size);
  std::memmove(base + (at + count) * size, base + at * size, (old_count - at) * size);
  std::memcpy(base + at * size, records, count * size);
  storage->count = new_count;
  return at;
}

void TableFree(TableStorage*& storage) {
  std::free(storage);
  storage = nullptr;
}

}  // namespace host
