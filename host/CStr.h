#pragma once
#include <cstddef>

namespace host {

// A heap string of 8-bit characters. A null text makes an empty string.
class CStr {
 public:
  CStr();
  explicit CStr(const char* text);
  CStr(const CStr& other);
  CStr& operator=(const CStr& other);
  CStr& operator=(const char* text);
  ~CStr();

  const char* data() const;
  operator const char*() const { return data(); }
  size_t Length() const { return length_; }
  // Frees the text; the string is empty afterwards.
  void Release();

 private:
  char* text_ = nullptr;
  size_t length_ = 0;
};

}  // namespace host
