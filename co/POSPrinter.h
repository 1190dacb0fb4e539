// The POSPrinter control object: the UnifiedPOS POSPrinter methods and properties over
// the service object a device entry names.
#pragma once

#include "ControlObject.h"

namespace zanth::co {

// The service object's own DirectIO command that reads the printer's firmware version: the text
// becomes the version, and data becomes 1 when the printer reported it at the claim, 0 when it
// is only the model's default (a printer that does not answer, or an entry that does not query).
inline constexpr LONG kDirectIOReadFirmwareVersion = 200;

class POSPrinter : public ControlObject {
 public:
  POSPrinter();
  ~POSPrinter() override = default;

  LONG ClearOutput();
  LONG BeginInsertion(LONG timeout);
  LONG BeginRemoval(LONG timeout);
  LONG CutPaper(LONG percentage);
  LONG EndInsertion();
  LONG EndRemoval();
  LONG PrintBarCode(LONG station, const std::wstring& data, LONG symbology, LONG height,
                    LONG width, LONG alignment, LONG textPosition);
  LONG PrintBitmap(LONG station, const std::wstring& fileName, LONG width, LONG alignment);
  LONG PrintImmediate(LONG station, const std::wstring& data);
  LONG PrintNormal(LONG station, const std::wstring& data);
  LONG PrintTwoNormal(LONG stations, const std::wstring& data1, const std::wstring& data2);
  LONG RotatePrint(LONG station, LONG rotation);
  LONG SetBitmap(LONG bitmapNumber, LONG station, const std::wstring& fileName, LONG width,
                 LONG alignment);
  LONG SetLogo(LONG location, const std::wstring& data);
  LONG TransactionPrint(LONG station, LONG control);
  LONG ValidateData(LONG station, const std::wstring& data);
  LONG ChangePrintSide(LONG side);
  LONG MarkFeed(LONG type);
  LONG ClearPrintArea();
  LONG PageModePrint(LONG control);
  LONG PrintMemoryBitmap(LONG station, const std::wstring& data, LONG type, LONG width,
                         LONG alignment);
  LONG DrawRuledLine(LONG station, const std::wstring& positionList, LONG lineDirection,
                     LONG lineWidth, LONG lineStyle, LONG lineColor);
  // Beyond the standard set: horizontal line segments from "start,end,..." dot positions,
  // and text in one of the printer's curved layouts. 104 when the service object lacks them.
  LONG PrintLine(LONG station, const std::wstring& positionList);
  LONG PrintCurveText(LONG station, LONG textNumber, LONG textHorizontalPos,
                      const std::wstring& textData);

#define ZANTH_NUMBER_PROPERTY_RO(name, pidx) LONG name();
#define ZANTH_NUMBER_PROPERTY_RW(name, pidx) LONG name(); void Set##name(LONG value);
#define ZANTH_STRING_PROPERTY_RO(name, pidx) std::wstring name();
#define ZANTH_STRING_PROPERTY_RW(name, pidx) \
  std::wstring name();                       \
  void Set##name(const std::wstring& value);
#include "PrinterProperties.inc"
#undef ZANTH_NUMBER_PROPERTY_RO
#undef ZANTH_NUMBER_PROPERTY_RW
#undef ZANTH_STRING_PROPERTY_RO
#undef ZANTH_STRING_PROPERTY_RW
};

}  // namespace zanth::co
