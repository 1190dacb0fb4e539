// The command-builder interface: every printer command byte the engine sends comes from it.
#pragma once

#include <cstdint>

#include "PrinterBuffer.h"
#include "PrinterStatusRecord.h"
#include "platform/wintypes.h"

namespace Tesk::Printer {

// Contract, for every implementation:
// - `out` is the buffer the command is appended to; nothing else is touched.
// - A byte argument is an int of which only the low 8 bits are tested and sent; a
//   16-bit argument goes low byte first; a flag is non-zero for on.
// - Command operations return 1 when they appended their command and 0 when an
//   argument is out of range, in which case they append nothing. Operations that a
//   dialect leaves out also append nothing and return 0, except its user-setup and
//   interface commands, which append nothing but still report whether the value
//   would have been accepted.
// - Decoders return 1 for a valid reply and 0 otherwise; an invalid reply leaves the
//   record untouched; a null record only validates.
// - No operation blocks, touches a port or throws (apart from PrinterBuffer's
//   out-of-memory). Builders have no locks: the engine serialises the use of its
//   builder, because some operations reuse the builder's scratch buffers.
// - Composite operations call the others through this interface, so a dialect's
//   overrides of the underlying commands take effect.
// The slot order below is part of the contract (model libraries are built against it).
class ICmdHelper {
 public:
  virtual ~ICmdHelper() = default;

  // --- status and control ---
  virtual int WriteData(PrinterBuffer& out, const PrinterBuffer& data) = 0;
  // block: 4 bytes of an automatic status back reply.
  virtual int ParseAutoStatus(const BYTE* block, tagPrinterStatus* status) = 0;
  virtual int ParsePrinterStatus(int reply, tagPrinterStatus* status) = 0;      // DLE EOT 1
  virtual int ParseOfflineStatus(int reply, tagPrinterStatus* status) = 0;      // DLE EOT 2
  virtual int ParsePaperStatus(int reply, tagPrinterStatus* status) = 0;        // DLE EOT 4
  virtual int ParsePaperSensorStatus(int reply, tagPrinterStatus* status) = 0;  // GS r 1
  virtual int ParseDrawerStatus(int reply, LONG* drawer) = 0;                   // GS r 2
  // newStatus and remembered: 4 bytes each; remembered is updated for the change
  // reported. Returns a PTR_SUE_* value, or 0 when nothing (more) changed.
  virtual LONG DetectStatusChange(const BYTE* newStatus, BYTE* remembered) = 0;
  virtual int IsDrawerStateChanged(int newByte, int oldByte, int flag) = 0;
  virtual int IsDrawerOpen(int statusByte, int flag) = 0;
  virtual int ResetTextFormat(PrinterBuffer& out) = 0;
  virtual int HorizontalTab(PrinterBuffer& out) = 0;
  virtual int LineFeed(PrinterBuffer& out) = 0;
  virtual int FormFeed(PrinterBuffer& out) = 0;
  virtual int PrintLineBuffer(PrinterBuffer& out) = 0;
  virtual int CancelPageData(PrinterBuffer& out) = 0;
  virtual int RequestRealTimeStatus(PrinterBuffer& out, int n) = 0;
  virtual LONG DetectStatusChangeByType(int newByte, BYTE* remembered, int replyType) = 0;
  // query: 3 bytes, receives the drawer-status request; a dialect without one leaves it.
  virtual void GetDrawerStatusQuery(BYTE* query) = 0;
  virtual int TransmitStatus(PrinterBuffer& out, int n) = 0;
  virtual int RealTimeRequest(PrinterBuffer& out, int n) = 0;
  virtual int RealTimePrefix(PrinterBuffer& out, int unused1, int unused2) = 0;
  virtual int RealTimeFunction1(PrinterBuffer& out) = 0;
  virtual int RealTimeClearBuffers(PrinterBuffer& out) = 0;
  virtual int PageFormFeed(PrinterBuffer& out) = 0;

