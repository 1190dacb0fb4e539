// The full ESC/POS command set (Epson-compatible receipt printers).
#pragma once

#include <cstdint>

#include "ICmdHelper.h"

class CCmdHelperBase : public Tesk::Printer::ICmdHelper {
 public:
  using tagPrinterStatus = Tesk::Printer::tagPrinterStatus;

  CCmdHelperBase();
  ~CCmdHelperBase() override;
  CCmdHelperBase(const CCmdHelperBase&) = default;
  CCmdHelperBase& operator=(const CCmdHelperBase&) = default;

  // The distance from the print line to the cutter, in 1/100 mm, that FeedAndFullCut
  // and FeedAndPartialCut feed first. Each printer model sets its own builder's, so
  // one engine's cut never depends on which printers the process opened before.
  void SetCutFeedDistance(int hundredthsMm) { cutFeedDistance_ = hundredthsMm; }
  int GetCutFeedDistance() const { return cutFeedDistance_; }

  // --- status and control ---
  int WriteData(PrinterBuffer& out, const PrinterBuffer& data) override;
  int ParseAutoStatus(const BYTE* block, tagPrinterStatus* status) override;
  int ParsePrinterStatus(int reply, tagPrinterStatus* status) override;
  int ParseOfflineStatus(int reply, tagPrinterStatus* status) override;
  int ParsePaperStatus(int reply, tagPrinterStatus* status) override;
  int ParsePaperSensorStatus(int reply, tagPrinterStatus* status) override;
  int ParseDrawerStatus(int reply, LONG* drawer) override;
  LONG DetectStatusChange(const BYTE* newStatus, BYTE* remembered) override;
  int IsDrawerStateChanged(int newByte, int oldByte, int flag) override;
  int IsDrawerOpen(int statusByte, int flag) override;
  int ResetTextFormat(PrinterBuffer& out) override;
  int HorizontalTab(PrinterBuffer& out) override;
  int LineFeed(PrinterBuffer& out) override;
  int FormFeed(PrinterBuffer& out) override;
  int PrintLineBuffer(PrinterBuffer& out) override;
  int CancelPageData(PrinterBuffer& out) override;
  int RequestRealTimeStatus(PrinterBuffer& out, int n) override;
  LONG DetectStatusChangeByType(int newByte, BYTE* remembered, int replyType) override;
  void GetDrawerStatusQuery(BYTE* query) override;
  int TransmitStatus(PrinterBuffer& out, int n) override;
  int RealTimeRequest(PrinterBuffer& out, int n) override;
  int RealTimePrefix(PrinterBuffer& out, int unused1, int unused2) override;
  int RealTimeFunction1(PrinterBuffer& out) override;
  int RealTimeClearBuffers(PrinterBuffer& out) override;
  int PageFormFeed(PrinterBuffer& out) override;

