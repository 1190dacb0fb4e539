// The full ESC/POS command set.
#include "CmdHelperBase.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "CmdBytes.h"
#include "OposConstants.h"

using namespace Tesk::Printer::cmdbytes;

namespace {

constexpr int ESC = 0x1B;
constexpr int GS = 0x1D;
constexpr int FS = 0x1C;
constexpr int DLE = 0x10;

bool In(int v, int lo, int hi) { return v >= lo && v <= hi; }

bool OneOf(int v, std::initializer_list<int> allowed) {
  return std::find(allowed.begin(), allowed.end(), v) != allowed.end();
}

}  // namespace

CCmdHelperBase::CCmdHelperBase() {
  for (int n = 0; n < 8; ++n) bitMask_[n] = static_cast<BYTE>(1u << n);
  const BYTE in[] = {'I', 'N'};
  setupData_.AppendBytes(in, 2);
}

CCmdHelperBase::~CCmdHelperBase() = default;

// --- status and control ---

int CCmdHelperBase::WriteData(PrinterBuffer& out, const PrinterBuffer& data) {
  out.AppendBytes(data.Data(), data.Size());
  return 1;
}

int CCmdHelperBase::ParseAutoStatus(const BYTE* block, tagPrinterStatus* status) {
  if (!block) return 0;
  // The first byte carries the fixed pattern 0xx1 0xx0 (bits 4 set, 0, 1, 7 clear);
  // bits 4 and 7 of the other three bytes are always clear.
  if ((block[0] & 0x93) != 0x10) return 0;
  if ((block[1] & 0x90) || (block[2] & 0x90) || (block[3] & 0x90)) return 0;
  if (status) {
    status->drawer = block[0] & bitMask_[2];
    status->offline = block[0] & bitMask_[3];
    status->coverOpen = block[0] & bitMask_[5];
    status->nearEnd = (block[2] & 0x03) == 0x03 ? 1 : 0;
    status->paperEnd = (block[2] & 0x0C) == 0x0C ? 1 : 0;
  }
  return 1;
}

int CCmdHelperBase::ParsePrinterStatus(int reply, tagPrinterStatus* status) {
  const int b = reply & 0xFF;
  if ((b & 0x13) != 0x12) return 0;
  if (status) {
    status->offline = b & bitMask_[3];
    status->drawer = b & bitMask_[2];
  }
  return 1;
}

int CCmdHelperBase::ParseOfflineStatus(int reply, tagPrinterStatus* status) {
  const int b = reply & 0xFF;
  if ((b & 0x93) != 0x12) return 0;
  if (status) status->coverOpen = b & bitMask_[2];
  return 1;
}

int CCmdHelperBase::ParsePaperStatus(int reply, tagPrinterStatus* status) {
  const int b = reply & 0xFF;
  if ((b & 0x93) != 0x12) return 0;
  if (status) {
    status->nearEnd = b & 0x0C;
    status->paperEnd = b & (bitMask_[5] | bitMask_[6]);
  }
  return 1;
}

int CCmdHelperBase::ParsePaperSensorStatus(int reply, tagPrinterStatus* status) {
  // GS r 1 has no fixed bits to check.
  const int b = reply & 0xFF;
  if (status) {
    status->nearEnd = b & 0x03;
    status->paperEnd = b & 0x0C;
  }
  return 1;
}

int CCmdHelperBase::ParseDrawerStatus(int reply, LONG* drawer) {
  if (drawer) *drawer = reply & bitMask_[0];
  return 1;
}

LONG CCmdHelperBase::DetectStatusChange(const BYTE* newStatus, BYTE* remembered) {
  if (!newStatus || !remembered) return 0;
  if (std::memcmp(newStatus, remembered, 4) == 0) return 0;
  const BYTE* n = newStatus;
  BYTE* r = remembered;
  const BYTE cover = bitMask_[5];
  if (!(n[0] & cover) && (r[0] & cover)) {
    r[0] &= static_cast<BYTE>(~cover);
    return PTR_SUE_COVER_OK;
  }
  if ((n[0] & cover) && !(r[0] & cover)) {
    r[0] |= cover;
    return PTR_SUE_COVER_OPEN;
  }
  // Byte 1 bit 3 yields 20 and 21, which no consumer maps to an OPOS event.
  const BYTE b1 = bitMask_[3];
  if (!(n[1] & b1) && (r[1] & b1)) {
    r[1] &= static_cast<BYTE>(~b1);
    return 20;
  }
  if ((n[1] & b1) && !(r[1] & b1)) {
    r[1] |= b1;
    return 21;
  }
  if ((n[2] & 0x0C) == 0x0C && (r[2] & 0x0C) != 0x0C) {
    r[2] |= 0x0C;
    return PTR_SUE_REC_EMPTY;
  }
  if ((n[2] & 0x0C) == 0 && (r[2] & 0x0C) != 0) {
    r[2] &= static_cast<BYTE>(~0x0C);
    return PTR_SUE_REC_PAPEROK;
  }
  // The near-end bits are only ever raised here; paper OK above covers the recovery.
  if ((n[2] & 0x03) == 0x03 && (r[2] & 0x03) != 0x03) {
    r[2] |= 0x03;
    return PTR_SUE_REC_NEAREMPTY;
  }
  return 0;
}

int CCmdHelperBase::IsDrawerStateChanged(int newByte, int oldByte, int flag) {
  const int mask = bitMask_[2];
  if ((newByte & mask) == (oldByte & mask)) return 0;
  if (!(newByte & mask) && flag) return 0;
  return 1;
}

int CCmdHelperBase::IsDrawerOpen(int statusByte, int flag) {
  const bool bit = (statusByte & bitMask_[2]) != 0;
  return flag ? bit : !bit;
}

int CCmdHelperBase::ResetTextFormat(PrinterBuffer& out) {
  SetPrintMode(out, 0, 0, 0, 0, 0);
  SetJustification(out, 0);
  SetUnderline(out, 0);
  return 1;
}

int CCmdHelperBase::HorizontalTab(PrinterBuffer& out) { return Emit(out, {0x09}); }
int CCmdHelperBase::LineFeed(PrinterBuffer& out) { return Emit(out, {0x0A}); }
int CCmdHelperBase::FormFeed(PrinterBuffer& out) { return Emit(out, {0x0C}); }
int CCmdHelperBase::PrintLineBuffer(PrinterBuffer& out) { return Emit(out, {ESC, 'd', 0}); }
int CCmdHelperBase::CancelPageData(PrinterBuffer& out) { return Emit(out, {0x18}); }

int CCmdHelperBase::RequestRealTimeStatus(PrinterBuffer& out, int n) {
  return Emit(out, {DLE, 0x04, n});
}