  // --- characters and lines ---
  virtual int SetRightSpacing(PrinterBuffer& out, int n) = 0;
  // Returns the mode byte sent.
  virtual int SetPrintMode(PrinterBuffer& out, int fontB, int emphasized, int doubleWidth,
                           int doubleHeight, int underline) = 0;
  virtual int SetAbsolutePosition(PrinterBuffer& out, int dots) = 0;
  virtual int SetUserCharacterSet(PrinterBuffer& out, int flag) = 0;
  virtual void NoOperation() = 0;
  virtual int SelectBitImage(PrinterBuffer& out, int mode, int width, const BYTE* data,
                             LONG length) = 0;
  virtual int SetUnderline(PrinterBuffer& out, int n) = 0;
  virtual int SetDefaultLineSpacing(PrinterBuffer& out) = 0;
  virtual int SetLineSpacing(PrinterBuffer& out, int n) = 0;
  virtual int SelectPeripheral(PrinterBuffer& out, int flag) = 0;
  virtual int CancelUserCharacter(PrinterBuffer& out, int n) = 0;
  virtual int InitializePrinter(PrinterBuffer& out) = 0;
  virtual int SetDefaultTabs(PrinterBuffer& out) = 0;
  virtual int SetTabPositions(PrinterBuffer& out, const PrinterBuffer& positions) = 0;
  virtual int SetEmphasized(PrinterBuffer& out, int flag) = 0;
  virtual int SetDoubleStrike(PrinterBuffer& out, int flag) = 0;
  virtual int PrintWithoutFeed(PrinterBuffer& out) = 0;
  virtual int FeedDots(PrinterBuffer& out, int dots) = 0;
  virtual int PrintAndFeedDots(PrinterBuffer& out, int n) = 0;
  virtual int SelectPageMode(PrinterBuffer& out) = 0;
  virtual int SelectCharacterFont(PrinterBuffer& out, int n) = 0;
  virtual int SelectInternationalSet(PrinterBuffer& out, int n) = 0;
  virtual int GetInternationalSetForCodePage(int codePage) = 0;
  virtual int SelectStandardMode(PrinterBuffer& out) = 0;
  virtual int GetPageDirectionForRotation(LONG rotation) = 0;
  virtual int SetPageDirection(PrinterBuffer& out, int n) = 0;
  virtual int SetRotate90(PrinterBuffer& out, int flag) = 0;
  virtual int SetPageArea(PrinterBuffer& out, int x, int y, int dx, int dy) = 0;
  virtual int SetRelativePosition(PrinterBuffer& out, int dots) = 0;
  virtual int SetJustification(PrinterBuffer& out, int n) = 0;
  virtual int SetPaperOutSensor(PrinterBuffer& out, int n) = 0;
  virtual int SetPaperStopSensor(PrinterBuffer& out, int n) = 0;
  virtual int EnablePanelButtons(PrinterBuffer& out, int flag) = 0;
  virtual int PrintAndFeedLines(PrinterBuffer& out, int n) = 0;
  virtual int GeneratePulse(PrinterBuffer& out, int pin, int onTime, int offTime) = 0;
  virtual int SelectCodeTable(PrinterBuffer& out, int n) = 0;
  virtual int SetUpsideDown(PrinterBuffer& out, int flag) = 0;
  virtual int SetCharacterSize(PrinterBuffer& out, int width, int height) = 0;
  virtual int SetCharacterSizeClamped(PrinterBuffer& out, int width, int height) = 0;
  virtual int SetAbsoluteVerticalPosition(PrinterBuffer& out, int dots) = 0;
  virtual int ExecuteTestPrint(PrinterBuffer& out, int paper, int pattern) = 0;

  // --- user setup (GS ( E) ---
  virtual int EnterUserSetupMode(PrinterBuffer& out) = 0;
  virtual int ExitUserSetupMode(PrinterBuffer& out) = 0;
  virtual int SetCustomValues(PrinterBuffer& out, int density, int headSpeed, int value97,
                              int flag116, int flag118) = 0;
  virtual int SetPrintDensity(PrinterBuffer& out, int value) = 0;
  virtual int QueryPrintDensity(PrinterBuffer& out) = 0;
  virtual int SetHeadSpeed(PrinterBuffer& out, int value) = 0;
  virtual int QueryHeadSpeed(PrinterBuffer& out) = 0;
  virtual int SetCustomValue97(PrinterBuffer& out, int value) = 0;
  virtual int QueryCustomValue97(PrinterBuffer& out) = 0;
  virtual int SetCustomValue116(PrinterBuffer& out, int flag) = 0;
  virtual int QueryCustomValue116(PrinterBuffer& out) = 0;
  virtual int SetCustomValue118(PrinterBuffer& out, int flag) = 0;
  virtual int QueryCustomValue118(PrinterBuffer& out) = 0;
  virtual int QueryCustomValue(PrinterBuffer& out, int item) = 0;
  // text: NUL-terminated ASCII digits.
  virtual int SetSerialBaudRate(PrinterBuffer& out, const char* text) = 0;
  virtual int QuerySerialBaudRate(PrinterBuffer& out) = 0;
  virtual int SetSerialParity(PrinterBuffer& out, int n) = 0;
  virtual int QuerySerialParity(PrinterBuffer& out) = 0;
  virtual int SetSerialFlowControl(PrinterBuffer& out, int n) = 0;
  virtual int QuerySerialFlowControl(PrinterBuffer& out) = 0;
  virtual int SetSerialDataBits(PrinterBuffer& out, int n) = 0;
  virtual int QuerySerialDataBits(PrinterBuffer& out) = 0;
  virtual void NoOperationWithValue(PrinterBuffer& out, DWORD value) = 0;
  virtual int SetPrintSpeed(PrinterBuffer& out, int n) = 0;
  virtual int SetHeadEnergizing(PrinterBuffer& out, int n) = 0;

