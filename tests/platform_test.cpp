#include <commctrl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <windows.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Win32StandIn.h"
#include "tests/TestSupport.h"

namespace {

// ---------------------------------------------------------------------------
// A dialog procedure that records every message it gets, then lets the test
// decide what to do with it (by default OK ends with 1, Cancel with 0).

struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Received> g_received;
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_behaviour;

INT_PTR EndOnOkOrCancel(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return 0;
  if (LOWORD(wParam) == IDOK) return EndDialog(window, 1);
  if (LOWORD(wParam) == IDCANCEL) return EndDialog(window, 0);
  return 0;
}

INT_PTR CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_received.push_back({window, message, wParam, lParam});
  return g_behaviour ? g_behaviour(window, message, wParam, lParam) : 0;
}

// The commands received, as "id/code" texts in order.
std::vector<std::string> Commands() {
  std::vector<std::string> commands;
  for (const Received& r : g_received) {
    if (r.message == WM_COMMAND)
      commands.push_back(std::to_string(static_cast<int>(static_cast<short>(LOWORD(r.wParam)))) +
                         "/" + std::to_string(HIWORD(r.wParam)));
  }
  return commands;
}

// A small dialog with one control of each kind the engine knows.
const char kTestScript[] = R"rc(
#define IDD_TEST 200
#define IDC_NAME 300
#define IDC_NUMBER 301
#define IDC_BOX 302
IDD_TEST DIALOG 10, 20, 200, 100
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION
CAPTION "Test"
BEGIN
  LTEXT "Label", -1, 1, 2, 30, 8
  EDITTEXT IDC_NAME, 5, 5, 50, 12
  EDITTEXT IDC_NUMBER, 5, 20, 50, 12, ES_NUMBER
  CONTROL "Box", IDC_BOX, "Button", BS_AUTOCHECKBOX | WS_TABSTOP, 5, 40, 50, 10
  GROUPBOX "Group", -1, 0, 0, 100, 60
  DEFPUSHBUTTON "OK", IDOK, 120, 5, 50, 14
  PUSHBUTTON "Cancel", IDCANCEL, 120, 25, 50, 14
END
)rc";
constexpr int kTestDialog = 200;
constexpr int kName = 300;
constexpr int kNumber = 301;
constexpr int kBox = 302;

HINSTANCE TestModule() {
  static char anchor;
  return reinterpret_cast<HINSTANCE>(&anchor);
}

class PlatformDialogEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(win32::RegisterResourceScript(TestModule(), kTestScript, &error)) << error;
    g_received.clear();
    g_behaviour = EndOnOkOrCancel;
  }
  void TearDown() override {
    win32::ForgetResources(TestModule());
    g_behaviour = nullptr;
  }
  INT_PTR Run(std::vector<win32::DialogAction> script, LPARAM param = 0) {
    win32::SetDialogScript(std::move(script));
    return DialogBoxParamA(TestModule(), MAKEINTRESOURCEA(kTestDialog), nullptr, RecordingProc,
                           param);
  }
  static const win32::ControlSnapshot& Control(int id) {
    for (const win32::ControlSnapshot& control : win32::LastDialog().controls) {
      if (control.id == id) return control;
    }
    static win32::ControlSnapshot none;
    ADD_FAILURE() << "no control " << id;
    return none;
  }
  // The handle a control reported in its first notification.
  static LPARAM HandleOf(int id) {
    for (const Received& r : g_received) {
      if (r.message == WM_COMMAND && LOWORD(r.wParam) == static_cast<WORD>(id)) return r.lParam;
    }
    return 0;
  }
};

// ---------------------------------------------------------------------------
// The exporter's own resource script.

struct ExpectedControl {
  int id;
  const char* kind;
  const char* text;
  int x, y, width, height;
  unsigned long style;
};

