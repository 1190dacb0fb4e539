// Settings grammar of every port type, the tokenizer and the two factories.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FilePort.h"
#include "PortFactory.h"
#include "PortSettings.h"
#include "Tokenize.h"

namespace Tesk::IO {
namespace {

struct TokenizeCase {
  const wchar_t* text;
  const wchar_t* delimiters;
  std::vector<std::wstring> fields;
};

class TokenizeTable : public ::testing::TestWithParam<TokenizeCase> {};

TEST_P(TokenizeTable, SplitsIntoNonEmptyRuns) {
  const auto& c = GetParam();
  EXPECT_EQ(Tokenize(c.text, c.delimiters), c.fields) << "text: " << ::testing::PrintToString(std::wstring(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TokenizeTable,
    ::testing::Values(TokenizeCase{L"a,,b,", L",", {L"a", L"b"}},  // empty runs dropped
                      TokenizeCase{L"COM1", L",", {L"COM1"}},
                      TokenizeCase{L",a", L",", {L"a"}},
                      TokenizeCase{L",,,", L",", {}},  // delimiters only: no field, no throw
                      TokenizeCase{L"a;b,c", L";,", {L"a", L"b", L"c"}},
                      TokenizeCase{L" a , b ", L",", {L" a ", L" b "}},  // blanks are characters
                      TokenizeCase{L"x", L";", {L"x"}}));

TEST(Tokenize, EmptyTextOrDelimitersThrowWithTheSystemText) {
  for (auto [text, delimiters] : {std::pair{L"", L","}, std::pair{L"a,b", L""}, std::pair{L"", L""}}) {
    try {
      Tokenize(text, delimiters);
      ADD_FAILURE() << "no throw for text '" << ::testing::PrintToString(std::wstring(text)) << "'";
    } catch (const SettingsError& e) {
      EXPECT_STREQ(e.what(), "tokenize: empty  string");  // two blanks
    }
  }
}

struct SerialCase {
  const wchar_t* settings;
  const wchar_t* portName;
  DWORD baud;
};

class SerialGrammar : public ::testing::TestWithParam<SerialCase> {};

TEST_P(SerialGrammar, PortNameAndBaudRate) {
  const auto& c = GetParam();
  SerialPortSettings settings;
  settings.SetSettingsString(c.settings);
  EXPECT_EQ(settings.GetPortName(), c.portName);
  EXPECT_EQ(settings.BaudRate(), c.baud);
  EXPECT_EQ(settings.GetSettingsString(), c.portName);
  EXPECT_EQ(settings.KeptSettingsString(), c.settings);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialGrammar,
    ::testing::Values(SerialCase{L"COM3,BaudRate_9600", L"\\\\.\\COM3", 9600},
                      SerialCase{L"COM2,BaudRate_9600", L"\\\\.\\COM2", 9600},
                      SerialCase{L"COM1,BaudRate_115200", L"\\\\.\\COM1", 115200},
                      SerialCase{L"COM3", L"\\\\.\\COM3", 115200},            // no second field
                      SerialCase{L"COM3,9600", L"\\\\.\\COM3", 115200},       // no "_"
                      SerialCase{L"COM3,B_9600", L"\\\\.\\COM3", 115200},     // one character before "_"
                      SerialCase{L"COM3,_9600", L"\\\\.\\COM3", 115200},      // none before "_"
                      SerialCase{L"COM3,Ba_9600", L"\\\\.\\COM3", 9600},      // two are enough
                      SerialCase{L"COM3,Baud_x", L"\\\\.\\COM3", 0},          // no digits give 0
                      SerialCase{L"COM3,BaudRate_", L"\\\\.\\COM3", 0},
                      SerialCase{L"COM3,BaudRate_abc", L"\\\\.\\COM3", 0},
                      SerialCase{L"COM3,BaudRate_19200x", L"\\\\.\\COM3", 19200},  // leading digits
                      SerialCase{L"COM3,Baud_Rate_4800", L"\\\\.\\COM3", 0},      // first "_" counts
                      SerialCase{L"COM3,,BaudRate_38400", L"\\\\.\\COM3", 38400},  // empty field dropped
                      SerialCase{L",COM4,BaudRate_57600", L"\\\\.\\COM4", 57600},
                      SerialCase{L"COM3,BaudRate_4294967295", L"\\\\.\\COM3", 4294967295u},
                      // Numbers the field cannot hold read 0 and never throw.
                      SerialCase{L"COM3,BaudRate_4294967296", L"\\\\.\\COM3", 0},
                      SerialCase{L"COM3,BaudRate_99999999999999999999", L"\\\\.\\COM3", 0},
                      SerialCase{L"COM3,BaudRate_-9600", L"\\\\.\\COM3", 0},
                      SerialCase{L"/dev/ttyUSB0,BaudRate_9600", L"\\\\.\\/dev/ttyUSB0", 9600}));

struct LptCase {
  const wchar_t* settings;
  const wchar_t* portName;
};

class LptGrammar : public ::testing::TestWithParam<LptCase> {};

TEST_P(LptGrammar, FirstFieldIsThePortName) {
  const auto& c = GetParam();
  LPTPortSettings settings;
  settings.SetSettingsString(c.settings);
  EXPECT_EQ(settings.GetPortName(), c.portName);
  EXPECT_EQ(settings.GetSettingsString(), c.portName);
}

INSTANTIATE_TEST_SUITE_P(Cases, LptGrammar,
                         ::testing::Values(LptCase{L"LPT2,xyz", L"LPT2"}, LptCase{L"LPT1", L"LPT1"},
                                           LptCase{L",,LPT3", L"LPT3"}, LptCase{L"/dev/usb/lp0", L"/dev/usb/lp0"}));

struct TcpCase {
  const wchar_t* settings;
  const char* address;
  std::uint16_t port;
};

class TcpGrammar : public ::testing::TestWithParam<TcpCase> {};

TEST_P(TcpGrammar, AddressAndPort) {
  const auto& c = GetParam();
  TCPIPPortSettings settings;
  settings.SetSettingsString(c.settings);
  EXPECT_EQ(settings.Address(), c.address);
  EXPECT_EQ(settings.TcpPort(), c.port);
  std::string address(c.address);
  EXPECT_EQ(settings.GetSettingsString(), std::wstring(address.begin(), address.end()));
  EXPECT_EQ(settings.GetPortName(), L"Auto");
  EXPECT_EQ(settings.KeptSettingsString(), L"");  // the string itself is not kept
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TcpGrammar,
    ::testing::Values(TcpCase{L"192.168.0.10", "192.168.0.10", 9100},  // address alone keeps 9100
                      TcpCase{L"192.168.0.10,9101", "192.168.0.10", 9101},
                      TcpCase{L",9100", "9100", 9100},                   // empty field dropped: 9100 is the address
                      TcpCase{L"10.0.0.1,abc", "10.0.0.1", 0},           // no digits give 0
                      TcpCase{L"10.0.0.1, 9200", "10.0.0.1", 9200},      // blanks before the number
                      TcpCase{L"10.0.0.1,9300x", "10.0.0.1", 9300},
                      TcpCase{L"10.0.0.1,9100,extra", "10.0.0.1", 9100},
                      TcpCase{L"10.0.0.1,65535", "10.0.0.1", 65535},
                      TcpCase{L"10.0.0.1,65536", "10.0.0.1", 0},  // beyond 16 bits reads 0
                      TcpCase{L"10.0.0.1,-1", "10.0.0.1", 0},     // negative reads 0
                      TcpCase{L"1234567890123456789", "1234567890123456789", 9100}));  // 19 fit

TEST(TcpGrammar, DefaultsAndAnAbsentPortKeepsTheLastOne) {
  TCPIPPortSettings settings;
  EXPECT_EQ(settings.Address(), TCPIPPortSettings::kDefaultAddress);
  EXPECT_EQ(settings.TcpPort(), 9100);
  settings.SetSettingsString(L"10.1.1.1,9200");
  settings.SetSettingsString(L"10.1.1.2");
  EXPECT_EQ(settings.Address(), "10.1.1.2");
  EXPECT_EQ(settings.TcpPort(), 9200);
}

struct FileCase {
  const wchar_t* settings;
  const wchar_t* output;
  const wchar_t* input;
  const wchar_t* rendered;
};

class FileGrammar : public ::testing::TestWithParam<FileCase> {};

TEST_P(FileGrammar, OutputAndInputPaths) {
  const auto& c = GetParam();
  FilePortSettings settings;
  settings.SetSettingsString(c.settings);
  EXPECT_EQ(settings.OutputPath(), c.output);
  EXPECT_EQ(settings.InputPath(), c.input);
  EXPECT_EQ(settings.GetSettingsString(), c.rendered);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileGrammar,
                         ::testing::Values(FileCase{L"/tmp/out.bin,/tmp/in.bin", L"/tmp/out.bin", L"/tmp/in.bin",
                                                    L"/tmp/out.bin,/tmp/in.bin"},
                                           FileCase{L"/tmp/out.bin", L"/tmp/out.bin", L"", L"/tmp/out.bin,"},
                                           FileCase{L",/tmp/o,,/tmp/i,", L"/tmp/o", L"/tmp/i", L"/tmp/o,/tmp/i"}));

TEST(UsbGrammar, AnyStringIsIgnoredAndRenderedAsAuto) {
  for (const wchar_t* text : {L"", L",", L"USB001", L"TM-T88IV,whatever,,", L"\x01\x02"}) {
    USBPortSettings settings;
    EXPECT_NO_THROW(settings.SetSettingsString(text));
    EXPECT_EQ(settings.GetSettingsString(), L"Auto");
    EXPECT_EQ(settings.GetPortName(), L"Auto");
    EXPECT_EQ(settings.HardwareIdMatch(), USBPortSettings::kDefaultHardwareIdMatch);
  }
}

TEST(UsbGrammar, EngineSettersKeepAtMost254Characters) {
  USBPortSettings settings;
  EXPECT_EQ(settings.EnumeratorName(), L"USBPRINT");
  settings.SetModelName(L"KR-11");
  settings.SetHardwareIdMatch(std::wstring(300, L'A'));
  EXPECT_EQ(settings.ModelName(), L"KR-11");
  EXPECT_EQ(settings.HardwareIdMatch().size(), 254u);
}

struct RefusedCase {
  const wchar_t* type;
  std::wstring settings;
  const char* why;
};

class RefusedSettings : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedSettings, ThrowAndKeepThePreviousValues) {
  const auto& c = GetParam();
  auto settings = CreatePortSettings(c.type);
  const std::wstring before = settings->GetSettingsString();
  const std::wstring nameBefore = settings->GetPortName();
  EXPECT_THROW(settings->SetSettingsString(c.settings), SettingsError) << c.why;
  EXPECT_EQ(settings->GetSettingsString(), before) << c.why;
  EXPECT_EQ(settings->GetPortName(), nameBefore) << c.why;
}

const std::wstring kLong251(251, L'C');  // "\\.\" + 251 = 255 > 254

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedSettings,
    ::testing::Values(RefusedCase{L"COM", L"", "empty"}, RefusedCase{L"LPT", L"", "empty"},
                      RefusedCase{L"TCP/IP", L"", "empty"}, RefusedCase{L"FILE", L"", "empty"},
                      RefusedCase{L"COM", L",", "delimiters only"}, RefusedCase{L"LPT", L",,,", "delimiters only"},
                      RefusedCase{L"TCP/IP", L",", "delimiters only"}, RefusedCase{L"FILE", L",,", "delimiters only"},
                      RefusedCase{L"COM", kLong251, "port name of 255 characters"},
                      RefusedCase{L"LPT", std::wstring(255, L'L'), "port name of 255 characters"},
                      RefusedCase{L"LPT", L"LPT1," + std::wstring(508, L'x'), "settings string of 513 characters"},
                      RefusedCase{L"COM", L"CO\x01M1", "control character in the port name"},
                      RefusedCase{L"TCP/IP", L"12345678901234567890", "address of 20 characters"},
                      RefusedCase{L"TCP/IP", L"10.0.0.\u00e9", "non-ASCII address"},
                      RefusedCase{L"TCP/IP", L"10.0. 0.1", "blank inside the address"},
                      RefusedCase{L"FILE", std::wstring(255, L'f') + L",in", "output path of 255 characters"},
                      RefusedCase{L"FILE", L"out," + std::wstring(255, L'i'), "input path of 255 characters"},
                      RefusedCase{L"FILE", L"out\n,in", "control character in a path"}));

TEST(RefusedSettings, DelimitersOnlyIsNotReportedAsTheEmptyString) {
  SerialPortSettings settings;
  try {
    settings.SetSettingsString(L",,");
    FAIL() << "no throw";
  } catch (const SettingsError& e) {
    EXPECT_STRNE(e.what(), "tokenize: empty  string");
  }
}

struct TypeCase {
  const wchar_t* type;
  const wchar_t* defaultPortName;
};

class KnownTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(KnownTypes, SettingsAndPortOfTheType) {
  const auto& c = GetParam();
  auto settings = CreatePortSettings(c.type);
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->GetPortType(), c.type);
  EXPECT_EQ(settings->GetPortName(), c.defaultPortName);
  EXPECT_EQ(settings->GetInputBufferSize(), 2048);
  EXPECT_EQ(settings->GetOutputBufferSize(), 2048);
  EXPECT_EQ(settings->GetWriteTimeout(), 1000);
  EXPECT_EQ(settings->GetReadTimeout(), 1000);
  auto port = CreatePort(*settings);
  ASSERT_TRUE(port);
  EXPECT_EQ(port->GetSettings()->GetPortType(), c.type);
  EXPECT_NE(port->GetSettings(), settings.get());  // the port holds its own copy
  EXPECT_EQ(port->IsOpen(), 0);
  EXPECT_EQ(port->IsAlternateDevice(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, KnownTypes,
                         ::testing::Values(TypeCase{L"COM", L"Auto"}, TypeCase{L"LPT", L"LPT1"},
                                           TypeCase{L"USB", L"Auto"}, TypeCase{L"TCP/IP", L"Auto"},
                                           TypeCase{L"FILE", L"Auto"}));

TEST(Factories, UnknownTypesThrow2401) {
  for (const wchar_t* type : {L"tcp/ip", L"COM1", L"", L"Com", L"FILE ", L" USB", L"TCPIP", L"lpt"}) {
    try {
      CreatePortSettings(type);
      ADD_FAILURE() << "no throw for " << ::testing::PrintToString(std::wstring(type));
    } catch (int error) {
      EXPECT_EQ(error, 2401);
    }
    CPortSettingsBase foreign(type);
    try {
      CreatePort(foreign);
      ADD_FAILURE() << "no throw for " << ::testing::PrintToString(std::wstring(type));
    } catch (int error) {
      EXPECT_EQ(error, 2401);
    }
  }
}

TEST(Factories, SettingsOfTheWrongClassForTheirTypeThrow2401) {
  CPortSettingsBase claimsCom(L"COM");
  EXPECT_THROW(CreatePort(claimsCom), int);
}

TEST(Factories, PortKeepsTheSettingsAsTheyWereWhenCreated) {
  FilePortSettings settings;
  settings.SetSettingsString(L"/tmp/a,/tmp/b");
  auto port = CreatePort(settings);
  settings.SetSettingsString(L"/tmp/c,/tmp/d");
  EXPECT_EQ(port->GetSettings()->GetSettingsString(), L"/tmp/a,/tmp/b");
}

TEST(Factories, UsbPortWithoutADeviceFailsToOpen) {
  USBPortSettings settings;
  auto port = CreatePort(settings);
  EXPECT_FALSE(port->Open());
  EXPECT_FALSE(port->TestOpen());
  EXPECT_EQ(port->IsOpen(), 0);
}

}  // namespace
}  // namespace Tesk::IO
