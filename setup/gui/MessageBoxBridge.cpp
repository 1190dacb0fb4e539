// MessageBoxW through QMessageBox.
#include "MessageBoxBridge.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include <vector>

#include "platform/msgbox.h"

namespace zanth::setup::gui {

namespace {

MessageBoxHandler& Previous() {
  static MessageBoxHandler previous;
  return previous;
}

int Handle(const std::wstring& text, const std::wstring& caption, UINT type) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return DefaultMessageBoxAnswer(type);
  if (QThread::currentThread() == app->thread()) return MessageBoxBridge::ShowOnGuiThread(text, caption, type);
  int answer = DefaultMessageBoxAnswer(type);
  // The caller waits; the GUI thread shows the box from its event loop.
  QMetaObject::invokeMethod(
      app, [&] { answer = MessageBoxBridge::ShowOnGuiThread(text, caption, type); },
      Qt::BlockingQueuedConnection);
  return answer;
}

}  // namespace

MessageBoxBridge::MessageBoxBridge() { Previous() = SetMessageBoxHandler(Handle); }

MessageBoxBridge::~MessageBoxBridge() { SetMessageBoxHandler(std::move(Previous())); }

int MessageBoxBridge::ShowOnGuiThread(const std::wstring& text, const std::wstring& caption, UINT type) {
  struct Button {
    QMessageBox::StandardButton button;
    int id;
  };
  static const std::vector<Button> kSets[] = {
      {{QMessageBox::Ok, IDOK}},
      {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}},
      {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}},
      {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}},
      {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}},
      {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}},
  };
  const UINT set = (type & MB_TYPEMASK) < 6 ? (type & MB_TYPEMASK) : 0;
  const std::vector<Button>& buttons = kSets[set];

  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(QString::fromStdWString(caption));
  box.setText(QString::fromStdWString(text));
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  QMessageBox::StandardButtons standard;
  for (const Button& b : buttons) standard |= b.button;
  box.setStandardButtons(standard);
  const size_t def = (type & MB_DEFMASK) >> 8;
  box.setDefaultButton(buttons[def < buttons.size() ? def : 0].button);
  // Closing the box by its frame answers Cancel where there is one, else the default.
  bool hasCancel = false;
  for (const Button& b : buttons) hasCancel |= b.id == IDCANCEL;
  if (hasCancel) box.setEscapeButton(QMessageBox::Cancel);
  if (type & MB_TOPMOST) box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (const Button& b : buttons)
    if (clicked && box.standardButton(clicked) == b.button) return b.id;
  return hasCancel ? IDCANCEL : DefaultMessageBoxAnswer(type);
}

}  // namespace zanth::setup::gui
