// The packet-framed dialect of the second printer model: ESC/POS for most commands,
// every outgoing block framed into packets, and the commands its printer lacks left out.
#pragma once

#include "CmdHelperBase.h"

class CmdHelper_K15 : public CCmdHelperBase {
 public:
  // Largest payload of one packet: AA, length, up to 46 bytes, XOR of them, BB.
  static constexpr int kPacketPayload = 46;

  explicit CmdHelper_K15(const char* modelName = nullptr);
  ~CmdHelper_K15() override;
  CmdHelper_K15(const CmdHelper_K15&) = default;
  CmdHelper_K15& operator=(const CmdHelper_K15&) = default;

  const char* ModelName() const { return modelName_; }

  int WriteData(PrinterBuffer& out, const PrinterBuffer& data) override;
  LONG DetectStatusChange(const BYTE* newStatus, BYTE* remembered) override;
  int IsDrawerStateChanged(int newByte, int oldByte, int flag) override;
  int IsDrawerOpen(int statusByte, int flag) override;
  int FormFeed(PrinterBuffer& out) override;
  int RequestRealTimeStatus(PrinterBuffer& out, int n) override;
  void GetDrawerStatusQuery(BYTE* query) override;
  int RealTimeRequest(PrinterBuffer& out, int n) override;
  int RealTimePrefix(PrinterBuffer& out, int unused1, int unused2) override;
  int RealTimeFunction1(PrinterBuffer& out) override;
  int RealTimeClearBuffers(PrinterBuffer& out) override;
  int PageFormFeed(PrinterBuffer& out) override;
  int SetRightSpacing(PrinterBuffer& out, int n) override;
  int SelectBitImage(PrinterBuffer& out, int mode, int width, const BYTE* data,
                     LONG length) override;
  int SetDefaultTabs(PrinterBuffer& out) override;
  int SelectCharacterFont(PrinterBuffer& out, int n) override;
  int SelectInternationalSet(PrinterBuffer& out, int n) override;
  int GetInternationalSetForCodePage(int codePage) override;
  int SelectStandardMode(PrinterBuffer& out) override;
  int GetPageDirectionForRotation(LONG rotation) override;
  int SetPageDirection(PrinterBuffer& out, int n) override;
  int SetRotate90(PrinterBuffer& out, int flag) override;
  int SetPageArea(PrinterBuffer& out, int x, int y, int dx, int dy) override;
  int SetPaperOutSensor(PrinterBuffer& out, int n) override;
  int SetPaperStopSensor(PrinterBuffer& out, int n) override;
  int EnablePanelButtons(PrinterBuffer& out, int flag) override;
  int GeneratePulse(PrinterBuffer& out, int pin, int onTime, int offTime) override;
  int SelectCodeTable(PrinterBuffer& out, int n) override;
  int SetAbsoluteVerticalPosition(PrinterBuffer& out, int dots) override;
  int ExecuteTestPrint(PrinterBuffer& out, int paper, int pattern) override;
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
  int PrintNvGraphics(PrinterBuffer& out, int key1, int key2, int scaleX, int scaleY) override;
  int DefineNvGraphics(PrinterBuffer& out, int key1, int key2, int twoColour, int width, int height,
                       const BYTE* data, LONG length) override;
  int FeedAndFullCut(PrinterBuffer& out) override;
  int FeedAndPartialCut(PrinterBuffer& out) override;
  int FeedToCutAndCut(PrinterBuffer& out, int n) override;
  int SetRelativeVerticalPosition(PrinterBuffer& out, int dots) override;
  int SetAutoStatusBack(PrinterBuffer& out, int n) override;
  int SetHriFont(PrinterBuffer& out, int n) override;
  int ResetMaintenanceCounter(PrinterBuffer& out, int counter) override;
  int QueryMaintenanceCounter(PrinterBuffer& out, int counter) override;
  int SelectCodePage(PrinterBuffer& out, int codePage) override;
  int DrawLineSegments(PrinterBuffer& out, const std::int16_t* positions, int segments) override;
  int PrintCurvedText(PrinterBuffer& out, int textNumber, int horizontalPosition, const BYTE* text,
                      LONG length) override;

 private:
  PrinterBuffer cachedTabs_{256};
  bool tabsBuilt_ = false;
  // Multi-part commands are assembled here before they are appended.
  PrinterBuffer compose_{512};
  PrinterBuffer scratch1_{32}, scratch2_{32}, scratch3_{32}, scratch4_{32}, scratch5_{32};
  char modelName_[255] = {};
  BYTE k15BitMask_[8];
};