LONG CCmdHelperBase::DetectStatusChangeByType(int newByte, BYTE* remembered, int replyType) {
  if (!remembered) return 0;
  const BYTE n = static_cast<BYTE>(newByte);
  BYTE& r = *remembered;
  if (n == r) return 0;
  if (replyType == 2) {
    // Off-line cause: bit 2 is the cover.
    const BYTE cover = bitMask_[2];
    if ((n & cover) == (r & cover)) return 0;
    if (n & cover) {
      r |= cover;
      return PTR_SUE_REC_COVER_OPEN;
    }
    r &= static_cast<BYTE>(~cover);
    return PTR_SUE_REC_COVER_OK;
  }
  if (replyType == 4) {
    // Paper sensor (DLE EOT 4): bits 2-3 near end, bits 5-6 paper end. Reported the
    // way the automatic status decoder reports them: empty, near empty, then OK.
    constexpr BYTE kNear = 0x0C;
    constexpr BYTE kEnd = 0x60;
    if ((n & kEnd) == kEnd && (r & kEnd) != kEnd) {
      r |= kEnd;
      return PTR_SUE_REC_EMPTY;
    }
    if ((n & kEnd) == 0 && (r & kEnd) != 0 && (n & kNear) == kNear) {
      r = static_cast<BYTE>((r & ~kEnd) | kNear);
      return PTR_SUE_REC_NEAREMPTY;
    }
    if ((n & kNear) == kNear && (r & kNear) != kNear) {
      r |= kNear;
      return PTR_SUE_REC_NEAREMPTY;
    }
    if ((n & (kNear | kEnd)) == 0 && (r & (kNear | kEnd)) != 0) {
      r &= static_cast<BYTE>(~(kNear | kEnd));
      return PTR_SUE_REC_PAPEROK;
    }
    return 0;
  }
  return 0;
}

void CCmdHelperBase::GetDrawerStatusQuery(BYTE* query) {
  if (!query) return;
  query[0] = GS;
  query[1] = 'r';
  query[2] = 2;
}

int CCmdHelperBase::TransmitStatus(PrinterBuffer& out, int n) { return Emit(out, {GS, 'r', n}); }

int CCmdHelperBase::RealTimeRequest(PrinterBuffer& out, int n) {
  if ((n & 0xFF) > 2) return 0;
  return Emit(out, {DLE, 0x05, n});
}

int CCmdHelperBase::RealTimePrefix(PrinterBuffer& out, int, int) { return Emit(out, {DLE, 0x14}); }

int CCmdHelperBase::RealTimeFunction1(PrinterBuffer& out) {
  return Emit(out, {DLE, 0x14, 0x01, 0x08});
}

int CCmdHelperBase::RealTimeClearBuffers(PrinterBuffer& out) {
  return Emit(out, {DLE, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08});
}

int CCmdHelperBase::PageFormFeed(PrinterBuffer& out) { return Emit(out, {0x0C}); }

// --- characters and lines ---

int CCmdHelperBase::SetRightSpacing(PrinterBuffer& out, int n) { return Emit(out, {ESC, ' ', n}); }

int CCmdHelperBase::SetPrintMode(PrinterBuffer& out, int fontB, int emphasized, int doubleWidth,
                                 int doubleHeight, int underline) {
  int n = 0;
  if (fontB) n |= 0x01;
  if (emphasized) n |= 0x08;
  if (doubleHeight) n |= 0x10;
  if (doubleWidth) n |= 0x20;
  if (underline) n |= 0x80;
  Emit(out, {ESC, '!', n});
  return n;
}

int CCmdHelperBase::SetAbsolutePosition(PrinterBuffer& out, int dots) {
  return Emit(out, {ESC, '$', Lo(dots), Hi(dots)});
}

int CCmdHelperBase::SetUserCharacterSet(PrinterBuffer& out, int flag) {
  return Emit(out, {ESC, '%', Bool(flag)});
}

void CCmdHelperBase::NoOperation() {}

int CCmdHelperBase::SelectBitImage(PrinterBuffer& out, int mode, int width, const BYTE* data,
                                   LONG length) {
  const int m = mode & 0xFF;
  if (!OneOf(m, {0, 1, 32, 33})) return 0;
  if (!In(width, 1, 2047)) return 0;
  // Single density modes take one byte per column, the 24-dot modes three.
  const LONG expected = (m >= 32) ? 3 * width : width;
  if (length != expected || !data) return 0;
  Emit(out, {ESC, '*', m, Lo(width), Hi(width)});
  out.AppendBytes(data, length);
  return 1;
}

int CCmdHelperBase::SetUnderline(PrinterBuffer& out, int n) {
  if (!In(n & 0xFF, 0, 2)) return 0;
  return Emit(out, {ESC, '-', n});
}

int CCmdHelperBase::SetDefaultLineSpacing(PrinterBuffer& out) { return Emit(out, {ESC, '2'}); }

int CCmdHelperBase::SetLineSpacing(PrinterBuffer& out, int n) { return Emit(out, {ESC, '3', n}); }

int CCmdHelperBase::SelectPeripheral(PrinterBuffer& out, int flag) {
  return Emit(out, {ESC, '=', flag ? 0x01 : 0x02});
}

int CCmdHelperBase::CancelUserCharacter(PrinterBuffer& out, int n) {
  if (!In(n & 0xFF, 32, 126)) return 0;
  return Emit(out, {ESC, '?', n});
}

int CCmdHelperBase::InitializePrinter(PrinterBuffer& out) { return Emit(out, {ESC, '@'}); }

int CCmdHelperBase::SetDefaultTabs(PrinterBuffer& out) {
  defaultTabs_.Clear();
  Emit(defaultTabs_, {ESC, 'D'});
  // 31 stops, every 8 columns from 8 to 248 (0xF8), then the terminating NUL.
  for (int column = 8; column <= 248; column += 8) defaultTabs_.Append(static_cast<BYTE>(column));
  defaultTabs_.Append(0);
  out.AppendBytes(defaultTabs_.Data(), defaultTabs_.Size());
  return 1;
}

int CCmdHelperBase::SetTabPositions(PrinterBuffer& out, const PrinterBuffer& positions) {
  if (positions.IsEmpty()) return SetDefaultTabs(out);
  Emit(out, {ESC, 'D'});
  out.AppendBytes(positions.Data(), positions.Size());
  if (positions.At(positions.Size() - 1) != 0) out.Append(0);
  return 1;
}

int CCmdHelperBase::SetEmphasized(PrinterBuffer& out, int flag) {
  return Emit(out, {ESC, 'E', Bool(flag)});
}

int CCmdHelperBase::SetDoubleStrike(PrinterBuffer& out, int flag) {
  return Emit(out, {ESC, 'G', Bool(flag)});
}

int CCmdHelperBase::PrintWithoutFeed(PrinterBuffer& out) { return Emit(out, {ESC, 'J', 0}); }

