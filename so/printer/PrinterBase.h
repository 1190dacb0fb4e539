// The printer engine: one physical printer from "closed" to "enabled" and back, its
// property values, output path and status picture. Model classes derive from it.
//
// Threads: every operation runs on the COM layer's thread, except the status readers,
// which the worker's idle poll also calls. The port holder's lock serialises all port
// use; the engine does not lock its own flags.
#pragma once

#include <array>
#include <mutex>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PrinterBuffer.h"
#include "PrinterStatusRecord.h"
#include "PrinterEvents.h"
#include "platform/wintypes.h"
#include "platform/wtext.h"

namespace Tesk::IO {
class IPortSettings;
}

namespace Tesk::Printer {

class ICmdHelper;
class CPrinterPort;
class CPrinterTaskThreadContext;


// One slot of the bitmap table (SetBitmap numbers 1..20).
struct BitmapEntry {
  int storedInPrinter = 0;  // the image lives in the printer's downloaded-image area
  int sizeFlag = 0;         // GS / mode: 0 normal
  LONG station = -1;
  std::wstring fileName;
  signed char number = -1;  // bitmap number - 1; the slot is set when number + 1 is its own
  LONG width = -1, height = -1, alignment = -1;
  PrinterBuffer printCommand{32, 32};
};

// One font of the font table.
struct PrinterFont {
  wchar_t typeface = 0;  // letter; 0 ends the table
  BYTE width = 0;        // dots
  BYTE height = 0;       // dots
  std::wstring characterSetList;
};

// Capability indexes past the last standard one (8563); this engine answers them too.
constexpr LONG PIDXPtr_CapRecLineAndCurveText = 8564;  // PrintLine and PrintCurveText
constexpr LONG PIDXPtr_CapModelExtension = 8565;       // set by the packet-framed model only

// DirectIO commands beyond the escape sequence's 100 and 101 (applications see them in the
// control object's POSPrinter.h): the firmware version the engine holds into the text.
constexpr LONG kDirectIOReadFirmwareVersion = 200;

class CPrinterBase {
 public:
  static constexpr int kMaxFonts = 10;
  static constexpr LONG kFirstCapabilityIndex = 8504;
  static constexpr LONG kLastCapabilityIndex = 8565;

  CPrinterBase();
  CPrinterBase(const CPrinterBase& other);
  CPrinterBase& operator=(const CPrinterBase& other);
  virtual ~CPrinterBase();

  // --- Lifecycle ---------------------------------------------------------------
  LONG SetPortSettings(Tesk::IO::IPortSettings* settings, LONG* result);
  // Keeps the settings object alive as long as the engine: a USB port refers to it.
  void KeepPortSettings(std::shared_ptr<Tesk::IO::IPortSettings> settings) {
    portSettings_ = std::move(settings);
  }
  LONG OpenServiceW(const std::wstring& deviceName, IPrinterEventHandle* events,
                    LONG* openResult);
  LONG CloseService(LONG* result);
  LONG ClaimDevice(LONG timeout, LONG* result);
  LONG ReleaseDevice(LONG* result);
  int DeviceEnable(int enable);

  void SetupCashDrawer(LONG pin, int openLevel, int statusCapability, LONG onTime,
                       LONG offTime, LONG waitTimeout);
  void SetCashDrawerMode(int on);
  void SetPrinterMode(int on);
  void BitMapMode(int mode);

  LONG SetRC(LONG code);
  LONG ErrorCode() const { return errorNumber_; }
  const wchar_t* ErrorInformation() const { return errorText_.c_str(); }
  LONG GetResultCode() const { return resultCode_; }
  // Counts blocks that could not be written or that the printer refused; each one set
  // ErrorInformation to what went wrong.
  unsigned FailedWrites() const { return failedWrites_; }
  LONG GetResultCodeExtended() const { return resultCodeExtended_; }

  int IsOpened() const { return opened_; }
  int IsClaimed() const { return claimed_; }
  int IsEnabled() const { return enabled_; }
  int IsIdle() const;
  int IsBusy() const;
  int IsInErrorState() const;
  // Only a cash-drawer client is attached: status reads ask the drawer alone.
  bool IsDrawerOnly() const { return (clientMode_ & 2) && !(clientMode_ & 1); }