  // --- characters and lines ---
  int SetRightSpacing(PrinterBuffer& out, int n) override;
  int SetPrintMode(PrinterBuffer& out, int fontB, int emphasized, int doubleWidth, int doubleHeight,
                   int underline) override;
  int SetAbsolutePosition(PrinterBuffer& out, int dots) override;
  int SetUserCharacterSet(PrinterBuffer& out, int flag) override;
  void NoOperation() override;
  int SelectBitImage(PrinterBuffer& out, int mode, int width, const BYTE* data,
                     LONG length) override;
  int SetUnderline(PrinterBuffer& out, int n) override;
  int SetDefaultLineSpacing(PrinterBuffer& out) override;
  int SetLineSpacing(PrinterBuffer& out, int n) override;
  int SelectPeripheral(PrinterBuffer& out, int flag) override;
  int CancelUserCharacter(PrinterBuffer& out, int n) override;
  int InitializePrinter(PrinterBuffer& out) override;
  int SetDefaultTabs(PrinterBuffer& out) override;
  int SetTabPositions(PrinterBuffer& out, const PrinterBuffer& positions) override;
  int SetEmphasized(PrinterBuffer& out, int flag) override;
  int SetDoubleStrike(PrinterBuffer& out, int flag) override;
  int PrintWithoutFeed(PrinterBuffer& out) override;
  int FeedDots(PrinterBuffer& out, int dots) override;
  int PrintAndFeedDots(PrinterBuffer& out, int n) override;
  int SelectPageMode(PrinterBuffer& out) override;
  int SelectCharacterFont(PrinterBuffer& out, int n) override;
  int SelectInternationalSet(PrinterBuffer& out, int n) override;
  int GetInternationalSetForCodePage(int codePage) override;
  int SelectStandardMode(PrinterBuffer& out) override;
  int GetPageDirectionForRotation(LONG rotation) override;
  int SetPageDirection(PrinterBuffer& out, int n) override;
  int SetRotate90(PrinterBuffer& out, int flag) override;
  int SetPageArea(PrinterBuffer& out, int x, int y, int dx, int dy) override;
  int SetRelativePosition(PrinterBuffer& out, int dots) override;
  int SetJustification(PrinterBuffer& out, int n) override;
  int SetPaperOutSensor(PrinterBuffer& out, int n) override;
  int SetPaperStopSensor(PrinterBuffer& out, int n) override;
  int EnablePanelButtons(PrinterBuffer& out, int flag) override;
  int PrintAndFeedLines(PrinterBuffer& out, int n) override;
  int GeneratePulse(PrinterBuffer& out, int pin, int onTime, int offTime) override;
  int SelectCodeTable(PrinterBuffer& out, int n) override;
  int SetUpsideDown(PrinterBuffer& out, int flag) override;
  int SetCharacterSize(PrinterBuffer& out, int width, int height) override;
  int SetCharacterSizeClamped(PrinterBuffer& out, int width, int height) override;
  int SetAbsoluteVerticalPosition(PrinterBuffer& out, int dots) override;
  int ExecuteTestPrint(PrinterBuffer& out, int paper, int pattern) override;

  // --- user setup (GS ( E) ---
  int EnterUserSetupMode(PrinterBuffer& out) override;
  int ExitUserSetupMode(PrinterBuffer& out) override;
  int SetCustomValues(PrinterBuffer& out, int density, int headSpeed, int value97, int flag116,
                      int flag118) override;
  int SetPrintDensity(PrinterBuffer& out, int value) override;
  int QueryPrintDensity(PrinterBuffer& out) override;
  int SetHeadSpeed(PrinterBuffer& out, int value) override;
  int QueryHeadSpeed(PrinterBuffer& out) override;
  int SetCustomValue97(PrinterBuffer& out, int value) override;
  int QueryCustomValue97(PrinterBuffer& out) override;
  int SetCustomValue116(PrinterBuffer& out, int flag) override;
  int QueryCustomValue116(PrinterBuffer& out) override;
  int SetCustomValue118(PrinterBuffer& out, int flag) override;
  int QueryCustomValue118(PrinterBuffer& out) override;
  int QueryCustomValue(PrinterBuffer& out, int item) override;
  int SetSerialBaudRate(PrinterBuffer& out, const char* text) override;
  int QuerySerialBaudRate(PrinterBuffer& out) override;
  int SetSerialParity(PrinterBuffer& out, int n) override;
  int QuerySerialParity(PrinterBuffer& out) override;
  int SetSerialFlowControl(PrinterBuffer& out, int n) override;
  int QuerySerialFlowControl(PrinterBuffer& out) override;
  int SetSerialDataBits(PrinterBuffer& out, int n) override;
  int QuerySerialDataBits(PrinterBuffer& out) override;
  void NoOperationWithValue(PrinterBuffer& out, DWORD value) override;
  int SetPrintSpeed(PrinterBuffer& out, int n) override;
  int SetHeadEnergizing(PrinterBuffer& out, int n) override;