int CCmdHelperBase::FeedDots(PrinterBuffer& out, int dots) {
  // A negative distance would go out as a large forward feed.
  if (dots < 0) return 0;
  // ESC J feeds at most 255 dots, so longer feeds are split into full runs and a rest
  // of 1..255: 256 = FF + 01, 510 = FF + FF, 511 = FF FF + 01.
  if (dots >= 256) {
    const int fullRuns = (dots - 256) / 255 + 1;
    for (int i = 0; i < fullRuns; ++i) Emit(out, {ESC, 'J', 0xFF});
    return Emit(out, {ESC, 'J', (dots - 256) % 255 + 1});
  }
  return Emit(out, {ESC, 'J', dots});
}

int CCmdHelperBase::PrintAndFeedDots(PrinterBuffer& out, int n) { return Emit(out, {ESC, 'J', n}); }

int CCmdHelperBase::SelectPageMode(PrinterBuffer& out) { return Emit(out, {ESC, 'L'}); }

int CCmdHelperBase::SelectCharacterFont(PrinterBuffer& out, int n) {
  if (!OneOf(n & 0xFF, {0, 1, 48, 49})) return 0;
  return Emit(out, {ESC, 'M', n});
}

int CCmdHelperBase::SelectInternationalSet(PrinterBuffer& out, int n) {
  return Emit(out, {ESC, 'R', n});
}

int CCmdHelperBase::GetInternationalSetForCodePage(int codePage) {
  switch (codePage) {
    case 932:
      return 8;  // Japan
    case 850:
    case 936:
    case 950:
      return 15;  // China
    default:
      return 0;
  }
}

int CCmdHelperBase::SelectStandardMode(PrinterBuffer& out) { return Emit(out, {ESC, 'S'}); }

int CCmdHelperBase::GetPageDirectionForRotation(LONG rotation) {
  switch (rotation) {
    case PTR_RP_RIGHT90:
      return '3';
    case PTR_RP_LEFT90:
      return '1';
    case PTR_RP_ROTATE180:
      return '2';
    default:
      return '0';
  }
}

int CCmdHelperBase::SetPageDirection(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  if (!In(v, 0, 3) && !In(v, 48, 51)) return 0;
  return Emit(out, {ESC, 'T', v});
}

int CCmdHelperBase::SetRotate90(PrinterBuffer& out, int flag) {
  return Emit(out, {ESC, 'V', Bool(flag)});
}

int CCmdHelperBase::SetPageArea(PrinterBuffer& out, int x, int y, int dx, int dy) {
  return Emit(out, {ESC, 'W', Lo(x), Hi(x), Lo(y), Hi(y), Lo(dx), Hi(dx), Lo(dy), Hi(dy)});
}

int CCmdHelperBase::SetRelativePosition(PrinterBuffer& out, int dots) {
  return Emit(out, {ESC, '\\', Lo(dots), Hi(dots)});
}

int CCmdHelperBase::SetJustification(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  if (!In(v, 0, 2) && !In(v, 48, 50)) return 0;
  return Emit(out, {ESC, 'a', v});
}

int CCmdHelperBase::SetPaperOutSensor(PrinterBuffer& out, int n) {
  return Emit(out, {ESC, 'c', '3', n});
}

int CCmdHelperBase::SetPaperStopSensor(PrinterBuffer& out, int n) {
  return Emit(out, {ESC, 'c', '4', n});
}

int CCmdHelperBase::EnablePanelButtons(PrinterBuffer& out, int flag) {
  return Emit(out, {ESC, 'c', '5', flag ? 0 : 1});
}

int CCmdHelperBase::PrintAndFeedLines(PrinterBuffer& out, int n) {
  return Emit(out, {ESC, 'd', n});
}

int CCmdHelperBase::GeneratePulse(PrinterBuffer& out, int pin, int onTime, int offTime) {
  if (!OneOf(pin & 0xFF, {0, 1, 48, 49})) return 0;
  return Emit(out, {ESC, 'p', pin, onTime, offTime});
}

int CCmdHelperBase::SelectCodeTable(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  if (!In(v, 0, 21) && v != 26 && !In(v, 30, 53) && v != 255) return 0;
  return Emit(out, {ESC, 't', v});
}

int CCmdHelperBase::SetUpsideDown(PrinterBuffer& out, int flag) {
  return Emit(out, {ESC, '{', Bool(flag)});
}

int CCmdHelperBase::SetCharacterSize(PrinterBuffer& out, int width, int height) {
  // A multiplier of 0 would wrap to a 16-fold size in the nibble.
  if (!In(width, 1, 8) || !In(height, 1, 8)) return 0;
  return Emit(out, {GS, '!', ((width - 1) << 4) | (height - 1)});
}

int CCmdHelperBase::SetCharacterSizeClamped(PrinterBuffer& out, int width, int height) {
  return SetCharacterSize(out, std::clamp(width, 1, 8), std::clamp(height, 1, 8));
}

int CCmdHelperBase::SetAbsoluteVerticalPosition(PrinterBuffer& out, int dots) {
  return Emit(out, {GS, '$', Lo(dots), Hi(dots)});
}

int CCmdHelperBase::ExecuteTestPrint(PrinterBuffer& out, int paper, int pattern) {
  const int p = paper & 0xFF;
  const int n = pattern & 0xFF;
  if (!In(p, 0, 2) && !In(p, 48, 50)) return 0;
  if (!In(n, 1, 3) && !In(n, 49, 51)) return 0;
  return Emit(out, {GS, '(', 'A', 0x02, 0x00, p, n});
}

// --- user setup (GS ( E) ---

void CCmdHelperBase::AppendUserSetup(PrinterBuffer& out, int fn, const PrinterBuffer& body) {
  setupHeader_.Clear();
  const int count = 1 + body.Size();
  Emit(setupHeader_, {GS, '(', 'E', Lo(count), Hi(count), fn});
  out.AppendBytes(setupHeader_.Data(), setupHeader_.Size());
  out.AppendBytes(body.Data(), body.Size());
}

namespace {

bool ValidDensity(int value) {
  const int v = static_cast<std::int16_t>(value);
  return In(v, -6, 6) || v == 100;
}

bool ValidValue97(int value) { return OneOf(value, {1, 2, 4, 128}); }

void AppendEntry(PrinterBuffer& body, int item, int value) {
  Emit(body, {item, Lo(value), Hi(value)});
}

}  // namespace

int CCmdHelperBase::EnterUserSetupMode(PrinterBuffer& out) {
  AppendUserSetup(out, 0x01, setupData_);
  return 1;
}

int CCmdHelperBase::ExitUserSetupMode(PrinterBuffer& out) {
  setupBody_.Clear();
  Emit(setupBody_, {'O', 'U', 'T'});
  AppendUserSetup(out, 0x02, setupBody_);
  return 1;
}

