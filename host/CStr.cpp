#include "host/CStr.h"

#include <cstring>

namespace host {

namespace {
const char kEmpty[1] = {0};
}

CStr::CStr() = default;
CStr::CStr(const char* text) { *this = text; }
CStr::CStr(const CStr& other) { *this = other.data(); }
CStr& CStr::operator=(const CStr& other) {
  if (this != &other) *this = other.data();
  return *this;
}

CStr& CStr::operator=(const char* text) {
  if (text == text_ && text_) return *this;
  char* copy = nullptr;
  size_t length = 0;
  if (text && *text) {
    length = std::strlen(text);
    copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
  }
  Release();
  text_ = copy;
  length_ = length;
  return *this;
}

CStr::~CStr() { Release(); }

const char* CStr::data() const { return text_ ? text_ : kEmpty; }

void CStr::Release() {
  delete[] text_;
  text_ = nullptr;
  length_ = 0;
}

}  // namespace host
