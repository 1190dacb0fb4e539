// The packet-framed dialect of the second printer model.
#include "CmdHelperK15.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "CmdBytes.h"
#include "OposConstants.h"

using namespace Tesk::Printer::cmdbytes;

namespace {

constexpr int GS = 0x1D;
constexpr int FS = 0x1C;
constexpr BYTE kPacketStart = 0xAA;
constexpr BYTE kPacketEnd = 0xBB;

}  // namespace

CmdHelper_K15::CmdHelper_K15(const char* modelName) {
  for (int n = 0; n < 8; ++n) k15BitMask_[n] = static_cast<BYTE>(1u << n);
  if (modelName) std::strncpy(modelName_, modelName, sizeof(modelName_) - 1);
}

CmdHelper_K15::~CmdHelper_K15() = default;

int CmdHelper_K15::WriteData(PrinterBuffer& out, const PrinterBuffer& data) {
  for (std::int32_t offset = 0; offset < data.Size(); offset += kPacketPayload) {
    const std::int32_t length = std::min<std::int32_t>(kPacketPayload, data.Size() - offset);
    const BYTE* chunk = data.Data(offset);
    BYTE check = 0;
    for (std::int32_t i = 0; i < length; ++i) check ^= chunk[i];
    out.Append(kPacketStart);
    out.Append(static_cast<BYTE>(length));
    out.AppendBytes(chunk, length);
    out.Append(check);
    out.Append(kPacketEnd);
  }
  return 1;
}

LONG CmdHelper_K15::DetectStatusChange(const BYTE* newStatus, BYTE* remembered) {
  if (!newStatus || !remembered) return 0;
  if (std::memcmp(newStatus, remembered, 4) == 0) return 0;
  const BYTE* n = newStatus;
  BYTE* r = remembered;
  // This printer reports the cover in byte 1 and the paper sensors in byte 3.
  const BYTE cover = k15BitMask_[2];
  if (!(n[1] & cover) && (r[1] & cover)) {
    r[1] &= static_cast<BYTE>(~cover);
    return PTR_SUE_COVER_OK;
  }
  if ((n[1] & cover) && !(r[1] & cover)) {
    r[1] |= cover;
    return PTR_SUE_COVER_OPEN;
  }
  constexpr BYTE kEnd = 0x60;
  constexpr BYTE kNear = 0x0C;
  if ((n[3] & kEnd) == kEnd && (r[3] & kEnd) != kEnd) {
    r[3] |= kEnd;
    return PTR_SUE_REC_EMPTY;
  }
  if ((n[3] & kEnd) == 0 && (r[3] & kEnd) != 0) {
    r[3] &= static_cast<BYTE>(~kEnd);
    return PTR_SUE_REC_PAPEROK;
  }
  if ((n[3] & kNear) == kNear && (r[3] & kNear) != kNear) {
    r[3] |= kNear;
    return PTR_SUE_REC_NEAREMPTY;
  }
  return 0;
}

// The printer has no drawer sensor.
int CmdHelper_K15::IsDrawerStateChanged(int, int, int) { return 0; }
int CmdHelper_K15::IsDrawerOpen(int, int) { return 0; }

int CmdHelper_K15::RequestRealTimeStatus(PrinterBuffer& out, int n) {
  // Sent as its own packet: AA 03 10 04 n, XOR of the three, BB.
  const int check = 0x10 ^ 0x04 ^ (n & 0xFF);
  return Emit(out, {kPacketStart, 0x03, 0x10, 0x04, n, check, kPacketEnd});
}

void CmdHelper_K15::GetDrawerStatusQuery(BYTE*) {}

