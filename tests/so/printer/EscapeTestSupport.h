// An engine for translator tests: the full ESC/POS builder, its layout switches
// reachable, and the graphics and barcode seams recorded instead of formatted.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "OposConstants.h"
#include "TestEngine.h"

namespace zanth::test {

using Bytes = std::vector<BYTE>;

inline Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline std::string Hex(const Bytes& bytes) {
  std::string text;
  char cell[4];
  for (BYTE b : bytes) {
    std::snprintf(cell, sizeof cell, "%02X ", b);
    text += cell;
  }
  return text;
}

// Names the first differing offset and dumps both sides.
inline ::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure()
         << "first difference at offset " << at << "\n  actual:   " << Hex(actual)
         << "\n  expected: " << Hex(expected);
}

class TranslatorEngine : public TestEngine {
 public:
  struct BarcodeCall {
    std::string data;
    LONG symbology, height, width, alignment, textPosition;
  };

  TranslatorEngine() { SetCapability(PIDXPtr_CapRecPapercut, 1); }

  // Translates text (bytes as they come out of the code-page conversion).
  LONG Translate(const std::string& text, bool validate, Bytes* output) {
    PrinterBuffer input(32, 32);
    input.AppendBytes(text.data(), static_cast<std::int32_t>(text.size()));
    PrinterBuffer out(512, 32);
    const LONG code = FormatStringToOutBuffer(out, input, validate ? 1 : 0);
    if (output) output->assign(out.Data(), out.Data() + out.Size());
    return code;
  }

  void SetPageMode(int on) { pageMode_ = on; }
  void SetRotateRight90(int on) { rotateRight90_ = on; }
  void SetPageDirection(LONG direction) { pageModePrintDirection_ = direction; }
  void SetPapercut(int on) { SetCapability(PIDXPtr_CapRecPapercut, on); }
  void SetDotPitch(float horizontal, float vertical) {
    dotSizeH_ = horizontal;
    dotSizeV_ = vertical;
  }
  void UseFont(int index) { SetFont(index); }
  void SetTopLogo(const std::string& bytes) {
    topLogoBuffer_.Resize(0);
    topLogoBuffer_.AppendBytes(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  }
  void RegisterBitmap(LONG number) { registeredBitmaps_.insert(number); }
  void ClearFonts() { fonts_ = {}; fontCount_ = 0; }

  LONG RecLineChars() const { return recLineChars_; }
  LONG RecLineHeight() const { return recLineHeight_; }
  LONG RecLineSpacing() const { return recLineSpacing_; }
  LONG RecLineWidth() const { return recLineWidth_; }
  LONG RecLinesToPaperCut() const { return recLinesToPaperCut_; }
  BYTE LastPrintMode() const { return printMode_; }

  std::vector<BarcodeCall> barcodes;
  std::vector<LONG> bitmapsFormatted;

 protected:
  int IsBitmapSet(LONG number) const override { return registeredBitmaps_.count(number) ? 1 : 0; }
  int FormatSettedBitmap(PrinterBuffer& out, LONG number) override {
    bitmapsFormatted.push_back(number);
    out.Append('#');  // a marker where the bitmap lands
    return 1;
  }
  LONG FormatBarcode(PrinterBuffer& out, PrinterBuffer& data, LONG symbology, LONG height,
                     LONG width, LONG alignment, LONG textPosition) override {
    barcodes.push_back({std::string(reinterpret_cast<const char*>(data.Data()),
                                    static_cast<size_t>(data.Size())),
                        symbology, height, width, alignment, textPosition});
    out.Append('|');  // a marker where the symbol lands
    return 0;
  }

 private:
  std::set<LONG> registeredBitmaps_;
};

}  // namespace zanth::test