// Styles by hand: WS_CHILD 0x40000000 | WS_VISIBLE 0x10000000 = 0x50000000,
// plus the statement's defaults (DEFPUSHBUTTON: WS_TABSTOP 0x10000 |
// BS_DEFPUSHBUTTON 1; EDITTEXT: WS_BORDER 0x800000 | WS_TABSTOP; LTEXT:
// WS_GROUP 0x20000; GROUPBOX: BS_GROUPBOX 7) and the bits written in the
// script (ES_AUTOHSCROLL 0x80, ES_NUMBER 0x2000, BS_AUTOCHECKBOX 3).
const ExpectedControl kOptionsDialog[] = {
    {1, "defbutton", "OK", 277, 13, 50, 14, 0x50010001},
    {2, "button", "Cancel", 277, 36, 50, 14, 0x50010000},
    {1016, "edit", "", 18, 17, 68, 14, 0x50810080},
    {1017, "edit", "", 18, 58, 40, 14, 0x50812080},
    {1015, "edit", "", 18, 96, 40, 14, 0x50812080},
    {1014, "edit", "", 18, 135, 40, 14, 0x50812080},
    {1013, "edit", "", 18, 173, 40, 14, 0x50812080},
    {1002, "checkbox", "Rotate", 127, 17, 37, 10, 0x50010003},
    {1003, "checkbox", "Rocket Smoke Trail", 127, 31, 79, 10, 0x50010003},
    {1004, "checkbox", "Grenade Smoke Trail", 127, 44, 83, 10, 0x50010003},
    {1005, "checkbox", "Gib Long Blood Trail", 127, 57, 80, 10, 0x50010003},
    {1006, "checkbox", "Gib Short Blood Trail", 127, 68, 81, 10, 0x50010003},
    {1007, "checkbox", "Wizard Green Tracer", 127, 82, 82, 10, 0x50010003},
    {1008, "checkbox", "Hellknight Yellow Tracer", 127, 95, 93, 10, 0x50010003},
    {1009, "checkbox", "Vore Purple Tracer", 127, 108, 75, 10, 0x50010003},
    {1000, "checkbox", "Gouraud Shading", 127, 138, 71, 10, 0x50010003},
    {1010, "checkbox", "Random", 127, 178, 43, 10, 0x50010003},
    {-1, "groupbox", "Flags", 107, 7, 137, 119, 0x50000007},
    {-1, "groupbox", "Shading", 107, 129, 137, 37, 0x50000007},
    {-1, "groupbox", "Synchronization", 107, 166, 137, 26, 0x50000007},
    {-1, "groupbox", "Scale Model", 7, 161, 85, 31, 0x50000007},
    {-1, "static", "Percent", 61, 176, 26, 8, 0x50020000},
    {-1, "groupbox", "Scale Collision Box", 7, 124, 85, 31, 0x50000007},
    {-1, "static", "Percent", 61, 138, 26, 8, 0x50020000},
    {-1, "groupbox", "Limit Texture Size", 7, 85, 85, 31, 0x50000007},
    {-1, "static", "KBytes", 61, 99, 23, 8, 0x50020000},
    {-1, "groupbox", "Model Base Name", 7, 7, 85, 31, 0x50000007},
    {-1, "groupbox", "Frames", 7, 47, 85, 31, 0x50000007},
    {1018, "checkbox", "Use Fullbright Colors", 127, 149, 89, 14, 0x50010003},
};

TEST(PlatformResourceScript, OptionsDialogTemplateHoldsEveryControlInOrder) {
  const HINSTANCE module = testing_support::AttachExporter();
  g_received.clear();
  g_behaviour = nullptr;  // never ends the dialog: the engine gives up with 0
  win32::SetDialogScript({});
  EXPECT_EQ(DialogBoxParamA(module, MAKEINTRESOURCEA(102), nullptr, RecordingProc, 0), 0);

  const win32::DialogSnapshot& dialog = win32::LastDialog();
  EXPECT_EQ(dialog.template_id, 102);
  EXPECT_EQ(dialog.caption, "MDL Export Options");
  EXPECT_EQ(dialog.width, 334);
  EXPECT_EQ(dialog.height, 199);
  EXPECT_EQ(dialog.font, "MS Sans Serif");
  EXPECT_EQ(dialog.font_size, 8);
  // DS_MODALFRAME 0x80 | DS_CENTER 0x800 | WS_POPUP 0x80000000 | WS_CAPTION
  // 0xC00000 | WS_SYSMENU 0x80000, and DS_SETFONT 0x40 for the FONT line.
  EXPECT_EQ(static_cast<unsigned long>(dialog.style), 0x80C808C0ul);

  ASSERT_EQ(dialog.controls.size(), std::size(kOptionsDialog));
  for (size_t i = 0; i < dialog.controls.size(); ++i) {
    const win32::ControlSnapshot& got = dialog.controls[i];
    const ExpectedControl& want = kOptionsDialog[i];
    SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.text + "\"");
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.kind, want.kind);
    EXPECT_EQ(got.text, want.text);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_EQ(static_cast<unsigned long>(got.style), want.style);
    EXPECT_FALSE(got.checked);
    EXPECT_EQ(got.text_limit, std::string(want.kind) == "edit" ? 30000 : 0);
  }
}