// Commands the printer lacks: nothing is sent.
int CmdHelper_K15::FormFeed(PrinterBuffer&) { return 0; }
int CmdHelper_K15::PageFormFeed(PrinterBuffer&) { return 0; }
int CmdHelper_K15::RealTimeRequest(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::RealTimePrefix(PrinterBuffer&, int, int) { return 0; }
int CmdHelper_K15::RealTimeFunction1(PrinterBuffer&) { return 0; }
int CmdHelper_K15::RealTimeClearBuffers(PrinterBuffer&) { return 0; }
int CmdHelper_K15::SetRightSpacing(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::SelectBitImage(PrinterBuffer&, int, int, const BYTE*, LONG) { return 0; }
int CmdHelper_K15::SelectCharacterFont(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::SelectInternationalSet(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::GetInternationalSetForCodePage(int) { return 0; }
int CmdHelper_K15::SelectStandardMode(PrinterBuffer&) { return 0; }
int CmdHelper_K15::GetPageDirectionForRotation(LONG) { return 0; }
int CmdHelper_K15::SetPageDirection(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::SetRotate90(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::SetPageArea(PrinterBuffer&, int, int, int, int) { return 0; }
int CmdHelper_K15::SetPaperOutSensor(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::SetPaperStopSensor(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::EnablePanelButtons(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::GeneratePulse(PrinterBuffer&, int, int, int) { return 0; }
int CmdHelper_K15::SelectCodeTable(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::SetAbsoluteVerticalPosition(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::ExecuteTestPrint(PrinterBuffer&, int, int) { return 0; }
int CmdHelper_K15::EnterUserSetupMode(PrinterBuffer&) { return 0; }
int CmdHelper_K15::ExitUserSetupMode(PrinterBuffer&) { return 0; }
int CmdHelper_K15::SetCustomValues(PrinterBuffer&, int, int, int, int, int) { return 0; }
int CmdHelper_K15::SetCustomValue116(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::SetCustomValue118(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::FeedAndFullCut(PrinterBuffer&) { return 0; }
int CmdHelper_K15::FeedAndPartialCut(PrinterBuffer&) { return 0; }
int CmdHelper_K15::FeedToCutAndCut(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::SetRelativeVerticalPosition(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::SetAutoStatusBack(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::ResetMaintenanceCounter(PrinterBuffer&, int) { return 0; }
int CmdHelper_K15::QueryMaintenanceCounter(PrinterBuffer&, int) { return 0; }

// The printer has no user-setup or interface commands, but callers still learn whether
// the value would have been acceptable: the result is the base's, the bytes are dropped.
int CmdHelper_K15::QueryPrintDensity(PrinterBuffer&) {
  scratch1_.Clear();
  return CCmdHelperBase::QueryPrintDensity(scratch1_);
}

int CmdHelper_K15::SetHeadSpeed(PrinterBuffer&, int value) {
  scratch1_.Clear();
  return CCmdHelperBase::SetHeadSpeed(scratch1_, value);
}

int CmdHelper_K15::QueryHeadSpeed(PrinterBuffer&) {
  scratch1_.Clear();
  return CCmdHelperBase::QueryHeadSpeed(scratch1_);
}

int CmdHelper_K15::SetCustomValue97(PrinterBuffer&, int value) {
  scratch1_.Clear();
  return CCmdHelperBase::SetCustomValue97(scratch1_, value);
}

int CmdHelper_K15::QueryCustomValue97(PrinterBuffer&) {
  scratch1_.Clear();
  return CCmdHelperBase::QueryCustomValue97(scratch1_);
}

int CmdHelper_K15::QueryCustomValue116(PrinterBuffer&) {
  scratch1_.Clear();
  return CCmdHelperBase::QueryCustomValue116(scratch1_);
}

int CmdHelper_K15::QueryCustomValue118(PrinterBuffer&) {
  scratch1_.Clear();
  return CCmdHelperBase::QueryCustomValue118(scratch1_);
}

int CmdHelper_K15::QueryCustomValue(PrinterBuffer&, int item) {
  scratch1_.Clear();
  return CCmdHelperBase::QueryCustomValue(scratch1_, item);
}

int CmdHelper_K15::SetSerialBaudRate(PrinterBuffer&, const char* text) {
  scratch1_.Clear();
  return CCmdHelperBase::SetSerialBaudRate(scratch1_, text);
}

int CmdHelper_K15::QuerySerialBaudRate(PrinterBuffer&) {
  scratch1_.Clear();
  return CCmdHelperBase::QuerySerialBaudRate(scratch1_);
}

int CmdHelper_K15::SetSerialParity(PrinterBuffer&, int n) {
  scratch1_.Clear();
  return CCmdHelperBase::SetSerialParity(scratch1_, n);
}

int CmdHelper_K15::QuerySerialParity(PrinterBuffer&) {
  scratch1_.Clear();
  return CCmdHelperBase::QuerySerialParity(scratch1_);
}

int CmdHelper_K15::SetSerialFlowControl(PrinterBuffer&, int n) {
  scratch1_.Clear();
  return CCmdHelperBase::SetSerialFlowControl(scratch1_, n);
}

int CmdHelper_K15::QuerySerialFlowControl(PrinterBuffer&) {
  scratch1_.Clear();
  return CCmdHelperBase::QuerySerialFlowControl(scratch1_);
}

int CmdHelper_K15::SetSerialDataBits(PrinterBuffer&, int n) {
  scratch1_.Clear();
  return CCmdHelperBase::SetSerialDataBits(scratch1_, n);
}

int CmdHelper_K15::QuerySerialDataBits(PrinterBuffer&) {
  scratch1_.Clear();
  return CCmdHelperBase::QuerySerialDataBits(scratch1_);
}

int CmdHelper_K15::SetPrintDensity(PrinterBuffer& out, int value) {
  // GS E n with a level 0..9; the value is taken as an unsigned 16-bit number, so a
  // negative density is refused rather than sent as a large level byte.
  const int v = value & 0xFFFF;
  if (v > 9) return 0;
  return Emit(out, {GS, 'E', v});
}

int CmdHelper_K15::SetDefaultTabs(PrinterBuffer& out) {
  if (!tabsBuilt_) {
    cachedTabs_.Clear();
    CCmdHelperBase::SetDefaultTabs(cachedTabs_);
    tabsBuilt_ = true;
  }
  out.AppendBytes(cachedTabs_.Data(), cachedTabs_.Size());
  return 1;
}

int CmdHelper_K15::PrintNvGraphics(PrinterBuffer& out, int key1, int, int scaleX, int scaleY) {
  // FS p n m: m 0 normal, 1 double width, 2 double height, 3 both.
  const int m = (scaleX ? 1 : 0) | (scaleY ? 2 : 0);
  return Emit(out, {FS, 'p', key1, m});
}

int CmdHelper_K15::DefineNvGraphics(PrinterBuffer& out, int, int, int twoColour, int width,
                                    int height, const BYTE* data, LONG length) {
  const int w = width & 0xFFFF;
  const int h = height & 0xFFFF;
  const LONG plane = static_cast<LONG>(h) * ((w + 7) / 8);
  const int planes = twoColour ? 2 : 1;
  if (length < 0 || (length > 0 && !data)) return 0;
  // FS q 1 (one image) xL xH yL yH, then the planes; short data is padded with white.
  Emit(out, {FS, 'q', 0x01, Lo(w), Hi(w), Lo(h), Hi(h)});
  for (int i = 0; i < planes; ++i) {
    const LONG offset = static_cast<LONG>(i) * plane;
    const LONG available = std::clamp<LONG>(length - offset, 0, plane);
    if (available > 0) out.AppendBytes(data + offset, available);
    for (LONG pad = available; pad < plane; ++pad) out.Append(0);
  }
  return 1;
}

int CmdHelper_K15::SetHriFont(PrinterBuffer& out, int n) {
  const int v = n & 0xFF;
  if (v != 0 && v != 1 && v != 48 && v != 49) return 0;
  return Emit(out, {GS, 'f', v});
}

namespace {

// Single-byte code pages this printer prints without double-byte mode.
constexpr int kSingleByteCodePages[] = {242, 255, 437, 720, 851, 852, 853,  857,  858, 860,
                                        863, 864, 865, 866, 998, 999, 1250, 1252, 1256};

}  // namespace

int CmdHelper_K15::SelectCodePage(PrinterBuffer& out, int codePage) {
  const bool singleByte =
      std::find(std::begin(kSingleByteCodePages), std::end(kSingleByteCodePages), codePage) !=
      std::end(kSingleByteCodePages);
  SetKanjiMode(out, singleByte ? 0 : 1);
  return 1;
}

int CmdHelper_K15::DrawLineSegments(PrinterBuffer& out, const std::int16_t* positions,
                                    int segments) {
  // GS ' n takes at most 8 segments; a longer list sends nothing at all.
  if (segments < 0 || segments > 8 || (segments > 0 && !positions)) return 0;
  compose_.Clear();
  Emit(compose_, {GS, '\'', segments});
  for (int i = 0; i < 2 * segments; ++i) Emit(compose_, {Lo(positions[i]), Hi(positions[i])});
  out.AppendBytes(compose_.Data(), compose_.Size());
  return 0;
}

int CmdHelper_K15::PrintCurvedText(PrinterBuffer& out, int textNumber, int horizontalPosition,
                                   const BYTE* text, LONG length) {
  if (textNumber != 0 && textNumber != 1) return 0;
  if (length < 0 || (length > 0 && !text)) return 0;
  // The printer ends the text at the first NUL; bytes after one would be read as
  // commands, so the text is cut there.
  const BYTE* nul = length > 0 ? static_cast<const BYTE*>(std::memchr(text, 0, length)) : nullptr;
  if (nul) length = static_cast<LONG>(nul - text);
  compose_.Clear();
  Emit(compose_, {GS, '"', textNumber, Lo(horizontalPosition), Hi(horizontalPosition)});
  compose_.AppendBytes(text, length);
  compose_.Append(0);
  out.AppendBytes(compose_.Data(), compose_.Size());
  return 0;
}