int CCmdHelperBase::SetCustomValues(PrinterBuffer& out, int density, int headSpeed, int value97,
                                    int flag116, int flag118) {
  setupBody_.Clear();
  if (ValidDensity(density)) AppendEntry(setupBody_, 0x05, density);
  if (In(headSpeed, 1, 9)) AppendEntry(setupBody_, 0x06, headSpeed);
  if (ValidValue97(value97)) AppendEntry(setupBody_, 0x61, value97);
  AppendEntry(setupBody_, 0x74, flag116 ? 0x0101 : 0x0001);
  AppendEntry(setupBody_, 0x76, flag118 ? 0x0055 : 0x0046);
  AppendUserSetup(out, 0x05, setupBody_);
  return 1;
}

int CCmdHelperBase::SetPrintDensity(PrinterBuffer& out, int value) {
  if (!ValidDensity(value)) return 0;
  setupBody_.Clear();
  AppendEntry(setupBody_, 0x05, value);
  AppendUserSetup(out, 0x05, setupBody_);
  return 1;
}

int CCmdHelperBase::SetHeadSpeed(PrinterBuffer& out, int value) {
  if (!In(value, 1, 9)) return 0;
  setupBody_.Clear();
  AppendEntry(setupBody_, 0x06, value);
  AppendUserSetup(out, 0x05, setupBody_);
  return 1;
}

int CCmdHelperBase::SetCustomValue97(PrinterBuffer& out, int value) {
  if (!ValidValue97(value)) return 0;
  setupBody_.Clear();
  AppendEntry(setupBody_, 0x61, value);
  AppendUserSetup(out, 0x05, setupBody_);
  return 1;
}

int CCmdHelperBase::SetCustomValue116(PrinterBuffer& out, int flag) {
  setupBody_.Clear();
  AppendEntry(setupBody_, 0x74, flag ? 0x0101 : 0x0001);
  AppendUserSetup(out, 0x05, setupBody_);
  return 1;
}

int CCmdHelperBase::SetCustomValue118(PrinterBuffer& out, int flag) {
  setupBody_.Clear();
  AppendEntry(setupBody_, 0x76, flag ? 0x0055 : 0x0046);
  AppendUserSetup(out, 0x05, setupBody_);
  return 1;
}

int CCmdHelperBase::QueryCustomValue(PrinterBuffer& out, int item) {
  setupBody_.Clear();
  setupBody_.Append(static_cast<BYTE>(item));
  AppendUserSetup(out, 0x06, setupBody_);
  return 1;
}

int CCmdHelperBase::QueryPrintDensity(PrinterBuffer& out) { return QueryCustomValue(out, 0x05); }
int CCmdHelperBase::QueryHeadSpeed(PrinterBuffer& out) { return QueryCustomValue(out, 0x06); }
int CCmdHelperBase::QueryCustomValue97(PrinterBuffer& out) { return QueryCustomValue(out, 0x61); }
int CCmdHelperBase::QueryCustomValue116(PrinterBuffer& out) { return QueryCustomValue(out, 0x74); }
int CCmdHelperBase::QueryCustomValue118(PrinterBuffer& out) { return QueryCustomValue(out, 0x76); }

int CCmdHelperBase::SetSerialBaudRate(PrinterBuffer& out, const char* text) {
  if (!text) return 0;
  const size_t length = std::strlen(text);
  // The shortest rate the printer knows has four digits; 0xFFFF caps the block count.
  if (length <= 2 || length > 0xFFF0) return 0;
  setupBody_.Clear();
  setupBody_.Append(0x01);
  setupBody_.AppendBytes(text, static_cast<std::int32_t>(length));
  AppendUserSetup(out, 0x0B, setupBody_);
  return 1;
}

namespace {

// The serial settings are items 1..4 of the interface group (fn 0B sets, fn 0C asks).
enum SerialItem { kBaudRate = 1, kParity = 2, kFlowControl = 3, kDataBits = 4 };

}  // namespace

int CCmdHelperBase::SetSerialParity(PrinterBuffer& out, int n) {
  setupBody_.Clear();
  Emit(setupBody_, {kParity, n});
  AppendUserSetup(out, 0x0B, setupBody_);
  return 1;
}

int CCmdHelperBase::SetSerialFlowControl(PrinterBuffer& out, int n) {
  setupBody_.Clear();
  Emit(setupBody_, {kFlowControl, n});
  AppendUserSetup(out, 0x0B, setupBody_);
  return 1;
}

int CCmdHelperBase::SetSerialDataBits(PrinterBuffer& out, int n) {
  setupBody_.Clear();
  Emit(setupBody_, {kDataBits, n});
  AppendUserSetup(out, 0x0B, setupBody_);
  return 1;
}

int CCmdHelperBase::QuerySerialBaudRate(PrinterBuffer& out) {
  setupBody_.Clear();
  setupBody_.Append(kBaudRate);
  AppendUserSetup(out, 0x0C, setupBody_);
  return 1;
}

int CCmdHelperBase::QuerySerialParity(PrinterBuffer& out) {
  setupBody_.Clear();
  setupBody_.Append(kParity);
  AppendUserSetup(out, 0x0C, setupBody_);
  return 1;
}

int CCmdHelperBase::QuerySerialFlowControl(PrinterBuffer& out) {
  setupBody_.Clear();
  setupBody_.Append(kFlowControl);
  AppendUserSetup(out, 0x0C, setupBody_);
  return 1;
}

int CCmdHelperBase::QuerySerialDataBits(PrinterBuffer& out) {
  setupBody_.Clear();
  setupBody_.Append(kDataBits);
  AppendUserSetup(out, 0x0C, setupBody_);
  return 1;
}

void CCmdHelperBase::NoOperationWithValue(PrinterBuffer&, DWORD) {}

int CCmdHelperBase::SetPrintSpeed(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  if (!In(v, 0, 9) && !In(v, 48, 57)) return 0;
  return Emit(out, {GS, '(', 'K', 0x02, 0x00, '2', v});
}

int CCmdHelperBase::SetHeadEnergizing(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  if (!OneOf(v, {0, 1, 2, 4, 48, 49, 50, 52, 128})) return 0;
  return Emit(out, {GS, '(', 'K', 0x02, 0x00, 'a', v});
}

// --- graphics ---

void CCmdHelperBase::AppendGs8L(PrinterBuffer& out, int fn, const BYTE* data, LONG length) {
  const std::uint32_t count = 2u + static_cast<std::uint32_t>(length);
  Emit(out, {GS, '8', 'L', static_cast<int>(count & 0xFF), static_cast<int>((count >> 8) & 0xFF),
             static_cast<int>((count >> 16) & 0xFF), static_cast<int>(count >> 24), '0', fn});
  if (length > 0) out.AppendBytes(data, length);
}