TEST(PlatformResourceScript, StringTableHoldsTheExporterTexts) {
  const HINSTANCE module = testing_support::AttachExporter();
  const std::pair<UINT, const char*> texts[] = {
      {40216, "Quake MDL Files"},
      {40220, "Quake MDL Model File"},
      {40221, "Quake MDL"},
      {40222, "The Vandrell developers"},
      {40223, "Copyright (C) 2026 the Vandrell developers"},
      {40229, "Vandrell Exporter"},
      {40231, "Scene Export"},
      {40232, ".MDL File Export DLL - Version 0.1"},
      {40233, "No data to export"},
      {40234, "Can't create output file"},
      {40235, "Write error on file"},
      {40236, "Object %s is to large to export"},
      {40237, "Export Error"},
      {40238, "The frame count must be at least 1"},
      {40239, "The texture size limit is out of range"},
      {40240, "The number of faces changes during the animation"},
      {40241, "The texture size limit is too small for the materials"},
  };
  for (const auto& [id, text] : texts) {
    char buffer[256];
    EXPECT_EQ(LoadStringA(module, id, buffer, sizeof buffer), static_cast<int>(std::strlen(text)))
        << id;
    EXPECT_STREQ(buffer, text) << id;
  }
  char buffer[16] = "untouched";
  EXPECT_EQ(LoadStringA(module, 40217, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
}

TEST(PlatformResourceScript, LoadStringTruncatesToTheBufferAndFailsForUnknownModules) {
  const HINSTANCE module = testing_support::AttachExporter();
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(LoadStringA(module, 40216, buffer, 5), 4);
  EXPECT_STREQ(buffer, "Quak");
  EXPECT_EQ(buffer[5], 'x');

  EXPECT_EQ(LoadStringA(module, 40216, buffer, 1), 0);
  EXPECT_STREQ(buffer, "");

  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(LoadStringA(module, 40216, buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'x');

  static char other;
  EXPECT_EQ(LoadStringA(reinterpret_cast<HINSTANCE>(&other), 40216, buffer, 8), 0);
  EXPECT_EQ(LoadStringA(nullptr, 40216, buffer, 8), 0);
}

TEST(PlatformResourceScript, ReadsDefinesEscapesNotStylesAndNamedExtendedDialogs) {
  static char anchor;
  const HINSTANCE module = reinterpret_cast<HINSTANCE>(&anchor);
  const char script[] = R"rc(
#define IDS_A 10
#define IDS_B 0x0B  // hex
#define IDS_C (12)
/* a block
   comment */
#pragma code_page(1252)
#include "nothing.h"
LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
STRINGTABLE
BEGIN
  IDS_A "say ""hi"""
  IDS_B, "two\nlines and \"quotes\""
  IDS_C "tab\there"
  13 "plain"
END
Named DIALOGEX 0, 0, 50, 40
STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | NOT WS_SYSMENU
FONT 9, "Tahoma", 400, 0, 1
BEGIN
  EDITTEXT 5, 1, 2, 3, 4, ES_NUMBER | NOT WS_BORDER
  PUSHBUTTON "Go", 6, 1, 2, 3, 4, WS_DISABLED
END
)rc";
  std::string error;
  ASSERT_TRUE(win32::RegisterResourceScript(module, script, &error)) << error;

  char buffer[64];
  EXPECT_EQ(LoadStringA(module, 10, buffer, sizeof buffer), 8);
  EXPECT_STREQ(buffer, "say \"hi\"");
  LoadStringA(module, 11, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "two\nlines and \"quotes\"");
  LoadStringA(module, 12, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "tab\there");
  LoadStringA(module, 13, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "plain");

  // Named templates are found by name whatever its case; the disabled button
  // cannot be pressed, which the script reports as its error.
  g_received.clear();
  g_behaviour = EndOnOkOrCancel;
  win32::SetDialogScript({win32::DialogAction::Press(6)});
  testing::internal::CaptureStderr();
  EXPECT_EQ(DialogBoxParamA(module, "named", nullptr, RecordingProc, 0), 0);
  const std::string stderr_text = testing::internal::GetCapturedStderr();
  EXPECT_NE(stderr_text.find("disabled"), std::string::npos) << stderr_text;
  const win32::DialogSnapshot& dialog = win32::LastDialog();
  EXPECT_EQ(dialog.template_id, 0);
  EXPECT_EQ(dialog.font, "Tahoma");
  EXPECT_EQ(dialog.font_size, 9);
  // WS_POPUP 0x80000000 | WS_CAPTION 0xC00000 | DS_SETFONT 0x40; the system
  // menu is set and cleared again.
  EXPECT_EQ(static_cast<unsigned long>(dialog.style), 0x80C00040ul);
  ASSERT_EQ(dialog.controls.size(), 2u);
  // 0x50000000 | WS_TABSTOP 0x10000 | ES_NUMBER 0x2000, the border removed.
  EXPECT_EQ(static_cast<unsigned long>(dialog.controls[0].style), 0x50012000ul);
  // 0x50000000 | WS_TABSTOP | WS_DISABLED 0x08000000.
  EXPECT_EQ(static_cast<unsigned long>(dialog.controls[1].style), 0x58010000ul);
  EXPECT_EQ(dialog.controls[1].kind, "button");
  g_behaviour = nullptr;
  win32::ForgetResources(module);
  EXPECT_EQ(LoadStringA(module, 13, buffer, sizeof buffer), 0);
}

TEST(PlatformResourceScript, BadScriptsAreRefusedWithTheLineAndReason) {
  static char anchor;
  const HINSTANCE module = reinterpret_cast<HINSTANCE>(&anchor);
  struct Case {
    const char* script;
    const char* reason;
  };
  const Case cases[] = {
      {"STRINGTABLE\nBEGIN\n  1 \"open\nEND\n", "line 3: unterminated string"},
      {"1 DIALOG 0, 0, 10, 10\nSTYLE WS_POPUP | WS_BOGUS\nBEGIN\nEND\n",
       "line 2: unknown name 'WS_BOGUS'"},
      {"STRINGTABLE\nBEGIN\n  1 \"a\"\n", "string table without END"},
      {"STRINGTABLE\nBEGIN\n  1 \"a\"\n  1 \"b\"\nEND\n", "line 4: duplicate string id 1"},
      {"STRINGTABLE\nBEGIN\n  IDS_NOWHERE \"a\"\nEND\n", "line 3: unknown name 'IDS_NOWHERE'"},
      {"1 DIALOG 0, 0, 10, 10\nBEGIN\n  CONTROL \"x\", 3, \"ListBox\", 0, 1, 1, 1, 1\nEND\n",
       "line 3: unsupported control class \"ListBox\""},
      {"1 DIALOG 0, 0, 10, 10\nBEGIN\n  LISTBOX 3, 1, 1, 1, 1\nEND\n",
       "line 3: unsupported control statement 'LISTBOX'"},
      {"/* open\n comment\n", "line 1: unterminated comment"},
      {"#define A 1\n#ifdef A\n#endif\n", "line 2: unsupported directive #ifdef"},
      {"1 MENU\nBEGIN\nEND\n", "line 1: unsupported resource type 'MENU'"},
      {"1 DIALOG 0, 0, 10, 10\nCAPTION \"x\"\n", "line 3: dialog without BEGIN"},
      {"1 DIALOG 0, 0, 10\nBEGIN\nEND\n", "line 2: expected ',' before 'BEGIN'"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(win32::RegisterResourceScript(module, c.script, &error)) << c.script;
    EXPECT_NE(error.find(c.reason), std::string::npos) << "got: " << error;
    char buffer[8];
    EXPECT_EQ(LoadStringA(module, 1, buffer, sizeof buffer), 0);
  }

  // A refused script leaves the module's earlier resources in place.
  ASSERT_TRUE(win32::RegisterResourceScript(module, "STRINGTABLE { 1 \"kept\" }"));
  EXPECT_FALSE(win32::RegisterResourceScript(module, "STRINGTABLE { 1 \"lost }"));
  char buffer[8];
  EXPECT_EQ(LoadStringA(module, 1, buffer, sizeof buffer), 4);
  win32::ForgetResources(module);
}

// ---------------------------------------------------------------------------
// The dialog engine.

TEST_F(PlatformDialogEngine, InitDialogComesFirstThenEachActionsNotificationsInOrder) {
  HWND active_during = nullptr;
  g_behaviour = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      active_during = GetActiveWindow();
      return TRUE;
    }
    return EndOnOkOrCancel(window, message, wParam, lParam);
  };
  const INT_PTR result =
      Run({win32::DialogAction::Type(kName, "ab"), win32::DialogAction::Check(kBox, true),
           win32::DialogAction::Press(IDOK), win32::DialogAction::Type(kName, "never typed")},
          0x1234);
  EXPECT_EQ(result, 1);
  ASSERT_FALSE(g_received.empty());
  EXPECT_EQ(g_received[0].message, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(g_received[0].lParam, 0x1234);
  // The first tab stop (the name edit; the label is none) gets the focus.
  EXPECT_EQ(g_received[0].wParam, static_cast<WPARAM>(HandleOf(kName)));
  EXPECT_NE(g_received[0].wParam, 0u);
  EXPECT_EQ(active_during, g_received[0].window);
  EXPECT_NE(active_during, win32::MainWindow());
  EXPECT_EQ(GetActiveWindow(), win32::MainWindow());
  EXPECT_NE(win32::MainWindow(), nullptr);

  const std::vector<std::string> expected = {"300/768", "300/768", "302/0", "1/0"};
  EXPECT_EQ(Commands(), expected);  // EN_CHANGE is 0x300 = 768, BN_CLICKED 0
  // Every notification comes from its control: distinct handles, none the dialog's.
  EXPECT_NE(HandleOf(kName), HandleOf(kBox));
  EXPECT_NE(HandleOf(IDOK), 0);
  EXPECT_NE(HandleOf(IDOK), reinterpret_cast<LPARAM>(g_received[0].window));

  EXPECT_EQ(win32::LastDialog().template_id, kTestDialog);
  EXPECT_EQ(win32::LastDialog().init_dialog_result, 1);
  EXPECT_TRUE(win32::LastDialog().script_error.empty());
  EXPECT_EQ(Control(kName).text, "ab");
  EXPECT_TRUE(Control(kBox).checked);
}

TEST_F(PlatformDialogEngine, DigitsOnlyEditRefusesTypedLettersButTakesPastedOnes) {
  Run({win32::DialogAction::Type(kNumber, "1a2-b3"), win32::DialogAction::Type(kName, "x1-"),
       win32::DialogAction::Press(IDOK)});
  EXPECT_EQ(Control(kNumber).text, "123");
  EXPECT_EQ(Control(kName).text, "x1-");
  // Only accepted keys notify: three digits, then three characters.
  EXPECT_EQ(Commands().size(), 7u);

  g_received.clear();
  Run({win32::DialogAction::Type(kNumber, "12"), win32::DialogAction::Paste(kNumber, "-4x"),
       win32::DialogAction::Type(kNumber, "5\b\b6"), win32::DialogAction::Press(IDOK)});
  // Pasting replaces; typing appends; a typed backspace removes.
  EXPECT_EQ(Control(kNumber).text, "-46");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"301/768", "301/768", "301/768", "301/768",
                                                  "301/768", "301/768", "301/768", "1/0"}));
}

