#pragma once
// A command's options written once: each option's spellings, its value, its
// help text and what it does with its value. The command's parser and its
// --help list are both made from the table, and the tests check the README
// and the manual pages against it, so an option is added by adding one entry.

#include <functional>
#include <string>
#include <vector>

namespace tools {

template <typename Options>
struct CommandOption {
  // What the user types: "--frames", and a second spelling ("-h") or nullptr.
  const char* name;
  const char* alias;
  // The value's placeholder in --help ("N|all"), or nullptr for an option
  // that takes no value.
  const char* argument;
  // One paragraph for --help, wrapped to the screen when printed.
  std::string help;
  // Stores value (empty when the option takes none) into *options. False
  // with the reason in *error; spelling is the option as the user wrote it,
  // for messages.
  std::function<bool(const std::string& spelling, const std::string& value, Options* options,
                     std::string* error)>
      apply;
  // What a missing value is called in "--name needs ..."; nullptr for the
  // command's usual words.
  const char* missing = nullptr;
};

// Options printed together under one heading (none: a blank line alone).
template <typename Options>
struct OptionGroup {
  const char* heading;
  std::vector<CommandOption<Options>> options;
};

template <typename Options>
using OptionTable = std::vector<OptionGroup<Options>>;

// The parts of a command line that differ between the commands.
struct ParseRules {
  // "--name=value" for "--name value", and "--" ending the options.
  bool inline_values = false;
  // What a missing value is called in "--name needs a value", unless the
  // option says.
  const char* missing_value = "a value";
};

// One option's name and value as --help shows them, and its help.
struct OptionText {
  std::string label;  // "-h, --help", "--frames N|all"
  std::string help;
};

// The --help list of groups of options: each label at two spaces, its help
// at column help_column (on the next line when the label reaches it),
// wrapped within width columns; groups are separated by a blank line and
// headed by their heading.
std::string FormatOptionList(
    const std::vector<std::pair<std::string, std::vector<OptionText>>>& groups, size_t help_column,
    size_t width);

template <typename Options>
std::string OptionListText(const OptionTable<Options>& table, size_t help_column, size_t width) {
  std::vector<std::pair<std::string, std::vector<OptionText>>> groups;
  for (const OptionGroup<Options>& group : table) {
    groups.push_back({group.heading ? group.heading : "", {}});
    for (const CommandOption<Options>& option : group.options) {
      std::string label =
          option.alias ? std::string(option.alias) + ", " + option.name : std::string(option.name);
      if (option.argument) label += std::string(" ") + option.argument;
      groups.back().second.push_back({label, option.help});
    }
  }
  return FormatOptionList(groups, help_column, width);
}

// The option of the table that spelling names, or nullptr.
template <typename Options>
const CommandOption<Options>* FindOption(const OptionTable<Options>& table,
                                         const std::string& spelling) {
  for (const OptionGroup<Options>& group : table) {
    for (const CommandOption<Options>& option : group.options) {
      if (spelling == option.name || (option.alias && spelling == option.alias)) return &option;
    }
  }
  return nullptr;
}

// Reads argv[1..] through the table: every option is applied in the order
// given, everything else is an operand. Stops early, true, as soon as
// stop(*options) holds after an option (--help). False on a usage error,
// with the reason in *error.
template <typename Options>
bool ParseCommandLine(const OptionTable<Options>& table, const ParseRules& rules, int argc,
                      const char* const* argv, Options* options,
                      const std::function<bool(const Options&)>& stop,
                      std::vector<std::string>* operands, std::string* error) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      operands->push_back(arg);
      continue;
    }
    if (rules.inline_values && arg == "--") {
      options_ended = true;
      continue;
    }
    std::string value;
    bool inline_value = false;
    const size_t equals = arg.find('=');
    if (rules.inline_values && arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      inline_value = true;
    }
    const CommandOption<Options>* option = FindOption(table, arg);
    if (!option) {
      *error = "unknown option " + arg;
      return false;
    }
    if (!option->argument && inline_value) {
      *error = arg + " takes no value";
      return false;
    }
    if (option->argument && !inline_value) {
      if (i + 1 >= argc) {
        *error = arg + " needs " + (option->missing ? option->missing : rules.missing_value);
        return false;
      }
      value = argv[++i];
    }
    if (!option->apply(arg, value, options, error)) return false;
    if (stop(*options)) return true;
  }
  return true;
}

}  // namespace tools
