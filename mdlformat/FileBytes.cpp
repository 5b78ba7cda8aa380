#include "mdlformat/FileBytes.h"

#include <fstream>
#include <iterator>

namespace vandrell {
namespace {

// One way of reading a whole file, into bytes or into text.
template <typename Container>
bool ReadWholeFile(const std::string& path, Container* bytes, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  return true;
}

}  // namespace

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  return ReadWholeFile(path, bytes, error);
}

bool ReadFileText(const std::string& path, std::string* text, std::string* error) {
  return ReadWholeFile(path, text, error);
}

}  // namespace vandrell
