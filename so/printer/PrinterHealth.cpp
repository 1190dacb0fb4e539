// Maintenance methods: the health check with its identification printout, direct I/O,
// result-code names, and the statistics and firmware methods this printer lacks.
#include <string>

#include "OposConstants.h"
#include "PrinterBase.h"
#include "platform/codepage.h"
#include "platform/msgbox.h"

namespace Tesk::Printer {
namespace {

// Statistics and firmware updates are not supported by these printers.
constexpr LONG kNotSupported = 300;

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  const int wideLength = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string bytes(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, bytes.data(),
                                          needed, nullptr, nullptr);
  bytes.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return bytes;
}

}  // namespace

const char* CPrinterBase::GetStatusString(LONG code) const {
  switch (code) {
    case OPOS_SUCCESS: return "Successful";
    case OPOS_E_CLOSED: return "OPOS_E_CLOSED";
    case OPOS_E_NOTCLAIMED: return "OPOS_E_NOTCLAIMED";
    case OPOS_E_NOSERVICE: return "OPOS_E_NOSERVICE";
    case OPOS_E_DISABLED: return "OPOS_E_DISABLED";
    case OPOS_E_ILLEGAL: return "OPOS_E_ILLEGAL";
    case OPOS_E_NOHARDWARE: return "OPOS_E_NOHARDWARE";
    case OPOS_E_OFFLINE: return "OPOS_E_OFFLINE";
    case OPOS_E_NOEXIST: return "OPOS_E_NOEXIST";
    case OPOS_E_EXISTS: return "OPOS_E_EXISTS";
    case OPOS_E_TIMEOUT: return "OPOS_E_TIMEOUT";
    case OPOS_E_BUSY: return "OPOS_E_BUSY";
    case OPOS_E_EXTENDED: return "OPOS_E_EXTENDED";
    default: return "OPOS_E_FAILURE";  // 102 and 111 included
  }
}

LONG CPrinterBase::CheckHealth(LONG level, LONG* result,
                               const std::function<void(const std::function<void()>&)>& ask) {
  std::string printout = "OPOS Printer CheckHealth ";
  switch (level) {
    case OPOS_CH_INTERNAL:
      checkHealthText_ = L"Internal HealthCheck: Successful.";
      return 0;
    case OPOS_CH_EXTERNAL:
    case OPOS_CH_INTERACTIVE:
      if (!IsIdle()) return ReportResult(OPOS_E_BUSY, result);
      break;
    default:
      checkHealthText_ = L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL";
      return ReportResult(kNotSupported, result);
  }

  if (level == OPOS_CH_EXTERNAL) {
    printout += "EXTERNAL:\n";
    checkHealthText_ = L"External HealthCheck: ";
  } else {
    const auto box = [] {
      MessageBoxW(nullptr,
                  L"OPOS Check Health:INTERACTIVE!\nPlease click the 'OK' button to continue...",
                  L"Opos", MB_OK);
    };
    ask ? ask(box) : box();
    printout += "INTERACTIVE:\n";
    checkHealthText_ = L"INTERACTIVE HealthCheck: ";
  }
  printout += "Manufacturer: " + makerName_ + "\n";
  printout += "Device Name: " + ToAnsi(deviceName_) + "\n";
  // Without the claim-time query the firmware text is only the model's default.
  if (bidirectional_ && queryInfoAtClaim_) printout += "Firmware Version: " + firmwareVersion_ + "\n";

  LONG code = printImmediate(printout);
  if (code == 0) {
    checkHealthText_ += L"Complete.\r\n\r\n";
    // Leaves the printer in the standard settings a job starts from.
    PrinterBuffer reset(64, 32);
    InitOutBufferWithPMControl(reset, 3);
    code = DirectSend(reset, false, 7);
  } else {
    checkHealthText_ += L"No Responding.\r\n\r\n";
  }
  const std::string name = GetStatusString(code);
  checkHealthText_.append(name.begin(), name.end());
  return ReportResult(code, result);
}

LONG CPrinterBase::DirectIO(LONG command, LONG* data, std::wstring& text, LONG* result) {
  LONG code = 0;
  if (command == kDirectIOReadFirmwareVersion) {
    // Applications have no property for it; the same condition as on the health printout.
    text.assign(firmwareVersion_.begin(), firmwareVersion_.end());
    if (data) *data = bidirectional_ && queryInfoAtClaim_ ? 1 : 0;
  } else if (command == 100 && transaction_) {
    DataBinaryConversion(transactionBuffer_, text);
  } else if (command == 100 || command == 101) {
    std::string bytes;
    BStr2Char(text, bytes, nullptr);
    PrinterBuffer raw(static_cast<std::int32_t>(bytes.size()) + 16, 32);
    DataBinaryConversion2(raw, bytes);
    // The application must learn that its bytes never reached the printer.
    code = DirectSend(raw, false, 7);
  }
  return ReportResult(code, result);
}

LONG CPrinterBase::RetrieveStatistics(std::wstring& /*statistics*/, LONG* result) {
  return ReportResult(kNotSupported, result);
}

LONG CPrinterBase::UpdateStatistics(const std::wstring& /*statistics*/, LONG* result) {
  return ReportResult(kNotSupported, result);
}

LONG CPrinterBase::ResetStatistics(const std::wstring& /*statistics*/, LONG* result) {
  return ReportResult(kNotSupported, result);
}

LONG CPrinterBase::CompareFirmwareVersion(const std::wstring& /*fileName*/, LONG* /*comparison*/,
                                          LONG* result) {
  return ReportResult(kNotSupported, result);
}

LONG CPrinterBase::UpdateFirmware(const std::wstring& /*fileName*/, LONG* result) {
  return ReportResult(kNotSupported, result);
}

}  // namespace Tesk::Printer