  // --- graphics ---
  int DefineNvGraphicsHeader(PrinterBuffer& out, int twoColour, int width, int height, int key1,
                             int key2) override;
  int GetBitmapJustification(LONG alignment) override;
  int StoreRasterGraphicsHeader(PrinterBuffer& out, LONG dataLength, int width,
                                int height) override;
  int PrintBufferedGraphics(PrinterBuffer& out) override;
  int QueryNvGraphicsCapacity(PrinterBuffer& out, int total) override;
  int PrintNvGraphicsByNumber(PrinterBuffer& out, int number) override;
  int PrintNvGraphics(PrinterBuffer& out, int key1, int key2, int scaleX, int scaleY) override;
  int QueryNvGraphicsKeys(PrinterBuffer& out) override;
  int DeleteAllNvGraphics(PrinterBuffer& out) override;
  int DeleteNvGraphics(PrinterBuffer& out, int key1, int key2) override;
  int DefineNvGraphics(PrinterBuffer& out, int key1, int key2, int twoColour, int width, int height,
                       const BYTE* data, LONG length) override;
  int DefineNvGraphicsWrapped(PrinterBuffer& out, int width, int height, const BYTE* data,
                              LONG length) override;
  int SetCharacterColor(PrinterBuffer& out, int n) override;

  // --- two-dimensional symbols (GS ( k) ---
  int SetPdf417Columns(PrinterBuffer& out, int n) override;
  int SetPdf417Rows(PrinterBuffer& out, int n) override;
  int SetPdf417ModuleWidth(PrinterBuffer& out, int n) override;
  int SetPdf417RowHeight(PrinterBuffer& out, int n) override;
  int SetPdf417ErrorCorrection(PrinterBuffer& out, int m, int n) override;
  int SetPdf417Options(PrinterBuffer& out, int standard) override;
  int StorePdf417Data(PrinterBuffer& out, const BYTE* data, LONG length) override;
  int PrintPdf417(PrinterBuffer& out) override;
  int QueryPdf417Size(PrinterBuffer& out) override;
  int SetQrModel(PrinterBuffer& out, int model) override;
  int SetQrModuleSize(PrinterBuffer& out, int n) override;
  int SetQrErrorCorrection(PrinterBuffer& out, int n) override;
  int StoreQrData(PrinterBuffer& out, const BYTE* data, LONG length) override;
  int PrintQr(PrinterBuffer& out) override;
  int QueryQrSize(PrinterBuffer& out) override;

  // --- downloaded images, macros, misc ---
  int DefineDownloadedImage(PrinterBuffer& out, int x, int y, const BYTE* data,
                            LONG length) override;
  int PrintDownloadedImage(PrinterBuffer& out, int m) override;
  int BeginMacro(PrinterBuffer& out) override;
  int EndMacro(PrinterBuffer& out) override;
  int ExecuteMacro(PrinterBuffer& out, int repeat, int wait, int flag) override;
  int SetReverse(PrinterBuffer& out, int flag) override;
  int GetHriPosition(LONG textPosition) override;
  int SetHriPosition(PrinterBuffer& out, int n) override;
  int TransmitPrinterId(PrinterBuffer& out, int n) override;
  int QueryModelId(PrinterBuffer& out) override;
  int QueryTypeId(PrinterBuffer& out) override;
  int QueryFirmwareVersion(PrinterBuffer& out) override;
  int QueryMakerName(PrinterBuffer& out) override;
  int QueryModelName(PrinterBuffer& out) override;
  int QuerySerialNumber(PrinterBuffer& out) override;
  int QueryFontInfo(PrinterBuffer& out) override;
  int SetLeftMargin(PrinterBuffer& out, int dots) override;
  int SetMotionUnits(PrinterBuffer& out, int x, int y) override;
  int FeedAndFullCut(PrinterBuffer& out) override;
  int FeedAndPartialCut(PrinterBuffer& out) override;
  int FeedToCutAndCut(PrinterBuffer& out, int n) override;
  int SetPrintAreaWidth(PrinterBuffer& out, int dots) override;
  int SetRelativeVerticalPosition(PrinterBuffer& out, int dots) override;
  int SetAutoStatusBack(PrinterBuffer& out, int n) override;
  int SetSmoothing(PrinterBuffer& out, int flag) override;
  int SetHriFont(PrinterBuffer& out, int n) override;
  int ResetMaintenanceCounter(PrinterBuffer& out, int counter) override;
  int QueryMaintenanceCounter(PrinterBuffer& out, int counter) override;