int CCmdHelperBase::DefineNvGraphicsHeader(PrinterBuffer& out, int twoColour, int width, int height,
                                           int key1, int key2) {
  if (width < 0 || height < 0) return 0;
  // GS ( L counts in 16 bits; a larger image would announce a wrong length.
  const long long count = static_cast<long long>(width) * height / 8 + 11;
  if (count > 0xFFFF) return 0;
  const int p = static_cast<int>(count);
  return Emit(out, {GS, '(', 'L', Lo(p), Hi(p), '0', 'C', '0', key1, key2, 0x01, Lo(width),
                    Hi(width), Lo(height), Hi(height), twoColour ? '2' : '1'});
}

int CCmdHelperBase::GetBitmapJustification(LONG alignment) {
  if (alignment == PTR_BM_CENTER) return 1;
  if (alignment == PTR_BM_RIGHT) return 2;
  return 0;
}

int CCmdHelperBase::StoreRasterGraphicsHeader(PrinterBuffer& out, LONG dataLength, int width,
                                              int height) {
  if (dataLength < 0) return 0;
  const std::uint32_t p = static_cast<std::uint32_t>(dataLength) + 10u;
  // GS 8 L p1..p4 30 70 30 (monochrome) 01 01 (scale) 31 (colour 1) xL xH yL yH
  Emit(out, {GS, '8', 'L', static_cast<int>(p & 0xFF), static_cast<int>((p >> 8) & 0xFF),
             static_cast<int>((p >> 16) & 0xFF), static_cast<int>(p >> 24), '0', 'p', '0', 0x01,
             0x01, '1', Lo(width), Hi(width), Lo(height), Hi(height)});
  return 1;
}

int CCmdHelperBase::PrintBufferedGraphics(PrinterBuffer& out) {
  AppendGs8L(out, 0x02, nullptr, 0);
  return 1;
}

int CCmdHelperBase::QueryNvGraphicsCapacity(PrinterBuffer& out, int total) {
  AppendGs8L(out, total ? 0x00 : 0x03, nullptr, 0);
  return 1;
}

int CCmdHelperBase::PrintNvGraphicsByNumber(PrinterBuffer& out, int number) {
  const int n = number & 0xFF;
  // The number travels as two ASCII digits (255 gives '2' + 5 and '5').
  return Emit(out, {GS, '(', 'L', 0x06, 0x00, '0', 'E', n / 10 + '0', n % 10 + '0', 0x01, 0x01});
}

int CCmdHelperBase::PrintNvGraphics(PrinterBuffer& out, int key1, int key2, int scaleX,
                                    int scaleY) {
  const BYTE data[] = {static_cast<BYTE>(key1), static_cast<BYTE>(key2), static_cast<BYTE>(scaleX),
                       static_cast<BYTE>(scaleY)};
  AppendGs8L(out, 0x45, data, 4);
  return 1;
}

int CCmdHelperBase::QueryNvGraphicsKeys(PrinterBuffer& out) {
  const BYTE data[] = {'K', 'C'};
  AppendGs8L(out, 0x40, data, 2);
  return 1;
}

int CCmdHelperBase::DeleteAllNvGraphics(PrinterBuffer& out) {
  const BYTE data[] = {'C', 'L', 'R'};
  AppendGs8L(out, 0x41, data, 3);
  return 1;
}

int CCmdHelperBase::DeleteNvGraphics(PrinterBuffer& out, int key1, int key2) {
  if (!In(key1 & 0xFF, 32, 126) || !In(key2 & 0xFF, 32, 126)) return 0;
  const BYTE data[] = {static_cast<BYTE>(key1), static_cast<BYTE>(key2)};
  AppendGs8L(out, 0x42, data, 2);
  return 1;
}

int CCmdHelperBase::DefineNvGraphics(PrinterBuffer& out, int key1, int key2, int twoColour,
                                     int width, int height, const BYTE* data, LONG length) {
  const int w = width & 0xFFFF;
  const int h = height & 0xFFFF;
  const LONG plane = static_cast<LONG>(h) * ((w + 7) / 8);
  const int planes = twoColour ? 2 : 1;
  if (length < 0 || (length > 0 && !data)) return 0;
  largeScratch_.Clear();
  Emit(largeScratch_, {key1, key2, planes, Lo(w), Hi(w), Lo(h), Hi(h)});
  for (int i = 0; i < planes; ++i) {
    largeScratch_.Append(twoColour ? '2' : '1');
    // Each plane takes its share of the data; a short image is padded with white.
    const LONG offset = static_cast<LONG>(i) * plane;
    const LONG available = std::clamp<LONG>(length - offset, 0, plane);
    if (available > 0) largeScratch_.AppendBytes(data + offset, available);
    for (LONG pad = available; pad < plane; ++pad) largeScratch_.Append(0);
  }
  AppendGs8L(out, 'C', largeScratch_.Data(), largeScratch_.Size());
  return 1;
}

int CCmdHelperBase::DefineNvGraphicsWrapped(PrinterBuffer& out, int width, int height,
                                            const BYTE* data, LONG length) {
  const int w = width & 0xFFFF;
  const int h = height & 0xFFFF;
  const LONG plane = static_cast<LONG>(h) * ((w + 7) / 8);
  if (length < 0 || (length > 0 && !data)) return 0;
  // The inner define block (GS ( L) counts in 16 bits: 11 header bytes and the plane.
  const LONG count = plane + 11;
  if (count > 0xFFFF) return 0;
  largeScratch_.Clear();
  Emit(largeScratch_, {GS, '(', 'L', Lo(count), Hi(count), '0', 'C', '0', '0', '1', 0x01, Lo(w),
                       Hi(w), Lo(h), Hi(h), '1'});
  const LONG available = std::min(length, plane);
  if (available > 0) largeScratch_.AppendBytes(data, available);
  for (LONG pad = available; pad < plane; ++pad) largeScratch_.Append(0);
  AppendGs8L(out, 0x70, largeScratch_.Data(), largeScratch_.Size());
  return 1;
}

int CCmdHelperBase::SetCharacterColor(PrinterBuffer& out, int n) {
  return Emit(out, {GS, '(', 'N', 0x02, 0x00, '0', n});
}

// --- two-dimensional symbols ---

void CCmdHelperBase::AppendSymbolCommand(PrinterBuffer& out, int cn, int fn, const BYTE* data,
                                         LONG length) {
  const int count = 2 + length;
  Emit(out, {GS, '(', 'k', Lo(count), Hi(count), cn, fn});
  if (length > 0) out.AppendBytes(data, length);
}

namespace {

constexpr int kPdf417 = '0';
constexpr int kQr = '1';

}  // namespace

