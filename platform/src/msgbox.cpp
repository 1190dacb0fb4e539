#include "platform/msgbox.h"

#include <cstdio>
#include <mutex>

#include "platform/wtext.h"

namespace {

std::mutex& HandlerLock() {
  static std::mutex lock;
  return lock;
}

MessageBoxHandler& InstalledHandler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> guard(HandlerLock());
  MessageBoxHandler previous = std::move(InstalledHandler());
  InstalledHandler() = std::move(handler);
  return previous;
}

int DefaultMessageBoxAnswer(UINT type) {
  // The buttons of each set in order; the default button is the first unless MB_DEFBUTTONn.
  static const int kButtons[][3] = {
      {IDOK, IDOK, IDOK},              // MB_OK
      {IDOK, IDCANCEL, IDCANCEL},      // MB_OKCANCEL
      {IDABORT, IDRETRY, IDIGNORE},    // MB_ABORTRETRYIGNORE
      {IDYES, IDNO, IDCANCEL},         // MB_YESNOCANCEL
      {IDYES, IDNO, IDNO},             // MB_YESNO
      {IDRETRY, IDCANCEL, IDCANCEL},   // MB_RETRYCANCEL
  };
  const UINT set = type & MB_TYPEMASK;
  if (set >= sizeof kButtons / sizeof kButtons[0]) return IDOK;
  const UINT def = (type & MB_DEFMASK) >> 8;
  return kButtons[set][def < 3 ? def : 0];
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  const std::wstring body = text ? text : L"";
  const std::wstring title = caption ? caption : L"";
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> guard(HandlerLock());
    handler = InstalledHandler();
  }
  // The handler runs outside the lock: it may block until a person answers.
  if (handler) return handler(body, title, type);
  std::fprintf(stderr, "%s: %s\n", platform::ToUtf8(title).c_str(), platform::ToUtf8(body).c_str());
  return DefaultMessageBoxAnswer(type);
}
