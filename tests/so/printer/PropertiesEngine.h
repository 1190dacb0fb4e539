// An opened TestEngine whose property internals a test can reach, and a snapshot of
// every property so a refused set can be shown to change nothing.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "FakePort.h"
#include "TestEngine.h"

namespace zanth::test {

class PropertiesEngine : public TestEngine {
 public:
  using CPrinterBase::SetFont;
  using CPrinterBase::characterSetChanged_;
  using CPrinterBase::characterSetList_;
  using CPrinterBase::currentFont_;
  using CPrinterBase::dotSizeH_;
  using CPrinterBase::dotSizeV_;
  using CPrinterBase::fontChanged_;
  using CPrinterBase::fonts_;
  using CPrinterBase::formatLineLength_;
  using CPrinterBase::letterQualityChanged_;
  using CPrinterBase::lineSpacingChanged_;
  using CPrinterBase::lineWidthChanged_;
  using CPrinterBase::mapMode_;
  using CPrinterBase::modelName_;
  using CPrinterBase::packetFraming_;
  using CPrinterBase::pageMode_;
  using CPrinterBase::pageModePrintHeight_;
  using CPrinterBase::pageModePrintWidth_;
  using CPrinterBase::pageModePrintX_;
  using CPrinterBase::pageModePrintY_;
  using CPrinterBase::printAreaPending_;
  using CPrinterBase::rotate180_;
  using CPrinterBase::rotate180Toggled_;
  using CPrinterBase::rotateRight90_;
  using CPrinterBase::transaction_;
  using CPrinterBase::transactionBuffer_;
};

// Every number and string property as the engine answers it; unanswered indexes keep
// the marker the caller passed.
struct PropertySnapshot {
  static constexpr LONG kUntouched = -777;
  std::map<LONG, LONG> numbers;
  std::map<LONG, std::wstring> strings;

  static PropertySnapshot Take(Tesk::Printer::CPrinterBase& engine) {
    PropertySnapshot snapshot;
    for (LONG index = 0; index <= 8600; ++index) {
      LONG value = kUntouched;
      engine.GetPropertyNumber(index, &value);
      if (value != kUntouched) snapshot.numbers[index] = value;
    }
    for (LONG index = 1000000; index <= 1008020; ++index) {
      if (index == 1000010) index = 1008000;  // the common strings, then the printer's
      BSTR value = nullptr;
      engine.GetPropertyString(index, &value);
      if (value) snapshot.strings[index] = platform::FromBstr(value);
      SysFreeString(value);
    }
    return snapshot;
  }
};

struct OpenedEngine : ::testing::Test {
  void SetUp() override {
    port = std::make_shared<FakePort>(L"FILE");
    engine.UsePort(port);
    LONG openResult = -1;
    ASSERT_EQ(engine.OpenServiceW(L"printer", &events, &openResult), 0);
    ASSERT_EQ(openResult, 0);
  }
  LONG Number(LONG index) {
    LONG value = PropertySnapshot::kUntouched;
    engine.GetPropertyNumber(index, &value);
    return value;
  }
  LONG SetNumber(LONG index, LONG value) {
    LONG result = -1;
    engine.SetPropertyNumber(index, value, &result);
    return result;
  }
  std::wstring String(LONG index) {
    BSTR value = nullptr;
    engine.GetPropertyString(index, &value);
    std::wstring text = value ? platform::FromBstr(value) : L"<untouched>";
    SysFreeString(value);
    return text;
  }
  LONG SetString(LONG index, const std::wstring& value) {
    LONG result = -1;
    engine.SetPropertyString(index, value, &result);
    return result;
  }

  PropertiesEngine engine;
  RecordingEvents events;
  std::shared_ptr<FakePort> port;
};

}  // namespace zanth::test