  // --- one-dimensional barcodes ---
  int GetBarcodeSystem(LONG symbology) override;
  int GetJustification(LONG alignment) override;
  int GetHriPlacement(LONG textPosition) override;
  int FitBarcodeWidth(LONG symbology, LONG width, const BYTE* data, LONG length,
                      LONG* totalWidth) override;
  int FormatBarcodeCommand(PrinterBuffer& out, LONG symbology, int height, int moduleWidth,
                           LONG alignment, LONG textPosition, int hriFont, const BYTE* data,
                           LONG length) override;
  int PrintBarcodeData(PrinterBuffer& out, LONG symbology, const BYTE* data, LONG length) override;
  int SetBarcodeModuleWidth(PrinterBuffer& out, int n) override;
  int SetBarcodeHeight(PrinterBuffer& out, int n) override;
  int QueryPaperSensor(PrinterBuffer& out) override;
  int QueryDrawerSensor(PrinterBuffer& out) override;

  // --- double-byte characters and the rest ---
  int SetKanjiPrintMode(PrinterBuffer& out, int doubleWidth, int doubleHeight,
                        int underline) override;
  int SetKanjiMode(PrinterBuffer& out, int flag) override;
  int SelectCodePage(PrinterBuffer& out, int codePage) override;
  int SetKanjiUnderline(PrinterBuffer& out, int n) override;
  int NoOperationZero() override;
  int SelectKanjiCodeSystem(PrinterBuffer& out, int n) override;
  int SetKanjiSpacing(PrinterBuffer& out, int left, int right) override;
  int SetKanjiQuadruple(PrinterBuffer& out, int flag) override;
  int SendFixedConfiguration(PrinterBuffer& out) override;
  int SetAllAutoStatus(PrinterBuffer& out, int flag) override;
  int SetBuzzerTone(PrinterBuffer& out, LONG* frequency, LONG modelCode, LONG value,
                    int count) override;
  int Beep(PrinterBuffer& out, LONG onTimeMs, LONG offTimeMs, int count) override;
  int DrawLineSegments(PrinterBuffer& out, const std::int16_t* positions, int segments) override;
  int PrintCurvedText(PrinterBuffer& out, int textNumber, int horizontalPosition, const BYTE* text,
                      LONG length) override;

 protected:
  // Entry n is 1 shl n; the status operations take their masks from it.
  BYTE bitMask_[8];
  PrinterBuffer defaultTabs_{256};
  // The user-setup commands (GS ( E) assemble their header and body here.
  PrinterBuffer setupHeader_{32};
  PrinterBuffer setupBody_{32};
  PrinterBuffer setupData_{32};  // "IN", the data of EnterUserSetupMode
  PrinterBuffer scratch_{32};
  PrinterBuffer largeScratch_{512};
  int cutFeedDistance_ = 0;

  int CutFeedDots() const;
  // Appends GS ( E pL pH fn and the body, pL pH counting fn and the body.
  void AppendUserSetup(PrinterBuffer& out, int fn, const PrinterBuffer& body);
  // Appends a GS 8 L block: 1D 38 4C p1..p4 30 fn data, p counting 30 fn data.
  static void AppendGs8L(PrinterBuffer& out, int fn, const BYTE* data, LONG length);
  // Appends a GS ( k block: 1D 28 6B pL pH cn fn data.
  static void AppendSymbolCommand(PrinterBuffer& out, int cn, int fn, const BYTE* data,
                                  LONG length);
};