int CCmdHelperBase::SetPdf417Columns(PrinterBuffer& out, int n) {
  const BYTE v = static_cast<BYTE>(n);
  if (v > 30) return 0;
  AppendSymbolCommand(out, kPdf417, 'A', &v, 1);
  return 1;
}

int CCmdHelperBase::SetPdf417Rows(PrinterBuffer& out, int n) {
  const BYTE v = static_cast<BYTE>(n);
  if (v != 0 && !In(v, 3, 90)) return 0;
  AppendSymbolCommand(out, kPdf417, 'B', &v, 1);
  return 1;
}

int CCmdHelperBase::SetPdf417ModuleWidth(PrinterBuffer& out, int n) {
  const BYTE v = static_cast<BYTE>(n);
  if (!In(v, 2, 8)) return 0;
  AppendSymbolCommand(out, kPdf417, 'C', &v, 1);
  return 1;
}

int CCmdHelperBase::SetPdf417RowHeight(PrinterBuffer& out, int n) {
  const BYTE v = static_cast<BYTE>(std::clamp(n, 2, 8));
  AppendSymbolCommand(out, kPdf417, 'D', &v, 1);
  return 1;
}

int CCmdHelperBase::SetPdf417ErrorCorrection(PrinterBuffer& out, int m, int n) {
  const BYTE mode = static_cast<BYTE>(m);
  const BYTE value = static_cast<BYTE>(n);
  // m 48 selects a level (48..56), m 49 a ratio (1..40, tenths of the data).
  const bool valid = (mode == 48 && In(value, 48, 56)) || (mode == 49 && In(value, 1, 40));
  if (!valid) return 0;
  const BYTE data[] = {mode, value};
  AppendSymbolCommand(out, kPdf417, 'E', data, 2);
  return 1;
}

int CCmdHelperBase::SetPdf417Options(PrinterBuffer& out, int standard) {
  const BYTE v = standard ? 0 : 1;
  AppendSymbolCommand(out, kPdf417, 'F', &v, 1);
  return 1;
}

int CCmdHelperBase::StorePdf417Data(PrinterBuffer& out, const BYTE* data, LONG length) {
  if (length < 0 || length >= 256 || (length > 0 && !data)) return 0;
  scratch_.Clear();
  scratch_.Append('0');
  scratch_.AppendBytes(data, length);
  AppendSymbolCommand(out, kPdf417, 'P', scratch_.Data(), scratch_.Size());
  return 1;
}

int CCmdHelperBase::PrintPdf417(PrinterBuffer& out) {
  const BYTE m = '0';
  AppendSymbolCommand(out, kPdf417, 'Q', &m, 1);
  return 1;
}

int CCmdHelperBase::QueryPdf417Size(PrinterBuffer& out) {
  const BYTE m = '0';
  AppendSymbolCommand(out, kPdf417, 'R', &m, 1);
  return 1;
}

int CCmdHelperBase::SetQrModel(PrinterBuffer& out, int model) {
  const BYTE v = static_cast<BYTE>(model);
  if (v != 49 && v != 50) return 0;
  const BYTE data[] = {v, 0};
  AppendSymbolCommand(out, kQr, 'A', data, 2);
  return 1;
}

int CCmdHelperBase::SetQrModuleSize(PrinterBuffer& out, int n) {
  const BYTE v = static_cast<BYTE>(n);
  if (!In(v, 1, 16)) return 0;
  AppendSymbolCommand(out, kQr, 'C', &v, 1);
  return 1;
}

int CCmdHelperBase::SetQrErrorCorrection(PrinterBuffer& out, int n) {
  const BYTE v = static_cast<BYTE>(n);
  if (!In(v, 48, 51)) return 0;
  AppendSymbolCommand(out, kQr, 'E', &v, 1);
  return 1;
}

int CCmdHelperBase::StoreQrData(PrinterBuffer& out, const BYTE* data, LONG length) {
  if (length < 0 || length >= 256 || (length > 0 && !data)) return 0;
  scratch_.Clear();
  scratch_.Append('0');
  scratch_.AppendBytes(data, length);
  AppendSymbolCommand(out, kQr, 'P', scratch_.Data(), scratch_.Size());
  return 1;
}

int CCmdHelperBase::PrintQr(PrinterBuffer& out) {
  const BYTE m = '0';
  AppendSymbolCommand(out, kQr, 'Q', &m, 1);
  return 1;
}

int CCmdHelperBase::QueryQrSize(PrinterBuffer& out) {
  const BYTE m = '0';
  AppendSymbolCommand(out, kQr, 'R', &m, 1);
  return 1;
}

// --- downloaded images, macros, misc ---

int CCmdHelperBase::DefineDownloadedImage(PrinterBuffer& out, int x, int y, const BYTE* data,
                                          LONG length) {
  const int cx = x & 0xFF;
  const int cy = y & 0xFF;
  if (cx == 0 || cy == 0 || !data || length != cx * cy * 8) return 0;
  Emit(out, {GS, '*', cx, cy});
  out.AppendBytes(data, length);
  return 1;
}

int CCmdHelperBase::PrintDownloadedImage(PrinterBuffer& out, int m) {
  const int v = m & 0xFF;
  if (!In(v, 0, 3) && !In(v, 48, 51)) return 0;
  return Emit(out, {GS, '/', v});
}

int CCmdHelperBase::BeginMacro(PrinterBuffer& out) { return Emit(out, {GS, ':'}); }

int CCmdHelperBase::EndMacro(PrinterBuffer& out) { return BeginMacro(out); }

int CCmdHelperBase::ExecuteMacro(PrinterBuffer& out, int repeat, int wait, int flag) {
  return Emit(out, {GS, '^', repeat, wait, flag ? 0 : 1});
}

int CCmdHelperBase::SetReverse(PrinterBuffer& out, int flag) {
  return Emit(out, {GS, 'B', Bool(flag)});
}

int CCmdHelperBase::GetHriPosition(LONG textPosition) {
  if (textPosition == PTR_BC_TEXT_BELOW) return 2;
  if (textPosition == PTR_BC_TEXT_ABOVE) return 1;
  return 0;
}

int CCmdHelperBase::SetHriPosition(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  if (!In(v, 0, 3) && !In(v, 48, 51)) return 0;
  return Emit(out, {GS, 'H', v});
}

int CCmdHelperBase::TransmitPrinterId(PrinterBuffer& out, int n) { return Emit(out, {GS, 'I', n}); }
int CCmdHelperBase::QueryModelId(PrinterBuffer& out) { return TransmitPrinterId(out, 0x01); }
int CCmdHelperBase::QueryTypeId(PrinterBuffer& out) { return TransmitPrinterId(out, 0x02); }
int CCmdHelperBase::QueryFirmwareVersion(PrinterBuffer& out) {
  return TransmitPrinterId(out, 0x41);
}
int CCmdHelperBase::QueryMakerName(PrinterBuffer& out) { return TransmitPrinterId(out, 0x42); }
int CCmdHelperBase::QueryModelName(PrinterBuffer& out) { return TransmitPrinterId(out, 0x43); }
int CCmdHelperBase::QuerySerialNumber(PrinterBuffer& out) { return TransmitPrinterId(out, 0x44); }
int CCmdHelperBase::QueryFontInfo(PrinterBuffer& out) { return TransmitPrinterId(out, 0x45); }