  // --- Status (request and reply) ----------------------------------------------
  LONG GetPrinterState(bool initialReport);
  int GetPrinterStateByASB(tagPrinterStatus* status);
  int GetPrinterStateByRealTime(tagPrinterStatus* status, int firstOnly);
  int GetPrinterStateBySendCmd(tagPrinterStatus* status, int drawerOnly);
  LONG SendAndReadData(PrinterBuffer& request, BYTE* reply, LONG offset, LONG length,
                       LONG* count);
  LONG ReadData(BYTE* destination, LONG offset, LONG maxLength, BYTE startByte,
                BYTE endByte, LONG* count, DWORD timeout);
  LONG ReadData(BYTE* destination, LONG offset, LONG maxLength, BYTE endByte, LONG* count,
                DWORD timeout);
  LONG ReadData(BYTE* destination, LONG offset, LONG length, LONG* count, DWORD timeout);
  LONG SendAndReadString(PrinterBuffer& request, BYTE* destination, LONG offset,
                         LONG maxLength, BYTE startByte, BYTE endByte, LONG* count);
  LONG SendAndReadString(PrinterBuffer& request, BYTE* destination, LONG offset,
                         LONG maxLength, BYTE endByte, LONG* count);
  // Reads and drops what the printer sent unasked; *drained, when given, receives it.
  void ClearUnReadDataInPrinter(std::vector<BYTE>* drained = nullptr);
  void RaiseStateUpdateEvent(LONG status);
  // A copy taken under the status lock: the worker's poll writes the status meanwhile.
  tagPrinterStatus GetLastStatus() const;
  // For a printer client that joins an enabled engine: reads the status (with its
  // initial report) unless a read has already found out about the paper.
  void ReadStatusIfPaperUnread();

  // --- Output -------------------------------------------------------------------
  LONG Send(PrinterBuffer& buffer, bool urgent);
  LONG DirectSend(PrinterBuffer& buffer, bool waitForReply, LONG replyLength);
  // The engine's own output that no application output call asked for (drawer pulse,
  // beeps, health printout): pending settings in front, written at once also in
  // AsyncMode, with no OutputID.
  LONG SendNow(PrinterBuffer& buffer);
  // Drops the queued asynchronous jobs only, leaving the buffers the caller's thread
  // fills alone (safe from the event thread while the application prints).
  void ClearQueuedOutput();
  LONG ClearOutput(LONG* result);
  void Retry();
  LONG printImmediate(const std::string& text);
  BYTE GetRecLineSpacing() const;
  // Converts wide print data to bytes in the code page CharacterSet selects (or the ANSI
  // code page under BinaryConversion); reports that code page through *codePage.
  LONG BStr2Char(const std::wstring& text, std::string& bytes, UINT* codePage);
  void DataBinaryConversion(PrinterBuffer& target, const std::wstring& text);
  void DataBinaryConversion2(PrinterBuffer& target, const std::string& bytes);
  void InitOutBuffer(PrinterBuffer& buffer) { InitOutBufferInStandardMode(buffer); }
  void InitOutBufferInStandardMode(PrinterBuffer& buffer) { InitOutBufferWithPMControl(buffer, 3); }
  void InitOutBufferInPageMode(PrinterBuffer& buffer) { InitOutBufferWithPMControl(buffer, 1); }
  void InitOutBufferWithPMControl(PrinterBuffer& buffer, int mode);
  // Puts the pending printer settings in front of an outgoing block.
  void set_printerSettings(PrinterBuffer& buffer);
  int IsDirectSend() const;
  PrinterBuffer* CurrentPrinterBuffer();
  // The OutputID of this engine's last queued job (0 before the first).
  LONG GetLastOutputId() const { return lastOutputId_; }
  // The process-wide OutputID counter: the ID of the job queued last in the process.
  static LONG CurrentOutputId();
  static LONG NextOutputId();
  static void ResetOutputId();
  // Puts the counter where a long-running process would be (the wrap is otherwise
  // two billion jobs away).
  static void SetOutputIdCounter(LONG value);

