// The service object's dual interface: the seven IDispatch entries, then 43 methods in
// this vtable order. Every method returns S_OK; the OPOS result comes back in the last
// argument. LONG* and BSTR* arguments are out-parameters (DirectIO's are in and out).
#pragma once

#include "platform/com.h"

class ITeskOposPrinterSO : public IDispatch {
 public:
  virtual HRESULT COFreezeEvents(VARIANT_BOOL freeze, LONG* pRC) = 0;
  virtual HRESULT GetPropertyNumber(LONG index, LONG* value) = 0;
  virtual HRESULT SetPropertyNumber(LONG index, LONG value, LONG* pRC) = 0;
  virtual HRESULT GetPropertyString(LONG index, BSTR* value) = 0;
  virtual HRESULT SetPropertyString(LONG index, BSTR value, LONG* pRC) = 0;
  virtual HRESULT OpenService(BSTR classKey, BSTR deviceName, IDispatch* eventReceiver,
                              LONG* pRC) = 0;
  virtual HRESULT CheckHealth(LONG level, LONG* pRC) = 0;
  virtual HRESULT ClaimDevice(LONG timeout, LONG* pRC) = 0;
  virtual HRESULT ClearOutput(LONG* pRC) = 0;
  virtual HRESULT CloseService(LONG* pRC) = 0;
  virtual HRESULT DirectIO(LONG command, LONG* data, BSTR* text, LONG* pRC) = 0;
  virtual HRESULT ReleaseDevice(LONG* pRC) = 0;
  virtual HRESULT BeginRemoval(LONG timeout, LONG* pRC) = 0;
  virtual HRESULT CutPaper(LONG percentage, LONG* pRC) = 0;
  virtual HRESULT EndInsertion(LONG* pRC) = 0;
  virtual HRESULT EndRemoval(LONG* pRC) = 0;
  virtual HRESULT PrintBarCode(LONG station, BSTR data, LONG symbology, LONG height,
                               LONG width, LONG alignment, LONG textPosition, LONG* pRC) = 0;
  virtual HRESULT PrintBitmap(LONG station, BSTR fileName, LONG width, LONG alignment,
                              LONG* pRC) = 0;
  virtual HRESULT PrintImmediate(LONG station, BSTR data, LONG* pRC) = 0;
  virtual HRESULT PrintNormal(LONG station, BSTR data, LONG* pRC) = 0;
  virtual HRESULT PrintTwoNormal(LONG stations, BSTR data1, BSTR data2, LONG* pRC) = 0;
  virtual HRESULT RotatePrint(LONG station, LONG rotation, LONG* pRC) = 0;
  virtual HRESULT SetBitmap(LONG bitmapNumber, LONG station, BSTR fileName, LONG width,
                            LONG alignment, LONG* pRC) = 0;
  virtual HRESULT SetLogo(LONG location, BSTR data, LONG* pRC) = 0;
  virtual HRESULT TransactionPrint(LONG station, LONG control, LONG* pRC) = 0;
  virtual HRESULT ValidateData(LONG station, BSTR data, LONG* pRC) = 0;
  virtual HRESULT ChangePrintSide(LONG side, LONG* pRC) = 0;
  virtual HRESULT MarkFeed(LONG type, LONG* pRC) = 0;
  virtual HRESULT ResetStatistics(BSTR statistics, LONG* pRC) = 0;
  virtual HRESULT RetrieveStatistics(BSTR* statistics, LONG* pRC) = 0;
  virtual HRESULT UpdateStatistics(BSTR statistics, LONG* pRC) = 0;
  virtual HRESULT CompareFirmwareVersion(BSTR firmwareFileName, LONG* result, LONG* pRC) = 0;
  virtual HRESULT UpdateFirmware(BSTR firmwareFileName, LONG* pRC) = 0;
  virtual HRESULT ClearPrintArea(LONG* pRC) = 0;
  virtual HRESULT PageModePrint(LONG control, LONG* pRC) = 0;
  virtual HRESULT PrintMemoryBitmap(LONG station, BSTR data, LONG type, LONG width,
                                    LONG alignment, LONG* pRC) = 0;
  virtual HRESULT DrawRuledLine(LONG station, BSTR positionList, LONG lineDirection,
                                LONG lineWidth, LONG lineStyle, LONG lineColor, LONG* pRC) = 0;
  virtual HRESULT BeginInsertion(LONG timeout, LONG* pRC) = 0;
  virtual HRESULT GetOpenResult(LONG* openResult) = 0;
  virtual HRESULT OpenDrawer(LONG* pRC) = 0;
  virtual HRESULT WaitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration,
                                     LONG beepDelay, LONG* pRC) = 0;
  virtual HRESULT PrintLine(LONG station, BSTR positionList, LONG* pRC) = 0;
  virtual HRESULT PrintCurveText(LONG station, LONG textNumber, LONG horizontalPosition,
                                 BSTR text, LONG* pRC) = 0;
};