TEST_F(PlatformDialogEngine, LimitTextCapsTypingAndPastingButNotProgramText) {
  g_behaviour = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      SendDlgItemMessageA(window, kName, EM_LIMITTEXT, 3, 0);
      SendDlgItemMessageA(window, kNumber, EM_LIMITTEXT, 0, 0);
      SetDlgItemTextA(window, kName, "longer than three");
      return FALSE;
    }
    return EndOnOkOrCancel(window, message, wParam, lParam);
  };
  Run({win32::DialogAction::Press(IDOK)});
  EXPECT_EQ(Control(kName).text, "longer than three");
  EXPECT_EQ(Control(kName).text_limit, 3);
  EXPECT_EQ(Control(kNumber).text_limit, 0x7FFFFFFE);
  EXPECT_EQ(win32::LastDialog().init_dialog_result, 0);
  // SetDlgItemTextA on an edit notifies as typing does.
  EXPECT_EQ(Commands(), (std::vector<std::string>{"300/768", "1/0"}));

  g_received.clear();
  Run({win32::DialogAction::Paste(kName, ""), win32::DialogAction::Type(kName, "abcdef"),
       win32::DialogAction::Press(IDOK)});
  EXPECT_EQ(Control(kName).text, "abc");
  g_received.clear();
  Run({win32::DialogAction::Paste(kName, "wxyz"), win32::DialogAction::Press(IDOK)});
  EXPECT_EQ(Control(kName).text, "wxy");
}

