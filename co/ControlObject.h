// The part the POSPrinter and CashDrawer control objects share: opening a device by
// logical or device name through the registry and the COM layer, calling the service
// object by the DISPIDs it names, the result codes the application sees, and the event
// sink that turns the service object's callbacks into application callbacks.
//
// Threads: the application calls a control object from one thread. Event callbacks run
// on the service object's event thread; set them before Open. A callback may call the
// control object, even close it, while the application thread leaves it alone.
#pragma once

#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/com.h"

namespace zanth::co {

// Application callbacks for the service object's events.
struct Events {
  std::function<void(LONG data)> statusUpdate;
  std::function<void(LONG outputId)> outputComplete;
  // The response starts as the service object proposes it; the callback may change it.
  std::function<void(LONG resultCode, LONG resultCodeExtended, LONG errorLocus,
                     LONG& errorResponse)>
      error;
  std::function<void(LONG eventNumber, LONG& data, std::wstring& text)> directIO;
};

class EventSink;

// One argument list, first parameter first; owns the strings it made.
class ArgList {
 public:
  ArgList() = default;
  ArgList(const ArgList&) = delete;
  ArgList& operator=(const ArgList&) = delete;
  ~ArgList();
  ArgList& Long(LONG value);
  ArgList& Bool(bool value);
  ArgList& String(const std::wstring& text);
  ArgList& Dispatch(IDispatch* dispatch);
  ArgList& LongRef(LONG* value);
  ArgList& StringRef(BSTR* value);
  // In the order Invoke wants: the last parameter first.
  std::vector<VARIANT> Reversed() const { return {args_.rbegin(), args_.rend()}; }

 private:
  std::vector<VARIANT> args_;
};

class ControlObject {
 public:
  ControlObject(const ControlObject&) = delete;
  ControlObject& operator=(const ControlObject&) = delete;
  virtual ~ControlObject();

  // Opens by logical name (a string value of the class key naming a device) or device
  // name. Returns the result code; OpenResult tells why an open failed (301 to 307, or
  // the service object's own code).
  LONG Open(const std::wstring& deviceName);
  LONG Close();
  LONG ClaimDevice(LONG timeout);
  LONG ReleaseDevice();
  LONG CheckHealth(LONG level);
  LONG DirectIO(LONG command, LONG& data, std::wstring& text);
  LONG ResetStatistics(const std::wstring& statisticsBuffer);
  LONG RetrieveStatistics(std::wstring& statisticsBuffer);
  LONG UpdateStatistics(const std::wstring& statisticsBuffer);
  LONG CompareFirmwareVersion(const std::wstring& firmwareFileName, LONG& result);
  LONG UpdateFirmware(const std::wstring& firmwareFileName);

  bool IsOpen() const { return service_ != nullptr; }
  bool Claimed();
  bool DeviceEnabled();
  void SetDeviceEnabled(bool enabled);
  bool FreezeEvents();
  void SetFreezeEvents(bool freeze);
  // The container's freeze (nested calls count): COFreezeEvents with VARIANT_TRUE when the
  // count leaves 0 and VARIANT_FALSE when it returns; a freeze before Open is sent after it.
  void ContainerFreezeEvents(bool freeze);
  LONG ResultCode();
  LONG ResultCodeExtended();
  LONG State();
  LONG OpenResult() const { return openResult_; }
  std::wstring ControlObjectDescription() const;
  LONG ControlObjectVersion() const { return kControlObjectVersion; }
  // The HRESULT of the last call into the service object.
  HRESULT LastHresult() const { return lastHresult_.load(); }

  // Any property by its PIDX. Closed: 0 or "[Error]", and sets are ignored.
  LONG GetNumberProperty(LONG index);
  void SetNumberProperty(LONG index, LONG value);
  std::wstring GetStringProperty(LONG index);
  void SetStringProperty(LONG index, const std::wstring& value);

#define ZANTH_NUMBER_PROPERTY_RO(name, pidx) LONG name();
#define ZANTH_NUMBER_PROPERTY_RW(name, pidx) LONG name(); void Set##name(LONG value);
#define ZANTH_STRING_PROPERTY_RO(name, pidx) std::wstring name();
#define ZANTH_STRING_PROPERTY_RW(name, pidx) \
  std::wstring name();                       \
  void Set##name(const std::wstring& value);
#include "CommonProperties.inc"
#undef ZANTH_NUMBER_PROPERTY_RO
#undef ZANTH_NUMBER_PROPERTY_RW
#undef ZANTH_STRING_PROPERTY_RO
#undef ZANTH_STRING_PROPERTY_RW

  Events& Callbacks() { return events_; }

  static constexpr LONG kControlObjectVersion = 1013001;

 protected:
  // Positions in the method-name table of the methods both classes have.
  struct CommonMethods {
    int closeService;
    int directIO;
    int releaseDevice;
    int resetStatistics;
    int retrieveStatistics;
    int updateStatistics;
    int compareFirmwareVersion;
    int updateFirmware;
  };
  static constexpr int kCOFreezeEvents = 0;
  static constexpr int kGetPropertyNumber = 1;
  static constexpr int kSetPropertyNumber = 2;
  static constexpr int kGetPropertyString = 3;
  static constexpr int kSetPropertyString = 4;
  static constexpr int kOpenService = 5;
  static constexpr int kCheckHealth = 6;
  static constexpr int kClaimDevice = 7;

  // methodNames: the service object's methods in the order the standard control object
  // looks them up; requiredCounts: how many of them each minor release (index) must have.
  ControlObject(const wchar_t* deviceClass, std::span<const wchar_t* const> methodNames,
                std::span<const int> requiredCounts, const CommonMethods& common,
                bool exclusive);

  // Calls method `index` with DISPATCH_METHOD; the result comes back in pVarResult.
  // Closed: 101; a method the service object's release lacks: 104; a COM failure: 104.
  LONG Call(int index, const ArgList& args);
  // A method outside the standard table (this service object's own), looked up by name
  // at its first call after Open. Closed: 101; a service object without it: 104.
  LONG CallNamed(const wchar_t* name, const ArgList& args);

 private:
  HRESULT InvokeService(int index, const ArgList& args, VARIANT* result);
  HRESULT InvokeDispid(DISPID id, const ArgList& args, VARIANT* result);
  LONG CallDispid(DISPID id, const ArgList& args);
  LONG FailOpen(LONG code, LONG openResult);
  void ReleaseService();

  const wchar_t* deviceClass_;
  std::span<const wchar_t* const> methodNames_;
  std::span<const int> requiredCounts_;
  CommonMethods common_;
  bool exclusive_;

  IDispatch* service_ = nullptr;
  std::vector<DISPID> dispids_;
  std::vector<std::pair<std::wstring, DISPID>> namedDispids_;  // DISPID_UNKNOWN: lacking
  int maxMethod_ = 0;
  LONG openResult_ = 0;
  // Atomic: a callback on the event thread may already run while a call that enabled the
  // device is still finishing here.
  std::atomic<LONG> coResultCode_{-1};  // -1: the service object's ResultCode stands
  std::atomic<HRESULT> lastHresult_{S_OK};
  int containerFreezes_ = 0;
  Events events_;
  EventSink* sink_ = nullptr;
};

}  // namespace zanth::co
