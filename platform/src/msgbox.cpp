#include "platform/msgbox.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/wtext.h"

namespace {

// Every module that links the platform layer (the program, the service-object library
// it loads) has its own copy of this file, and the library hides its symbols. The
// handler must still be one for the whole process: the copies meet in a slot whose
// address the first of them publishes in the process environment. Through the slot
// only a plain function pointer passes, into the copy that installed the handler.
using ShowFunction = int (*)(const wchar_t* text, const wchar_t* caption, UINT type);

struct ProcessSlot {
  std::atomic<ShowFunction> show{nullptr};
};

constexpr char kSlotVariable[] = "ZANTH_MESSAGE_BOX_SLOT";

ProcessSlot* FindOrPublishSlot() {
  if (const char* published = std::getenv(kSlotVariable)) {
    void* address = nullptr;
    if (std::sscanf(published, "%p", &address) == 1 && address) return static_cast<ProcessSlot*>(address);
  }
  auto* mine = new ProcessSlot;  // lives as long as the process
  char text[32];
  std::snprintf(text, sizeof text, "%p", static_cast<void*>(mine));
  ::setenv(kSlotVariable, text, 0);  // a copy that published first wins
  const char* published = std::getenv(kSlotVariable);
  void* address = nullptr;
  if (published && std::sscanf(published, "%p", &address) == 1 && address != mine && address) {
    delete mine;
    return static_cast<ProcessSlot*>(address);
  }
  return mine;
}

ProcessSlot& Slot() {
  static ProcessSlot* slot = FindOrPublishSlot();
  return *slot;
}

std::mutex& HandlerLock() {
  static std::mutex lock;
  return lock;
}

MessageBoxHandler& InstalledHandler() {
  static MessageBoxHandler handler;
  return handler;
}

// Runs the handler this copy installed; reached from any copy through the slot.
int ShowWithInstalledHandler(const wchar_t* text, const wchar_t* caption, UINT type) {
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> guard(HandlerLock());
    handler = InstalledHandler();
  }
  // The handler runs outside the lock: it may block until a person answers.
  if (!handler) return DefaultMessageBoxAnswer(type);
  return handler(text, caption, type);
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  const bool installing = static_cast<bool>(handler);
  MessageBoxHandler previous;
  {
    std::lock_guard<std::mutex> guard(HandlerLock());
    previous = std::move(InstalledHandler());
    InstalledHandler() = std::move(handler);
  }
  if (installing) {
    Slot().show.store(&ShowWithInstalledHandler);
  } else {
    // Removes only this copy's handler; another copy's stays in force.
    ShowFunction mine = &ShowWithInstalledHandler;
    Slot().show.compare_exchange_strong(mine, nullptr);
  }
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
  const wchar_t* body = text ? text : L"";
  const wchar_t* title = caption ? caption : L"";
  if (ShowFunction show = Slot().show.load()) return show(body, title, type);
  std::fprintf(stderr, "%s: %s\n", platform::ToUtf8(title).c_str(), platform::ToUtf8(body).c_str());
  return DefaultMessageBoxAnswer(type);
}