  // The output methods the COM layer forwards.
  LONG PrintNormal(LONG station, const std::wstring& data, LONG* result);
  LONG PrintImmediate(LONG station, const std::wstring& data, LONG* result);
  LONG PrintTwoNormal(LONG stations, const std::wstring& data1, const std::wstring& data2,
                      LONG* result);
  LONG TransactionPrint(LONG station, LONG control, LONG* result);
  LONG ValidateData(LONG station, const std::wstring& data, LONG* result);
  LONG CutPaper(LONG percentage, LONG* result);
  LONG PrintBarCode(LONG station, const std::wstring& data, LONG symbology, LONG height,
                    LONG width, LONG alignment, LONG textPosition, LONG* result);
  LONG PrintBitmap(LONG station, const std::wstring& fileName, LONG width, LONG alignment,
                   LONG* result);
  LONG PrintMemoryBitmap(LONG station, const std::wstring& data, LONG type, LONG width,
                         LONG alignment, LONG* result);
  LONG SetBitmap(LONG bitmapNumber, LONG station, const std::wstring& fileName, LONG width,
                 LONG alignment, LONG* result);
  LONG SetLogo(LONG location, const std::wstring& data, LONG* result);
  void SetBitmapStorageInPrinter(int mode) { BitMapMode(mode); }
  LONG RotatePrint(LONG station, LONG rotation, LONG* result);
  LONG ClearPrintArea(LONG* result);
  LONG PageModePrint(LONG control, LONG* result);
  // Sends (or, in a transaction, collects) the page-mode buffer as one page.
  LONG PrintCollectedPage();
  // Ruled lines and curved text (PrinterRuledLines.cpp): only with the line and
  // curved-text capability; positions and the horizontal position are in dots.
  LONG PrintLine(LONG station, const std::wstring& positionList, LONG* result);
  LONG PrintCurveText(LONG station, LONG textNumber, LONG horizontalPosition,
                      const std::wstring& text, LONG* result);
  // The standard ruled-line method is not supported: OPOS_E_EXTENDED with 300.
  LONG DrawRuledLine(LONG station, const std::wstring& positionList, LONG lineDirection,
                     LONG lineWidth, LONG lineStyle, LONG lineColor, LONG* result);

  // --- Cash drawer (PrinterDrawer.cpp) ---------------------------------------------
  // Pulses the pins SetupCashDrawer selected; with a drawer sensor, waits briefly for
  // it to report open. Refused with OPOS_E_BUSY while output is queued or running.
  LONG OpenDrawer(LONG* result);
  // Asks the printer for the drawer sensor; the stored state (valid 0) when it cannot.
  int GetDrawerOpenState(int clearFirst, int* valid);
  // Polls the drawer every 300 ms until it closes or the close time-out passes,
  // sounding the buzzer after beepTimeout ms (never for a negative one). Result 0 when
  // the drawer was read closed, OPOS_E_TIMEOUT when the wait ended with it open.
  // Between passes it calls pause(ms) when given (the caller may let others in then),
  // else it sleeps.
  LONG WaitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration,
                          LONG beepDelay, LONG* result,
                          const std::function<void(DWORD)>& pause = {});

  // --- Health, direct I/O, statistics (PrinterHealth.cpp) ---------------------------
  // The interactive level's box waits for a person: it is shown through ask(box) when given
  // (the caller may let others use the device meanwhile), else directly.
  LONG CheckHealth(LONG level, LONG* result,
                   const std::function<void(const std::function<void()>&)>& ask = {});
  const char* GetStatusString(LONG code) const;
  // 100 appends to an open transaction or writes at once, 101 writes at once; the
  // result is the write's. Other commands do nothing.
  LONG DirectIO(LONG command, LONG* data, std::wstring& text, LONG* result);
  // Not supported by these printers: OPOS_E_EXTENDED with extended code 300.
  LONG RetrieveStatistics(std::wstring& statistics, LONG* result);
  LONG UpdateStatistics(const std::wstring& statistics, LONG* result);
  LONG ResetStatistics(const std::wstring& statistics, LONG* result);
  LONG CompareFirmwareVersion(const std::wstring& fileName, LONG* comparison, LONG* result);
  LONG UpdateFirmware(const std::wstring& fileName, LONG* result);

  LONG GetPropertyNumber(LONG index, LONG* value);
  LONG SetPropertyNumber(LONG index, LONG value, LONG* result);
  LONG GetPropertyString(LONG index, BSTR* value);
  LONG SetPropertyString(LONG index, const std::wstring& value, LONG* result);
  LONG VerifyProperty(LONG index, const std::wstring& value, LONG flags);

