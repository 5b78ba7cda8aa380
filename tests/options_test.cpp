// The commands' option tables against what documents them: --help, each
// command's section of the README and its manual page. An option added to a
// table and left out of the README or the page fails here, and so does a
// page that names an option the command does not have.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/RunProgram.h"
#include "tools/CliOptions.h"
#include "tools/MdlinfoOptions.h"

namespace {

std::string ReadSource(const std::string& relative) {
  std::ifstream in(std::string(VANDRELL_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A command's options as its table has them.
struct TableOption {
  std::string name;   // "--help"
  std::string alias;  // "-h", or empty
  std::string label;  // "-h, --help": the start of its --help line
};

template <typename Options>
std::vector<TableOption> OptionsOf(const tools::OptionTable<Options>& table) {
  std::vector<TableOption> options;
  for (const auto& group : table) {
    for (const auto& option : group.options) {
      std::string label =
          option.alias ? std::string(option.alias) + ", " + option.name : std::string(option.name);
      if (option.argument) label += std::string(" ") + option.argument;
      options.push_back({option.name, option.alias ? option.alias : "", label});
    }
  }
  return options;
}

bool Spelled(const std::vector<TableOption>& options, const std::string& spelling) {
  for (const TableOption& option : options) {
    if (spelling == option.name || spelling == option.alias) return true;
  }
  return false;
}

// The option spellings (--name, -x) in text, where a word starts.
std::set<std::string> OptionWords(const std::string& text) {
  static const std::regex word(R"((^|[\s\[\(|"'`,])(--?[a-z][a-z0-9-]*))");
  std::set<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator();
       ++it)
    found.insert((*it)[2].str());
  return found;
}

// The program a command line or a code span starts with: its first word's
// file name (build/bin/mdlinfo is mdlinfo).
std::string ProgramOf(const std::string& words) {
  std::istringstream in(words);
  std::string first;
  in >> first;
  const size_t slash = first.rfind('/');
  return slash == std::string::npos ? first : first.substr(slash + 1);
}

// The README section of a command: from its "## " heading to the next one.
// In it, an option is the command's when it stands in a code line of the
// command (or a comment line of the examples), or in a code span that is
// the command's: one that starts with an option, or with the command's
// name. Options of other commands the section mentions ("`mdlinfo
// --check`" in mdlexport's) are theirs, not this one's.
std::set<std::string> ReadmeOptions(const std::string& command, const std::string& heading) {
  const std::vector<std::string> lines = Lines(ReadSource("README.md"));
  size_t line = 0;
  while (line < lines.size() && lines[line] != "## " + heading) ++line;
  EXPECT_LT(line, lines.size()) << "README.md has no section \"## " << heading << "\" for "
                                << command;
  std::set<std::string> found;
  for (++line; line < lines.size() && lines[line].compare(0, 3, "## ") != 0; ++line) {
    const std::string& text = lines[line];
    if (text.compare(0, 4, "    ") == 0) {
      const size_t start = text.find_first_not_of(' ');
      if (start == std::string::npos) continue;
      if (text[start] == '#' || ProgramOf(text) == command) {
        for (const std::string& option : OptionWords(text)) found.insert(option);
      }
      continue;
    }
    for (size_t open = text.find('`'); open != std::string::npos;) {
      const size_t close = text.find('`', open + 1);
      if (close == std::string::npos) break;
      const std::string span = text.substr(open + 1, close - open - 1);
      if (!span.empty() && (span[0] == '-' || ProgramOf(span) == command)) {
        for (const std::string& option : OptionWords(span)) found.insert(option);
      }
      open = text.find('`', close + 1);
    }
  }
  return found;
}

// roff text as read: "\-" a minus, font changes dropped.
std::string Unescaped(const std::string& roff) {
  std::string text = std::regex_replace(roff, std::regex(R"(\\f[BIRP])"), "");
  return std::regex_replace(text, std::regex(R"(\\-)"), "-");
}

// What a manual page says of a command's options: the tags of its OPTIONS
// list (the line after each .TP), and every option its SYNOPSIS and OPTIONS
// sections mention, tags and text.
struct PageOptions {
  std::set<std::string> tagged;
  std::set<std::string> synopsis;
};

PageOptions ManualPageOptions(const std::string& page) {
  const std::vector<std::string> lines = Lines(ReadSource(page));
  PageOptions found;
  std::string section;
  bool options_seen = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].compare(0, 4, ".SH ") == 0) {
      section = lines[i].substr(4);
      options_seen |= section == "OPTIONS";
      continue;
    }
    if (section == "SYNOPSIS") {
      for (const std::string& option : OptionWords(Unescaped(lines[i])))
        found.synopsis.insert(option);
    }
    if (section == "OPTIONS" && lines[i] == ".TP" && i + 1 < lines.size()) {
      for (const std::string& option : OptionWords(Unescaped(lines[i + 1])))
        found.tagged.insert(option);
    }
  }
  EXPECT_TRUE(options_seen) << page << " has no OPTIONS section";
  return found;
}

void ExpectDocumented(const std::string& command, const std::vector<TableOption>& options,
                      const std::string& readme_heading, const std::string& page) {
  const std::set<std::string> readme = ReadmeOptions(command, readme_heading);
  const PageOptions manual = ManualPageOptions(page);
  for (const TableOption& option : options) {
    EXPECT_TRUE(readme.count(option.name)) << "README.md's \"" << readme_heading
                                           << "\" does not name " << command << " " << option.name;
    EXPECT_TRUE(manual.tagged.count(option.name))
        << page << " lists no " << option.name << " under OPTIONS";
  }
  for (const std::string& named : readme) {
    EXPECT_TRUE(Spelled(options, named)) << "README.md's \"" << readme_heading << "\" names "
                                         << named << ", which " << command << " does not have";
  }
  for (const std::string& named : manual.tagged) {
    EXPECT_TRUE(Spelled(options, named))
        << page << " lists " << named << ", which " << command << " does not have";
  }
  for (const std::string& named : manual.synopsis) {
    EXPECT_TRUE(Spelled(options, named))
        << page << "'s SYNOPSIS names " << named << ", which " << command << " does not have";
  }
}

// Every option's line of the program's --help starts with its label.
void ExpectHelpListsEveryOption(const std::string& program,
                                const std::vector<TableOption>& options) {
  const testing_support::ProgramRun run = testing_support::RunProgram(program, {"--help"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  for (const TableOption& option : options) {
    bool listed = false;
    for (const std::string& line : lines)
      listed |= line.compare(0, option.label.size() + 2, "  " + option.label) == 0;
    EXPECT_TRUE(listed) << program << " --help has no line for " << option.label;
  }
}

TEST(OptionTables, EverySpellingIsAnOptionOfOneEntryOnly) {
  for (const std::vector<TableOption>& options :
       {OptionsOf(tools::CliOptionTable()), OptionsOf(tools::MdlinfoOptionTable())}) {
    std::set<std::string> seen;
    for (const TableOption& option : options) {
      EXPECT_TRUE(std::regex_match(option.name, std::regex("--?[a-z][a-z0-9-]*"))) << option.name;
      EXPECT_TRUE(seen.insert(option.name).second) << option.name << " is in the table twice";
      if (!option.alias.empty()) {
        EXPECT_TRUE(seen.insert(option.alias).second) << option.alias << " is in the table twice";
      }
    }
  }
}

TEST(OptionTables, MdlexportHelpListsEveryOptionOfItsTable) {
  ExpectHelpListsEveryOption(MDLEXPORT_PATH, OptionsOf(tools::CliOptionTable()));
}

TEST(OptionTables, MdlinfoHelpListsEveryOptionOfItsTable) {
  ExpectHelpListsEveryOption(MDLINFO_PATH, OptionsOf(tools::MdlinfoOptionTable()));
}

TEST(OptionTables, MdlexportReadmeSectionAndManualPageNameExactlyItsOptions) {
  ExpectDocumented("mdlexport", OptionsOf(tools::CliOptionTable()), "Using mdlexport",
                   "man/mdlexport.1");
}

TEST(OptionTables, MdlinfoReadmeSectionAndManualPageNameExactlyItsOptions) {
  ExpectDocumented("mdlinfo", OptionsOf(tools::MdlinfoOptionTable()),
                   "Checking a model and looking at it", "man/mdlinfo.1");
}

TEST(OptionTables, HelpListPutsEachHelpAtItsColumnAndWrapsItWithinTheWidth) {
  // Help at column 10 within 30 columns: 20 columns for the text. A label
  // that leaves no space before the column stands on a line of its own.
  const std::string list = tools::FormatOptionList(
      {{"Heading:",
        {{"-a", "short help"}, {"--very-long-label ARG", "text that wraps onto a second line"}}},
       {"", {{"-b", "x"}}}},
      10, 30);
  EXPECT_EQ(list,
            "Heading:\n"
            "  -a      short help\n"
            "  --very-long-label ARG\n"
            "          text that wraps onto\n"
            "          a second line\n"
            "\n"
            "  -b      x\n");
}

struct Toy {
  std::string value;
  bool flag = false;
  bool help = false;
};

tools::ParseRules ToyRules(bool inline_values) {
  tools::ParseRules rules;
  rules.inline_values = inline_values;
  return rules;
}

// Runs argv (after a program name) through a table of --value V, --flag and
// -h/--help; the operands and the outcome, or the error.
std::string ParseToy(const std::vector<std::string>& args, bool inline_values, Toy* toy) {
  const tools::OptionTable<Toy> table = {
      {nullptr,
       {{"--value", nullptr, "V", "",
         [](const std::string&, const std::string& value, Toy* t, std::string*) {
           t->value = value;
           return true;
         }},
        {"--flag", nullptr, nullptr, "",
         [](const std::string&, const std::string&, Toy* t, std::string*) {
           t->flag = true;
           return true;
         }},
        {"--help", "-h", nullptr, "",
         [](const std::string&, const std::string&, Toy* t, std::string*) {
           t->help = true;
           return true;
         }}}}};
  std::vector<const char*> argv = {"toy"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::vector<std::string> operands;
  std::string error;
  if (!tools::ParseCommandLine<Toy>(
          table, ToyRules(inline_values), static_cast<int>(argv.size()), argv.data(), toy,
          [](const Toy& t) { return t.help; }, &operands, &error))
    return "error: " + error;
  std::string result;
  for (const std::string& operand : operands) result += operand + " ";
  return result + "value=" + toy->value + (toy->flag ? " flag" : "") + (toy->help ? " help" : "");
}

TEST(OptionTables, TheParserTakesValuesOperandsAndTheEndOfOptionsAsItsRulesSay) {
  Toy a, b, c, d, e, f, g, h;
  EXPECT_EQ(ParseToy({"in", "--value", "3", "-", "--flag"}, false, &a), "in - value=3 flag");
  EXPECT_EQ(ParseToy({"--value=3"}, true, &b), "value=3");
  EXPECT_EQ(ParseToy({"--value=3"}, false, &c), "error: unknown option --value=3");
  EXPECT_EQ(ParseToy({"--flag=yes"}, true, &d), "error: --flag takes no value");
  EXPECT_EQ(ParseToy({"--value"}, true, &e), "error: --value needs a value");
  EXPECT_EQ(ParseToy({"--", "--flag", "x"}, true, &f), "--flag x value=");
  EXPECT_EQ(ParseToy({"--"}, false, &g), "error: unknown option --");
  // An option before --help is taken, nothing after it is looked at.
  EXPECT_EQ(ParseToy({"--flag", "-h", "--bogus"}, true, &h), "value= flag help");
}

// The check itself: an option the command lacks is seen where the command's
// own words stand, and another command's is not.
TEST(OptionTables, ReadmeWordsAreTheCommandsWhereTheCommandSpeaks) {
  EXPECT_EQ(OptionWords("build/bin/mdlinfo x.mdl --preview p.png --size 64x48 -q"),
            (std::set<std::string>{"--preview", "--size", "-q"}));
  EXPECT_EQ(OptionWords("right-handed (x, y) -> 3 --x=1"), (std::set<std::string>{"--x"}));
  EXPECT_EQ(ProgramOf("build/bin/mdlinfo --check"), "mdlinfo");
  EXPECT_EQ(Unescaped(R"(.BR \-h ", " \-\-help)"), R"(.BR -h ", " --help)");
  EXPECT_EQ(Unescaped(R"(.BR \-\-frames " \fIn\fR|" all)"), R"(.BR --frames " n|" all)");
}

}  // namespace