  // --- graphics ---
  virtual int DefineNvGraphicsHeader(PrinterBuffer& out, int twoColour, int width, int height,
                                     int key1, int key2) = 0;
  virtual int GetBitmapJustification(LONG alignment) = 0;
  virtual int StoreRasterGraphicsHeader(PrinterBuffer& out, LONG dataLength, int width,
                                        int height) = 0;
  virtual int PrintBufferedGraphics(PrinterBuffer& out) = 0;
  virtual int QueryNvGraphicsCapacity(PrinterBuffer& out, int total) = 0;
  virtual int PrintNvGraphicsByNumber(PrinterBuffer& out, int number) = 0;
  virtual int PrintNvGraphics(PrinterBuffer& out, int key1, int key2, int scaleX, int scaleY) = 0;
  virtual int QueryNvGraphicsKeys(PrinterBuffer& out) = 0;
  virtual int DeleteAllNvGraphics(PrinterBuffer& out) = 0;
  virtual int DeleteNvGraphics(PrinterBuffer& out, int key1, int key2) = 0;
  // data: the colour planes one after another, each height * ((width + 7) / 8) bytes.
  virtual int DefineNvGraphics(PrinterBuffer& out, int key1, int key2, int twoColour, int width,
                               int height, const BYTE* data, LONG length) = 0;
  virtual int DefineNvGraphicsWrapped(PrinterBuffer& out, int width, int height, const BYTE* data,
                                      LONG length) = 0;
  virtual int SetCharacterColor(PrinterBuffer& out, int n) = 0;

  // --- two-dimensional symbols (GS ( k) ---
  virtual int SetPdf417Columns(PrinterBuffer& out, int n) = 0;
  virtual int SetPdf417Rows(PrinterBuffer& out, int n) = 0;
  virtual int SetPdf417ModuleWidth(PrinterBuffer& out, int n) = 0;
  virtual int SetPdf417RowHeight(PrinterBuffer& out, int n) = 0;
  virtual int SetPdf417ErrorCorrection(PrinterBuffer& out, int m, int n) = 0;
  virtual int SetPdf417Options(PrinterBuffer& out, int standard) = 0;
  virtual int StorePdf417Data(PrinterBuffer& out, const BYTE* data, LONG length) = 0;
  virtual int PrintPdf417(PrinterBuffer& out) = 0;
  virtual int QueryPdf417Size(PrinterBuffer& out) = 0;
  virtual int SetQrModel(PrinterBuffer& out, int model) = 0;
  virtual int SetQrModuleSize(PrinterBuffer& out, int n) = 0;
  virtual int SetQrErrorCorrection(PrinterBuffer& out, int n) = 0;
  virtual int StoreQrData(PrinterBuffer& out, const BYTE* data, LONG length) = 0;
  virtual int PrintQr(PrinterBuffer& out) = 0;
  virtual int QueryQrSize(PrinterBuffer& out) = 0;