int CCmdHelperBase::SetLeftMargin(PrinterBuffer& out, int dots) {
  return Emit(out, {GS, 'L', Lo(dots), Hi(dots)});
}

int CCmdHelperBase::SetMotionUnits(PrinterBuffer& out, int x, int y) {
  return Emit(out, {GS, 'P', x, y});
}

// The cutter sits cutFeedDistance_/100 whole millimetres past the print line; the
// head prints 8 dots per millimetre (3450 gives 34 mm, 272 dots).
int CCmdHelperBase::CutFeedDots() const { return (cutFeedDistance_ / 100) * 8; }

int CCmdHelperBase::FeedAndFullCut(PrinterBuffer& out) {
  FeedDots(out, CutFeedDots());
  return Emit(out, {GS, 'V', 0x00});
}

int CCmdHelperBase::FeedAndPartialCut(PrinterBuffer& out) {
  FeedDots(out, CutFeedDots());
  return Emit(out, {GS, 'V', 0x01});
}

int CCmdHelperBase::FeedToCutAndCut(PrinterBuffer& out, int n) {
  return Emit(out, {GS, 'V', 'A', n});
}

int CCmdHelperBase::SetPrintAreaWidth(PrinterBuffer& out, int dots) {
  return Emit(out, {GS, 'W', Lo(dots), Hi(dots)});
}

int CCmdHelperBase::SetRelativeVerticalPosition(PrinterBuffer& out, int dots) {
  return Emit(out, {GS, '\\', Lo(dots), Hi(dots)});
}

int CCmdHelperBase::SetAutoStatusBack(PrinterBuffer& out, int n) { return Emit(out, {GS, 'a', n}); }

int CCmdHelperBase::SetSmoothing(PrinterBuffer& out, int flag) {
  return Emit(out, {GS, 'b', Bool(flag)});
}

int CCmdHelperBase::SetHriFont(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  if (v != 0 && v != 1) return 0;
  return Emit(out, {GS, 'f', v});
}

int CCmdHelperBase::ResetMaintenanceCounter(PrinterBuffer& out, int counter) {
  const int v = counter & 0xFFFF;
  if (!OneOf(v, {20, 21, 50, 70})) return 0;
  return Emit(out, {GS, 'g', '0', 0x00, Lo(v), Hi(v)});
}

int CCmdHelperBase::QueryMaintenanceCounter(PrinterBuffer& out, int counter) {
  const int v = counter & 0xFFFF;
  // 148.. are the cumulative counters of 20.. (bit 7 set).
  if (!OneOf(v, {20, 21, 50, 70, 148, 149, 178, 198})) return 0;
  return Emit(out, {GS, 'g', '2', 0x00, Lo(v), Hi(v)});
}

// --- one-dimensional barcodes ---

int CCmdHelperBase::GetBarcodeSystem(LONG symbology) {
  switch (symbology) {
    case PTR_BCS_UPCA:
      return 0x41;
    case PTR_BCS_UPCE:
      return 0x42;
    case PTR_BCS_EAN8:
      return 0x44;
    case PTR_BCS_EAN13:
      return 0x43;
    case PTR_BCS_ITF:
      return 0x46;
    case PTR_BCS_Codabar:
      return 0x47;
    case PTR_BCS_Code39:
      return 0x45;
    case PTR_BCS_Code93:
      return 0x48;
    case PTR_BCS_Code128:
    case PTR_BCS_Code128_Parsed:
      return 0x49;
    case PTR_BCS_EAN128:
      return 0x4A;
    case PTR_BCS_RSS14:
      return 0x4B;
    case PTR_BCS_RSS_EXPANDED:
      return 0x4E;
    default:
      return 0x00;
  }
}

int CCmdHelperBase::GetJustification(LONG alignment) { return GetBitmapJustification(alignment); }

int CCmdHelperBase::GetHriPlacement(LONG textPosition) {
  switch (textPosition) {
    case PTR_BC_TEXT_BELOW:
      return 2;
    case PTR_BC_TEXT_ABOVE:
      return 1;
    case PTR_BC_TEXT_NONE:
      return 0;
    default:
      return 3;
  }
}

namespace {

// Total symbol width in dots at module width m, or -1 for a symbology without a rule.
long long BarcodeTotalWidth(LONG symbology, long long m, const BYTE* data, LONG length) {
  const long long n = length;
  switch (symbology) {
    case PTR_BCS_UPCA:
    case PTR_BCS_EAN13:
      return 95 * m;
    case PTR_BCS_UPCE:
      return 53 * m;
    case PTR_BCS_EAN8:
      return 67 * m;
    case PTR_BCS_ITF: {
      // Wide bars are about 2.5 modules: 5, 8, 10, 13, 15 dots for m = 2..6.
      const long long d = (5 * m + 1) / 2;
      return d + n * (3 * m + 2 * d) + 6 * m;
    }
    case PTR_BCS_Codabar: {
      long long total = 11 * m;
      for (LONG i = 0; i < length; ++i) total += (data[i] > '9') ? 11 * m : 10 * m;
      if (n > 1) total += 10 * m;
      return total;
    }
    case PTR_BCS_Code39:
      return m * (13 * n + 25);
    case PTR_BCS_Code93:
      return m * (9 * n + 39);
    case PTR_BCS_Code128:
    case PTR_BCS_Code128_Parsed:
      return m * (11 * n + 35);
    default:
      return -1;
  }
}

}  // namespace

int CCmdHelperBase::FitBarcodeWidth(LONG symbology, LONG width, const BYTE* data, LONG length,
                                    LONG* totalWidth) {
  if (!data || length < 0) length = 0;
  auto total = [&](int m) { return BarcodeTotalWidth(symbology, m, data, length); };
  auto report = [&](long long value) {
    if (totalWidth)
      *totalWidth = static_cast<LONG>(std::clamp<long long>(value, std::numeric_limits<LONG>::min(),
                                                            std::numeric_limits<LONG>::max()));
  };
  if (total(2) < 0) {
    report(width);
    return width <= 6 ? width : 2;
  }
  if (width <= 6) {
    report(total(width));
    return width;
  }
  if (total(2) > width) {
    report(width);
    return 2;
  }
  int m = 2;
  while (m < 6 && total(m + 1) <= width) ++m;
  report(total(m));
  return m;
}