  // --- Units: printer dots <-> the current MapMode (an inch is 25.375 mm here) ------
  LONG DOT2MapNumber_H(LONG dots) const;
  LONG DOT2MapNumber_V(LONG dots) const;
  LONG MapNumber2DOT_H(LONG value) const;
  LONG MapNumber2DOT_V(LONG value) const;
  LONG metric2MapNumber(LONG hundredthsMm) const;
  LONG MapNumber2metric(LONG value) const;
  LONG H2V(LONG dots) const;
  // The map value a property reads as: one that, set again, gives the same dots.
  LONG MapNumberOfDots_H(LONG dots) const;
  LONG GetRecLineWidth() const { return DOT2MapNumber_H(recLineWidth_); }
  // Page geometry the property setters check and apply.
  LONG ValidatePageModePrintArea(LONG x, LONG y, LONG width, LONG height) const;
  LONG SetPageModePrintDirection(LONG direction);
  // Turns the text (and, by the PTR_RP_BARCODE / PTR_RP_BITMAP bits, the objects); a
  // quarter turn first prints the sideways page collected so far. Returns the value that
  // becomes RotateSpecial.
  LONG SetRotation(LONG rotation);
  // 0 when the model can print the rotation, else OPOS_E_ILLEGAL.
  LONG CheckRotation(LONG rotation) const;
  // Positions a line (or object) of `width` dots by its alignment letter inside the page
  // area or the rotated page.
  void SelectHPos(PrinterBuffer& out, char letter, LONG width);
  int IsInPrinterPageMode() const { return pageMode_ || rotateRight90_ || rotateLeft90_; }
  int IsInRotateMode() const { return rotateRight90_ || rotateLeft90_ || rotate180_; }
  int IsInRotate90Mode() const { return rotateRight90_ || rotateLeft90_ || IsVerticalPage(); }
  int PageModePrintAreaIsEffective() const {
    return pageModePrintWidth_ != 0 && pageModePrintHeight_ != 0;
  }

  // --- Escape-sequence translation (EscapeSequences.cpp) ------------------------------
  // Appends the printer commands for OPOS print data (text with ESC | sequences) to out.
  // validate: a dry run for ValidateData that stops at the first refused sequence.
  // Returns 0, OPOS_E_ILLEGAL (a value had to be approximated) or OPOS_E_FAILURE (the
  // last sequence, or in a dry run any sequence, was refused).
  LONG FormatStringToOutBuffer(PrinterBuffer& out, const PrinterBuffer& input, int validate);
  // The font whose cell fits lineChars across the paper best; 0xFF when none is
  // narrow enough.
  int SelectFont(LONG lineChars) const;
  int SelectMinFont() const;
  void SelectPrintMode(PrinterBuffer& out, int emphasized, int unused, int doubleWidth,
                       int doubleHeight, int underline, int fontB);
  void ClearFormatInStd(PrinterBuffer& out);
  void SelectHPosInStd(PrinterBuffer& out, char letter, LONG width);
  // Decoders of an ESC ! (or, double-byte, FS !) mode byte.
  int IsFontB(BYTE mode) const { return mode & 0x01; }
  int IsBold(BYTE mode) const { return (mode >> 3) & 1; }
  int IsItalic(BYTE mode) const;
  int IsUnderline(BYTE mode) const { return (mode >> 7) & 1; }
  int IsDoubleHeight(BYTE mode, int doubleByte) const { return (mode >> (doubleByte ? 3 : 4)) & 1; }
  int IsDoubleWidth(BYTE mode, int doubleByte) const { return (mode >> (doubleByte ? 2 : 5)) & 1; }

  // --- Engine state read by the COM layer and tests ----------------------------------
  const std::wstring& GetModelName() const { return modelName_; }
  const std::wstring& GetDeviceName() const { return deviceName_; }
  const std::string& GetFirmwareVersion() const { return firmwareVersion_; }
  const std::string& GetMakerName() const { return makerName_; }
  const std::wstring& GetDeviceDescription() const { return deviceDescription_; }
  LONG GetCapRecPapercut() const { return Capability(8526); }
  int IsBidirectional() const { return bidirectional_; }
  int IsAsbInUse() const { return asbInUse_; }
  BYTE GetStatusMethod() const { return statusMethod_; }
  int GetClientMode() const { return clientMode_; }
  std::shared_ptr<CPrinterPort> GetPrinterPort() const { return printerPort_; }
  std::shared_ptr<CPrinterTaskThreadContext> GetWorker() const { return worker_; }
  ICmdHelper* GetCmdHelper() const { return cmdHelper_; }

