// What every window of the setup tool shares: the build brand and its own ProgID, the texts
// of the chosen language, and the selection the main window's tree last made.
#pragma once

#include <QString>

#include <string>

#include "setup/SetupCore.h"

namespace zanth::setup::gui {

inline QString Q(const std::wstring& text) { return QString::fromStdWString(text); }
inline std::wstring W(const QString& text) { return text.toStdWString(); }

class SetupContext {
 public:
  // languageFile: the "Language.ini" path (usually beside the program).
  explicit SetupContext(const std::string& languageFile, std::wstring brand = kBuildBrand);

  const std::wstring& Brand() const { return brand_; }
  const std::wstring& OwnProgId() const { return ownProgId_; }
  const LanguageChoice& Language() const { return language_; }
  // The text of a "Language.ini" key in the chosen language; empty when absent.
  QString Text(const char* key) const { return Q(texts_(key)); }

  // The tool's own message box: the "_MSG_Title" caption, through MessageBoxW so the
  // process's handler shows it. Returns the button pressed.
  int Message(const QString& text, unsigned type = 0x40 /* MB_ICONINFORMATION */) const;
  // The message of a refused or failed operation; prefix names what failed for a registry
  // failure, whose reason follows it.
  QString ErrorText(const Outcome& outcome, const char* takenKey, const char* emptyLogicalKey) const;

  Selection selection;  // set by the main window on every click

 private:
  std::wstring brand_;
  std::wstring ownProgId_;
  LanguageFile file_;
  LanguageChoice language_;
  Texts texts_;
};

}  // namespace zanth::setup::gui
