// Feeds arbitrary print data to the escape-sequence translator in every layout mode.
// The first byte picks the mode; the rest is the data.
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

  void Configure(std::uint8_t mode) {
    pageMode_ = mode & 0x01;
    rotateRight90_ = (mode >> 1) & 0x01;
    SetCapability(PIDXPtr_CapRecPapercut, (mode >> 2) & 0x01);
    mapMode_ = 1 + ((mode >> 3) & 0x03);  // dots, twips, English, metric
    dotSizeV_ = (mode & 0x20) ? 0.0625f : 0.125f;
    if (mode & 0x40) SetFont(1);
    // PrintNormal's page layout: wrapped and clipped to a 300 x 200 area (or the sideways
    // page), with a line perhaps carried in from a previous call.
    pageTextLayout_ = (mode >> 7) & 0x01;
    pageModePrintWidth_ = 300;
    pageModePrintHeight_ = 200;
    partialLine_ = rotateRight90_;
    carriedX_ = 100;
  }

 protected:
  void InitCmdHelper() override { cmdHelper_ = &builder_; }
  int IsSupportBidi() override { return 0; }

 private:
  CCmdHelperBase builder_;
};

bool IsTranslatorCode(LONG code) {
  return code == 0 || code == OPOS_E_ILLEGAL || code == OPOS_E_FAILURE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  FuzzEngine engine;
  engine.Configure(data[0]);
  PrinterBuffer input(32, 32);
  input.AppendBytes(data + 1, static_cast<std::int32_t>(size - 1));

  PrinterBuffer out(512, 32);
  if (!IsTranslatorCode(engine.FormatStringToOutBuffer(out, input, 0))) std::abort();
  // Apart from whole-page feeds, a sequence expands to a bounded number of bytes.
  if (static_cast<std::size_t>(out.Size()) > 1024 * (size + 1)) std::abort();

  PrinterBuffer validated(512, 32);
  if (!IsTranslatorCode(engine.FormatStringToOutBuffer(validated, input, 1))) std::abort();
  return 0;
}
