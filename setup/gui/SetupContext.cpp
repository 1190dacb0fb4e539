// Brand, language start-up and the tool's messages.
#include "SetupContext.h"

#include "platform/msgbox.h"

namespace zanth::setup::gui {

SetupContext::SetupContext(const std::string& languageFile, std::wstring brand)
    : brand_(std::move(brand)), ownProgId_(OwnProgIdOf(brand_)) {
  file_.Load(languageFile);
  language_ = ChooseLanguage(file_, SystemLanguage());
  texts_ = Texts(&file_, language_.sectionId);
}

int SetupContext::Message(const QString& text, unsigned type) const {
  return MessageBoxW(nullptr, W(text).c_str(), texts_("_MSG_Title").c_str(), type);
}

QString SetupContext::ErrorText(const Outcome& outcome, const char* takenKey,
                                const char* emptyLogicalKey) const {
  switch (outcome.error) {
    case SetupError::None: return {};
    case SetupError::RegistryFailure:
      return Text("_MSG_SaveFailed") + "\n" + Q(outcome.reason);
    case SetupError::EmptyDeviceName: return Text("_MSG_EmptyDeviceName");
    case SetupError::DeviceNameHasBackslash: return Text("_MSG_DeviceNameBackslash");
    case SetupError::DeviceExists: return Text("_MSG_DeviceExists");
    case SetupError::NoSuchDevice: return Text("_MSG_NoSuchDevice");
    case SetupError::EmptyLogicalName: return Text(emptyLogicalKey);
    case SetupError::LogicalNameTaken: return Text(takenKey);
    case SetupError::BadIpAddress: return Text("FormAP_IPErr");
    case SetupError::NoDrawerChecked: return Text("_MSG_NoDrawerChecked");
    case SetupError::PulseOutOfRange: return Text("_MSG_PulseRange");
    case SetupError::BadWaitTimeout: return Text("_MSG_WaitTimeout");
    case SetupError::NoPrinterChosen: return Text("_MSG_NoPrinter");
    case SetupError::LastLogicalName:
      return Text("FormD_LastLogicName1") + "\n" + Text("FormD_LastLogicName2");
    case SetupError::UnknownPortType: return Text("_MSG_UnknownPortType");
    case SetupError::NoPortChosen: return Text("_MSG_NoPort");
  }
  return {};
}

}  // namespace zanth::setup::gui
