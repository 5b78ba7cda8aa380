#pragma once
#include <cstring>
#include <type_traits>

namespace host {

// Reports an index outside a table and stops the process: a programmer
// mistake, never an input error.
[[noreturn]] void assert1(int line, const char* file);

// The storage of a growable table: a count, a capacity and the records,
// allocated in one block by the host.
struct TableStorage {
  int count;
  int capacity;
  alignas(8) unsigned char records[1];
};

// Type-free core of Tab. Inserts count records of record_size bytes at index
// at (clamped to 0 .. current count), growing the storage with room for
// reserve further records when it is full. Returns the index inserted at, or
// -1 when the storage could not grow (the table is then unchanged).
int TableInsert(TableStorage*& storage, int at, int count, const void* records,
                int record_size, int reserve);
// Frees the storage and sets the pointer to null.
void TableFree(TableStorage*& storage);

// A growable table of plain records owned by the host's allocator.
template <typename T>
class Tab {
  static_assert(std::is_trivially_copyable<T>::value, "Tab holds plain records");

 public:
  Tab() = default;
  Tab(const Tab&) = delete;
  Tab& operator=(const Tab&) = delete;
  ~Tab() { zfree(); }

  int Count() const { return storage_ ? storage_->count : 0; }

  // Inserts count records at index at; see TableInsert.
  int TBInsertAt(int at, const T* records, int count, int reserve) {
    return TableInsert(storage_, at, count, records, static_cast<int>(sizeof(T)), reserve);
  }
  int Append(const T& record, int reserve) { return TBInsertAt(Count(), &record, 1, reserve); }

  T& operator[](int i) {
    if (i < 0 || i >= Count()) assert1(__LINE__, __FILE__);
    return *reinterpret_cast<T*>(storage_->records + static_cast<size_t>(i) * sizeof(T));
  }
  const T& operator[](int i) const {
    if (i < 0 || i >= Count()) assert1(__LINE__, __FILE__);
    return *reinterpret_cast<const T*>(storage_->records + static_cast<size_t>(i) * sizeof(T));
  }

  // Frees the storage; the table is empty afterwards.
  void zfree() { TableFree(storage_); }

 private:
  TableStorage* storage_ = nullptr;
};

}  // namespace host
