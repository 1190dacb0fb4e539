// Feeds arbitrary barcode data to the Code 128 conversions and to the barcode command builder.
// The first byte picks the symbology, the second the height and width; the rest is the data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "CmdHelperBase.h"
#include "OposConstants.h"
#include "PrinterBase.h"

namespace {

class FuzzEngine : public Tesk::Printer::CPrinterBase {
 public:
  FuzzEngine() { InitCmdHelper(); }
  LONG Format(PrinterBuffer& out, PrinterBuffer& data, LONG symbology, LONG height, LONG width) {
    return FormatBarcode(out, data, symbology, height, width, PTR_BC_CENTER, PTR_BC_TEXT_BELOW);
  }

 protected:
  void InitCmdHelper() override { cmdHelper_ = &builder_; }
  int IsSupportBidi() override { return 0; }

 private:
  CCmdHelperBase builder_;
};

constexpr LONG kSymbologies[] = {
    PTR_BCS_UPCA,   PTR_BCS_UPCE,    PTR_BCS_EAN8,    PTR_BCS_EAN13,          PTR_BCS_ITF,
    PTR_BCS_Codabar, PTR_BCS_Code39, PTR_BCS_Code93,  PTR_BCS_Code128,        PTR_BCS_Code128_Parsed,
    PTR_BCS_PDF417, PTR_BCS_QRCODE,  PTR_BCS_MAXICODE, PTR_BCS_DATAMATRIX,    0};

// A successful conversion starts with a set selector and grows each input byte by at most a
// selector and an escaped brace.
void CheckConversion(int (*convert)(PrinterBuffer&), const std::uint8_t* data, std::int32_t size) {
  PrinterBuffer buffer(32, 32);
  buffer.AppendBytes(data, size);
  if (!convert(buffer)) return;
  if (size > 0 && (buffer.Size() < 2 || buffer.Data()[0] != '{')) std::abort();
  if (buffer.Size() > 4 * size + 2) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 4096) return 0;
  const auto payload = static_cast<std::int32_t>(size - 2);
  CheckConversion(&Tesk::Printer::CPrinterBase::convert_bar_code_code128, data + 2, payload);
  CheckConversion(&Tesk::Printer::CPrinterBase::convert_bar_code_code128_Parsed, data + 2, payload);

  const LONG symbology = kSymbologies[data[0] % (sizeof kSymbologies / sizeof kSymbologies[0])];
  FuzzEngine engine;
  PrinterBuffer input(32, 32);
  input.AppendBytes(data + 2, payload);
  PrinterBuffer out(512, 32);
  const LONG code = engine.Format(out, input, symbology, 1 + (data[1] & 0x0F) * 40,
                                  1 + (data[1] >> 4) * 60);
  if (code != 0 && code != OPOS_E_ILLEGAL && code != OPOS_E_FAILURE) std::abort();
  return 0;
}