  // --- Bitmaps (PrinterBitmap.cpp) ----------------------------------------------------
  static constexpr int kBitmapSlots = 20;
  static constexpr LONG kDownloadMaxHeight = 384;  // GS * limits: 384 dots high,
  static constexpr LONG kDownloadMaxArea = 1536;   // 1536 blocks of 8 x 8 dots
  // Image size in dots for a requested width (dots or PTR_BM_ASIS): width rounded up to 8,
  // height to heightUnit. 0, OPOS_E_NOEXIST or OPOS_E_ILLEGAL.
  LONG GetBitmapInfo(const std::wstring& fileName, LONG* width, LONG* height, LONG requestedWidth,
                     LONG heightUnit);
  // The image as raster rows ((width / 8) * height bytes) at that size.
  LONG GetBitmapData(const std::wstring& fileName, PrinterBuffer& raster, LONG* width,
                     LONG* height, LONG heightUnit, LONG requestedWidth);
  // 24-dot ESC * stripes of an image at scale 1; result 0 or OPOS_E_NOEXIST.
  LONG ReadBitmap(const std::wstring& fileName, PrinterBuffer& out, LONG* result);
  static void ToColumnFormat(PrinterBuffer& out, const PrinterBuffer& raster, LONG width,
                             LONG height);
  int VerifyObjectSize(LONG width, LONG height, LONG xOffset, int rotateWith);
  LONG FormatObject(PrinterBuffer& out, const PrinterBuffer& object, LONG width, LONG height,
                    int justification, LONG xOffset, int rotateWith);
  void PrintBitmap_in_memory(PrinterBuffer& out, const PrinterBuffer& columnImage);
  LONG PrintBitmap_in_memory(const PrinterBuffer& columnImage);
  const BitmapEntry& GetBitmapEntry(int number) const { return bitmaps_[static_cast<size_t>(number - 1)]; }
  int GetDownloadedBitmap() const { return downloadedBitmap_; }
  const PrinterBuffer& GetLogo(LONG location) const {
    return location == 1 ? topLogoBuffer_ : bottomLogoBuffer_;
  }

  // --- Barcodes (PrinterBarcode.cpp) --------------------------------------------------
  // Code 128 data to the printer's {A / {B / {C notation, in place; 1, or 0 when refused.
  static int convert_bar_code_code128(PrinterBuffer& data);
  static int convert_bar_code_code128_Parsed(PrinterBuffer& data);

 protected:
  virtual void SetProperty_Open();
  virtual void InitCmdHelper() = 0;
  virtual int IsSupportBidi() = 0;

