#include "ControlObject.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "OposConstants.h"
#include "platform/registry.h"

namespace zanth::co {

// --- Event sink ---------------------------------------------------------------------------

// The control object's IDispatch as the service object sees it. Its DISPIDs are the
// standard control objects' ones; a CashDrawer does not know the error and
// output-complete names and answers E_NOTIMPL at their DISPIDs.
class EventSink final : public IDispatch {
 public:
  static constexpr DISPID kDataDummy = 1;
  static constexpr DISPID kDirectIO = 2;
  static constexpr DISPID kError = 3;
  static constexpr DISPID kOutputComplete = 4;
  static constexpr DISPID kStatusUpdate = 5;
  static constexpr DISPID kProcessID = 9;

  EventSink(Events* events, bool printerNames) : events_(events), printerNames_(printerNames) {}

  void Allow(bool allowed) { allowed_ = allowed; }
  // After this no callback runs; a delivery in progress finishes first.
  void Detach() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    events_ = nullptr;
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) override {
    if (!names || !dispids) return E_INVALIDARG;
    struct Name {
      const wchar_t* text;
      DISPID id;
      bool printerOnly;
    };
    static const Name kNames[] = {
        {L"SODirectIO", kDirectIO, false},         {L"SOError", kError, true},
        {L"SOOutputComplete", kOutputComplete, true}, {L"SOStatusUpdate", kStatusUpdate, false},
        {L"SOProcessID", kProcessID, false},
    };
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      dispids[i] = DISPID_UNKNOWN;
      if (i == 0 && names[0]) {
        for (const Name& n : kNames) {
          if ((printerNames_ || !n.printerOnly) && platform::EqualsNoCase(n.text, names[0])) {
            dispids[0] = n.id;
          }
        }
      }
      if (dispids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }

  HRESULT Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO*, UINT*) override {
    try {
      return Deliver(member, params, result);
    } catch (...) {
      return DISP_E_EXCEPTION;  // an application callback's exception stays here
    }
  }

 private:
  ~EventSink() = default;

  static bool ReadLong(const VARIANT& v, LONG& out) {
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &v, 0, VT_I4))) return false;
    out = converted.lVal;
    return true;
  }

  HRESULT Deliver(DISPID member, DISPPARAMS* params, VARIANT* result) {
    const UINT argc = params ? params->cArgs : 0;
    if (argc > 0 && !params->rgvarg) return E_INVALIDARG;
    auto arg = [&](UINT position) -> VARIANT& { return params->rgvarg[argc - 1 - position]; };
    switch (member) {
      case kProcessID:
        if (result) {
          VariantInit(result);
          result->vt = VT_I4;
          result->lVal = static_cast<LONG>(getpid());
        }
        return S_OK;
      case kDataDummy:
        return E_NOTIMPL;
      case kError:
      case kOutputComplete:
        if (!printerNames_) return E_NOTIMPL;
        break;
      case kDirectIO:
      case kStatusUpdate:
        break;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
    const UINT expected = member == kError ? 4 : member == kDirectIO ? 3 : 1;
    if (argc != expected) return DISP_E_BADPARAMCOUNT;
    LONG first = 0;
    if (!ReadLong(arg(0), first)) return DISP_E_TYPEMISMATCH;

    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!events_ || !allowed_) return S_OK;  // not delivered; the service object cannot tell
    if (member == kStatusUpdate) {
      if (events_->statusUpdate) events_->statusUpdate(first);
    } else if (member == kOutputComplete) {
      if (events_->outputComplete) events_->outputComplete(first);
    } else if (member == kError) {
      LONG extended = 0;
      LONG locus = 0;
      if (!ReadLong(arg(1), extended) || !ReadLong(arg(2), locus)) return DISP_E_TYPEMISMATCH;
      VARIANT& responseArg = arg(3);
      LONG response = 0;
      if (!ReadLong(responseArg, response)) return DISP_E_TYPEMISMATCH;
      if (events_->error) events_->error(first, extended, locus, response);
      if (responseArg.vt == (VT_BYREF | VT_I4)) *responseArg.plVal = response;
    } else {
      VARIANT& dataArg = arg(1);
      VARIANT& textArg = arg(2);
      LONG data = 0;
      if (!ReadLong(dataArg, data)) return DISP_E_TYPEMISMATCH;
      std::wstring text;
      if ((textArg.vt & ~VT_BYREF) == VT_BSTR) {
        text = platform::FromBstr(textArg.vt & VT_BYREF ? (textArg.pbstrVal ? *textArg.pbstrVal : nullptr)
                                                        : textArg.bstrVal);
      }
      if (events_->directIO) events_->directIO(first, data, text);
      if (dataArg.vt == (VT_BYREF | VT_I4)) *dataArg.plVal = data;
      if (textArg.vt == (VT_BYREF | VT_BSTR) && textArg.pbstrVal) {
        SysReAllocString(textArg.pbstrVal, text.c_str());
      }
    }
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  std::recursive_mutex mutex_;
  Events* events_;
  bool printerNames_;
  std::atomic<bool> allowed_{false};
};