TEST_F(PlatformDialogEngine, ItemFunctionsReadAndWriteControlsAndTruncateToTheBuffer) {
  struct Seen {
    UINT count3 = 99, count100 = 99, count0 = 99, missing = 99;
    std::string text3, text100, missing_text = "x";
    LRESULT length = -1, get_text = -1, checked_after_set = -1, box_via_message = -1;
    UINT checked = 99, unchecked = 99, push_checked = 99;
    BOOL set_missing = -1, check_missing = -1, end_wrong = -1;
  } seen;
  g_behaviour = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message != WM_COMMAND || LOWORD(wParam) != IDOK)
      return EndOnOkOrCancel(window, message, wParam, lParam);
    char buffer[100];
    seen.count3 = GetDlgItemTextA(window, kName, buffer, 3);
    seen.text3 = buffer;
    seen.count100 = GetDlgItemTextA(window, kName, buffer, 100);
    seen.text100 = buffer;
    buffer[0] = 'q';
    seen.count0 = GetDlgItemTextA(window, kName, buffer, 0);
    seen.missing = GetDlgItemTextA(window, 999, buffer, 100);
    seen.missing_text = buffer;
    seen.length = SendDlgItemMessageA(window, kName, WM_GETTEXTLENGTH, 0, 0);
    SendDlgItemMessageA(window, kNumber, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("42"));
    seen.get_text =
        SendDlgItemMessageA(window, kNumber, WM_GETTEXT, 2, reinterpret_cast<LPARAM>(buffer));
    seen.checked = IsDlgButtonChecked(window, kBox);
    CheckDlgButton(window, kBox, BST_UNCHECKED);
    seen.unchecked = IsDlgButtonChecked(window, kBox);
    SendDlgItemMessageA(window, kBox, BM_SETCHECK, BST_CHECKED, 0);
    seen.box_via_message = SendDlgItemMessageA(window, kBox, BM_GETCHECK, 0, 0);
    seen.checked_after_set = IsDlgButtonChecked(window, kBox);
    CheckDlgButton(window, IDOK, BST_CHECKED);
    seen.push_checked = IsDlgButtonChecked(window, IDOK);
    seen.set_missing = SetDlgItemTextA(window, 999, "x");
    seen.check_missing = CheckDlgButton(window, 999, BST_CHECKED);
    seen.end_wrong = EndDialog(win32::MainWindow(), 5);
    return EndDialog(window, 1);
  };
  EXPECT_EQ(Run({win32::DialogAction::Paste(kName, "Ogre"), win32::DialogAction::Check(kBox, true),
                 win32::DialogAction::Press(IDOK)}),
            1);
  EXPECT_EQ(seen.count3, 2u);
  EXPECT_EQ(seen.text3, "Og");
  EXPECT_EQ(seen.count100, 4u);
  EXPECT_EQ(seen.text100, "Ogre");
  EXPECT_EQ(seen.count0, 0u);
  EXPECT_EQ(seen.missing, 0u);
  EXPECT_EQ(seen.missing_text, "");
  EXPECT_EQ(seen.length, 4);
  EXPECT_EQ(seen.get_text, 1);
  EXPECT_EQ(seen.checked, static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(seen.unchecked, static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(seen.box_via_message, BST_CHECKED);
  EXPECT_EQ(seen.checked_after_set, static_cast<LRESULT>(BST_CHECKED));
  EXPECT_EQ(seen.push_checked, static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(seen.set_missing, FALSE);
  EXPECT_EQ(seen.check_missing, FALSE);
  EXPECT_EQ(seen.end_wrong, FALSE);
  EXPECT_EQ(Control(kNumber).text, "42");
  EXPECT_TRUE(Control(kBox).checked);
  // BM_SETCHECK and CheckDlgButton are not clicks: the box notified once.
  EXPECT_EQ(Commands(), (std::vector<std::string>{"300/768", "302/0", "1/0", "301/768"}));

  // Once the dialog is gone its handle is refused.
  const HWND gone = g_received[0].window;
  char buffer[8] = "x";
  EXPECT_EQ(SetDlgItemTextA(gone, kName, "late"), FALSE);
  EXPECT_EQ(GetDlgItemTextA(gone, kName, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(IsDlgButtonChecked(gone, kBox), 0u);
  EXPECT_EQ(EndDialog(gone, 1), FALSE);
  EXPECT_EQ(SendDlgItemMessageA(gone, kName, WM_GETTEXTLENGTH, 0, 0), 0);
}

TEST_F(PlatformDialogEngine, CheckClicksOnlyWhenTheStateDiffersAndPressToggles) {
  Run({win32::DialogAction::Check(kBox, true), win32::DialogAction::Check(kBox, true),
       win32::DialogAction::Check(kBox, false), win32::DialogAction::Check(kBox, false),
       win32::DialogAction::Press(kBox), win32::DialogAction::Press(kBox),
       win32::DialogAction::Press(kBox), win32::DialogAction::Press(IDOK)});
  EXPECT_EQ(Commands(),
            (std::vector<std::string>{"302/0", "302/0", "302/0", "302/0", "302/0", "1/0"}));
  EXPECT_TRUE(Control(kBox).checked);
}

TEST_F(PlatformDialogEngine, EscapeAndCloseBothArriveAsCancel) {
  EXPECT_EQ(Run({win32::DialogAction::Escape(), win32::DialogAction::Press(IDOK)}), 0);
  ASSERT_EQ(g_received.size(), 2u);
  EXPECT_EQ(g_received[1].message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(g_received[1].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
  const LPARAM cancel_button = g_received[1].lParam;
  EXPECT_NE(cancel_button, 0);

  g_received.clear();
  EXPECT_EQ(Run({win32::DialogAction::Close()}), 0);
  ASSERT_EQ(g_received.size(), 3u);
  EXPECT_EQ(g_received[1].message, static_cast<UINT>(WM_CLOSE));
  EXPECT_EQ(g_received[2].message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(g_received[2].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));

  // A procedure that handles WM_CLOSE itself gets no Cancel from it.
  g_received.clear();
  g_behaviour = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message == WM_CLOSE) return EndDialog(window, 7);
    return EndOnOkOrCancel(window, message, wParam, lParam);
  };
  EXPECT_EQ(Run({win32::DialogAction::Close()}), 7);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(PlatformDialogEngine, WithoutScriptOrAfterItTheDialogIsCancelled) {
  g_behaviour = [](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) return EndDialog(window, 5);
    return 0;
  };
  EXPECT_EQ(Run({}), 5);  // 5 only comes from the Cancel command
  EXPECT_EQ(Commands(), (std::vector<std::string>{"2/0"}));

  g_received.clear();
  EXPECT_EQ(Run({win32::DialogAction::Type(kName, "a")}), 5);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"300/768", "2/0"}));

  // A procedure that never ends the dialog does not hang it.
  g_received.clear();
  g_behaviour = nullptr;
  EXPECT_EQ(Run({win32::DialogAction::Press(IDOK)}), 0);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"1/0", "2/0"}));
}

