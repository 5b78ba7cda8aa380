#include "wintest/CaseScript.h"

#include <cstdlib>
#include <map>
#include <sstream>

#include "resources/resource.h"

namespace wintest {

namespace {

const std::map<std::string, int>& ControlNames() {
  static const std::map<std::string, int> names = {
      {"IDOK", 1},
      {"IDCANCEL", 2},
      {"IDC_GOURAUD_SHADING", IDC_GOURAUD_SHADING},
      {"IDC_ROTATE", IDC_ROTATE},
      {"IDC_ROCKET_SMOKE_TRAIL", IDC_ROCKET_SMOKE_TRAIL},
      {"IDC_GRENADE_SMOKE_TRAIL", IDC_GRENADE_SMOKE_TRAIL},
      {"IDC_GIB_LONG_BLOOD_TRAIL", IDC_GIB_LONG_BLOOD_TRAIL},
      {"IDC_GIB_SHORT_BLOOD_TRAIL", IDC_GIB_SHORT_BLOOD_TRAIL},
      {"IDC_WIZARD_GREEN_TRACER", IDC_WIZARD_GREEN_TRACER},
      {"IDC_HELLKNIGHT_YELLOW_TRACER", IDC_HELLKNIGHT_YELLOW_TRACER},
      {"IDC_VORE_PURPLE_TRACER", IDC_VORE_PURPLE_TRACER},
      {"IDC_RANDOM", IDC_RANDOM},
      {"IDC_SCALE_MODEL", IDC_SCALE_MODEL},
      {"IDC_SCALE_COLLISION_BOX", IDC_SCALE_COLLISION_BOX},
      {"IDC_TEXTURE_LIMIT", IDC_TEXTURE_LIMIT},
      {"IDC_BASE_NAME", IDC_BASE_NAME},
      {"IDC_FRAMES", IDC_FRAMES},
      {"IDC_FULLBRIGHT_COLORS", IDC_FULLBRIGHT_COLORS},
  };
  return names;
}

bool ParseNumber(const std::string& word, int* value) {
  if (word.empty() || word.size() > 9) return false;
  for (char c : word)
    if (c < '0' || c > '9') return false;
  *value = std::atoi(word.c_str());
  return true;
}

bool ParseControl(const std::string& word, int* control) {
  const auto found = ControlNames().find(word);
  if (found != ControlNames().end()) {
    *control = found->second;
    return true;
  }
  return ParseNumber(word, control);
}

// "\b" stands for the Backspace key; "\\" for a backslash.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'b' || text[i + 1] == '\\')) {
      out += text[i + 1] == 'b' ? '\b' : '\\';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Splits "word rest of line" at the first space.
void Split(const std::string& line, std::string* head, std::string* rest) {
  const size_t space = line.find(' ');
  *head = line.substr(0, space);
  *rest = space == std::string::npos ? std::string() : line.substr(space + 1);
}

}  // namespace

bool ParseCaseScript(const std::string& text, CaseScript* script, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  ExportCase* current = nullptr;
  auto fail = [&](const std::string& reason) {
    *error = "line " + std::to_string(number) + ": " + reason;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line[start] == '#') continue;
    line = line.substr(start);
    std::string verb, rest;
    Split(line, &verb, &rest);

    if (verb == "identity") {
      std::string key, value;
      Split(rest, &key, &value);
      if (key.empty()) return fail("identity needs a key and a value");
      script->identity.emplace_back(key, value);
      continue;
    }
    if (verb == "case") {
      if (rest.empty()) return fail("a case needs a name");
      script->cases.emplace_back();
      current = &script->cases.back();
      current->name = rest;
      current->line = number;
      continue;
    }
    if (!current) return fail("'" + verb + "' before the first case");

    std::string word, tail;
    Split(rest, &word, &tail);
    int control = 0;
    if (verb == "scene") {
      current->scene = rest;
    } else if (verb == "target") {
      current->target = rest;
    } else if (verb == "existing") {
      current->has_existing = true;
      current->existing = rest;
    } else if (verb == "small-location") {
      current->small_location = true;
    } else if (verb == "type" || verb == "paste") {
      if (!ParseControl(word, &control)) return fail("unknown control '" + word + "'");
      DialogStep step;
      step.kind = verb == "type" ? DialogStep::kType : DialogStep::kPaste;
      step.control = control;
      step.text = Unescape(tail);
      current->steps.push_back(step);
    } else if (verb == "check") {
      if (!ParseControl(word, &control)) return fail("unknown control '" + word + "'");
      if (tail != "on" && tail != "off") return fail("check takes on or off");
      DialogStep step;
      step.kind = DialogStep::kCheck;
      step.control = control;
      step.checked = tail == "on";
      current->steps.push_back(step);
    } else if (verb == "press") {
      if (!ParseControl(rest, &control)) return fail("unknown control '" + rest + "'");
      DialogStep step;
      step.kind = DialogStep::kPress;
      step.control = control;
      current->steps.push_back(step);
    } else if (verb == "escape" || verb == "close") {
      DialogStep step;
      step.kind = verb == "escape" ? DialogStep::kEscape : DialogStep::kClose;
      current->steps.push_back(step);
    } else if (verb == "screenshot") {
      if (rest.empty()) return fail("a screenshot needs a name");
      DialogStep step;
      step.kind = DialogStep::kScreenshot;
      step.text = rest;
      current->steps.push_back(step);
    } else if (verb == "initial" || verb == "initial-text" || verb == "initial-limit") {
      if (!ParseControl(word, &control)) return fail("unknown control '" + word + "'");
      InitialCheck check;
      check.control = control;
      if (verb == "initial") {
        if (tail != "checked" && tail != "unchecked")
          return fail("initial takes checked or unchecked");
        check.kind = InitialCheck::kChecked;
        check.checked = tail == "checked";
      } else {
        int limit = 0;
        if (verb == "initial-limit" && !ParseNumber(tail, &limit))
          return fail("a limit is a number");
        check.kind = verb == "initial-text" ? InitialCheck::kText : InitialCheck::kLimit;
        check.text = tail;
      }
      current->initial.push_back(check);
    } else if (verb == "final-text") {
      if (!ParseControl(word, &control)) return fail("unknown control '" + word + "'");
      current->final_texts.emplace_back(control, tail);
    } else if (verb == "message" || verb == "message-with-file") {
      const size_t bar = rest.find('|');
      if (bar == std::string::npos) return fail("a message is CAPTION|TEXT");
      ExpectedMessage message;
      message.caption = rest.substr(0, bar);
      message.text = rest.substr(bar + 1);
      message.with_file = verb == "message-with-file";
      current->messages.push_back(message);
    } else if (verb == "file") {
      if (rest == "written") {
        current->file = ExportCase::kWritten;
      } else if (rest == "absent") {
        current->file = ExportCase::kAbsent;
      } else if (rest == "unchanged") {
        current->file = ExportCase::kUnchanged;
      } else {
        return fail("file takes written, absent or unchanged");
      }
    } else if (verb == "frames") {
      if (!ParseNumber(rest, &current->frames)) return fail("frames takes a number");
    } else if (verb == "frame-name") {
      int index = 0;
      if (!ParseNumber(word, &index)) return fail("frame-name takes a frame number and a name");
      current->frame_names.emplace_back(index, tail);
    } else {
      return fail("unknown step '" + verb + "'");
    }
  }
  for (const ExportCase& c : script->cases) {
    if (c.target.empty()) {
      number = c.line;
      return fail("case " + c.name + " has no target");
    }
    if (c.file == ExportCase::kUnchanged && !c.has_existing) {
      number = c.line;
      return fail("case " + c.name + " expects an unchanged file but has none");
    }
  }
  return true;
}

}  // namespace wintest
