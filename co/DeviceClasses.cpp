// The two device classes: their method-name tables and UnifiedPOS methods.
#include "CashDrawer.h"
#include "OposConstants.h"
#include "POSPrinter.h"

namespace zanth::co {
namespace {

// The order in which the standard POSPrinter control object looks the names up.
enum PtrMethod {
  kPtrClearOutput = 8, kPtrCloseService, kPtrDirectIO, kPtrReleaseDevice, kPtrBeginInsertion,
  kPtrBeginRemoval, kPtrCutPaper, kPtrEndInsertion, kPtrEndRemoval, kPtrPrintBarCode,
  kPtrPrintBitmap, kPtrPrintImmediate, kPtrPrintNormal, kPtrPrintTwoNormal, kPtrRotatePrint,
  kPtrSetBitmap, kPtrSetLogo, kPtrTransactionPrint, kPtrValidateData, kPtrChangePrintSide,
  kPtrMarkFeed, kPtrResetStatistics, kPtrRetrieveStatistics, kPtrUpdateStatistics,
  kPtrCompareFirmwareVersion, kPtrUpdateFirmware, kPtrClearPrintArea, kPtrPageModePrint,
  kPtrPrintMemoryBitmap, kPtrDrawRuledLine,
};

const wchar_t* const kPrinterMethods[] = {
    L"COFreezeEvents", L"GetPropertyNumber", L"SetPropertyNumber", L"GetPropertyString",
    L"SetPropertyString", L"OpenService", L"CheckHealth", L"ClaimDevice", L"ClearOutput",
    L"CloseService", L"DirectIO", L"ReleaseDevice", L"BeginInsertion", L"BeginRemoval",
    L"CutPaper", L"EndInsertion", L"EndRemoval", L"PrintBarCode", L"PrintBitmap",
    L"PrintImmediate", L"PrintNormal", L"PrintTwoNormal", L"RotatePrint", L"SetBitmap",
    L"SetLogo", L"TransactionPrint", L"ValidateData", L"ChangePrintSide", L"MarkFeed",
    L"ResetStatistics", L"RetrieveStatistics", L"UpdateStatistics", L"CompareFirmwareVersion",
    L"UpdateFirmware", L"ClearPrintArea", L"PageModePrint", L"PrintMemoryBitmap",
    L"DrawRuledLine",
};
static_assert(std::size(kPrinterMethods) == kPtrDrawRuledLine + 1);
// Methods a service object of minor release 0 to 13 must have.
const int kPrinterRequired[] = {25, 27, 27, 27, 27, 29, 29, 29, 32, 36, 37, 37, 37, 38};

enum CashMethod {
  kCashCloseService = 8, kCashDirectIO, kCashReleaseDevice, kCashOpenDrawer,
  kCashWaitForDrawerClose, kCashResetStatistics, kCashRetrieveStatistics,
  kCashUpdateStatistics, kCashCompareFirmwareVersion, kCashUpdateFirmware,
};

const wchar_t* const kCashMethods[] = {
    L"COFreezeEvents", L"GetPropertyNumber", L"SetPropertyNumber", L"GetPropertyString",
    L"SetPropertyString", L"OpenService", L"CheckHealth", L"ClaimDevice", L"CloseService",
    L"DirectIO", L"ReleaseDevice", L"OpenDrawer", L"WaitForDrawerClose", L"ResetStatistics",
    L"RetrieveStatistics", L"UpdateStatistics", L"CompareFirmwareVersion", L"UpdateFirmware",
};
static_assert(std::size(kCashMethods) == kCashUpdateFirmware + 1);
const int kCashRequired[] = {13, 13, 13, 13, 13, 13, 13, 13, 16, 18};

}  // namespace

POSPrinter::POSPrinter()
    : ControlObject(L"POSPrinter", kPrinterMethods, kPrinterRequired,
                    {kPtrCloseService, kPtrDirectIO, kPtrReleaseDevice, kPtrResetStatistics,
                     kPtrRetrieveStatistics, kPtrUpdateStatistics, kPtrCompareFirmwareVersion,
                     kPtrUpdateFirmware},
                    true) {}

LONG POSPrinter::ClearOutput() { return Call(kPtrClearOutput, ArgList()); }
LONG POSPrinter::BeginInsertion(LONG timeout) {
  return Call(kPtrBeginInsertion, ArgList().Long(timeout));
}
LONG POSPrinter::BeginRemoval(LONG timeout) {
  return Call(kPtrBeginRemoval, ArgList().Long(timeout));
}
LONG POSPrinter::CutPaper(LONG percentage) {
  return Call(kPtrCutPaper, ArgList().Long(percentage));
}
LONG POSPrinter::EndInsertion() { return Call(kPtrEndInsertion, ArgList()); }
LONG POSPrinter::EndRemoval() { return Call(kPtrEndRemoval, ArgList()); }
LONG POSPrinter::PrintBarCode(LONG station, const std::wstring& data, LONG symbology,
                              LONG height, LONG width, LONG alignment, LONG textPosition) {
  return Call(kPtrPrintBarCode, ArgList()
                                    .Long(station)
                                    .String(data)
                                    .Long(symbology)
                                    .Long(height)
                                    .Long(width)
                                    .Long(alignment)
                                    .Long(textPosition));
}
LONG POSPrinter::PrintBitmap(LONG station, const std::wstring& fileName, LONG width,
                             LONG alignment) {
  return Call(kPtrPrintBitmap,
              ArgList().Long(station).String(fileName).Long(width).Long(alignment));
}
LONG POSPrinter::PrintImmediate(LONG station, const std::wstring& data) {
  return Call(kPtrPrintImmediate, ArgList().Long(station).String(data));
}
LONG POSPrinter::PrintNormal(LONG station, const std::wstring& data) {
  return Call(kPtrPrintNormal, ArgList().Long(station).String(data));
}
LONG POSPrinter::PrintTwoNormal(LONG stations, const std::wstring& data1,
                                const std::wstring& data2) {
  return Call(kPtrPrintTwoNormal, ArgList().Long(stations).String(data1).String(data2));
}
LONG POSPrinter::RotatePrint(LONG station, LONG rotation) {
  return Call(kPtrRotatePrint, ArgList().Long(station).Long(rotation));
}
LONG POSPrinter::SetBitmap(LONG bitmapNumber, LONG station, const std::wstring& fileName,
                           LONG width, LONG alignment) {
  return Call(kPtrSetBitmap, ArgList()
                                 .Long(bitmapNumber)
                                 .Long(station)
                                 .String(fileName)
                                 .Long(width)
                                 .Long(alignment));
}
LONG POSPrinter::SetLogo(LONG location, const std::wstring& data) {
  return Call(kPtrSetLogo, ArgList().Long(location).String(data));
}
LONG POSPrinter::TransactionPrint(LONG station, LONG control) {
  return Call(kPtrTransactionPrint, ArgList().Long(station).Long(control));
}
LONG POSPrinter::ValidateData(LONG station, const std::wstring& data) {
  return Call(kPtrValidateData, ArgList().Long(station).String(data));
}
LONG POSPrinter::ChangePrintSide(LONG side) {
  return Call(kPtrChangePrintSide, ArgList().Long(side));
}
LONG POSPrinter::MarkFeed(LONG type) { return Call(kPtrMarkFeed, ArgList().Long(type)); }
LONG POSPrinter::ClearPrintArea() { return Call(kPtrClearPrintArea, ArgList()); }
LONG POSPrinter::PageModePrint(LONG control) {
  return Call(kPtrPageModePrint, ArgList().Long(control));
}
LONG POSPrinter::PrintMemoryBitmap(LONG station, const std::wstring& data, LONG type,
                                   LONG width, LONG alignment) {
  return Call(kPtrPrintMemoryBitmap,
              ArgList().Long(station).String(data).Long(type).Long(width).Long(alignment));
}
LONG POSPrinter::DrawRuledLine(LONG station, const std::wstring& positionList,
                               LONG lineDirection, LONG lineWidth, LONG lineStyle,
                               LONG lineColor) {
  return Call(kPtrDrawRuledLine, ArgList()
                                     .Long(station)
                                     .String(positionList)
                                     .Long(lineDirection)
                                     .Long(lineWidth)
                                     .Long(lineStyle)
                                     .Long(lineColor));
}
LONG POSPrinter::PrintLine(LONG station, const std::wstring& positionList) {
  return CallNamed(L"PrintLine", ArgList().Long(station).String(positionList));
}
LONG POSPrinter::PrintCurveText(LONG station, LONG textNumber, LONG textHorizontalPos,
                                const std::wstring& textData) {
  return CallNamed(L"PrintCurveText", ArgList()
                                          .Long(station)
                                          .Long(textNumber)
                                          .Long(textHorizontalPos)
                                          .String(textData));
}

CashDrawer::CashDrawer()
    : ControlObject(L"CashDrawer", kCashMethods, kCashRequired,
                    {kCashCloseService, kCashDirectIO, kCashReleaseDevice, kCashResetStatistics,
                     kCashRetrieveStatistics, kCashUpdateStatistics,
                     kCashCompareFirmwareVersion, kCashUpdateFirmware},
                    false) {}

LONG CashDrawer::OpenDrawer() { return Call(kCashOpenDrawer, ArgList()); }
LONG CashDrawer::WaitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration,
                                    LONG beepDelay) {
  return Call(kCashWaitForDrawerClose, ArgList()
                                           .Long(beepTimeout)
                                           .Long(beepFrequency)
                                           .Long(beepDuration)
                                           .Long(beepDelay));
}

#define ZANTH_NUMBER_PROPERTY_RO(name, pidx) \
  LONG CLASS::name() { return GetNumberProperty(pidx); }
#define ZANTH_NUMBER_PROPERTY_RW(name, pidx)                  \
  LONG CLASS::name() { return GetNumberProperty(pidx); }      \
  void CLASS::Set##name(LONG value) { SetNumberProperty(pidx, value); }
#define ZANTH_STRING_PROPERTY_RO(name, pidx) \
  std::wstring CLASS::name() { return GetStringProperty(pidx); }
#define ZANTH_STRING_PROPERTY_RW(name, pidx)                    \
  std::wstring CLASS::name() { return GetStringProperty(pidx); } \
  void CLASS::Set##name(const std::wstring& value) { SetStringProperty(pidx, value); }
#define CLASS POSPrinter
#include "PrinterProperties.inc"
#undef CLASS
#define CLASS CashDrawer
#include "CashDrawerProperties.inc"
#undef CLASS

}  // namespace zanth::co
