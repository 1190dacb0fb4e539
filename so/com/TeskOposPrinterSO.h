// The service object: one COM object per control object, serving a POSPrinter or a
// CashDrawer. The first instance that opens a printer owns its engine; later instances
// of the same printer, and drawers driven by it, attach to that owner, which combines
// their claim, enable and freeze requests into the engine's single state.
//
// Threads: a control object calls its service object from one thread, but two control
// objects of one printer may be used from two threads: every dispatched call holds the
// device's engine lock. The engine's worker reaches the object only through
// IPrinterEventHandle; the event thread calls the control objects and, for the
// response to an error, RequestRetry and RequestClearOutput.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "ClientTable.h"
#include "DeviceEntry.h"
#include "EventThread.h"
#include "ITeskOposPrinterSO.h"
#include "PrinterBase.h"
#include "PrinterEvents.h"

class CTeskOposPrinterSO final : public ITeskOposPrinterSO,
                                 public Tesk::Printer::IPrinterEventHandle {
 public:
  static constexpr int kInstanceTableSize = 255;
  static constexpr LONG kServiceObjectVersion = 1013001;  // UnifiedPOS 1.13, build 1

  // Created with one reference (the class factory hands it out).
  CTeskOposPrinterSO();
  CTeskOposPrinterSO(const CTeskOposPrinterSO&) = delete;
  CTeskOposPrinterSO& operator=(const CTeskOposPrinterSO&) = delete;

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IDispatch
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                        DISPID* dispids) override;
  HRESULT Invoke(DISPID member, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // ITeskOposPrinterSO
  HRESULT COFreezeEvents(VARIANT_BOOL freeze, LONG* pRC) override;
  HRESULT GetPropertyNumber(LONG index, LONG* value) override;
  HRESULT SetPropertyNumber(LONG index, LONG value, LONG* pRC) override;
  HRESULT GetPropertyString(LONG index, BSTR* value) override;
  HRESULT SetPropertyString(LONG index, BSTR value, LONG* pRC) override;
  HRESULT OpenService(BSTR classKey, BSTR deviceName, IDispatch* eventReceiver,
                      LONG* pRC) override;
  HRESULT CheckHealth(LONG level, LONG* pRC) override;
  HRESULT ClaimDevice(LONG timeout, LONG* pRC) override;
  HRESULT ClearOutput(LONG* pRC) override;
  HRESULT CloseService(LONG* pRC) override;
  HRESULT DirectIO(LONG command, LONG* data, BSTR* text, LONG* pRC) override;
  HRESULT ReleaseDevice(LONG* pRC) override;
  HRESULT BeginRemoval(LONG timeout, LONG* pRC) override;
  HRESULT CutPaper(LONG percentage, LONG* pRC) override;
  HRESULT EndInsertion(LONG* pRC) override;
  HRESULT EndRemoval(LONG* pRC) override;
  HRESULT PrintBarCode(LONG station, BSTR data, LONG symbology, LONG height, LONG width,
                       LONG alignment, LONG textPosition, LONG* pRC) override;
  HRESULT PrintBitmap(LONG station, BSTR fileName, LONG width, LONG alignment,
                      LONG* pRC) override;
  HRESULT PrintImmediate(LONG station, BSTR data, LONG* pRC) override;
  HRESULT PrintNormal(LONG station, BSTR data, LONG* pRC) override;
  HRESULT PrintTwoNormal(LONG stations, BSTR data1, BSTR data2, LONG* pRC) override;
  HRESULT RotatePrint(LONG station, LONG rotation, LONG* pRC) override;
  HRESULT SetBitmap(LONG bitmapNumber, LONG station, BSTR fileName, LONG width,
                    LONG alignment, LONG* pRC) override;
  HRESULT SetLogo(LONG location, BSTR data, LONG* pRC) override;
  HRESULT TransactionPrint(LONG station, LONG control, LONG* pRC) override;
  HRESULT ValidateData(LONG station, BSTR data, LONG* pRC) override;
  HRESULT ChangePrintSide(LONG side, LONG* pRC) override;
  HRESULT MarkFeed(LONG type, LONG* pRC) override;
  HRESULT ResetStatistics(BSTR statistics, LONG* pRC) override;
  HRESULT RetrieveStatistics(BSTR* statistics, LONG* pRC) override;
  HRESULT UpdateStatistics(BSTR statistics, LONG* pRC) override;
  HRESULT CompareFirmwareVersion(BSTR firmwareFileName, LONG* result, LONG* pRC) override;
  HRESULT UpdateFirmware(BSTR firmwareFileName, LONG* pRC) override;
  HRESULT ClearPrintArea(LONG* pRC) override;
  HRESULT PageModePrint(LONG control, LONG* pRC) override;
  HRESULT PrintMemoryBitmap(LONG station, BSTR data, LONG type, LONG width, LONG alignment,
                            LONG* pRC) override;
  HRESULT DrawRuledLine(LONG station, BSTR positionList, LONG lineDirection, LONG lineWidth,
                        LONG lineStyle, LONG lineColor, LONG* pRC) override;
  HRESULT BeginInsertion(LONG timeout, LONG* pRC) override;
  HRESULT GetOpenResult(LONG* openResult) override;
  HRESULT OpenDrawer(LONG* pRC) override;
  HRESULT WaitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration,
                             LONG beepDelay, LONG* pRC) override;
  HRESULT PrintLine(LONG station, BSTR positionList, LONG* pRC) override;
  HRESULT PrintCurveText(LONG station, LONG textNumber, LONG horizontalPosition, BSTR text,
                         LONG* pRC) override;

  // IPrinterEventHandle (engine reports; any thread)
  void OnErrorEvent(const wchar_t* errorText) override;
  void OnOutputComplete(LONG outputId) override;
  void OnStatusUpdate(LONG status) override;
  LONG OnPollState() override;
  void OnOutputError(LONG resultCode, LONG resultCodeExtended,
                     const wchar_t* errorText) override;

  // Event delivery (called on the event thread by queued event tasks).
  void FireEvent(VARIANT* args, int count, int kind, LONG* response);
  void RequestRetry();
  // The answer OPOS_ER_CLEAR: drops the queued output only, so the buffers the
  // application's thread may be filling meanwhile are not touched.
  void RequestClearOutput();
  // Serialises every call into the engine of this device: the owner and the instances
  // attached to it share one lock, so two control objects used from two threads never
  // meet inside the engine.
  std::shared_ptr<std::recursive_mutex> EngineLock() const;
  // Runs what waits for a person or for seconds (a modal box, a pause of the drawer wait)
  // without the device's lock, so its other clients, the poll and event delivery go on.
  // The calling client stays in the table meanwhile, so the engine outlives it.
  void WithoutEngineLock(const std::function<void()>& wait);
  // The engine lock for one delivery on the event thread (control objects' callbacks call
  // back into the service object). Not owned when the thread was asked to hold or end
  // first: the application's thread may hold the lock while it waits for exactly that.
  std::unique_lock<std::recursive_mutex> LockForDelivery();

  // For tests: how many instances are alive in this process and hold an engine.
  static int LiveEngineCount();

 private:
  enum class StationCheck { None, First, Second };

  ~CTeskOposPrinterSO();

  bool IsPrinterRole() const { return role_ != 0; }
  bool HasEngineOrOwner() const { return engine_ || owner_; }
  // This instance's own claim and enable. An owner's claimed_ and enabled_ follow the
  // engine (all clients combined); its own requests are its client-table entry.
  LONG OwnClaimed() const;
  LONG OwnEnabled() const;
  // The engine this instance drives: its own, or its owner's.
  Tesk::Printer::CPrinterBase* Engine() const;
  // Sets ResultCode and *pRC; ResultCodeExtended only when given.
  void Fail(LONG code, LONG* pRC);
  bool StateCheck(LONG* pRC);
  bool StationAccepted(LONG station, LONG* pRC);
  template <class Call>
  void RunForwarded(StationCheck check, LONG station, LONG* pRC, bool isSetLogo, Call call);

  LONG FullOpen(const std::wstring& printerName, const DrawerParameters& drawer);
  void AbandonFullOpen();
  static CTeskOposPrinterSO* FindOwner(const std::wstring& deviceName);
  bool Attach(CTeskOposPrinterSO* owner, const DrawerParameters& drawer);
  void LookUpEventDispIds(IDispatch* receiver);

  void SetDeviceEnabled(LONG value, LONG* pRC);
  void CombineEnable(CTeskOposPrinterSO* caller, LONG value, LONG* pRC);
  void StopEventThread(DWORD waitMs);
  void Destroy();

  void QueueEvent(int kind, const VARIANT* args, int count);
  void QueueError(LONG resultCode, LONG resultCodeExtended, const wchar_t* errorText);
  // ErrorString becomes the engine's text of the call just made (empty: nothing to report).
  void TakeErrorString(const Tesk::Printer::CPrinterBase& engine);
  std::optional<SoClient> CallerClient(CTeskOposPrinterSO* target) const;
  void SetUpDrawerFor(CTeskOposPrinterSO* caller);

  std::atomic<ULONG> refs_{1};

  LONG role_ = 1;
  LONG opened_ = 0;
  LONG claimed_ = 0;
  LONG enabled_ = 0;
  LONG openResult_ = 0;
  // Also written by the event thread (a failed delivery) and read by engine reports.
  std::atomic<LONG> resultCode_{-1};
  std::atomic<LONG> resultCodeExtended_{0};
  std::unique_ptr<Tesk::Printer::CPrinterBase> engine_;
  std::unique_ptr<CClientTable> clients_;
  CTeskOposPrinterSO* owner_ = nullptr;  // holds one reference on it
  LONG instanceSlot_ = 0;
  // True from a full open to the engine's close: other instances may attach meanwhile.
  std::atomic<bool> sharing_{false};
  std::wstring deviceName_;
  IDispatch* eventReceiver_ = nullptr;  // not reference-counted, as the control object expects
  std::array<DISPID, 4> eventDispIds_{DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN,
                                      DISPID_UNKNOWN};
  Tesk::Printer::PrinterEntry printerEntry_;
  Tesk::Printer::DrawerEntry drawerEntry_;
  LONG asyncMode_ = 0;
  std::atomic<LONG> flagWhenIdle_{0};
  LONG freezeEvents_ = 0;
  std::atomic<LONG> errorLevel_{0};
  std::wstring errorString_;  // at most 127 characters
  LONG drawerCapStatus_ = 0;
  LONG lastDrawerState_ = 0;
  std::atomic<LONG> lastStatus_{0};
  std::wstring drawerHealthText_;
  std::unique_ptr<CTaskContextBase> eventContext_;
  std::unique_ptr<CTaskThreadBase2> eventThread_;
  std::atomic<bool> disabledEvent_{false};  // manual reset: set, nothing is delivered
  std::mutex errorStringMutex_;
  std::shared_ptr<std::recursive_mutex> engineLock_ = std::make_shared<std::recursive_mutex>();
  // Held by the event thread around each call of a control object, and by removing a
  // client; recursive, as a control object may close from inside its callback.
  std::recursive_mutex deliveryMutex_;
};