// --- Arguments ----------------------------------------------------------------------------

ArgList::~ArgList() {
  for (VARIANT& v : args_) {
    if (!(v.vt & VT_BYREF) && v.vt != VT_DISPATCH) VariantClear(&v);
  }
}
ArgList& ArgList::Long(LONG value) {
  args_.push_back(platform::MakeI4(value));
  return *this;
}
ArgList& ArgList::Bool(bool value) {
  args_.push_back(platform::MakeBool(value));
  return *this;
}
ArgList& ArgList::String(const std::wstring& text) {
  args_.push_back(platform::MakeBstr(text));  // never a null BSTR, even for ""
  return *this;
}
ArgList& ArgList::Dispatch(IDispatch* dispatch) {
  args_.push_back(platform::MakeDispatch(dispatch));
  return *this;
}
ArgList& ArgList::LongRef(LONG* value) {
  args_.push_back(platform::MakeI4Ref(value));
  return *this;
}
ArgList& ArgList::StringRef(BSTR* value) {
  args_.push_back(platform::MakeBstrRef(value));
  return *this;
}

// --- Control object -----------------------------------------------------------------------

namespace {

constexpr wchar_t kServiceRoot[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\";
constexpr size_t kMaxNameChars = 255;  // a registry buffer of 256 characters

// A REG_SZ value of an open key (nullptr: the default value).
bool ReadString(HKEY key, const wchar_t* name, std::wstring& text) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                       &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  text.assign(buffer.c_str());
  return true;
}

LONG ResultAsLong(const VARIANT& result) {
  VARIANT converted;
  VariantInit(&converted);
  return SUCCEEDED(VariantChangeType(&converted, &result, 0, VT_I4)) ? converted.lVal : 0;
}

}  // namespace

ControlObject::ControlObject(const wchar_t* deviceClass,
                             std::span<const wchar_t* const> methodNames,
                             std::span<const int> requiredCounts, const CommonMethods& common,
                             bool exclusive)
    : deviceClass_(deviceClass),
      methodNames_(methodNames),
      requiredCounts_(requiredCounts),
      common_(common),
      exclusive_(exclusive),
      sink_(new EventSink(&events_, exclusive)) {}

ControlObject::~ControlObject() {
  if (service_) Close();
  sink_->Detach();
  sink_->Release();
}

std::wstring ControlObject::ControlObjectDescription() const {
  return std::wstring(L"OPOS ") + deviceClass_ + L" Control 1.13.001 [Zanth]";
}

LONG ControlObject::FailOpen(LONG code, LONG openResult) {
  openResult_ = openResult;
  coResultCode_ = code;
  return code;
}

void ControlObject::ReleaseService() {
  if (service_) service_->Release();
  service_ = nullptr;
  dispids_.clear();
  namedDispids_.clear();
  maxMethod_ = 0;
}