  // --- downloaded images, macros, misc ---
  virtual int DefineDownloadedImage(PrinterBuffer& out, int x, int y, const BYTE* data,
                                    LONG length) = 0;
  virtual int PrintDownloadedImage(PrinterBuffer& out, int m) = 0;
  virtual int BeginMacro(PrinterBuffer& out) = 0;
  virtual int EndMacro(PrinterBuffer& out) = 0;
  virtual int ExecuteMacro(PrinterBuffer& out, int repeat, int wait, int flag) = 0;
  virtual int SetReverse(PrinterBuffer& out, int flag) = 0;
  virtual int GetHriPosition(LONG textPosition) = 0;
  virtual int SetHriPosition(PrinterBuffer& out, int n) = 0;
  virtual int TransmitPrinterId(PrinterBuffer& out, int n) = 0;
  virtual int QueryModelId(PrinterBuffer& out) = 0;
  virtual int QueryTypeId(PrinterBuffer& out) = 0;
  virtual int QueryFirmwareVersion(PrinterBuffer& out) = 0;
  virtual int QueryMakerName(PrinterBuffer& out) = 0;
  virtual int QueryModelName(PrinterBuffer& out) = 0;
  virtual int QuerySerialNumber(PrinterBuffer& out) = 0;
  virtual int QueryFontInfo(PrinterBuffer& out) = 0;
  virtual int SetLeftMargin(PrinterBuffer& out, int dots) = 0;
  virtual int SetMotionUnits(PrinterBuffer& out, int x, int y) = 0;
  virtual int FeedAndFullCut(PrinterBuffer& out) = 0;
  virtual int FeedAndPartialCut(PrinterBuffer& out) = 0;
  virtual int FeedToCutAndCut(PrinterBuffer& out, int n) = 0;
  virtual int SetPrintAreaWidth(PrinterBuffer& out, int dots) = 0;
  virtual int SetRelativeVerticalPosition(PrinterBuffer& out, int dots) = 0;
  virtual int SetAutoStatusBack(PrinterBuffer& out, int n) = 0;
  virtual int SetSmoothing(PrinterBuffer& out, int flag) = 0;
  virtual int SetHriFont(PrinterBuffer& out, int n) = 0;
  virtual int ResetMaintenanceCounter(PrinterBuffer& out, int counter) = 0;
  virtual int QueryMaintenanceCounter(PrinterBuffer& out, int counter) = 0;

  // --- one-dimensional barcodes ---
  virtual int GetBarcodeSystem(LONG symbology) = 0;
  virtual int GetJustification(LONG alignment) = 0;
  virtual int GetHriPlacement(LONG textPosition) = 0;
  // Returns the module width chosen for a symbol at most `width` dots wide; the
  // symbol's total width in dots goes to *totalWidth (may be null).
  virtual int FitBarcodeWidth(LONG symbology, LONG width, const BYTE* data, LONG length,
                              LONG* totalWidth) = 0;
  // Appends nothing unless the barcode data itself is acceptable (1..255 bytes).
  virtual int FormatBarcodeCommand(PrinterBuffer& out, LONG symbology, int height, int moduleWidth,
                                   LONG alignment, LONG textPosition, int hriFont, const BYTE* data,
                                   LONG length) = 0;
  virtual int PrintBarcodeData(PrinterBuffer& out, LONG symbology, const BYTE* data,
                               LONG length) = 0;
  virtual int SetBarcodeModuleWidth(PrinterBuffer& out, int n) = 0;
  virtual int SetBarcodeHeight(PrinterBuffer& out, int n) = 0;
  virtual int QueryPaperSensor(PrinterBuffer& out) = 0;
  virtual int QueryDrawerSensor(PrinterBuffer& out) = 0;

  // --- double-byte characters and the rest ---
  // Returns the mode byte sent.
  virtual int SetKanjiPrintMode(PrinterBuffer& out, int doubleWidth, int doubleHeight,
                                int underline) = 0;
  virtual int SetKanjiMode(PrinterBuffer& out, int flag) = 0;
  virtual int SelectCodePage(PrinterBuffer& out, int codePage) = 0;
  virtual int SetKanjiUnderline(PrinterBuffer& out, int n) = 0;
  virtual int NoOperationZero() = 0;
  virtual int SelectKanjiCodeSystem(PrinterBuffer& out, int n) = 0;
  virtual int SetKanjiSpacing(PrinterBuffer& out, int left, int right) = 0;
  virtual int SetKanjiQuadruple(PrinterBuffer& out, int flag) = 0;
  virtual int SendFixedConfiguration(PrinterBuffer& out) = 0;
  virtual int SetAllAutoStatus(PrinterBuffer& out, int flag) = 0;
  // *frequency may be rewritten to 1000 when the model has no tone for it.
  virtual int SetBuzzerTone(PrinterBuffer& out, LONG* frequency, LONG modelCode, LONG value,
                            int count) = 0;
  virtual int Beep(PrinterBuffer& out, LONG onTimeMs, LONG offTimeMs, int count) = 0;
  // positions: 2 * segments values, each segment's start and end dot in turn.
  // Both line operations return 0 even when they append (the engine ignores it).
  virtual int DrawLineSegments(PrinterBuffer& out, const std::int16_t* positions, int segments) = 0;
  virtual int PrintCurvedText(PrinterBuffer& out, int textNumber, int horizontalPosition,
                              const BYTE* text, LONG length) = 0;
};

}  // namespace Tesk::Printer
