// Bad and large print data: every byte value, broken sequences, huge numbers,
// megabytes of text. Nothing may crash, hang or vanish.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "EscapeTestSupport.h"

namespace {

using zanth::test::Bytes;
using zanth::test::TranslatorEngine;

bool IsCode(LONG code) { return code == 0 || code == OPOS_E_ILLEGAL || code == OPOS_E_FAILURE; }

TEST(EscapeRobustness, EveryByteValueIsTextOrControl) {
  TranslatorEngine engine;
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  Bytes out;
  // The form feed refuses the data; the bytes still print.
  EXPECT_EQ(engine.Translate(all, false, &out), OPOS_E_FAILURE);
  // Tab and form feed print nothing; every other byte, ESC included, prints as it is.
  Bytes expected;
  for (int b = 0; b < 256; ++b) {
    if (b != 0x09 && b != 0x0C) expected.push_back(static_cast<BYTE>(b));
  }
  EXPECT_TRUE(zanth::test::SameBytes(out, expected));
}

TEST(EscapeRobustness, EveryByteAfterEscBar) {
  for (int b = 0; b < 256; ++b) {
    TranslatorEngine engine;
    std::string text = "\x1b|";
    text.push_back(static_cast<char>(b));
    Bytes out;
    const LONG printed = engine.Translate(text, false, &out);
    EXPECT_TRUE(IsCode(printed)) << "byte " << b;
    EXPECT_TRUE(IsCode(engine.Translate(text, true, nullptr))) << "byte " << b;
    if (printed == OPOS_E_FAILURE) {
      // A refused sequence prints whole: ESC, the bar and the byte (tabs and form
      // feeds after the sequence print nothing of their own).
      EXPECT_GE(out.size(), 2u) << "byte " << b;
      EXPECT_EQ(out[0], 0x1B);
      EXPECT_EQ(out[1], '|');
    }
  }
}

struct Unterminated {
  const char* name;
  std::string input;
};

const Unterminated kUnterminated[] = {
    {"Star", "\x1b|*"},
    {"Negation", "\x1b|!"},
    {"Number", "\x1b|123"},
    {"Dots", "\x1b|1.2.3."},
    {"Letters", "\x1b|12ab"},
    {"StarNegationNumber", "\x1b|*!12"},
    {"EscOnly", "\x1b"},
    {"DirectDataPastTheEnd", "\x1b|50Eabc"},
    {"DirectDataHugeLength", "\x1b|*2147483647Eabc"},
    {"BarcodePastTheEnd", "\x1b|2147483647Rs1"},
    {"BarcodeHugeStar", "\x1b|*99999999999999Rs1h2w3a-4t-5d6e"},
    {"BarcodeHugeNumbers", "\x1b|50Rs99999999999999h99999999999w9a-99999999999t-9d1e"},
    {"HugeFeedDots", "\x1b|99999999999999uF"},
    {"HugeScale", "\x1b|2147483647hC"},
    {"HugeUnderline", "\x1b|2147483648uC"},
    {"HugeTypeface", "\x1b|4294967297fT"},
    {"HugeBitmap", "\x1b|4294967297B"},
    {"HugeCut", "\x1b|4294967396P"},
    {"Nested", "\x1b|\x1b|\x1b|\x1b|"},
};

void PrintTo(const Unterminated& u, std::ostream* os) { *os << u.name; }

class EscapeUnterminated : public ::testing::TestWithParam<Unterminated> {};

TEST_P(EscapeUnterminated, EndsCleanlyWithinItsOutputBound) {
  TranslatorEngine engine;
  const std::string& input = GetParam().input;
  Bytes out;
  EXPECT_TRUE(IsCode(engine.Translate(input, false, &out)));
  EXPECT_TRUE(IsCode(engine.Translate(input, true, nullptr)));
  // No short sequence may expand into more than a few hundred command bytes.
  EXPECT_LE(out.size(), input.size() + 1024);
}

INSTANTIATE_TEST_SUITE_P(Translator, EscapeUnterminated, ::testing::ValuesIn(kUnterminated),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EscapeRobustness, HugeFeedIsBoundedAndReported) {
  TranslatorEngine engine;
  Bytes out;
  EXPECT_EQ(engine.Translate("\x1b|99999999999999uF", false, &out), OPOS_E_ILLEGAL);
  // 65535 dots = 257 x 255: 257 commands ESC J 255.
  EXPECT_EQ(out.size(), 3u * 257u);
}

TEST(EscapeRobustness, MegabytesOfTextKeepEveryByte) {
  TranslatorEngine engine;
  // 4 MB: receipt lines with attributes, and one long line without a line feed.
  std::string data;
  const std::string line = "\x1b|bCItem\x1b|!bC\x1b|rA   1,00\n";
  while (data.size() < (3u << 20)) data += line;
  const size_t lines = data.size() / line.size();
  data += std::string(1u << 20, 'x');

  const auto start = std::chrono::steady_clock::now();
  Bytes out;
  EXPECT_EQ(engine.Translate(data, false, &out), 0);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(20));  // linear, not quadratic

  // Per line: ESC E 1, "Item", ESC E 0, ESC $ nL nH, "   1,00", LF.
  const size_t perLine = 3 + 4 + 3 + 4 + 7 + 1;
  EXPECT_EQ(out.size(), lines * perLine + (1u << 20) + 3 /* ESC ! 0 at the end */);
}

TEST(EscapeRobustness, DryRunOfMegabytesStopsAtTheFirstRefusal) {
  TranslatorEngine engine;
  std::string data(2u << 20, 'a');
  data += "\x1b|X";
  data += std::string(2u << 20, 'b');
  EXPECT_EQ(engine.Translate(data, true, nullptr), OPOS_E_FAILURE);
}

}  // namespace
