// MessageBoxA as a record: every box is kept for tests, optionally echoed to
// standard error, and answered with OK at once.
#include <cstdio>
#include <vector>

#include "Win32StandIn.h"

namespace win32 {
namespace {

struct MessageState {
  std::vector<MessageRecord> messages;
  bool echo = false;
  void (*hook)(const MessageRecord&, void*) = nullptr;
  void* hook_context = nullptr;
};

MessageState& State() {
  static MessageState state;
  return state;
}

}  // namespace

const std::vector<MessageRecord>& Messages() { return State().messages; }
void ClearMessages() { State().messages.clear(); }
void SetEchoMessages(bool echo) { State().echo = echo; }

void SetMessageHook(void (*hook)(const MessageRecord& message, void* context), void* context) {
  State().hook = hook;
  State().hook_context = hook ? context : nullptr;
}

}  // namespace win32

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  win32::MessageState& state = win32::State();
  win32::MessageRecord record;
  record.caption = caption ? caption : "";
  record.text = text ? text : "";
  record.type = type;
  state.messages.push_back(record);
  if (state.echo) std::fprintf(stderr, "%s: %s\n", record.caption.c_str(), record.text.c_str());
  // The record is passed by copy: the hook may clear the list.
  if (state.hook) state.hook(record, state.hook_context);
  return IDOK;
}