LONG ControlObject::Open(const std::wstring& deviceName) {
  coResultCode_ = -1;
  if (service_) return FailOpen(OPOS_E_ILLEGAL, OPOS_OR_ALREADYOPEN);
  if (deviceName.empty() || deviceName.size() > kMaxNameChars) {
    return FailOpen(OPOS_E_NOEXIST, OPOS_OR_REGBADNAME);
  }

  // A logical name is a REG_SZ value of the class key; anything else is the device name.
  HKEY classKey = nullptr;
  const std::wstring classPath = std::wstring(kServiceRoot) + deviceClass_;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, classPath.c_str(), 0, KEY_READ, &classKey) !=
      ERROR_SUCCESS) {
    return FailOpen(OPOS_E_NOEXIST, OPOS_OR_REGBADNAME);
  }
  std::wstring physical;
  if (!ReadString(classKey, deviceName.c_str(), physical)) physical = deviceName;
  HKEY deviceKey = nullptr;
  const LONG opened = RegOpenKeyExW(classKey, physical.c_str(), 0, KEY_READ, &deviceKey);
  RegCloseKey(classKey);
  if (opened != ERROR_SUCCESS || physical.empty()) {
    return FailOpen(OPOS_E_NOEXIST, OPOS_OR_REGBADNAME);
  }
  std::wstring progId;
  const bool haveProgId = ReadString(deviceKey, nullptr, progId);
  RegCloseKey(deviceKey);
  if (!haveProgId) return FailOpen(OPOS_E_NOSERVICE, OPOS_OR_REGPROGID);

  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid))) {
    return FailOpen(OPOS_E_NOSERVICE, OPOS_OR_REGPROGID);
  }
  IUnknown* unknown = nullptr;
  lastHresult_ = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown,
                                  reinterpret_cast<void**>(&unknown));
  if (FAILED(lastHresult_) || !unknown) return FailOpen(OPOS_E_NOSERVICE, OPOS_OR_CREATE);
  lastHresult_ = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&service_));
  unknown->Release();
  if (FAILED(lastHresult_) || !service_) {
    service_ = nullptr;
    return FailOpen(OPOS_E_NOSERVICE, OPOS_OR_CREATE);
  }

  // The methods found in a row from the start of the table decide what may be called.
  dispids_.assign(methodNames_.size(), DISPID_UNKNOWN);
  int found = 0;
  for (const wchar_t* name : methodNames_) {
    std::wstring candidate = name;
    LPOLESTR names[] = {candidate.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = service_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr)) {
      // Older service objects name three methods without "Device" / "Service".
      const std::wstring older = candidate == L"CloseService"    ? L"Close"
                                 : candidate == L"ClaimDevice"   ? L"Claim"
                                 : candidate == L"ReleaseDevice" ? L"Release"
                                                                 : L"";
      if (!older.empty()) {
        candidate = older;
        names[0] = candidate.data();
        hr = service_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
      }
    }
    if (FAILED(hr)) break;
    dispids_[found++] = id;
  }
  if (found < requiredCounts_.front()) {
    ReleaseService();
    return FailOpen(OPOS_E_NOSERVICE, OPOS_OR_BADIF);
  }
  maxMethod_ = found;

  ArgList openArgs;
  openArgs.String(deviceClass_).String(physical).Dispatch(sink_);
  VARIANT result;
  VariantInit(&result);
  lastHresult_ = InvokeService(kOpenService, openArgs, &result);
  const LONG code = SUCCEEDED(lastHresult_) ? ResultAsLong(result) : OPOS_E_NOSERVICE;
  VariantClear(&result);
  if (FAILED(lastHresult_) || code != 0) {
    openResult_ = OPOS_OR_FAILEDOPEN;
    if (SUCCEEDED(lastHresult_)) {
      std::wstring name = L"GetOpenResult";
      LPOLESTR names[] = {name.data()};
      DISPID id = DISPID_UNKNOWN;
      if (SUCCEEDED(service_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id))) {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(service_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                       &none, &value, nullptr, nullptr))) {
          openResult_ = ResultAsLong(value);
        }
        VariantClear(&value);
      }
    }
    ReleaseService();
    coResultCode_ = code;
    return code;
  }
  sink_->Allow(true);

  // The service object's version decides which methods it must have.
  const LONG version = GetNumberProperty(PIDX_ServiceObjectVersion);
  const LONG major = version / 1000000;
  const LONG minor = (version / 1000) % 1000;
  LONG failure = 0;
  if (major != 1) {
    failure = OPOS_OR_BADVERSION;
  } else {
    const size_t row = std::min<size_t>(static_cast<size_t>(minor), requiredCounts_.size() - 1);
    maxMethod_ = requiredCounts_[row];
    if (found < maxMethod_) failure = OPOS_OR_BADIF;
  }
  if (failure) {
    Close();
    openResult_ = failure;
    coResultCode_ = OPOS_E_NOSERVICE;
    return OPOS_E_NOSERVICE;
  }
  if (containerFreezes_ > 0) Call(kCOFreezeEvents, ArgList().Bool(true));
  openResult_ = 0;
  coResultCode_ = -1;
  return OPOS_SUCCESS;
}

