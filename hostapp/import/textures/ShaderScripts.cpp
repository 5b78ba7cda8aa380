#include "hostapp/import/textures/ShaderScripts.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "hostapp/import/FilePaths.h"
#include "mdlformat/FileBytes.h"

namespace hostapp {

namespace {

// A name as the shaders are keyed: lower case, slashes, no extension.
std::string ShaderKey(const std::string& name) {
  std::string key = Lower(name);
  std::replace(key.begin(), key.end(), '\\', '/');
  const size_t dot = key.rfind('.');
  const size_t slash = key.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) key.erase(dot);
  return key;
}

// The script's words and braces, comments left out.
std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (text.compare(i, 2, "//") == 0) {
      i = text.find('\n', i);
      if (i == std::string::npos) break;
    } else if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) break;
      i += 2;
    } else if (c == '{' || c == '}') {
      tokens.emplace_back(1, c);
      ++i;
    } else {
      const size_t start = i;
      while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) &&
             text[i] != '{' && text[i] != '}' && text.compare(i, 2, "//") != 0)
        ++i;
      tokens.push_back(text.substr(start, i - start));
    }
  }
  return tokens;
}

// The first image of a stage's keyword at tokens[k], or empty.
std::string StageImage(const std::vector<std::string>& tokens, size_t k) {
  const std::string keyword = Lower(tokens[k]);
  // animMap gives a rate before its images.
  const size_t at = keyword == "map" || keyword == "clampmap" ? k + 1
                    : keyword == "animmap"                    ? k + 2
                                                              : 0;
  if (at == 0 || at >= tokens.size()) return "";
  const std::string& image = tokens[at];
  if (image == "{" || image == "}" || image[0] == '$' || image[0] == '*') return "";
  return image;
}

}  // namespace

void ShaderScripts::Parse(const std::string& text, const std::string& script,
                          std::map<std::string, Shader>* shaders) {
  const std::vector<std::string> tokens = Tokens(text);
  size_t k = 0;
  while (k < tokens.size()) {
    const std::string name = tokens[k++];
    if (name == "{" || name == "}" || k >= tokens.size() || tokens[k] != "{") continue;
    // The block: depth 1 holds the shader's keywords, depth 2 its stages.
    Shader shader;
    shader.script = script;
    std::string editor_image;
    int depth = 0;
    for (; k < tokens.size(); ++k) {
      const std::string& token = tokens[k];
      if (token == "{") {
        ++depth;
      } else if (token == "}") {
        if (--depth == 0) {
          ++k;
          break;
        }
      } else if (depth == 2 && shader.image.empty()) {
        shader.image = StageImage(tokens, k);
      } else if (depth == 1 && editor_image.empty() && Lower(token) == "qer_editorimage" &&
                 k + 1 < tokens.size()) {
        editor_image = tokens[k + 1];
      }
    }
    if (shader.image.empty()) shader.image = editor_image;
    shaders->emplace(ShaderKey(name), shader);
  }
}

ShaderScripts::ShaderScripts(const std::vector<std::string>& folders) {
  namespace fs = std::filesystem;
  for (const std::string& folder : folders) {
    std::error_code error;
    std::vector<std::string> scripts;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
      if (Lower(entry->path().filename().string()) != "scripts" || !entry->is_directory(error))
        continue;
      std::error_code inner;
      for (fs::directory_iterator file(entry->path(), inner); !inner && file != end;
           file.increment(inner)) {
        if (Lower(file->path().extension().string()) == ".shader" && file->is_regular_file(inner))
          scripts.push_back(file->path().string());
      }
    }
    if (scripts.empty()) continue;
    std::sort(scripts.begin(), scripts.end());
    for (const std::string& script : scripts) {
      // A script that cannot be read adds no shaders.
      std::string text;
      vandrell::ReadFileText(script, &text, nullptr);
      Parse(text, script, &shaders_);
    }
    return;
  }
}

const ShaderScripts::Shader* ShaderScripts::Find(const std::string& name) const {
  auto found = shaders_.find(ShaderKey(name));
  return found == shaders_.end() ? nullptr : &found->second;
}

}  // namespace hostapp