TEST_F(PlatformDialogEngine, EndingInInitDialogSkipsTheScript) {
  g_behaviour = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) EndDialog(window, 3);
    return TRUE;
  };
  EXPECT_EQ(Run({win32::DialogAction::Type(kName, "abc")}), 3);
  EXPECT_EQ(g_received.size(), 1u);
  EXPECT_EQ(Control(kName).text, "");
}

TEST_F(PlatformDialogEngine, ScriptingErrorsAreReportedAndCancel) {
  struct Case {
    win32::DialogAction action;
    const char* reason;
  };
  const Case cases[] = {
      {win32::DialogAction::Press(999), "Press on control 999: no such control"},
      {win32::DialogAction::Type(kBox, "a"), "Type on control 302: not an edit"},
      {win32::DialogAction::Paste(IDOK, "a"), "Paste on control 1: not an edit"},
      {win32::DialogAction::Check(kName, true), "Check on control 300: not a check box"},
      {win32::DialogAction::Press(-1), "Press on control -1: not a button"},
  };
  for (const Case& c : cases) {
    g_received.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run({c.action, win32::DialogAction::Press(IDOK)}), 0);
    const std::string stderr_text = testing::internal::GetCapturedStderr();
    EXPECT_NE(stderr_text.find(c.reason), std::string::npos) << stderr_text;
    EXPECT_EQ(win32::LastDialog().script_error, c.reason);
    // The OK after the bad action is never pressed; the dialog is cancelled.
    EXPECT_EQ(Commands(), (std::vector<std::string>{"2/0"}));
  }
}

