// Reader of the resource-script subset the exporter needs: #define lines,
// comments, LANGUAGE, STRINGTABLE and DIALOG/DIALOGEX with the usual control
// statements. Control styles get the resource compiler's default bits, so a
// template read here carries the style words the compiled resource would.
#include "ResourceScript.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>

namespace win32 {
namespace {

// Names a script may use without defining them: those that <windows.h> gives
// the resource compiler.
const std::map<std::string, long>& PredefinedNames() {
#define VANDRELL_NAME(name) \
  { #name, static_cast < long>(name) }
  static const std::map<std::string, long> names = {
      VANDRELL_NAME(WS_OVERLAPPED),   VANDRELL_NAME(WS_POPUP),      VANDRELL_NAME(WS_CHILD),
      VANDRELL_NAME(WS_VISIBLE),      VANDRELL_NAME(WS_DISABLED),   VANDRELL_NAME(WS_CAPTION),
      VANDRELL_NAME(WS_BORDER),       VANDRELL_NAME(WS_DLGFRAME),   VANDRELL_NAME(WS_VSCROLL),
      VANDRELL_NAME(WS_HSCROLL),      VANDRELL_NAME(WS_SYSMENU),    VANDRELL_NAME(WS_GROUP),
      VANDRELL_NAME(WS_TABSTOP),      VANDRELL_NAME(DS_MODALFRAME), VANDRELL_NAME(DS_SETFONT),
      VANDRELL_NAME(DS_CENTER),       VANDRELL_NAME(ES_LEFT),       VANDRELL_NAME(ES_AUTOHSCROLL),
      VANDRELL_NAME(ES_NUMBER),       VANDRELL_NAME(BS_PUSHBUTTON), VANDRELL_NAME(BS_DEFPUSHBUTTON),
      VANDRELL_NAME(BS_AUTOCHECKBOX), VANDRELL_NAME(BS_GROUPBOX),   VANDRELL_NAME(SS_LEFT),
      VANDRELL_NAME(IDC_STATIC),      VANDRELL_NAME(IDOK),          VANDRELL_NAME(IDCANCEL),
  };
#undef VANDRELL_NAME
  return names;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return i == a.size() && !b[i];
}

struct Token {
  enum Type { kEnd, kWord, kNumber, kString, kPunct };
  Type type = kEnd;
  std::string text;  // word, decoded string, or the punctuation character
  long value = 0;    // numbers
  int line = 0;
};

// Splits the script into tokens. Preprocessor lines are handled here, so that
// #define may appear anywhere; the names they define live in *symbols.
class Lexer {
 public:
  Lexer(const std::string& text, std::map<std::string, long>* symbols, int first_line)
      : text_(text), symbols_(symbols), line_(first_line) {}

  // The next token; kEnd at the end of the text or after an error.
  bool Next(Token* token) {
    while (true) {
      if (!SkipSpaceAndComments()) return false;
      token->line = line_;
      token->text.clear();
      token->value = 0;
      if (pos_ >= text_.size()) {
        token->type = Token::kEnd;
        return true;
      }
      const char c = text_[pos_];
      if (c == '#' && at_line_start_) {
        if (!Directive()) return false;
        continue;
      }
      at_line_start_ = false;
      if (c == '"') return String(token);
      if (std::isdigit(static_cast<unsigned char>(c))) return Number(token);
      if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        // L"..." is a wide string; the text is the same to us.
        if (c == 'L' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
          ++pos_;
          return String(token);
        }
        token->type = Token::kWord;
        while (pos_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
          token->text += text_[pos_++];
        return true;
      }
      if (c == ',' || c == '|' || c == '(' || c == ')' || c == '{' || c == '}' || c == '-') {
        token->type = Token::kPunct;
        token->text = std::string(1, c);
        ++pos_;
        return true;
      }
      return Fail(std::string("unexpected character '") + c + "'");
    }
  }

  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& reason) {
    if (error_.empty()) error_ = "line " + std::to_string(line_) + ": " + reason;
    return false;
  }

  bool SkipSpaceAndComments() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
        at_line_start_ = true;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (text_.compare(pos_, 2, "//") == 0) {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (text_.compare(pos_, 2, "/*") == 0) {
        const int start_line = line_;
        pos_ += 2;
        while (pos_ < text_.size() && text_.compare(pos_, 2, "*/") != 0) {
          if (text_[pos_] == '\n') ++line_;
          ++pos_;
        }
        if (pos_ >= text_.size()) {
          line_ = start_line;
          return Fail("unterminated comment");
        }
        pos_ += 2;
      } else {
        return true;
      }
    }
    return true;
  }