  LONG ExecuteClaimDevice();
  LONG RefreshPrinterInfo();
  void InitProperty();
  void DisableDevice();
  // The set-up every claim sends after ESC @ (peripheral, paper sensors, kanji mode).
  void AppendClaimSetup(PrinterBuffer& out);
  // Hands the port what a printer found again after a loss needs before the next block:
  // the claim's set-up, the downloaded image and, while enabled, automatic status back.
  void UpdateRestoreBytes();
  LONG ReportWriteFailure();
  // Send's result for a block DirectSend could not write (Send and SendNow): what the
  // printer's cover or paper explains, after reading the status again.
  LONG ReasonForFailedOutput(LONG code);
  // DirectSend's exchange under the port lock: writes the block and reads what answers
  // it; bytes read that are not the answer go to *outside.
  LONG WriteAndReadAnswers(PrinterBuffer& buffer, bool waitForReply, LONG replyLength,
                           std::vector<BYTE>* outside);
  void LeaveLayoutModes();
  // Page mode printing bottom to top or top to bottom: lines run along the paper.
  bool IsVerticalPage() const {
    return pageMode_ && (pageModePrintDirection_ == 2 || pageModePrintDirection_ == 4);
  }
  // The ESC T direction of the page: PageModePrintDirection, turned half round while the
  // upside-down turn is in force (ESC { does not reach page-mode printing).
  int PageDirectionInForce() const {
    return static_cast<int>((pageModePrintDirection_ - 1 + (rotate180_ ? 2 : 0)) % 4);
  }
  // Prints the sideways page collected under a quarter turn (into the transaction, or
  // sent at once) and empties the rotation buffers.
  LONG PrintRotatedPage();
  // The print area, when it changed since page text last set it, ahead of the next text
  // or object on the page.
  void WritePendingPrintArea(PrinterBuffer& out);
  void SelectHPos(PrinterBuffer& out, char letter, LONG width, LONG leftPosition);
  void SetFont(int fontIndex);
  // Property helpers (PrinterProperties.cpp).
  LONG SetRecLineChars(LONG chars);
  bool IsInCharacterSetList(LONG characterSet) const;
  struct CodePagePair {
    UINT conversion;  // the code page text is converted with
    LONG table;       // the code page whose table SelectCodePage switches to
  };
  CodePagePair PrintCodePages(LONG characterSet) const;
  UINT PrintableAnsiCodePage() const;
  void RewritePageAreaTexts();
  // Reads "x,y,width,height"; false when the text has fewer than three commas.
  bool GetValueInPageModeAreaString(const std::wstring& text, LONG& x, LONG& y, LONG& width,
                                    LONG& height) const;
  LONG Capability(LONG index) const;
  void SetCapability(LONG index, LONG value);
  void ForgetPaperAndCover();
  // GetPrinterState's body; byAsb chooses the automatic status back reader.
  LONG ReadPrinterState(bool initialReport, bool byAsb);
  void ApplyStatus(const tagPrinterStatus& status, bool initialReport);
  void ApplyNewestStatusBlock(const std::vector<BYTE>& drained, bool drawerOnly = false);
  int DrawerOpenFromSensor(int sensor) const;
  void NoteDrawerState(int open);
  int QueryDrawerSensor(int clearFirst, int* open, std::vector<BYTE>* drained);
  // Writes one block, in packets when the model frames its data (the caller holds the
  // port lock or lets the port holder try it).
  bool WriteBlock(const PrinterBuffer& block);
  // The drawer pulse and beeps: written at once, even in AsyncMode, with no OutputID
  // and without the pending print settings.
  LONG SendOwnCommands(PrinterBuffer& buffer);
  // SetRC, and the stored ResultCode into *result; returns 0 as the methods do.
  LONG ReportResult(LONG code, LONG* result);
  // One status request and its 1-byte answer (the last byte that arrived).
  int ExchangeStatusByte(bool realTime, BYTE n, BYTE* statusByte);
  // Takes the port lock: one try, then up to 100 more 100 ms apart.
  bool WaitForPortLock();
  void UnlockPort();

  // Lifecycle (device lifecycle and configuration)
  std::shared_ptr<Tesk::IO::IPortSettings> portSettings_;
  std::shared_ptr<CPrinterPort> printerPort_;
  std::shared_ptr<CPrinterTaskThreadContext> worker_;
  std::shared_ptr<CPrinterEventObject> eventObject_;
  int isUsb_ = 0, isCom_ = 0, isLpt_ = 0, isTcpIp_ = 0;
  int alternateDevice_ = 0;
  int bidirectional_ = 1;
  int opened_ = 0, claimed_ = 0, enabled_ = 0;
  LONG resultCode_ = 0, resultCodeExtended_ = 0;
  LONG errorNumber_ = 0;
  unsigned failedWrites_ = 0;  // written and read on the caller's thread
  std::wstring errorText_;
  int clientMode_ = 0;  // bit 0 printer client, bit 1 drawer client
  LONG drawerPin_ = 1;
  int drawerOpenLevel_ = 0;
  int drawerStatusCapability_ = 0;
  LONG drawerOnTime_ = 25, drawerOffTime_ = 255;
  LONG drawerWaitTimeout_ = 60000;
  int queryInfoAtClaim_ = 0;
  int asbCapable_ = 0;
  int asbInUse_ = 0;
  BYTE statusMethod_ = 2;  // bit 0 real-time status (DLE EOT), bit 1 by command (GS r)
  // Set by a model whose printer takes every byte in packets (the builder's WriteData):
  // print data, set-up and status requests alike, whatever the model's name.
  int packetFraming_ = 0;
  ICmdHelper* cmdHelper_ = nullptr;
  PrinterBuffer commandBuffer_{2048, 32};
  std::string firmwareVersion_ = "1.00";  // at most 255 bytes
  std::string makerName_ = "Corlin";
  std::wstring modelName_ = L"Corlin Printer";  // at most 29 characters
  std::wstring deviceDescription_ = L"Corlin High Performance Printer";
  LONG claimTimeout_ = 0;
  int bitmapMode_ = 0;

