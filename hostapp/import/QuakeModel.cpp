#include "hostapp/import/QuakeModel.h"

#include <cstring>

#include "mdlformat/FileBytes.h"

namespace hostapp {

std::string QuakeFormatOf(const uint8_t* data, size_t size) {
  if (size < 4) return "";
  if (std::memcmp(data, "IDPO", 4) == 0) return "MDL";
  if (std::memcmp(data, "IDP2", 4) == 0) return "MD2";
  if (std::memcmp(data, "IDP3", 4) == 0) return "MD3";
  return "";
}

bool ReadQuakeModel(const uint8_t* data, size_t size, QuakeModel* model, std::string* error) {
  const std::string format = QuakeFormatOf(data, size);
  if (format == "MDL") return ReadMdlModel(data, size, model, error);
  if (format == "MD2") return ReadMd2(data, size, model, error);
  if (format == "MD3") return ReadMd3(data, size, model, error);
  *model = QuakeModel();
  *error =
      "not a Quake model: the file starts with neither \"IDPO\" (MDL), \"IDP2\" (MD2) nor "
      "\"IDP3\" (MD3)";
  return false;
}

bool ReadQuakeModelFile(const std::string& path, QuakeModel* model, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!vandrell::ReadFileBytes(path, &bytes, error)) return false;
  return ReadQuakeModel(bytes.data(), bytes.size(), model, error);
}

}  // namespace hostapp