int CCmdHelperBase::PrintBarcodeData(PrinterBuffer& out, LONG symbology, const BYTE* data,
                                     LONG length) {
  if (!In(length, 1, 255) || !data) return 0;
  Emit(out, {GS, 'k', GetBarcodeSystem(symbology), length});
  out.AppendBytes(data, length);
  return 1;
}

int CCmdHelperBase::FormatBarcodeCommand(PrinterBuffer& out, LONG symbology, int height,
                                         int moduleWidth, LONG, LONG textPosition, int hriFont,
                                         const BYTE* data, LONG length) {
  // Built aside so that a refused barcode leaves no dangling size settings behind.
  PrinterBuffer command(64);
  SetBarcodeModuleWidth(command, moduleWidth);
  SetBarcodeHeight(command, height);
  SetHriPosition(command, GetHriPosition(textPosition));
  SetHriFont(command, hriFont);
  if (!PrintBarcodeData(command, symbology, data, length)) return 0;
  out.AppendBytes(command.Data(), command.Size());
  return 1;
}

int CCmdHelperBase::SetBarcodeModuleWidth(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  return Emit(out, {GS, 'w', v >= 8 ? 2 : v});
}

int CCmdHelperBase::SetBarcodeHeight(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  return Emit(out, {GS, 'h', v == 0 ? 162 : v});
}

int CCmdHelperBase::QueryPaperSensor(PrinterBuffer& out) { return TransmitStatus(out, 0x01); }
int CCmdHelperBase::QueryDrawerSensor(PrinterBuffer& out) { return TransmitStatus(out, 0x02); }

// --- double-byte characters and the rest ---

int CCmdHelperBase::SetKanjiPrintMode(PrinterBuffer& out, int doubleWidth, int doubleHeight,
                                      int underline) {
  int n = 0;
  if (doubleWidth) n |= 0x04;
  if (doubleHeight) n |= 0x08;
  if (underline) n |= 0x80;
  Emit(out, {FS, '!', n});
  return n;
}

int CCmdHelperBase::SetKanjiMode(PrinterBuffer& out, int flag) {
  return Emit(out, {FS, flag ? '&' : '.'});
}

namespace {

struct CodePageCommands {
  int codePage;
  bool kanji;
  int codeTable;      // ESC t
  int international;  // ESC R
};

constexpr CodePageCommands kCodePages[] = {
    {242, false, 255, 0}, {255, false, 255, 0}, {437, false, 0, 0},   {997, false, 0, 0},
    {998, false, 0, 0},   {720, false, 32, 0},  {850, false, 2, 0},   {851, false, 11, 0},
    {852, false, 18, 0},  {853, false, 18, 0},  {857, false, 18, 0},  {858, false, 19, 0},
    {860, false, 3, 0},   {863, false, 4, 0},   {864, false, 37, 0},  {865, false, 5, 0},
    {866, false, 17, 0},  {932, true, 1, 8},    {936, true, 2, 15},   {950, true, 2, 15},
    {949, true, 2, 13},   {999, false, 16, 0},  {1250, false, 16, 0}, {1252, false, 16, 0},
    {1147, false, 4, 1},  {1256, false, 50, 0},
};

// Unlisted pages are taken for double-byte pages of the Chinese table.
constexpr CodePageCommands kOtherCodePage = {0, true, 2, 0};

}  // namespace

int CCmdHelperBase::SelectCodePage(PrinterBuffer& out, int codePage) {
  CodePageCommands entry = kOtherCodePage;
  for (const auto& row : kCodePages) {
    if (row.codePage == codePage) entry = row;
  }
  SetKanjiMode(out, entry.kanji);
  SelectCodeTable(out, entry.codeTable);
  SelectInternationalSet(out, entry.international);
  return 1;
}

int CCmdHelperBase::SetKanjiUnderline(PrinterBuffer& out, int n) {
  if (!In(n & 0xFF, 0, 2)) return 0;
  return Emit(out, {FS, '-', n});
}

int CCmdHelperBase::NoOperationZero() { return 0; }

int CCmdHelperBase::SelectKanjiCodeSystem(PrinterBuffer& out, int n) {
  if (!OneOf(n & 0xFF, {0, 1, 48, 49})) return 0;
  return Emit(out, {FS, 'C', n});
}

int CCmdHelperBase::SetKanjiSpacing(PrinterBuffer& out, int left, int right) {
  return Emit(out, {FS, 'S', left, right});
}

int CCmdHelperBase::SetKanjiQuadruple(PrinterBuffer& out, int flag) {
  return Emit(out, {FS, 'W', Bool(flag)});
}

int CCmdHelperBase::SendFixedConfiguration(PrinterBuffer& out) {
  return Emit(out, {ESC, '(', 's', 0x04, 0x00, '1', 'A', 'E', 0x05});
}

int CCmdHelperBase::SetAllAutoStatus(PrinterBuffer& out, int flag) {
  return Emit(out, {GS, 'a', flag ? 0xFF : 0x00});
}

int CCmdHelperBase::SetBuzzerTone(PrinterBuffer& out, LONG* frequency, LONG modelCode, LONG value,
                                  int count) {
  if (!frequency) return 0;
  int tone = 0x31;
  const LONG f = *frequency;
  if (modelCode == 1280 && f == 200) {
    tone = 0x33;
  } else if (modelCode == 1280 && f == 500) {
    tone = 0x37;
  } else if (modelCode == 4100 && f == 200) {
    tone = 0x34;
  } else if (modelCode == 4100 && f == 500) {
    tone = 0x38;
  } else {
    // No tone of its own for this frequency: the 1000 Hz tone of the model.
    *frequency = 1000;
    tone = (modelCode == 4100) ? 0x32 : 0x31;
  }
  const long long level = (static_cast<long long>(value) + *frequency) / 100;
  return Emit(out, {ESC, '(', 'A', 0x04, 0x00, '0', tone, static_cast<int>(level & 0xFF), count});
}

namespace {

// Beep times go out in units of 100 ms, at least 1; a byte holds at most 25.5 s.
int BeepUnits(LONG ms) {
  if (ms <= 100) return 1;
  return static_cast<int>(std::min<LONG>(ms / 100, 255));
}

}  // namespace

int CCmdHelperBase::Beep(PrinterBuffer& out, LONG onTimeMs, LONG offTimeMs, int count) {
  return Emit(
      out, {ESC, '(', 'A', 0x05, 0x00, 'a', 'd', count, BeepUnits(onTimeMs), BeepUnits(offTimeMs)});
}

int CCmdHelperBase::DrawLineSegments(PrinterBuffer&, const std::int16_t*, int) { return 0; }

int CCmdHelperBase::PrintCurvedText(PrinterBuffer&, int, int, const BYTE*, LONG) { return 0; }