  std::wstring deviceName_;  // as opened; printed by the health check

  PrinterBuffer drawerBuffer_{32, 32};  // the pulse block

  // Status. lastStatus_ is written by GetPrinterState on whichever thread polls and read
  // by State on the application's threads: both under statusMutex_.
  struct StatusMutex {
    StatusMutex() = default;
    StatusMutex(const StatusMutex&) {}
    StatusMutex& operator=(const StatusMutex&) { return *this; }
    mutable std::mutex mutex;
  };
  StatusMutex statusMutex_;
  tagPrinterStatus lastStatus_;
  int paperStateRead_ = 0;  // a status read since the open told the paper state
  LONG lastOutputId_ = 0;
  std::array<BYTE, 256> replyBuffer_{};
  PrinterBuffer statusCommandBuffer_{32, 32};

  // Geometry and fonts (model set-up)
  LONG printWidth_ = 576;
  float dotSizeH_ = 0.125f, dotSizeV_ = 0.125f;
  LONG cutDistance_ = 2100;  // 1/100 mm
  LONG pageAreaWidth_ = 576, pageAreaHeight_ = 1000;
  LONG rotationOffset_ = 60;
  std::array<PrinterFont, kMaxFonts> fonts_{};
  int fontCount_ = 0;
  int defaultFont_ = 0;  // the font ESC | 0fT selects
  int currentFont_ = 0;
  BYTE charWidth_ = 12, charHeight_ = 24;
  BYTE formatLineLength_ = 48;
  int buzzer_ = 0;  // WaitForDrawerClose may sound the printer's buzzer
  int printCompletionRequest_ = 0;

  // Property values
  LONG asyncMode_ = 0;
  LONG binaryConversion_ = 0;
  LONG characterSet_ = 437;
  LONG mapMode_ = 1;
  LONG recLetterQuality_ = 0;
  LONG recLineChars_ = 48;
  LONG recLineHeight_ = 24;
  LONG recLineSpacing_ = 30;
  LONG recLinesToPaperCut_ = 5;
  LONG recLineWidth_ = 576;
  LONG recSidewaysMaxChars_ = 138;
  LONG recSidewaysMaxLines_ = 17;
  LONG errorStation_ = 2, errorLevel_ = 1;
  LONG rotateSpecial_ = 1;
  LONG pageModeDescriptor_ = 15;
  LONG pageModeHorizontalPosition_ = 0, pageModeVerticalPosition_ = 0;
  LONG pageModePrintDirection_ = 1, pageModeStation_ = 0;
  LONG pageModePrintX_ = 0, pageModePrintY_ = 0, pageModePrintWidth_ = 0,
       pageModePrintHeight_ = 0;
  std::wstring pageModePrintArea_ = L"0,0,0,0";
  std::wstring pageModeArea_ = L"576,1000";
  std::wstring characterSetList_ =
      L"255,437,850,852,858,860,863,865,866,932,936,949,997,998,999,1252";
  std::wstring recLineCharsList_ = L"48,64";
  std::wstring fontTypefaceList_ = L"A,B";
  std::wstring recBarCodeRotationList_ = L"0,R90,L90,180";
  std::wstring recBitmapRotationList_ = L"0,R90,L90,180";
  std::wstring checkHealthText_;
  std::array<LONG, kLastCapabilityIndex - kFirstCapabilityIndex + 1> capabilities_{};
  // Slip (8024..8034) and cartridge values: this printer has neither, they answer as set
  // at construction.
  std::array<LONG, 11> slipValues_{};
  LONG cartridgeNotify_ = 0;
  LONG jrnCartridgeState_ = 0x10000000;  // PTR_CART_UNKNOWN
  LONG jrnCurrentCartridge_ = 0, recCartridgeState_ = 0, recCurrentCartridge_ = 1;
  LONG slpPrintSide_ = 0, slpCartridgeState_ = 0, slpCurrentCartridge_ = 0;
  LONG mapCharacterSet_ = 0;
  int printAreaPending_ = 0;  // PageModePrintArea must be sent before the next page text
  int rotateBarcodes_ = 0, rotateBitmaps_ = 0;