TEST_F(PlatformDialogEngine, MissingTemplateOrProcedureFailsAndStillTakesTheScript) {
  win32::SetDialogScript({win32::DialogAction::Press(IDOK)});
  EXPECT_EQ(DialogBoxParamA(TestModule(), MAKEINTRESOURCEA(201), nullptr, RecordingProc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(TestModule(), MAKEINTRESOURCEA(kTestDialog), nullptr, nullptr, 0), -1);
  static char other;
  EXPECT_EQ(DialogBoxParamA(reinterpret_cast<HINSTANCE>(&other), MAKEINTRESOURCEA(kTestDialog),
                            nullptr, RecordingProc, 0),
            -1);
  EXPECT_TRUE(g_received.empty());

  // The OK set before the failures is gone; "#200" names template 200.
  EXPECT_EQ(DialogBoxParamA(TestModule(), "#200", nullptr, RecordingProc, 0), 0);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"2/0"}));
}

// ---------------------------------------------------------------------------
// Message boxes.

void RecordHook(const win32::MessageRecord& message, void* context) {
  auto* seen = static_cast<std::vector<std::string>*>(context);
  seen->push_back(message.caption + "|" + message.text + "|" +
                  std::to_string(win32::Messages().size()));
}

TEST(PlatformMessageBoxes, AreRecordedEchoedAndShownToTheHookBeforeReturning) {
  win32::ClearMessages();
  std::vector<std::string> seen;
  win32::SetMessageHook(RecordHook, &seen);
  win32::SetEchoMessages(true);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "No data to export", "Vandrell Exporter", MB_OK), IDOK);
  win32::SetEchoMessages(false);
  EXPECT_EQ(MessageBoxA(win32::MainWindow(), nullptr, nullptr, MB_OKCANCEL | MB_ICONERROR), IDOK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Vandrell Exporter: No data to export\n");
  win32::SetMessageHook(nullptr, nullptr);
  MessageBoxA(nullptr, "after", "hook", 0);

  ASSERT_EQ(win32::Messages().size(), 3u);
  EXPECT_EQ(win32::Messages()[0].caption, "Vandrell Exporter");
  EXPECT_EQ(win32::Messages()[0].text, "No data to export");
  EXPECT_EQ(win32::Messages()[0].type, 0u);
  EXPECT_EQ(win32::Messages()[1].caption, "");
  EXPECT_EQ(win32::Messages()[1].text, "");
  EXPECT_EQ(win32::Messages()[1].type, 0x11u);
  EXPECT_EQ(seen, (std::vector<std::string>{"Vandrell Exporter|No data to export|1", "||2"}));
  win32::ClearMessages();
  EXPECT_TRUE(win32::Messages().empty());
}

// ---------------------------------------------------------------------------
// Full paths.

