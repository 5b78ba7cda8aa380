#include "hostapp/import/assimp/GltfStepKeys.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "mdlformat/ByteCursor.h"
#include "mdlformat/FileBytes.h"

namespace hostapp {

namespace {

// Just enough of JSON to walk a glTF document: objects, arrays, strings,
// numbers and literals. A malformed document reads as far as it is sound.
struct JsonValue {
  enum Kind { kNull, kNumber, kString, kArray, kObject } kind = kNull;
  double number = 0.0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  const JsonValue* Member(const std::string& name) const {
    auto found = members.find(name);
    return found == members.end() ? nullptr : &found->second;
  }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : text_(text) {}

  bool Read(JsonValue& value, int depth = 0) {
    // Documents nest a few levels; anything deeper is refused, not recursed into.
    if (depth > 64) return false;
    SkipSpace();
    if (at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '{') return ReadObject(value, depth);
    if (c == '[') return ReadArray(value, depth);
    if (c == '"') {
      value.kind = JsonValue::kString;
      return ReadString(value.text);
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      const char* start = text_.c_str() + at_;
      char* end = nullptr;
      value.kind = JsonValue::kNumber;
      value.number = std::strtod(start, &end);
      if (end == start) return false;
      at_ += static_cast<size_t>(end - start);
      return true;
    }
    for (const char* literal : {"true", "false", "null"}) {
      const std::string word(literal);
      if (text_.compare(at_, word.size(), word) == 0) {
        at_ += word.size();
        value.kind = JsonValue::kNull;
        return true;
      }
    }
    return false;
  }

 private:
  void SkipSpace() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
      ++at_;
  }

  bool Expect(char c) {
    SkipSpace();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

  bool ReadString(std::string& out) {
    if (!Expect('"')) return false;
    while (at_ < text_.size() && text_[at_] != '"') {
      char c = text_[at_++];
      if (c == '\\' && at_ < text_.size()) {
        c = text_[at_++];
        if (c == 'u') {
          at_ += 4;  // names of nodes are matched byte for byte; escapes stand for themselves
          c = '?';
        } else if (c == 'n') {
          c = '\n';
        } else if (c == 't') {
          c = '\t';
        }
      }
      out += c;
    }
    return Expect('"');
  }

  bool ReadArray(JsonValue& value, int depth) {
    value.kind = JsonValue::kArray;
    Expect('[');
    SkipSpace();
    if (at_ < text_.size() && text_[at_] == ']') return Expect(']');
    do {
      value.items.emplace_back();
      if (!Read(value.items.back(), depth + 1)) return false;
    } while (Expect(','));
    return Expect(']');
  }

  bool ReadObject(JsonValue& value, int depth) {
    value.kind = JsonValue::kObject;
    Expect('{');
    SkipSpace();
    if (at_ < text_.size() && text_[at_] == '}') return Expect('}');
    do {
      std::string name;
      SkipSpace();
      if (!ReadString(name) || !Expect(':')) return false;
      if (!Read(value.members[name], depth + 1)) return false;
    } while (Expect(','));
    return Expect('}');
  }

  const std::string& text_;
  size_t at_ = 0;
};

// "glTF" and "JSON" read as little-endian words.
constexpr uint32_t kBinaryGltfMagic = 0x46546C67;
constexpr uint32_t kJsonChunkType = 0x4E4F534A;

// The JSON text of a .gltf file, or the JSON chunk of a .glb file.
std::string GltfJson(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!vandrell::ReadFileBytes(path, &bytes, nullptr)) return std::string();
  // A binary file: "glTF", version, length, then the JSON chunk (length, "JSON").
  vandrell::ByteCursor in(bytes);
  const uint32_t magic = in.Uint32();
  in.Skip(8);
  const uint32_t length = in.Uint32();
  const uint32_t type = in.Uint32();
  if (!in.ok() || magic != kBinaryGltfMagic || type != kJsonChunkType)
    return std::string(bytes.begin(), bytes.end());
  return in.Has(length) ? std::string(reinterpret_cast<const char*>(in.Here()), length)
                        : std::string();
}

int PathBit(const std::string& path) {
  if (path == "translation") return kStepTranslation;
  if (path == "rotation") return kStepRotation;
  if (path == "scale") return kStepScale;
  return 0;
}

}  // namespace

std::vector<std::map<std::string, int>> ReadGltfStepKeys(const std::string& path) {
  std::vector<std::map<std::string, int>> result;
  const std::string json = GltfJson(path);
  JsonValue document;
  if (json.empty() || !JsonReader(json).Read(document) || document.kind != JsonValue::kObject)
    return result;
  const JsonValue* nodes = document.Member("nodes");
  const JsonValue* animations = document.Member("animations");
  if (!animations || animations->kind != JsonValue::kArray) return result;
  for (const JsonValue& animation : animations->items) {
    std::map<std::string, int> steps;
    const JsonValue* samplers = animation.Member("samplers");
    const JsonValue* channels = animation.Member("channels");
    if (samplers && channels && nodes) {
      for (const JsonValue& channel : channels->items) {
        const JsonValue* sampler_index = channel.Member("sampler");
        const JsonValue* target = channel.Member("target");
        const JsonValue* node_index = target ? target->Member("node") : nullptr;
        const JsonValue* target_path = target ? target->Member("path") : nullptr;
        if (!sampler_index || !node_index || !target_path) continue;
        // Indices are checked as numbers before they become sizes.
        if (!(sampler_index->number >= 0 && sampler_index->number < samplers->items.size()) ||
            !(node_index->number >= 0 && node_index->number < nodes->items.size()))
          continue;
        const size_t s = static_cast<size_t>(sampler_index->number);
        const size_t n = static_cast<size_t>(node_index->number);
        const JsonValue* interpolation = samplers->items[s].Member("interpolation");
        const JsonValue* name = nodes->items[n].Member("name");
        // Only named nodes can be matched with the imported scene's nodes.
        if (!interpolation || interpolation->text != "STEP" || !name || name->text.empty())
          continue;
        steps[name->text] |= PathBit(target_path->text);
      }
    }
    result.push_back(std::move(steps));
  }
  return result;
}

}  // namespace hostapp
