#include "hostapp/import/quake/QuakeModel.h"

#include <cstdint>
#include <cstring>

#include "hostapp/import/quake/IqmReader.h"
#include "mdlformat/FileBytes.h"

namespace hostapp {

bool SeekSection(vandrell::ByteCursor& in, uint64_t base, int64_t offset, uint64_t count,
                 uint64_t record_size, const std::string& what) {
  if (count == 0) return true;
  if (offset < 0 || base + static_cast<uint64_t>(offset) > in.size())
    return in.Fail(what + " would start at offset " +
                   std::to_string(static_cast<int64_t>(base) + offset) + ", outside the " +
                   std::to_string(in.size()) + "-byte file");
  // Counts multiplied together may pass 64 bits; such a section is too long anyway.
  const uint64_t bytes = count > UINT64_MAX / record_size ? UINT64_MAX : count * record_size;
  return in.Seek(base + static_cast<uint64_t>(offset)) && in.Need(bytes, what);
}

bool CheckHeader(vandrell::ByteCursor& in, size_t header_size, const char* format,
                 const char* ident, int32_t version, std::string* error) {
  if (!in.Need(header_size, "the header")) {
    *error = in.error();
    return false;
  }
  if (in.FixedString(4) != ident) {
    *error =
        std::string("not an ") + format + " file: the first four bytes are not \"" + ident + "\"";
    return false;
  }
  const int32_t found = in.Int32();
  if (found != version) {
    *error = std::string("unsupported ") + format + " version " + std::to_string(found) +
             " (expected " + std::to_string(version) + ")";
    return false;
  }
  return true;
}

std::string QuakeFormatOf(const uint8_t* data, size_t size) {
  if (size < 4) return "";
  if (std::memcmp(data, "IDPO", 4) == 0) return "MDL";
  if (std::memcmp(data, "IDP2", 4) == 0) return "MD2";
  if (std::memcmp(data, "IDP3", 4) == 0) return "MD3";
  if (IsIqm(data, size)) return "IQM";
  return "";
}

bool ReadQuakeModel(const uint8_t* data, size_t size, QuakeModel* model, std::string* error) {
  const std::string format = QuakeFormatOf(data, size);
  if (format == "MDL") return ReadMdlModel(data, size, model, error);
  if (format == "MD2") return ReadMd2(data, size, model, error);
  if (format == "MD3") return ReadMd3(data, size, model, error);
  if (format == "IQM") return ReadIqm(data, size, model, error);
  *model = QuakeModel();
  *error =
      "not a Quake model: the file starts with neither \"IDPO\" (MDL), \"IDP2\" (MD2), "
      "\"IDP3\" (MD3) nor \"INTERQUAKEMODEL\" (IQM)";
  return false;
}

bool ReadQuakeModelFile(const std::string& path, QuakeModel* model, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!vandrell::ReadFileBytes(path, &bytes, error)) return false;
  return ReadQuakeModel(bytes.data(), bytes.size(), model, error);
}

}  // namespace hostapp