// Runs in a fresh folder, so relative paths resolve below a known one.
class PlatformFullPath : public ::testing::Test {
 protected:
  void SetUp() override {
    char old[PATH_MAX];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    old_ = old;
    ASSERT_EQ(chdir(temp_.path().c_str()), 0);
    char now[PATH_MAX];
    ASSERT_NE(getcwd(now, sizeof now), nullptr);
    cwd_ = now;
  }
  void TearDown() override { ASSERT_EQ(chdir(old_.c_str()), 0); }

  // The resolved path and its file-name part ("(null)" when there is none).
  std::pair<std::string, std::string> Resolve(const char* name) {
    char buffer[PATH_MAX + 64];
    char* file_part = reinterpret_cast<char*>(1);
    const DWORD length = GetFullPathNameA(name, sizeof buffer, buffer, &file_part);
    EXPECT_EQ(length, std::strlen(buffer)) << name;
    if (file_part) {
      EXPECT_GE(file_part, buffer);
      EXPECT_LT(file_part, buffer + length);
    }
    return {buffer, file_part ? std::string(file_part) : std::string("(null)")};
  }

  testing_support::TempDir temp_;
  std::string old_;
  std::string cwd_;
};

TEST_F(PlatformFullPath, RelativeNamesResolveBelowTheCurrentFolder) {
  EXPECT_EQ(Resolve("Ogre.mdl"), std::make_pair(cwd_ + "/Ogre.mdl", std::string("Ogre.mdl")));
  EXPECT_EQ(Resolve("models/a/../b/./Ogre.mdl"),
            std::make_pair(cwd_ + "/models/b/Ogre.mdl", std::string("Ogre.mdl")));
  EXPECT_EQ(Resolve("sub\\\\f.mdl"), std::make_pair(cwd_ + "/sub\\f.mdl", std::string("f.mdl")));
  EXPECT_EQ(Resolve("sub/"), std::make_pair(cwd_ + "/sub/", std::string("(null)")));
  EXPECT_EQ(Resolve("."), std::make_pair(cwd_, cwd_.substr(cwd_.rfind('/') + 1)));
}

TEST_F(PlatformFullPath, AbsoluteNamesKeepTheirRootAndSeparators) {
  EXPECT_EQ(Resolve("C:\\models\\Ogre.run.mdl"),
            std::make_pair(std::string("C:\\models\\Ogre.run.mdl"), std::string("Ogre.run.mdl")));
  EXPECT_EQ(Resolve("C:\\models\\..\\out\\\\x.mdl"),
            std::make_pair(std::string("C:\\out\\x.mdl"), std::string("x.mdl")));
  EXPECT_EQ(Resolve("c:/a\\b"), std::make_pair(std::string("c:/a\\b"), std::string("b")));
  EXPECT_EQ(Resolve("C:\\..\\..\\x"), std::make_pair(std::string("C:\\x"), std::string("x")));
  EXPECT_EQ(Resolve("/tmp//x/../y.mdl"),
            std::make_pair(std::string("/tmp/y.mdl"), std::string("y.mdl")));
  EXPECT_EQ(Resolve("\\out\\.\\z"), std::make_pair(std::string("\\out\\z"), std::string("z")));
  EXPECT_EQ(Resolve("C:\\models\\"),
            std::make_pair(std::string("C:\\models\\"), std::string("(null)")));
  EXPECT_EQ(Resolve("C:\\"), std::make_pair(std::string("C:\\"), std::string("(null)")));
  EXPECT_EQ(Resolve("/a/.."), std::make_pair(std::string("/"), std::string("(null)")));
}

TEST_F(PlatformFullPath, SmallBufferGetsTheRequiredSizeAndStaysUntouched) {
  const char* name = "C:\\models\\Ogre.run.mdl";  // 22 characters
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  char* file_part = buffer + 3;
  EXPECT_EQ(GetFullPathNameA(name, 22, buffer, &file_part), 23u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(file_part, buffer + 3);
  EXPECT_EQ(GetFullPathNameA(name, 0, nullptr, nullptr), 23u);

  EXPECT_EQ(GetFullPathNameA(name, 23, buffer, &file_part), 22u);
  EXPECT_STREQ(buffer, name);
  EXPECT_EQ(file_part, buffer + 10);
  // The file-name part may be left out.
  EXPECT_EQ(GetFullPathNameA(name, 23, buffer, nullptr), 22u);

  EXPECT_EQ(GetFullPathNameA("", sizeof buffer, buffer, &file_part), 0u);
  EXPECT_EQ(GetFullPathNameA(nullptr, sizeof buffer, buffer, &file_part), 0u);
}

// ---------------------------------------------------------------------------

TEST(PlatformCommonControls, InitCommonControlsOnlyCounts) {
  const int before = win32::InitCommonControlsCalls();
  InitCommonControls();
  InitCommonControls();
  EXPECT_EQ(win32::InitCommonControlsCalls(), before + 2);
}

}  // namespace