  bool String(Token* token) {
    token->type = Token::kString;
    ++pos_;  // opening quote
    while (true) {
      if (pos_ >= text_.size() || text_[pos_] == '\n') return Fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') {
        // A doubled quote stands for one quote inside the string.
        if (pos_ < text_.size() && text_[pos_] == '"') {
          token->text += '"';
          ++pos_;
          continue;
        }
        return true;
      }
      if (c != '\\' || pos_ >= text_.size() || text_[pos_] == '\n') {
        token->text += c;
        continue;
      }
      const char e = text_[pos_++];
      switch (e) {
        case 'n':
          token->text += '\n';
          break;
        case 't':
          token->text += '\t';
          break;
        case 'r':
          token->text += '\r';
          break;
        case 'a':
          token->text += '\a';
          break;
        case '\\':
          token->text += '\\';
          break;
        case '"':
          token->text += '"';
          break;
        default:
          // Unknown escapes are kept as written.
          token->text += '\\';
          token->text += e;
      }
    }
  }

  bool Number(Token* token) {
    token->type = Token::kNumber;
    const size_t start = pos_;
    int base = 10;
    if (text_.compare(pos_, 2, "0x") == 0 || text_.compare(pos_, 2, "0X") == 0) {
      base = 16;
      pos_ += 2;
    }
    while (pos_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[pos_])) &&
           (base == 16 || std::isdigit(static_cast<unsigned char>(text_[pos_]))))
      ++pos_;
    const std::string digits = text_.substr(start, pos_ - start);
    // Numbers may carry a long or unsigned suffix, which changes nothing here.
    while (pos_ < text_.size() && text_[pos_] != '\0' && std::strchr("lLuU", text_[pos_])) ++pos_;
    if (pos_ < text_.size() &&
        (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
      return Fail("malformed number '" + digits + text_[pos_] + "'");
    if (base == 16 && digits.size() == 2) return Fail("malformed number '" + digits + "'");
    char* end = nullptr;
    const unsigned long value = std::strtoul(digits.c_str(), &end, base);
    if (value > 0xFFFFFFFFul) return Fail("number out of range '" + digits + "'");
    // Resource values are 32-bit words; 0x80000000 and above keep their bits.
    token->value = static_cast<long>(value);
    return true;
  }

  bool Directive() {
    const int directive_line = line_;
    std::string line;
    ++pos_;  // '#'
    while (pos_ < text_.size() && text_[pos_] != '\n') {
      // A backslash at the end of a line continues the directive.
      if (text_[pos_] == '\\' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') {
        pos_ += 2;
        ++line_;
        line += ' ';
        continue;
      }
      line += text_[pos_++];
    }
    size_t i = 0;
    auto skip_blanks = [&] {
      while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    };
    auto read_word = [&] {
      std::string word;
      while (i < line.size() &&
             (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_'))
        word += line[i++];
      return word;
    };
    skip_blanks();
    const std::string directive = read_word();
    if (directive == "include" || directive == "pragma") return true;
    if (directive == "define" || directive == "undef") {
      skip_blanks();
      const std::string name = read_word();
      if (name.empty()) {
        line_ = directive_line;
        return Fail("#" + directive + " without a name");
      }
      if (directive == "undef") {
        symbols_->erase(name);
        return true;
      }
      if (i < line.size() && line[i] == '(')
        return true;  // macros with arguments mean nothing here
      return Define(name, line.substr(i), directive_line);
    }
    line_ = directive_line;
    return Fail("unsupported directive #" + directive);
  }

  // Records a #define whose value is a number expression; other values (or
  // none) leave the name undefined, so using it later is an error.
  bool Define(const std::string& name, const std::string& value_text, int line);

  const std::string& text_;
  std::map<std::string, long>* symbols_;
  size_t pos_ = 0;
  int line_;
  bool at_line_start_ = true;
  std::string error_;
};

// Reads statements from the tokens of a Lexer.
class Parser {
 public:
  Parser(const std::string& text, std::map<std::string, long>* symbols, int first_line)
      : lexer_(text, symbols, first_line), symbols_(symbols) {}

  bool Start() { return Advance(); }
  bool AtEnd() const { return token_.type == Token::kEnd; }
  const std::string& error() const { return error_.empty() ? lexer_.error() : error_; }

  bool Script(ResourceSet* resources);
  // value: unary ('|' unary)*; unary: '-' unary | '(' value ')' | number | name.
  bool Value(long* value);

 private:
  bool Advance() {
    if (!lexer_.Next(&token_)) {
      token_.type = Token::kEnd;
      return false;
    }
    return true;
  }
  bool Fail(const std::string& reason) {
    if (error_.empty() && lexer_.error().empty())
      error_ = "line " + std::to_string(token_.line) + ": " + reason;
    return false;
  }
  bool IsPunct(char c) const { return token_.type == Token::kPunct && token_.text[0] == c; }
  bool IsWord(const char* word) const {
    return token_.type == Token::kWord && EqualsIgnoringCase(token_.text, word);
  }
  bool IsBegin() const { return IsWord("BEGIN") || IsPunct('{'); }
  bool IsEnd() const { return IsWord("END") || IsPunct('}'); }
  std::string Describe() const {
    switch (token_.type) {
      case Token::kEnd:
        return "end of script";
      case Token::kString:
        return "\"" + token_.text + "\"";
      case Token::kNumber:
        return std::to_string(token_.value);
      default:
        return "'" + token_.text + "'";
    }
  }
  bool Expect(char punct) {
    if (!IsPunct(punct)) return Fail(std::string("expected '") + punct + "' before " + Describe());
    return Advance();
  }
  bool ExpectString(std::string* text) {
    if (token_.type != Token::kString) return Fail("expected a string before " + Describe());
    *text = token_.text;
    return Advance();
  }
  bool Int(int* value) {
    long v = 0;
    if (!Value(&v)) return false;
    *value = static_cast<int>(v);
    return true;
  }

  bool Unary(long* value);
  // style: term ('|' term)*; term: 'NOT' unary clears bits, unary sets them.
  // Starts from initial, which holds the statement's default bits.
  bool Style(DWORD initial, DWORD* style);
  bool SkipLanguage();
  bool StringTable(ResourceSet* resources);
  bool Dialog(ResourceSet* resources, int id, const std::string& name, bool extended);
  bool Control(DialogTemplate* dialog, bool extended);

  Lexer lexer_;
  std::map<std::string, long>* symbols_;
  Token token_;
  std::string error_;
};

bool Lexer::Define(const std::string& name, const std::string& value_text, int line) {
  Parser value_parser(value_text, symbols_, line);
  if (!value_parser.Start()) {
    error_ = value_parser.error();
    return false;
  }
  if (value_parser.AtEnd()) return true;
  long value = 0;
  const bool numeric = value_parser.Value(&value) && value_parser.AtEnd();
  if (numeric) (*symbols_)[name] = value;
  return true;
}

bool Parser::Unary(long* value) {
  if (IsPunct('-')) {
    if (!Advance() || !Unary(value)) return false;
    // Negation in 32-bit words, as the resource compiler computes.
    *value = static_cast<long>(static_cast<int>(-static_cast<unsigned long>(*value)));
    return true;
  }
  if (IsPunct('(')) {
    if (!Advance() || !Value(value)) return false;
    return Expect(')');
  }
  if (token_.type == Token::kNumber) {
    *value = token_.value;
    return Advance();
  }
  if (token_.type == Token::kWord) {
    auto defined = symbols_->find(token_.text);
    if (defined != symbols_->end()) {
      *value = defined->second;
      return Advance();
    }
    auto predefined = PredefinedNames().find(token_.text);
    if (predefined != PredefinedNames().end()) {
      *value = predefined->second;
      return Advance();
    }
    return Fail("unknown name '" + token_.text + "'");
  }
  return Fail("expected a number before " + Describe());
}

bool Parser::Value(long* value) {
  if (!Unary(value)) return false;
  while (IsPunct('|')) {
    long next = 0;
    if (!Advance() || !Unary(&next)) return false;
    *value |= next;
  }
  return true;
}

bool Parser::Style(DWORD initial, DWORD* style) {
  DWORD bits = initial;
  while (true) {
    const bool clear = IsWord("NOT");
    if (clear && !Advance()) return false;
    long term = 0;
    if (!Unary(&term)) return false;
    const DWORD term_bits = static_cast<DWORD>(term) & 0xFFFFFFFFul;
    bits = clear ? (bits & ~term_bits) : (bits | term_bits);
    if (!IsPunct('|')) break;
    if (!Advance()) return false;
  }
  *style = bits;
  return true;
}

bool Parser::SkipLanguage() {
  // LANGUAGE primary, sub: the language changes nothing here.
  if (!Advance()) return false;
  if (token_.type != Token::kWord && token_.type != Token::kNumber)
    return Fail("expected a language before " + Describe());
  if (!Advance() || !Expect(',')) return false;
  if (token_.type != Token::kWord && token_.type != Token::kNumber)
    return Fail("expected a sublanguage before " + Describe());
  return Advance();
}

bool Parser::Script(ResourceSet* resources) {
  while (!AtEnd()) {
    if (IsWord("LANGUAGE")) {
      if (!SkipLanguage()) return false;
      continue;
    }
    if (IsWord("STRINGTABLE")) {
      if (!Advance() || !StringTable(resources)) return false;
      continue;
    }
    // Other resources start with their id: a number, a #defined name or a
    // name of its own.
    int id = 0;
    std::string name;
    if (token_.type == Token::kNumber) {
      id = static_cast<int>(token_.value);
      if (id < 1 || id > 0xFFFF) return Fail("resource id out of range: " + Describe());
    } else if (token_.type == Token::kWord) {
      auto defined = symbols_->find(token_.text);
      if (defined != symbols_->end()) {
        id = static_cast<int>(defined->second);
        if (id < 1 || id > 0xFFFF)
          return Fail("resource id out of range: " + std::to_string(defined->second));
      } else {
        for (char c : token_.text)
          name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
    } else {
      return Fail("expected a resource before " + Describe());
    }
    if (!Advance()) return false;
    if (IsWord("DIALOG") || IsWord("DIALOGEX")) {
      const bool extended = IsWord("DIALOGEX");
      if (!Advance() || !Dialog(resources, id, name, extended)) return false;
      continue;
    }
    return Fail("unsupported resource type " + Describe());
  }
  return error().empty();
}

bool Parser::StringTable(ResourceSet* resources) {
  while (!IsBegin()) {
    if (IsWord("LANGUAGE")) {
      if (!SkipLanguage()) return false;
    } else if (IsWord("CHARACTERISTICS") || IsWord("VERSION")) {
      long ignored = 0;
      if (!Advance() || !Value(&ignored)) return false;
    } else {
      return Fail("expected BEGIN of the string table before " + Describe());
    }
  }
  if (!Advance()) return false;
  while (!IsEnd()) {
    if (AtEnd()) return Fail("string table without END");
    const int line = token_.line;
    long id = 0;
    if (!Value(&id)) return false;
    if (id < 0 || id > 0xFFFF) return Fail("string id out of range: " + std::to_string(id));
    if (IsPunct(',') && !Advance()) return false;
    std::string text;
    if (!ExpectString(&text)) return false;
    if (!resources->strings.emplace(static_cast<UINT>(id), text).second) {
      error_ = "line " + std::to_string(line) + ": duplicate string id " + std::to_string(id);
      return false;
    }
  }
  return Advance();
}

bool Parser::Dialog(ResourceSet* resources, int id, const std::string& name, bool extended) {
  for (const DialogTemplate& existing : resources->dialogs) {
    if (existing.id == id && existing.name == name)
      return Fail("duplicate dialog " + (name.empty() ? std::to_string(id) : name));
  }
  DialogTemplate dialog;
  dialog.id = id;
  dialog.name = name;
  // Memory options of 16-bit resources are accepted and mean nothing.
  while (IsWord("DISCARDABLE") || IsWord("MOVEABLE") || IsWord("FIXED") || IsWord("PURE") ||
         IsWord("IMPURE") || IsWord("PRELOAD") || IsWord("LOADONCALL")) {
    if (!Advance()) return false;
  }
  if (!Int(&dialog.x) || !Expect(',') || !Int(&dialog.y) || !Expect(',') || !Int(&dialog.width) ||
      !Expect(',') || !Int(&dialog.height))
    return false;
  if (extended && IsPunct(',')) {
    long help_id = 0;
    if (!Advance() || !Value(&help_id)) return false;
  }
  // Without a STYLE statement a dialog is a bordered pop-up with a system menu.
  DWORD style = WS_POPUP | WS_BORDER | WS_SYSMENU;
  while (!IsBegin()) {
    if (IsWord("STYLE")) {
      if (!Advance() || !Style(0, &style)) return false;
    } else if (IsWord("EXSTYLE")) {
      DWORD ignored = 0;
      if (!Advance() || !Style(0, &ignored)) return false;
    } else if (IsWord("CAPTION")) {
      if (!Advance() || !ExpectString(&dialog.caption)) return false;
    } else if (IsWord("FONT")) {
      if (!Advance() || !Int(&dialog.font_size) || !Expect(',') || !ExpectString(&dialog.font))
        return false;
      // DIALOGEX fonts may add weight, italic and character set.
      while (extended && IsPunct(',')) {
        long ignored = 0;
        if (!Advance() || !Value(&ignored)) return false;
      }
    } else if (IsWord("LANGUAGE")) {
      if (!SkipLanguage()) return false;
    } else if (IsWord("CHARACTERISTICS") || IsWord("VERSION")) {
      long ignored = 0;
      if (!Advance() || !Value(&ignored)) return false;
    } else if (AtEnd()) {
      return Fail("dialog without BEGIN");
    } else {
      return Fail("unsupported dialog statement " + Describe());
    }
  }
  // The compiler adds the style bits that CAPTION and FONT imply.
  if (!dialog.caption.empty()) style |= WS_CAPTION;
  if (!dialog.font.empty()) style |= DS_SETFONT;
  dialog.style = style;
  if (!Advance()) return false;
  while (!IsEnd()) {
    if (AtEnd()) return Fail("dialog without END");
    if (!Control(&dialog, extended)) return false;
  }
  if (!Advance()) return false;
  resources->dialogs.push_back(std::move(dialog));
  return true;
}

// The control statements, with the style bits the compiler gives each.
struct ControlStatement {
  const char* keyword;
  const char* control_class;
  DWORD default_style;  // besides WS_CHILD | WS_VISIBLE
  bool has_text;
};
constexpr ControlStatement kControlStatements[] = {
    {"DEFPUSHBUTTON", "Button", BS_DEFPUSHBUTTON | WS_TABSTOP, true},
    {"PUSHBUTTON", "Button", BS_PUSHBUTTON | WS_TABSTOP, true},
    {"AUTOCHECKBOX", "Button", BS_AUTOCHECKBOX | WS_TABSTOP, true},
    {"GROUPBOX", "Button", BS_GROUPBOX, true},
    {"EDITTEXT", "Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, false},
    {"LTEXT", "Static", SS_LEFT | WS_GROUP, true},
};

bool Parser::Control(DialogTemplate* dialog, bool extended) {
  ControlTemplate control;
  std::string control_class;
  const int line = token_.line;
  auto optional_extras = [&](int allowed) {
    // Trailing extended style and, in DIALOGEX, help id: read and ignored.
    for (int i = 0; i < allowed && IsPunct(','); ++i) {
      long ignored = 0;
      if (!Advance() || !Value(&ignored)) return false;
    }
    return true;
  };
  const ControlStatement* statement = nullptr;
  for (const ControlStatement& candidate : kControlStatements) {
    if (IsWord(candidate.keyword)) statement = &candidate;
  }
  if (statement) {
    if (!Advance()) return false;
    if (statement->has_text && (!ExpectString(&control.text) || !Expect(','))) return false;
    if (!Int(&control.id) || !Expect(',') || !Int(&control.x) || !Expect(',') || !Int(&control.y) ||
        !Expect(',') || !Int(&control.width) || !Expect(',') || !Int(&control.height))
      return false;
    control_class = statement->control_class;
    control.style = WS_CHILD | WS_VISIBLE | statement->default_style;
    if (IsPunct(',')) {
      if (!Advance() || !Style(control.style, &control.style)) return false;
    }
    if (!optional_extras(extended ? 2 : 1)) return false;
  } else if (IsWord("CONTROL")) {
    if (!Advance() || !ExpectString(&control.text) || !Expect(',') || !Int(&control.id) ||
        !Expect(','))
      return false;
    if (token_.type != Token::kString && token_.type != Token::kWord)
      return Fail("expected a control class before " + Describe());
    control_class = token_.text;
    if (!Advance() || !Expect(',') || !Style(WS_CHILD | WS_VISIBLE, &control.style) ||
        !Expect(',') || !Int(&control.x) || !Expect(',') || !Int(&control.y) || !Expect(',') ||
        !Int(&control.width) || !Expect(',') || !Int(&control.height))
      return false;
    if (!optional_extras(extended ? 2 : 1)) return false;
  } else {
    return Fail("unsupported control statement " + Describe());
  }

  auto fail_at = [&](const std::string& reason) {
    error_ = "line " + std::to_string(line) + ": " + reason;
    return false;
  };
  if (EqualsIgnoringCase(control_class, "Button")) {
    switch (control.style & 0xF) {
      case BS_PUSHBUTTON:
        control.kind = ControlKind::kPushButton;
        break;
      case BS_DEFPUSHBUTTON:
        control.kind = ControlKind::kDefPushButton;
        break;
      case BS_AUTOCHECKBOX:
        control.kind = ControlKind::kCheckBox;
        break;
      case BS_GROUPBOX:
        control.kind = ControlKind::kGroupBox;
        break;
      default:
        return fail_at("unsupported button type " + std::to_string(control.style & 0xF));
    }
  } else if (EqualsIgnoringCase(control_class, "Edit")) {
    control.kind = ControlKind::kEdit;
  } else if (EqualsIgnoringCase(control_class, "Static")) {
    control.kind = ControlKind::kStatic;
  } else {
    return fail_at("unsupported control class \"" + control_class + "\"");
  }
  dialog->controls.push_back(std::move(control));
  return true;
}

}  // namespace

bool ParseResourceScript(const std::string& script, ResourceSet* resources, std::string* error) {
  std::map<std::string, long> symbols;
  Parser parser(script, &symbols, 1);
  ResourceSet parsed;
  const bool ok = parser.Start() && parser.Script(&parsed);
  if (!ok) {
    if (error) *error = parser.error();
    return false;
  }
  *resources = std::move(parsed);
  return true;
}

}  // namespace win32