HRESULT ControlObject::InvokeService(int index, const ArgList& args, VARIANT* result) {
  return InvokeDispid(dispids_[static_cast<size_t>(index)], args, result);
}

HRESULT ControlObject::InvokeDispid(DISPID id, const ArgList& args, VARIANT* result) {
  std::vector<VARIANT> reversed = args.Reversed();
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  return service_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                          nullptr, nullptr);
}

LONG ControlObject::Call(int index, const ArgList& args) {
  coResultCode_ = -1;
  if (!service_) return OPOS_E_CLOSED;
  if (index >= maxMethod_) {
    coResultCode_ = OPOS_E_NOSERVICE;
    return OPOS_E_NOSERVICE;
  }
  return CallDispid(dispids_[static_cast<size_t>(index)], args);
}

LONG ControlObject::CallNamed(const wchar_t* name, const ArgList& args) {
  coResultCode_ = -1;
  if (!service_) return OPOS_E_CLOSED;
  auto known = std::find_if(namedDispids_.begin(), namedDispids_.end(),
                            [&](const auto& entry) { return entry.first == name; });
  if (known == namedDispids_.end()) {
    std::wstring candidate = name;
    LPOLESTR names[] = {candidate.data()};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(service_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id)))
      id = DISPID_UNKNOWN;
    known = namedDispids_.emplace(namedDispids_.end(), candidate, id);
  }
  if (known->second == DISPID_UNKNOWN) {
    coResultCode_ = OPOS_E_NOSERVICE;
    return OPOS_E_NOSERVICE;
  }
  return CallDispid(known->second, args);
}

LONG ControlObject::CallDispid(DISPID id, const ArgList& args) {
  VARIANT result;
  VariantInit(&result);
  lastHresult_ = InvokeDispid(id, args, &result);
  LONG code = OPOS_E_NOSERVICE;
  if (SUCCEEDED(lastHresult_)) {
    code = ResultAsLong(result);
  } else {
    coResultCode_ = OPOS_E_NOSERVICE;
  }
  VariantClear(&result);
  return code;
}

LONG ControlObject::Close() {
  coResultCode_ = -1;
  if (!service_) return OPOS_E_CLOSED;
  sink_->Allow(false);
  VARIANT result;
  VariantInit(&result);
  lastHresult_ = InvokeService(common_.closeService, ArgList(), &result);
  const LONG code = SUCCEEDED(lastHresult_) ? ResultAsLong(result) : OPOS_E_NOSERVICE;
  VariantClear(&result);
  ReleaseService();
  return code;
}

LONG ControlObject::ClaimDevice(LONG timeout) {
  if (!service_) return OPOS_E_CLOSED;
  if (exclusive_) sink_->Allow(true);
  return Call(kClaimDevice, ArgList().Long(timeout));
}

LONG ControlObject::ReleaseDevice() {
  if (!service_) return OPOS_E_CLOSED;
  // An exclusive device delivers no events between release and the next claim.
  if (exclusive_) sink_->Allow(false);
  return Call(common_.releaseDevice, ArgList());
}

LONG ControlObject::CheckHealth(LONG level) { return Call(kCheckHealth, ArgList().Long(level)); }

LONG ControlObject::DirectIO(LONG command, LONG& data, std::wstring& text) {
  platform::Bstr buffer(text);
  BSTR raw = buffer.Detach();
  const LONG code = Call(common_.directIO, ArgList().Long(command).LongRef(&data).StringRef(&raw));
  text = platform::FromBstr(raw);
  SysFreeString(raw);
  return code;
}

LONG ControlObject::ResetStatistics(const std::wstring& statisticsBuffer) {
  return Call(common_.resetStatistics, ArgList().String(statisticsBuffer));
}

LONG ControlObject::RetrieveStatistics(std::wstring& statisticsBuffer) {
  BSTR raw = SysAllocString(statisticsBuffer.c_str());
  const LONG code = Call(common_.retrieveStatistics, ArgList().StringRef(&raw));
  statisticsBuffer = platform::FromBstr(raw);
  SysFreeString(raw);
  return code;
}

LONG ControlObject::UpdateStatistics(const std::wstring& statisticsBuffer) {
  return Call(common_.updateStatistics, ArgList().String(statisticsBuffer));
}

LONG ControlObject::CompareFirmwareVersion(const std::wstring& firmwareFileName, LONG& result) {
  return Call(common_.compareFirmwareVersion,
              ArgList().String(firmwareFileName).LongRef(&result));
}

