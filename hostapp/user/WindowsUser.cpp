// The user at the real Windows dialogs. A CBT hook on this thread sees each
// dialog-class window (the options dialog and every message box) as it is
// activated; a zero-delay timer then lets the dialog's own modal loop call
// back here, where the steps are carried out with the messages a
// user's keyboard and mouse would produce: WM_CHAR for typing, the clipboard
// and WM_PASTE for pasting, BM_CLICK for buttons and boxes, the Escape key
// and the close box as the dialog manager receives them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "hostapp/user/DialogUser.h"
#include "resources/resource.h"

namespace hostapp {

namespace {

// The controls read back from the options dialog.
constexpr int kDialogControls[] = {
    IDOK,
    IDCANCEL,
    IDC_GOURAUD_SHADING,
    IDC_ROTATE,
    IDC_ROCKET_SMOKE_TRAIL,
    IDC_GRENADE_SMOKE_TRAIL,
    IDC_GIB_LONG_BLOOD_TRAIL,
    IDC_GIB_SHORT_BLOOD_TRAIL,
    IDC_WIZARD_GREEN_TRACER,
    IDC_HELLKNIGHT_YELLOW_TRACER,
    IDC_VORE_PURPLE_TRACER,
    IDC_RANDOM,
    IDC_SCALE_MODEL,
    IDC_SCALE_COLLISION_BOX,
    IDC_TEXTURE_LIMIT,
    IDC_BASE_NAME,
    IDC_FRAMES,
    IDC_FULLBRIGHT_COLORS,
};

// How long a screenshot step waits for its picture before giving up.
constexpr int kScreenshotPatienceMs = 60000;
constexpr int kScreenshotPollMs = 100;

struct Session {
  const std::vector<UserStep>* steps = nullptr;
  const UserSettings* settings = nullptr;
  UserRun* run = nullptr;
  HHOOK hook = nullptr;
  std::vector<HWND> arrived;  // dialogs activated and not yet handled
  std::set<HWND> handled;
  size_t next_step = 0;
  bool initial_read = false;
  std::string screenshot_done;  // the file whose arrival ends a screenshot step
  int screenshot_waited = 0;
};
Session* g_session = nullptr;

std::string WindowText(HWND window) {
  char text[512];
  const int length = GetWindowTextA(window, text, sizeof text);
  return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string ClassOf(HWND window) {
  char name[64];
  const int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// Whether a file stands at path, as opening it (for no access) finds.
bool PathPresent(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool TargetPresent() {
  return !g_session->settings->target.empty() && PathPresent(g_session->settings->target);
}

void Fail(const std::string& what) {
  if (g_session->run->error.empty()) g_session->run->error = what;
}

// A click of a button or a check box as the mouse gives it.
void Click(HWND control) { SendMessageA(control, BM_CLICK, 0, 0); }

void ReadControls(HWND dialog, std::map<int, ControlState>* states) {
  for (int id : kDialogControls) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) continue;
    ControlState state;
    state.text = WindowText(control);
    state.checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (ClassOf(control) == "Edit") {
      state.checked = false;
      state.limit = static_cast<int>(SendMessageA(control, EM_GETLIMITTEXT, 0, 0));
    }
    (*states)[id] = state;
  }
}

void ReadFinalTexts(HWND dialog) {
  std::map<int, ControlState> states;
  ReadControls(dialog, &states);
  for (const auto& entry : states)
    if (entry.second.limit > 0) g_session->run->final_texts[entry.first] = entry.second.text;
}

bool PutOnClipboard(HWND owner, const std::string& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  bool done = false;
  if (memory) {
    char* bytes = static_cast<char*>(GlobalLock(memory));
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
    done = SetClipboardData(CF_TEXT, memory) != nullptr;
    if (!done) GlobalFree(memory);
  }
  CloseClipboard();
  return done;
}

// Writes NAME.ready in the run folder with the dialog's place on the screen
// ("x y width height"), for the script that takes the picture.
void OfferScreenshot(HWND dialog, const std::string& name) {
  RedrawWindow(dialog, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT box;
  GetWindowRect(dialog, &box);
  const std::string& folder = g_session->settings->picture_folder;
  const std::string ready = folder + "\\" + name + ".ready";
  std::FILE* file = std::fopen(ready.c_str(), "wb");
  if (!file) {
    Fail("cannot write " + ready);
    return;
  }
  std::fprintf(file, "%ld %ld %ld %ld\n", static_cast<long>(box.left), static_cast<long>(box.top),
               static_cast<long>(box.right - box.left), static_cast<long>(box.bottom - box.top));
  std::fclose(file);
  g_session->screenshot_done = folder + "\\" + name + ".taken";
  g_session->screenshot_waited = 0;
}

// Carries out the case's steps on the options dialog until one ends it or a
// screenshot makes it wait; returns true while it must be called again.
bool WorkOptionsDialog(HWND dialog) {
  Session& s = *g_session;
  if (!s.initial_read) {
    s.initial_read = true;
    s.run->dialog_shown = true;
    ReadControls(dialog, &s.run->initial);
  }
  if (!s.screenshot_done.empty()) {
    if (GetFileAttributesA(s.screenshot_done.c_str()) == INVALID_FILE_ATTRIBUTES) {
      s.screenshot_waited += kScreenshotPollMs;
      if (s.screenshot_waited < kScreenshotPatienceMs) return true;
      Fail("no picture was taken of the dialog");
    }
    s.screenshot_done.clear();
  }
  const std::vector<UserStep>& steps = *s.steps;
  while (s.next_step < steps.size()) {
    const UserStep& step = steps[s.next_step++];
    HWND control = step.control ? GetDlgItem(dialog, step.control) : nullptr;
    if (step.control && !control) {
      Fail("the dialog has no control " + std::to_string(step.control));
      break;
    }
    switch (step.kind) {
      case UserStep::kType: {
        SetFocus(control);
        const LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
        SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(length), length);
        for (char c : step.text)
          SendMessageA(control, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
        break;
      }
      case UserStep::kPaste:
        if (!PutOnClipboard(dialog, step.text)) {
          Fail("the clipboard refused the text");
          break;
        }
        SetFocus(control);
        SendMessageA(control, EM_SETSEL, 0, -1);
        SendMessageA(control, WM_PASTE, 0, 0);
        break;
      case UserStep::kCheck:
        for (int clicks = 0; clicks < 3; ++clicks) {
          const bool checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
          if (checked == step.checked) break;
          Click(control);
        }
        if ((SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) != step.checked)
          Fail("check box " + std::to_string(step.control) + " does not take the state");
        break;
      case UserStep::kPress:
        ReadFinalTexts(dialog);
        Click(control);
        return false;
      case UserStep::kEscape: {
        ReadFinalTexts(dialog);
        HWND focus = GetFocus();
        if (!focus || (focus != dialog && !IsChild(dialog, focus))) focus = dialog;
        PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(focus, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
        return false;
      }
      case UserStep::kClose:
        ReadFinalTexts(dialog);
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return false;
      case UserStep::kScreenshot:
        if (s.settings->picture_folder.empty()) {
          Fail("a screenshot step needs a picture folder");
          break;
        }
        OfferScreenshot(dialog, step.text);
        return true;
    }
  }
  // The person at the screen takes over the dialog as it stands.
  if (s.settings->hand_over && s.run->error.empty()) return false;
  // Steps ran out (or one failed) with the dialog still open: a user who
  // walks away, as the stand-in treats it.
  if (s.run->error.empty()) Fail("the steps ran out with the dialog open");
  ReadFinalTexts(dialog);
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  return false;
}

// Reads a message box and, unless the person at the screen answers it,
// answers it with OK.
void AnswerMessageBox(HWND box) {
  ShownMessage message;
  message.caption = WindowText(box);
  message.target_present = TargetPresent();
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) != "Static") continue;
    const std::string text = WindowText(child);
    if (!text.empty()) message.text = text;
  }
  g_session->run->messages.push_back(message);
  if (g_session->settings->on_message) g_session->settings->on_message(message);
  if (g_session->settings->hand_over) return;
  HWND ok = GetDlgItem(box, IDOK);
  if (ok) {
    Click(ok);
  } else {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (!g_session) return;
  while (!g_session->arrived.empty()) {
    HWND window = g_session->arrived.front();
    if (!IsWindow(window)) {
      g_session->arrived.erase(g_session->arrived.begin());
      continue;
    }
    if (GetDlgItem(window, IDC_BASE_NAME)) {
      if (WorkOptionsDialog(window)) {
        SetTimer(nullptr, 0, g_session->screenshot_done.empty() ? 0 : kScreenshotPollMs, OnTimer);
        return;
      }
    } else {
      AnswerMessageBox(window);
    }
    g_session->arrived.erase(g_session->arrived.begin());
  }
}

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && g_session) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (ClassOf(window) == "#32770" && g_session->handled.insert(window).second) {
      g_session->arrived.push_back(window);
      SetTimer(nullptr, 0, 0, OnTimer);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

UserRun RunAsUser(const std::vector<UserStep>& steps, const UserSettings& settings,
                  const std::function<int()>& export_scene) {
  UserRun run;
  Session session;
  session.steps = &steps;
  session.settings = &settings;
  session.run = &run;
  g_session = &session;
  session.hook = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
  if (!session.hook) {
    g_session = nullptr;
    run.error = "SetWindowsHookExA failed";
    return run;
  }
  run.export_result = export_scene();
  UnhookWindowsHookEx(session.hook);
  g_session = nullptr;
  return run;
}

bool RealDialogs() { return true; }

}  // namespace hostapp
