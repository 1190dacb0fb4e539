// The process's MessageBoxW handler: a Qt message box on the GUI thread.
//
// Called on the GUI thread the box runs there at once (a nested event loop). Called on any
// other thread (the service object may ask from one) the box is handed to the GUI thread by a
// blocking queued call and the caller waits for the answer; without a running application the
// box answers its default button.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace zanth::setup::gui {

// Installs the handler for the whole process; the previous one returns on destruction.
class MessageBoxBridge {
 public:
  MessageBoxBridge();
  ~MessageBoxBridge();
  MessageBoxBridge(const MessageBoxBridge&) = delete;
  MessageBoxBridge& operator=(const MessageBoxBridge&) = delete;

  // Shows one box on the calling (GUI) thread; returns IDOK, IDCANCEL, ...
  static int ShowOnGuiThread(const std::wstring& text, const std::wstring& caption, UINT type);
};

}  // namespace zanth::setup::gui
