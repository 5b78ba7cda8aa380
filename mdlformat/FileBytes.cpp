#include "mdlformat/FileBytes.h"

#include <fstream>

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
  // In blocks rather than byte by byte: a written model is read back whole.
  // Room for the whole file first where its size can be told; a stream that
  // cannot seek is read to its end all the same.
  bytes->clear();
  in.seekg(0, std::ios::end);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  in.clear();
  in.seekg(0, std::ios::beg);
  in.clear();
  if (size > 0) bytes->reserve(static_cast<size_t>(size));
  char block[1 << 16];
  while (in) {
    in.read(block, sizeof block);
    bytes->insert(bytes->end(), block, block + in.gcount());
  }
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
