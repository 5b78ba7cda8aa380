#include "tools/OptionTable.h"

#include <sstream>

namespace tools {
namespace {

constexpr size_t kLabelIndent = 2;

// The words of text as lines of at most room characters (a longer word
// stands alone); a '\n' in text always ends a line.
std::vector<std::string> WrapWords(const std::string& text, size_t room) {
  std::vector<std::string> lines;
  std::istringstream paragraphs(text);
  std::string paragraph;
  while (std::getline(paragraphs, paragraph)) {
    std::istringstream words(paragraph);
    std::string word, line;
    while (words >> word) {
      if (!line.empty() && line.size() + 1 + word.size() > room) {
        lines.push_back(line);
        line.clear();
      }
      line += (line.empty() ? "" : " ") + word;
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::string FormatOptionList(
    const std::vector<std::pair<std::string, std::vector<OptionText>>>& groups, size_t help_column,
    size_t width) {
  std::string text;
  for (const auto& [heading, options] : groups) {
    if (!text.empty()) text += "\n";
    if (!heading.empty()) text += heading + "\n";
    for (const OptionText& option : options) {
      std::string line = std::string(kLabelIndent, ' ') + option.label;
      // The help starts beside the label where one space at least is left.
      if (line.size() + 1 > help_column) {
        text += line + "\n";
        line.clear();
      }
      for (const std::string& help : WrapWords(option.help, width - help_column)) {
        line.resize(help_column, ' ');
        text += line + help + "\n";
        line.clear();
      }
    }
  }
  return text;
}

}  // namespace tools