  // Output buffers
  PrinterBuffer pendingSettingsBuffer_{512, 32};
  PrinterBuffer transactionBuffer_{2048, 32};
  PrinterBuffer pageModeBuffer_{2048, 32};
  PrinterBuffer rotationBuffers_[2] = {PrinterBuffer{2048, 32}, PrinterBuffer{2048, 32}};
  PrinterBuffer sendBuffer_{2048, 32};
  PrinterBuffer topLogoBuffer_{512, 32};
  PrinterBuffer bottomLogoBuffer_{512, 32};
  PrinterBuffer conversionBuffer_{32, 32};
  PrinterBuffer formatOutputBuffer_{512, 32};
  PrinterBuffer packetBuffer_{512, 32};

  // Escape-sequence translation: the bitmap and barcode seams it calls (PrinterBitmap.cpp,
  // PrinterBarcode.cpp). Virtual so that tests can watch what the translator passes on.
  friend class EscapeTranslator;
  virtual int IsBitmapSet(LONG number) const;
  virtual int FormatSettedBitmap(PrinterBuffer& out, LONG number);
  virtual LONG FormatBarcode(PrinterBuffer& out, PrinterBuffer& data, LONG symbology,
                             LONG height, LONG width, LONG alignment, LONG textPosition);
  // Bitmap and barcode state
  std::array<BitmapEntry, kBitmapSlots> bitmaps_{};
  signed char downloadedBitmap_ = -1;  // number - 1 of the bitmap in the printer's RAM
  PrinterBuffer rasterScratch_{32, 32};
  PrinterBuffer commandScratch_{32, 32};
  PrinterBuffer objectScratch_{32, 32};
  PrinterBuffer positionPrefix_{32, 32};  // one per engine: engines may format at once
  PrinterBuffer objectOutput_{32, 32};    // a bitmap or barcode sent straight away
  PrinterBuffer barcodeData_{32, 32};
  PrinterBuffer downloadCommand_{32, 32};  // GS * of the downloaded bitmap, for a re-send
  PrinterBuffer downloadFallback_{32, 32}; // its raster command, should the re-send fail
  int hriFont_ = 0;
  LONG rotatedTextLength_ = 0;   // height of the lines completed on a rotated page
  LONG widestRotatedObject_ = 0;
  // Page text layout, kept from one PrintNormal call to the next.
  int pageTextLayout_ = 0;   // the translator lays out PrintNormal text in the page
  LONG pageCurrentY_ = 0;    // dots across the lines used by the call so far
  int partialLine_ = 0;      // the last call ended inside a sideways line ...
  LONG carriedX_ = 0;        // ... this far along it
  LONG widestLine_ = 0;      // since the last rotation change
  int rotationDirection_ = 0;  // ESC T argument of the sideways page being collected
  LONG rotatedPageResult_ = 0;  // the write of the sideways page the last turn printed
  void ClearBitmapTable();
  // Sends the downloaded image again after a printer reset (ESC @ clears its RAM).
  void RestoreDownloadedBitmap();
  LONG StoreObjectResult(LONG code, LONG* result);
  int IsObjectBusy() const;
  PrinterBuffer* ObjectOutputBuffer(int rotateWith);
  LONG Pdf417Sizing(const PrinterBuffer& data, LONG height, LONG width, int* columns,
                    int* moduleWidth, int* rowHeight, LONG* totalWidth);
  LONG QrSizing(const PrinterBuffer& data, LONG height, int* moduleSize, LONG* totalWidth);
  PrinterBuffer lineBuffer_{32, 32};        // the current line before it is flushed
  PrinterBuffer escapeDataBuffer_{32, 32};  // data of an ESC | R or ESC | E sequence
  BYTE printMode_ = 0;  // the mode byte SelectPrintMode sent last

  // Ruled lines and curved text: the converted argument of the last call.
  PrinterBuffer lineDataBuffer_{32, 32};
  PrinterBuffer curvedTextBuffer_{32, 32};
  bool LineOutputEnds(const wchar_t* tooLittle, LONG* result);
  PrinterBuffer& LineOutputBuffer();
  LONG FinishLineOutput(PrinterBuffer& out, LONG* result);

  // Output state
  int transaction_ = 0;
  int pageMode_ = 0;
  int rotateRight90_ = 0, rotateLeft90_ = 0, rotate180_ = 0;
  int characterSetChanged_ = 0, fontChanged_ = 0, lineSpacingChanged_ = 0,
      lineWidthChanged_ = 0, letterQualityChanged_ = 0, rotate180Toggled_ = 0;

 private:
};

}  // namespace Tesk::Printer