LONG ControlObject::UpdateFirmware(const std::wstring& firmwareFileName) {
  return Call(common_.updateFirmware, ArgList().String(firmwareFileName));
}

LONG ControlObject::GetNumberProperty(LONG index) {
  if (!service_) return 0;
  VARIANT result;
  VariantInit(&result);
  lastHresult_ = InvokeService(kGetPropertyNumber, ArgList().Long(index), &result);
  const LONG value = SUCCEEDED(lastHresult_) ? ResultAsLong(result) : 0;
  VariantClear(&result);
  return value;
}

void ControlObject::SetNumberProperty(LONG index, LONG value) {
  if (!service_) return;
  Call(kSetPropertyNumber, ArgList().Long(index).Long(value));
}

std::wstring ControlObject::GetStringProperty(LONG index) {
  if (!service_) return L"[Error]";
  VARIANT result;
  VariantInit(&result);
  lastHresult_ = InvokeService(kGetPropertyString, ArgList().Long(index), &result);
  std::wstring text;
  VARIANT converted;
  VariantInit(&converted);
  if (SUCCEEDED(lastHresult_) && SUCCEEDED(VariantChangeType(&converted, &result, 0, VT_BSTR))) {
    text = platform::FromBstr(converted.bstrVal);
  }
  VariantClear(&converted);
  VariantClear(&result);
  return text;
}

void ControlObject::SetStringProperty(LONG index, const std::wstring& value) {
  if (!service_) return;
  Call(kSetPropertyString, ArgList().Long(index).String(value));
}

bool ControlObject::Claimed() { return GetNumberProperty(PIDX_Claimed) != 0; }
bool ControlObject::DeviceEnabled() { return GetNumberProperty(PIDX_DeviceEnabled) != 0; }
// Booleans go over as 1 and 0: some service objects compare with 1.
void ControlObject::SetDeviceEnabled(bool enabled) {
  SetNumberProperty(PIDX_DeviceEnabled, enabled ? 1 : 0);
}
bool ControlObject::FreezeEvents() { return GetNumberProperty(PIDX_FreezeEvents) != 0; }

void ControlObject::SetFreezeEvents(bool freeze) {
  // The service object holds and queues the events; this object adds no freeze of its own.
  SetNumberProperty(PIDX_FreezeEvents, freeze ? 1 : 0);
}

void ControlObject::ContainerFreezeEvents(bool freeze) {
  if (freeze) {
    if (++containerFreezes_ == 1 && service_) Call(kCOFreezeEvents, ArgList().Bool(true));
  } else if (containerFreezes_ > 0) {
    if (--containerFreezes_ == 0 && service_) Call(kCOFreezeEvents, ArgList().Bool(false));
  }
}

LONG ControlObject::ResultCode() {
  if (!service_) return OPOS_E_CLOSED;
  if (coResultCode_ != -1) return coResultCode_;
  return GetNumberProperty(PIDX_ResultCode);
}

LONG ControlObject::ResultCodeExtended() {
  return service_ ? GetNumberProperty(PIDX_ResultCodeExtended) : 0;
}

LONG ControlObject::State() { return service_ ? GetNumberProperty(PIDX_State) : OPOS_S_CLOSED; }

#define ZANTH_NUMBER_PROPERTY_RO(name, pidx) \
  LONG ControlObject::name() { return GetNumberProperty(pidx); }
#define ZANTH_NUMBER_PROPERTY_RW(name, pidx)                         \
  LONG ControlObject::name() { return GetNumberProperty(pidx); }     \
  void ControlObject::Set##name(LONG value) { SetNumberProperty(pidx, value); }
#define ZANTH_STRING_PROPERTY_RO(name, pidx) \
  std::wstring ControlObject::name() { return GetStringProperty(pidx); }
#define ZANTH_STRING_PROPERTY_RW(name, pidx)                           \
  std::wstring ControlObject::name() { return GetStringProperty(pidx); } \
  void ControlObject::Set##name(const std::wstring& value) { SetStringProperty(pidx, value); }
#include "CommonProperties.inc"
#undef ZANTH_NUMBER_PROPERTY_RO
#undef ZANTH_NUMBER_PROPERTY_RW
#undef ZANTH_STRING_PROPERTY_RO
#undef ZANTH_STRING_PROPERTY_RW

}  // namespace zanth::co
