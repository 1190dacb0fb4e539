// CorlinOPOSPrintSetting: lists, adds, modifies, deletes and tests the OPOS printer and
// cash-drawer entries. Reads "Language.ini" beside the program.
#include <QApplication>
#include <QDir>

#include "MessageBoxBridge.h"
#include "NodeIcons.h"
#include "SetupContext.h"
#include "TfrmDevice.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName("CorlinOPOSPrintSetting");
  app.setWindowIcon(zanth::setup::gui::NodeIcon(1));
  zanth::setup::gui::MessageBoxBridge boxes;
  const QString languageFile = QDir(QCoreApplication::applicationDirPath()).filePath("Language.ini");
  zanth::setup::gui::SetupContext context(languageFile.toStdString());
  zanth::setup::gui::TfrmDevice window(context);
  QObject::connect(&window, &zanth::setup::gui::TfrmDevice::quitRequested, &app, &QApplication::quit);
  window.show();
  return app.exec();
}
