#include "TeskOposPrinterSO.h"

#include <algorithm>
#include <cerrno>
#include <cwctype>
#include <cstdio>
#include <cstring>

#include "DispatchTable.h"
#include "ModelFactory.h"
#include "Module.h"
#include "OposConstants.h"
#include "SoIdentifiers.h"
#include "platform/msgbox.h"
#include "platform/wtext.h"

using Tesk::Printer::CPrinterBase;

namespace {

constexpr int kErrorKind = 1;
constexpr int kOutputCompleteKind = 2;
constexpr int kStatusKind = 3;
constexpr size_t kErrorStringChars = 127;
// How long the application's thread waits for the event thread to end; the event
// thread itself never waits for its own end.
constexpr DWORD kEventThreadWaitMs = 2000;

// Every instance that completed a full open, found by device name. Locked: an owner may
// be closed and destroyed on its event thread while another thread opens.
std::mutex g_instancesMutex;
std::array<CTeskOposPrinterSO*, CTeskOposPrinterSO::kInstanceTableSize> g_instances{};
std::atomic<int> g_liveEngines{0};

std::wstring Text(BSTR text) { return platform::FromBstr(text); }

// Registry key names ignore letter case, so "p1" and "P1" are one printer.
bool SameDeviceName(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
         });
}

// One pending event; its arguments are copied (strings duplicated) and cleared with it.
class CPrinterCOEventsTask final : public CTaskBase {
 public:
  CPrinterCOEventsTask(CTeskOposPrinterSO* target, int kind, const VARIANT* args, int count)
      : target_(target), kind_(kind), count_(count) {
    for (int i = 0; i < count_; ++i) {
      VariantInit(&args_[i]);
      VariantCopy(&args_[i], &args[i]);
    }
  }
  ~CPrinterCOEventsTask() override {
    for (int i = 0; i < count_; ++i) VariantClear(&args_[i]);
  }
  int GetKind() override { return kind_; }

  int Execute() override {
    // A control object may release the service object from inside its callback; the
    // object stays alive until this delivery is over.
    target_->AddRef();
    struct Hold {
      CTeskOposPrinterSO* object;
      ~Hold() { object->Release(); }
    } hold{target_};
    // The engine lock is taken before the delivery lock, as on the application's thread.
    std::unique_lock<std::recursive_mutex> serialised = target_->LockForDelivery();
    if (!serialised.owns_lock()) return 0;
    LONG response = OPOS_ER_RETRY;
    target_->FireEvent(args_, count_, kind_, &response);
    if (!IsCancelled() && kind_ == kErrorKind && count_ >= 3 && args_[2].lVal == OPOS_EL_OUTPUT) {
      if (response == OPOS_ER_CLEAR) {
        target_->RequestClearOutput();
      } else if (response == OPOS_ER_RETRY) {
        target_->RequestRetry();
      }
    }
    return 1;
  }

 private:
  CTeskOposPrinterSO* target_;
  int kind_;
  int count_;
  VARIANT args_[7];
};

}  // namespace

CTeskOposPrinterSO::CTeskOposPrinterSO() { so_module::Lock(); }

CTeskOposPrinterSO::~CTeskOposPrinterSO() { so_module::Unlock(); }

int CTeskOposPrinterSO::LiveEngineCount() { return g_liveEngines.load(); }

// --- IUnknown ---------------------------------------------------------------------------

HRESULT CTeskOposPrinterSO::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITeskOposPrinterSO) {
    *object = static_cast<ITeskOposPrinterSO*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CTeskOposPrinterSO::AddRef() { return ++refs_; }

ULONG CTeskOposPrinterSO::Release() {
  const ULONG left = --refs_;
  if (left == 0) {
    // Closing may call methods that take and drop references; keep the count above 0.
    refs_ = 1;
    Destroy();
    delete this;
  }
  return left;
}

// --- IDispatch ----------------------------------------------------------------------------

HRESULT CTeskOposPrinterSO::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT CTeskOposPrinterSO::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CTeskOposPrinterSO::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* dispids) {
  return so_dispatch::GetIDsOfNames(riid, names, count, dispids);
}

namespace {

// Which device lock this thread took in Invoke and how often: only a lock taken once can be let
// go for a wait (a nested call, or a call that did not come through Invoke, keeps it).
thread_local std::recursive_mutex* t_heldLock = nullptr;
thread_local int t_heldDepth = 0;

struct HeldLockMark {
  std::recursive_mutex* previous;
  int previousDepth;
  explicit HeldLockMark(std::recursive_mutex* lock) : previous(t_heldLock), previousDepth(t_heldDepth) {
    t_heldDepth = lock == t_heldLock ? t_heldDepth + 1 : 1;
    t_heldLock = lock;
  }
  ~HeldLockMark() {
    t_heldLock = previous;
    t_heldDepth = previousDepth;
  }
};

}  // namespace

HRESULT CTeskOposPrinterSO::Invoke(DISPID member, REFIID riid, LCID, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT* argError) {
  // No exception may cross the COM boundary into the caller.
  try {
    // Held by copy: a close inside the call may free the owner whose lock this is.
    const std::shared_ptr<std::recursive_mutex> engineLock = EngineLock();
    std::lock_guard<std::recursive_mutex> serialised(*engineLock);
    const HeldLockMark mark(engineLock.get());
    return so_dispatch::Invoke(this, member, riid, flags, params, result, argError);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return DISP_E_EXCEPTION;
  }
}

// --- Shared checks ------------------------------------------------------------------------

void CTeskOposPrinterSO::Fail(LONG code, LONG* pRC) {
  resultCode_ = code;
  *pRC = code;
}

LONG CTeskOposPrinterSO::OwnClaimed() const {
  if (owner_ || !clients_) return claimed_;
  const std::optional<SoClient> client = clients_->Find(this);
  return client && client->claimed ? 1 : 0;
}

LONG CTeskOposPrinterSO::OwnEnabled() const {
  if (owner_ || !clients_) return enabled_;
  const std::optional<SoClient> client = clients_->Find(this);
  return client && client->enabled ? 1 : 0;
}

CPrinterBase* CTeskOposPrinterSO::Engine() const {
  return owner_ ? owner_->engine_.get() : engine_.get();
}

bool CTeskOposPrinterSO::StateCheck(LONG* pRC) {
  if (!opened_ || !HasEngineOrOwner()) {
    Fail(OPOS_E_CLOSED, pRC);
  } else if (!OwnClaimed()) {
    Fail(OPOS_E_NOTCLAIMED, pRC);
  } else if (!OwnEnabled()) {
    Fail(OPOS_E_DISABLED, pRC);
  } else {
    return true;
  }
  return false;
}

bool CTeskOposPrinterSO::StationAccepted(LONG station, LONG* pRC) {
  if (station == PTR_S_RECEIPT) return true;
  Fail(OPOS_E_ILLEGAL, pRC);
  resultCodeExtended_ = 301;
  return false;
}

template <class Call>
void CTeskOposPrinterSO::RunForwarded(StationCheck check, LONG station, LONG* pRC,
                                      bool isSetLogo, Call call) {
  if (check == StationCheck::First && !StationAccepted(station, pRC)) return;
  if (!StateCheck(pRC)) return;
  if (check == StationCheck::Second && !StationAccepted(station, pRC)) return;
  CPrinterBase* engine = Engine();
  if (!engine) {
    Fail(OPOS_E_CLOSED, pRC);
    return;
  }
  LONG returned = 0;
  bool threw = false;
  const unsigned failedWritesBefore = engine->FailedWrites();
  try {
    returned = call(*engine);
  } catch (...) {
    threw = true;
  }
  // The caller's own result: an attached instance's call leaves the owner's alone.
  resultCode_ = *pRC;
  // OPOS_E_EXTENDED is only useful with its reason (cover open, paper out, ...).
  resultCodeExtended_ = *pRC == OPOS_E_EXTENDED ? engine->GetResultCodeExtended() : 0;
  // A write the port could not complete (also when the cover or the paper explains it, or
  // the printer refused the block): what went wrong is the error text the application reads.
  if (*pRC == OPOS_E_NOHARDWARE || (*pRC != 0 && engine->FailedWrites() != failedWritesBefore)) {
    std::lock_guard<std::mutex> lock(errorStringMutex_);
    errorString_ = std::wstring(engine->ErrorInformation()).substr(0, kErrorStringChars);
  }
  if (threw || returned != 0 || (isSetLogo && *pRC != 0)) {
    // Events go out through the owner's event thread; ErrorString is the caller's too.
    (owner_ ? owner_ : this)
        ->QueueError(resultCode_, resultCodeExtended_, engine->ErrorInformation());
    if (owner_) {
      std::lock_guard<std::mutex> lock(errorStringMutex_);
      errorString_ = std::wstring(engine->ErrorInformation()).substr(0, kErrorStringChars);
    }
  }
}

#define SO_REQUIRE_OUT(p) \
  if (!(p)) return E_POINTER

// --- Refused methods ----------------------------------------------------------------------

#define SO_REFUSE(pRC)        \
  SO_REQUIRE_OUT(pRC);        \
  Fail(OPOS_E_ILLEGAL, pRC);  \
  return S_OK

HRESULT CTeskOposPrinterSO::BeginRemoval(LONG, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::EndInsertion(LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::EndRemoval(LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::PrintTwoNormal(LONG, BSTR, BSTR, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::ValidateData(LONG, BSTR, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::ChangePrintSide(LONG, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::MarkFeed(LONG, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::ResetStatistics(BSTR, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::RetrieveStatistics(BSTR*, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::UpdateStatistics(BSTR, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::CompareFirmwareVersion(BSTR, LONG*, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::UpdateFirmware(BSTR, LONG* pRC) { SO_REFUSE(pRC); }
HRESULT CTeskOposPrinterSO::DrawRuledLine(LONG, BSTR, LONG, LONG, LONG, LONG, LONG* pRC) {
  SO_REFUSE(pRC);
}
HRESULT CTeskOposPrinterSO::BeginInsertion(LONG, LONG* pRC) { SO_REFUSE(pRC); }

// --- Forwarded methods --------------------------------------------------------------------

HRESULT CTeskOposPrinterSO::PrintNormal(LONG station, BSTR data, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::Second, station, pRC, false,
               [&](CPrinterBase& e) { return e.PrintNormal(station, Text(data), pRC); });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::PrintImmediate(LONG station, BSTR data, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::First, station, pRC, false,
               [&](CPrinterBase& e) { return e.PrintImmediate(station, Text(data), pRC); });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::PrintBarCode(LONG station, BSTR data, LONG symbology, LONG height,
                                         LONG width, LONG alignment, LONG textPosition,
                                         LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::First, station, pRC, false, [&](CPrinterBase& e) {
    return e.PrintBarCode(station, Text(data), symbology, height, width, alignment,
                          textPosition, pRC);
  });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::PrintBitmap(LONG station, BSTR fileName, LONG width,
                                        LONG alignment, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::First, station, pRC, false, [&](CPrinterBase& e) {
    return e.PrintBitmap(station, Text(fileName), width, alignment, pRC);
  });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::RotatePrint(LONG station, LONG rotation, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::Second, station, pRC, false,
               [&](CPrinterBase& e) { return e.RotatePrint(station, rotation, pRC); });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::SetBitmap(LONG bitmapNumber, LONG station, BSTR fileName,
                                      LONG width, LONG alignment, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::Second, station, pRC, false, [&](CPrinterBase& e) {
    return e.SetBitmap(bitmapNumber, station, Text(fileName), width, alignment, pRC);
  });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::SetLogo(LONG location, BSTR data, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::None, 0, pRC, true,
               [&](CPrinterBase& e) { return e.SetLogo(location, Text(data), pRC); });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::TransactionPrint(LONG station, LONG control, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::Second, station, pRC, false,
               [&](CPrinterBase& e) { return e.TransactionPrint(station, control, pRC); });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::CutPaper(LONG percentage, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::None, 0, pRC, false,
               [&](CPrinterBase& e) { return e.CutPaper(percentage, pRC); });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::DirectIO(LONG command, LONG* data, BSTR* text, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  LONG dataValue = data ? *data : 0;
  std::wstring textValue = text ? Text(*text) : std::wstring();
  RunForwarded(StationCheck::None, 0, pRC, false, [&](CPrinterBase& e) {
    return e.DirectIO(command, &dataValue, textValue, pRC);
  });
  if (data) *data = dataValue;
  if (text && textValue != Text(*text)) {
    if (!SysReAllocString(text, textValue.c_str())) Fail(OPOS_E_FAILURE, pRC);
  }
  return S_OK;
}

HRESULT CTeskOposPrinterSO::ClearPrintArea(LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::None, 0, pRC, false,
               [&](CPrinterBase& e) { return e.ClearPrintArea(pRC); });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::PageModePrint(LONG control, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::None, 0, pRC, false,
               [&](CPrinterBase& e) { return e.PageModePrint(control, pRC); });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::PrintMemoryBitmap(LONG station, BSTR data, LONG type, LONG width,
                                              LONG alignment, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::Second, station, pRC, false, [&](CPrinterBase& e) {
    return e.PrintMemoryBitmap(station, Text(data), type, width, alignment, pRC);
  });
  return S_OK;
}

// These two may succeed without printing (what the printer cannot draw is left out):
// ErrorString then says what was left out, and is cleared by a call that printed it all.
HRESULT CTeskOposPrinterSO::PrintLine(LONG station, BSTR positionList, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::Second, station, pRC, false, [&](CPrinterBase& e) {
    const LONG returned = e.PrintLine(station, Text(positionList), pRC);
    TakeErrorString(e);
    return returned;
  });
  return S_OK;
}

HRESULT CTeskOposPrinterSO::PrintCurveText(LONG station, LONG textNumber,
                                           LONG horizontalPosition, BSTR text, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  RunForwarded(StationCheck::Second, station, pRC, false, [&](CPrinterBase& e) {
    const LONG returned =
        e.PrintCurveText(station, textNumber, horizontalPosition, Text(text), pRC);
    TakeErrorString(e);
    return returned;
  });
  return S_OK;
}

void CTeskOposPrinterSO::TakeErrorString(const CPrinterBase& engine) {
  std::lock_guard<std::mutex> lock(errorStringMutex_);
  errorString_ = std::wstring(engine.ErrorInformation()).substr(0, kErrorStringChars);
}

HRESULT CTeskOposPrinterSO::GetOpenResult(LONG* openResult) {
  SO_REQUIRE_OUT(openResult);
  *openResult = openResult_;
  return S_OK;
}

// --- Open ---------------------------------------------------------------------------------

CTeskOposPrinterSO* CTeskOposPrinterSO::FindOwner(const std::wstring& deviceName) {
  std::lock_guard<std::mutex> lock(g_instancesMutex);
  for (CTeskOposPrinterSO* instance : g_instances) {
    // An owner whose engine was closed has nothing left to share.
    if (instance && instance->sharing_ && SameDeviceName(instance->deviceName_, deviceName))
      return instance;
  }
  return nullptr;
}

void CTeskOposPrinterSO::LookUpEventDispIds(IDispatch* receiver) {
  eventDispIds_.fill(DISPID_UNKNOWN);
  if (!receiver) return;
  static const wchar_t* const kPrinterNames[] = {L"SODirectIO", L"SOError", L"SOOutputComplete",
                                                 L"SOStatusUpdate"};
  static const wchar_t* const kDrawerNames[] = {L"SODirectIO", L"SOStatusUpdate"};
  const int count = IsPrinterRole() ? 4 : 2;
  for (int i = 0; i < count; ++i) {
    std::wstring name = IsPrinterRole() ? kPrinterNames[i] : kDrawerNames[i];
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(receiver->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id))) {
      id = DISPID_UNKNOWN;
    }
    eventDispIds_[i] = id;
  }
}

bool CTeskOposPrinterSO::Attach(CTeskOposPrinterSO* owner, const DrawerParameters& drawer) {
  if (!owner->clients_ ||
      !owner->clients_->Register(this, IsPrinterRole(), eventReceiver_, eventDispIds_.data(),
                                 drawer)) {
    return false;
  }
  owner->AddRef();
  owner_ = owner;
  return true;
}

HRESULT CTeskOposPrinterSO::OpenService(BSTR classKey, BSTR deviceName, IDispatch* eventReceiver,
                                        LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  if (opened_) {
    *pRC = 0;
    openResult_ = 0;
    return S_OK;
  }
  Fail(OPOS_E_ILLEGAL, pRC);
  openResult_ = OPOS_ORS_NOTSUPPORTED;
  role_ = platform::ToUtf8(Text(classKey)) == "POSPrinter" ? 1 : 0;
  const std::wstring name = Text(deviceName);
  if (name.empty()) return S_OK;

  eventReceiver_ = eventReceiver;
  LookUpEventDispIds(eventReceiver);

  bool success = false;
  if (IsPrinterRole()) {
    if (CTeskOposPrinterSO* owner = FindOwner(name)) {
      success = Attach(owner, DrawerParameters{});
      if (!success) openResult_ = OPOS_ORS_NOTSUPPORTED;
    } else {
      success = FullOpen(name, DrawerParameters{}) == 0;
    }
  } else {
    openResult_ = OPOS_ORS_CONFIG;
    const LONG read = Tesk::Printer::ReadDrawerEntry(name, drawerEntry_);
    if (read != OPOS_E_ILLEGAL) {
      Fail(OPOS_E_NOSERVICE, pRC);
      openResult_ = OPOS_ORS_CONFIG;
      if (read == 0) {
        using Tesk::Printer::EntryNumber;
        drawerCapStatus_ = EntryNumber(drawerEntry_.capDrawStatus);
        DrawerParameters drawer;
        drawer.pin = EntryNumber(drawerEntry_.drawerPin);
        drawer.openLevel = EntryNumber(drawerEntry_.openVoltage);
        drawer.statusCapability = drawerCapStatus_;
        drawer.onTime = EntryNumber(drawerEntry_.signalOnTime);
        drawer.offTime = EntryNumber(drawerEntry_.signalOffTime);
        drawer.waitTimeout = EntryNumber(drawerEntry_.waitForDrawerCloseTimeOut);
        if (CTeskOposPrinterSO* owner = FindOwner(drawerEntry_.printerName)) {
          success = Attach(owner, drawer);
        } else {
          success = FullOpen(drawerEntry_.printerName, drawer) == 0;
        }
      }
    }
  }

  if (success) {
    opened_ = 1;
    resultCode_ = -1;
    *pRC = 0;
    openResult_ = 0;
    return S_OK;
  }
  // The role's own code stands (106, or 104 once the drawer key opened); OpenResult
  // tells the stage that failed.
  if (openResult_ == 0) openResult_ = OPOS_E_FAILURE;
  resultCode_ = *pRC;
  return S_OK;
}

LONG CTeskOposPrinterSO::FullOpen(const std::wstring& printerName,
                                  const DrawerParameters& drawer) {
  openResult_ = OPOS_ORS_CONFIG;
  const LONG read = Tesk::Printer::ReadPrinterEntry(printerName, printerEntry_);
  if (read != 0) return read;
  const Tesk::Printer::OpenOutcome outcome =
      Tesk::Printer::OpenPrinterEngine(printerName, this, printerEntry_, engine_);
  if (outcome.result != 0 || !engine_) {
    openResult_ = outcome.openResult;
    engine_.reset();
    return outcome.result ? outcome.result : OPOS_E_FAILURE;
  }
  ++g_liveEngines;

  claimed_ = enabled_ = 0;
  asyncMode_ = 0;
  flagWhenIdle_ = 0;
  freezeEvents_ = 0;
  errorLevel_ = 1;
  {
    std::lock_guard<std::mutex> lock(errorStringMutex_);
    errorString_.clear();
  }
  resultCode_ = OPOS_E_FAILURE;
  openResult_ = OPOS_ORS_SPECIFIC;

  clients_ = std::make_unique<CClientTable>();
  clients_->Register(this, IsPrinterRole(), eventReceiver_, eventDispIds_.data(), drawer);
  if (!IsPrinterRole()) {
    engine_->SetupCashDrawer(drawer.pin, drawer.openLevel, drawer.statusCapability,
                             drawer.onTime, drawer.offTime, drawer.waitTimeout);
  }

  std::unique_lock<std::mutex> instancesLock(g_instancesMutex);
  if (instanceSlot_ == 0) {
    for (int i = 0; i < kInstanceTableSize; ++i) {
      if (!g_instances[i]) {
        g_instances[i] = this;
        instanceSlot_ = i + 1;
        break;
      }
    }
  }
  if (instanceSlot_ == 0) {
    instancesLock.unlock();
    AbandonFullOpen();
    return OPOS_E_FAILURE;
  }

  deviceName_ = printerName;
  eventContext_ = std::make_unique<CTaskContextBase>();
  eventThread_ = std::make_unique<CTaskThreadBase2>();
  eventThread_->Prepare(eventContext_.get());
  disabledEvent_ = false;
  sharing_ = true;  // last: FindOwner sees the device name and tables complete
  resultCode_ = -1;
  openResult_ = 0;
  return 0;
}

// A full open that failed after the engine opened: nothing may stay open without an owner.
void CTeskOposPrinterSO::AbandonFullOpen() {
  if (engine_) {
    LONG rc = 0;
    engine_->CloseService(&rc);
    engine_.reset();
    --g_liveEngines;
  }
  clients_.reset();
}

// --- Claim, enable, release, close --------------------------------------------------------

HRESULT CTeskOposPrinterSO::ClaimDevice(LONG timeout, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  if (!HasEngineOrOwner()) {
    Fail(OPOS_E_CLOSED, pRC);
    return S_OK;
  }
  if (*pRC != 0) {
    resultCode_ = *pRC;
    return S_OK;
  }
  CTeskOposPrinterSO* target = owner_ ? owner_ : this;
  if (!CallerClient(target) || !target->engine_) {
    Fail(OPOS_E_FAILURE, pRC);
    return S_OK;
  }
  // A client that already holds the claim keeps it, and stays enabled with its events.
  if (target->claimed_ && CallerClient(target)->claimed) {
    *pRC = 0;
    resultCode_ = 0;
    if (owner_) claimed_ = 1;
    return S_OK;
  }
  target->clients_->Update(this, [](SoClient& c) { c.enabled = 0; });
  if (!target->claimed_) {
    const LONG returned = target->engine_->ClaimDevice(timeout, pRC);
    if (returned == 0 && *pRC == 0) target->claimed_ = 1;
    else if (*pRC == 0) *pRC = returned;
  }
  // A claim that failed leaves the client unclaimed, so the engine is never held for it.
  const LONG claimed = *pRC == 0 ? 1 : 0;
  target->clients_->Update(this, [claimed](SoClient& c) { c.claimed = claimed; });
  if (owner_ && *pRC == 0) claimed_ = 1;
  resultCode_ = *pRC;
  return S_OK;
}

std::optional<SoClient> CTeskOposPrinterSO::CallerClient(CTeskOposPrinterSO* target) const {
  return target->clients_ ? target->clients_->Find(this) : std::nullopt;
}

void CTeskOposPrinterSO::SetDeviceEnabled(LONG value, LONG* pRC) {
  if (!OwnClaimed()) {
    *pRC = OPOS_E_NOTCLAIMED;
    return;
  }
  if (value && !opened_) {
    *pRC = OPOS_E_CLOSED;
    return;
  }
  CTeskOposPrinterSO* target = owner_ ? owner_ : this;
  const LONG before = enabled_;
  target->CombineEnable(this, value, pRC);
  if (owner_ && *pRC == 0 && before != (value != 0 ? 1 : 0)) {
    enabled_ = value != 0 ? 1 : 0;
    if (enabled_) lastDrawerState_ = 0;
  }
}

void CTeskOposPrinterSO::CombineEnable(CTeskOposPrinterSO* caller, LONG value, LONG* pRC) {
  try {
    const std::optional<SoClient> client = clients_ ? clients_->Find(caller) : std::nullopt;
    if (clients_ && engine_ && client) {
      if (value) {
        if (client->isPrinter) engine_->SetPrinterMode(1);
        else engine_->SetCashDrawerMode(1);
      } else if (client->isPrinter ? !clients_->HasPrinterClient()
                                   : !clients_->HasDrawerClient()) {
        if (client->isPrinter) engine_->SetPrinterMode(0);
        else engine_->SetCashDrawerMode(0);
      }
    }
    if (client) clients_->Update(caller, [value](SoClient& c) { c.enabled = value; });
    const bool noneEnabled = !clients_ || clients_->NoneEnabled();
    const bool changes = (!enabled_ && !noneEnabled) || (enabled_ && noneEnabled);
    if (!changes) {
      // A printer joining an engine enabled for its drawer: the drawer's status read
      // asked nothing about paper.
      if (value && enabled_ && engine_ && client && client->isPrinter)
        engine_->ReadStatusIfPaperUnread();
      return;
    }
    if (!eventThread_ || !engine_) {
      Fail(OPOS_E_FAILURE, pRC);
      return;
    }
    resultCode_ = 0;
    *pRC = 0;
    // A new enable reports the printer's state afresh, even if it did not change.
    if (value) lastStatus_ = 0;
    engine_->DeviceEnable(value ? 1 : 0);
    enabled_ = value ? 1 : 0;
    if (enabled_) {
      disabledEvent_ = false;
      eventThread_->Start();
      if (clients_->AllFrozen()) eventThread_->Suspend();
    } else {
      eventContext_->DropPending();
      disabledEvent_ = true;
      StopEventThread(kEventThreadWaitMs);
      LONG rc = 0;
      ClearOutput(&rc);
    }
  } catch (...) {
    const int error = errno;
    *pRC = OPOS_E_FAILURE;
    wchar_t text[32];
    std::swprintf(text, 32, L"ErrorCode:%d", error);
    std::lock_guard<std::mutex> lock(errorStringMutex_);
    errorString_ = text;
  }
}

void CTeskOposPrinterSO::StopEventThread(DWORD waitMs) {
  if (!eventThread_ || !eventThread_->HasThread()) return;
  eventThread_->Stop();
  // A control object that disables from inside an event callback runs on the event
  // thread itself, which cannot wait for its own end; it ends after the callback.
  if (!eventThread_->IsCurrentThread()) eventThread_->WaitStopped(waitMs);
}

HRESULT CTeskOposPrinterSO::ReleaseDevice(LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  resultCode_ = -1;
  if (!HasEngineOrOwner()) {
    Fail(OPOS_E_CLOSED, pRC);
    return S_OK;
  }
  *pRC = 0;
  if (OwnEnabled()) {
    SetDeviceEnabled(0, pRC);
    if (owner_) enabled_ = 0;
  }
  CTeskOposPrinterSO* target = owner_ ? owner_ : this;
  if (target->clients_) target->clients_->Update(this, [](SoClient& c) { c.claimed = 0; });
  if (target->clients_ && !target->clients_->AnyClaimed() && target->claimed_) {
    if (target->engine_) target->engine_->ReleaseDevice(pRC);
    target->claimed_ = 0;
    target->StopEventThread(kEventThreadWaitMs);
  }
  if (owner_ && *pRC == 0) claimed_ = 0;
  // A release the engine refused (port still busy) must not read as success.
  resultCode_ = *pRC;
  return S_OK;
}

HRESULT CTeskOposPrinterSO::CloseService(LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  resultCode_ = 0;
  *pRC = 0;
  if (!opened_ || !HasEngineOrOwner()) {
    Fail(OPOS_E_CLOSED, pRC);
    return S_OK;
  }
  if (OwnEnabled()) {
    SetDeviceEnabled(0, pRC);
    if (*pRC != 0) {
      resultCode_ = *pRC;
      return S_OK;
    }
    if (owner_) enabled_ = 0;
  }
  if (OwnClaimed()) {
    ReleaseDevice(pRC);
    if (*pRC != 0) return S_OK;
  }
  CTeskOposPrinterSO* target = owner_ ? owner_ : this;
  if (!target->clients_) {
    Fail(OPOS_E_FAILURE, pRC);
    return S_OK;
  }
  {
    // Once removed, no delivery to this client's control object is running or starts.
    std::lock_guard<std::recursive_mutex> delivering(target->deliveryMutex_);
    target->clients_->Remove(this);
  }
  if (!target->clients_->AnyOpen()) {
    LONG rc = 0;
    if (target->engine_) {
      target->sharing_ = false;
      target->engine_->CloseService(&rc);
      target->StopEventThread(kEventThreadWaitMs);
      target->engine_.reset();
      --g_liveEngines;
    }
    target->opened_ = 0;
    target->resultCode_ = rc;
  }
  if (owner_) {
    CTeskOposPrinterSO* owner = owner_;
    owner_ = nullptr;
    opened_ = 0;
    owner->Release();
  }
  return S_OK;
}

HRESULT CTeskOposPrinterSO::COFreezeEvents(VARIANT_BOOL freeze, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  // VARIANT_TRUE is -1: every non-zero value freezes, or a frozen device would read false.
  freezeEvents_ = freeze != 0 ? 1 : 0;
  CTeskOposPrinterSO* target = owner_ ? owner_ : this;
  if (!target->clients_) {
    Fail(OPOS_E_FAILURE, pRC);
    return S_OK;
  }
  const bool before = target->clients_->AllFrozen();
  target->clients_->Update(this, [freeze](SoClient& c) { c.eventsFrozen = freeze != 0 ? 1 : 0; });
  const bool after = target->clients_->AllFrozen();
  if (before != after && target->eventThread_) {
    if (after) {
      target->eventThread_->Suspend();
    } else if (target->enabled_) {
      target->eventThread_->Resume();
    }
  }
  target->resultCode_ = 0;
  *pRC = 0;
  return S_OK;
}

// --- Properties ---------------------------------------------------------------------------

HRESULT CTeskOposPrinterSO::SetPropertyNumber(LONG index, LONG value, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  *pRC = 0;
  if (!opened_) {
    *pRC = OPOS_E_CLOSED;
  } else if (!HasEngineOrOwner()) {
    *pRC = OPOS_E_NOSERVICE;
  } else if (index == PIDX_DeviceEnabled) {
    SetDeviceEnabled(value, pRC);
  } else if (index == PIDX_FreezeEvents) {
    COFreezeEvents(static_cast<VARIANT_BOOL>(value != 0 ? VARIANT_TRUE : VARIANT_FALSE), pRC);
  } else {
    if (index == PIDXPtr_AsyncMode) asyncMode_ = value;
    if (index == PIDXPtr_FlagWhenIdle) flagWhenIdle_ = value;
    CPrinterBase* engine = Engine();
    if (!engine) {
      *pRC = OPOS_E_NOSERVICE;
    } else {
      engine->SetPropertyNumber(index, value, pRC);
      // A refused value (RecLineChars without a narrow enough font) reports its reason.
      resultCodeExtended_ = *pRC == OPOS_E_EXTENDED ? engine->GetResultCodeExtended() : 0;
    }
  }
  resultCode_ = *pRC;
  return S_OK;
}

HRESULT CTeskOposPrinterSO::GetPropertyNumber(LONG index, LONG* value) {
  SO_REQUIRE_OUT(value);
  *value = 0;
  const bool usable = opened_ && HasEngineOrOwner();
  switch (index) {
    case PIDX_Claimed: *value = OwnClaimed(); break;
    case PIDX_DeviceEnabled: *value = OwnEnabled(); break;
    case PIDX_FreezeEvents: *value = freezeEvents_; break;
    case PIDX_ResultCode:
      if (!opened_) *value = OPOS_E_CLOSED;
      else if (resultCode_ == -1) *value = 0;
      else *value = resultCode_;
      break;
    case PIDX_ResultCodeExtended:
      if (!usable) *value = OPOS_E_CLOSED;
      else if (resultCode_ == -1) *value = 0;
      else *value = resultCodeExtended_;
      break;
    case PIDX_ServiceObjectVersion: *value = kServiceObjectVersion; break;
    case PIDX_State: {
      if (!opened_) {
        *value = OPOS_S_CLOSED;
        break;
      }
      CPrinterBase* engine = owner_ ? owner_->engine_.get() : engine_.get();
      if (!engine) *value = OPOS_S_CLOSED;
      else if (engine->IsInErrorState()) *value = OPOS_S_ERROR;
      else if (engine->IsIdle()) *value = OPOS_S_IDLE;
      else *value = OPOS_S_BUSY;
      break;
    }
    case PIDX_CapPowerReporting:
    case PIDX_CapStatisticsReporting:
    case PIDXCash_CapStatusMultiDrawerDetect:
      break;
    case PIDXCash_DrawerOpened: {
      // Its own state order: enabled, claimed, opened.
      if (!OwnEnabled()) resultCode_ = OPOS_E_DISABLED;
      else if (!OwnClaimed()) resultCode_ = OPOS_E_NOTCLAIMED;
      else if (!opened_) resultCode_ = OPOS_E_CLOSED;
      else {
        CTeskOposPrinterSO* target = owner_ ? owner_ : this;
        if (!target->engine_) {
          resultCode_ = OPOS_E_FAILURE;
        } else if (target->engine_->IsBusy()) {
          *value = target->lastDrawerState_;
          resultCode_ = OPOS_E_BUSY;
        } else {
          target->resultCode_ = OPOS_E_EXTENDED;
          target->resultCodeExtended_ = 300;
          *value = target->lastDrawerState_;
          const std::optional<SoClient> client = CallerClient(target);
          if (!client || !client->statusCapability) {
            target->lastDrawerState_ = 0;
          } else {
            target->SetUpDrawerFor(this);
            *value = target->engine_->GetDrawerOpenState(1, nullptr);
            target->lastDrawerState_ = *value;
          }
        }
      }
      break;
    }
    case PIDXCash_CapStatus: *value = drawerCapStatus_; break;
    case PIDXPtr_ErrorLevel: *value = usable ? errorLevel_.load() : 0; break;
    case PIDXPtr_ErrorStation: *value = PTR_S_RECEIPT; break;
    case PIDXPtr_FlagWhenIdle: *value = flagWhenIdle_; break;
    default:
      if (!usable) break;
      if (owner_) owner_->GetPropertyNumber(index, value);
      else engine_->GetPropertyNumber(index, value);
      break;
  }
  return S_OK;
}

HRESULT CTeskOposPrinterSO::GetPropertyString(LONG index, BSTR* value) {
  SO_REQUIRE_OUT(value);
  *value = nullptr;
  std::wstring text;
  if (index == PIDX_ServiceObjectDescription) {
    text = IsPrinterRole() ? L"POS Printer OPOS Service Object"
                           : L"POS CashDrawer OPOS Service Object";
  } else if (index == PIDX_DeviceDescription) {
    text = IsPrinterRole() ? L"POS Printer" : L"POS CashDrawer";
  } else if (!opened_) {
    text = L"[Error]";
  } else if (index == PIDX_CheckHealthText && !IsPrinterRole()) {
    text = drawerHealthText_;
  } else if (!HasEngineOrOwner()) {
    text = L"[Error]";
  } else if (index == PIDX_CheckHealthText) {
    // The printer's text lives in the engine, whatever role its owner has.
    CTeskOposPrinterSO* target = owner_ ? owner_ : this;
    if (!target->engine_) {
      text = L"[Error]";
    } else {
      target->engine_->GetPropertyString(index, value);
      return S_OK;
    }
  } else if (index == PIDXPtr_ErrorString) {
    std::lock_guard<std::mutex> lock(errorStringMutex_);
    text = errorString_;
  } else if (owner_) {
    return owner_->GetPropertyString(index, value);
  } else {
    engine_->GetPropertyString(index, value);
    return S_OK;
  }
  *value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT CTeskOposPrinterSO::SetPropertyString(LONG index, BSTR value, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  resultCode_ = -1;
  *pRC = 0;
  if (!opened_) {
    *pRC = OPOS_E_CLOSED;
    return S_OK;
  }
  if (!HasEngineOrOwner()) {
    Fail(OPOS_E_NOSERVICE, pRC);
    return S_OK;
  }
  if (CPrinterBase* engine = Engine()) {
    engine->SetPropertyString(index, Text(value), pRC);
  } else {
    *pRC = OPOS_E_NOSERVICE;
  }
  // A value the engine refused must read as refused.
  resultCode_ = *pRC;
  return S_OK;
}

// --- Output and health --------------------------------------------------------------------

HRESULT CTeskOposPrinterSO::ClearOutput(LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  if (owner_) return owner_->ClearOutput(pRC);
  if (!engine_) {
    Fail(OPOS_E_CLOSED, pRC);
    return S_OK;
  }
  engine_->ClearOutput(pRC);
  if (flagWhenIdle_.exchange(0)) OnStatusUpdate(PTR_SUE_IDLE);
  return S_OK;
}

HRESULT CTeskOposPrinterSO::CheckHealth(LONG level, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  if (!StateCheck(pRC)) return S_OK;
  // The calling instance's role decides: a printer attached to a drawer's engine runs
  // the printer's check on that engine.
  CTeskOposPrinterSO* target = owner_ ? owner_ : this;
  CPrinterBase* engine = target->engine_.get();
  if (!engine) {
    Fail(OPOS_E_FAILURE, pRC);
    return S_OK;
  }
  try {
    if (IsPrinterRole()) {
      engine->CheckHealth(level, pRC, [this](const std::function<void()>& box) { WithoutEngineLock(box); });
      // The internal level leaves the result as it came.
      if (level != OPOS_CH_INTERNAL) {
        resultCode_ = *pRC;
        resultCodeExtended_ = *pRC == OPOS_E_EXTENDED ? engine->GetResultCodeExtended() : 0;
      }
      return S_OK;
    }
    switch (level) {
      case OPOS_CH_INTERNAL:
        drawerHealthText_ = L"Internal HealthCheck: Successful.";
        break;
      case OPOS_CH_EXTERNAL:
      case OPOS_CH_INTERACTIVE:
        if (!engine->IsIdle()) {
          Fail(OPOS_E_BUSY, pRC);
          return S_OK;
        }
        if (level == OPOS_CH_EXTERNAL) {
          drawerHealthText_ = L"External HealthCheck: Success!";
          break;
        }
        // No control window exists here; the process's handler shows the box.
        WithoutEngineLock([] {
          MessageBoxW(nullptr,
                      L"OPOS CashDrawer Check Health:INTERACTIVE!\nPlease click the 'OK' button "
                      L"to continue...",
                      L"Opos", MB_OK);
        });
        drawerHealthText_ = L"INTERACTIVE HealthCheck: Success!";
        break;
      default:
        drawerHealthText_ = L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL";
        Fail(OPOS_E_EXTENDED, pRC);
        resultCodeExtended_ = 300;
        return S_OK;
    }
  } catch (...) {
  }
  return S_OK;
}

// --- Drawer -------------------------------------------------------------------------------

void CTeskOposPrinterSO::SetUpDrawerFor(CTeskOposPrinterSO* caller) {
  const std::optional<SoClient> client = clients_ ? clients_->Find(caller) : std::nullopt;
  if (!client || !engine_) return;
  engine_->SetupCashDrawer(client->drawerPin, client->openLevel, client->statusCapability,
                           client->onTime, client->offTime, client->waitTimeout);
}

HRESULT CTeskOposPrinterSO::OpenDrawer(LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  if (!StateCheck(pRC)) return S_OK;
  CTeskOposPrinterSO* target = owner_ ? owner_ : this;
  try {
    if (!target->engine_) {
      Fail(OPOS_E_FAILURE, pRC);
      return S_OK;
    }
    CPrinterBase& engine = *target->engine_;
    if (engine.IsBusy()) {
      *pRC = OPOS_E_BUSY;
    } else {
      engine.GetPrinterState(false);
      const LONG last = target->lastStatus_;
      if (last == PTR_SUE_REC_EMPTY || last == PTR_SUE_COVER_OPEN) {
        *pRC = OPOS_E_FAILURE;
        target->resultCodeExtended_ =
            last == PTR_SUE_REC_EMPTY ? OPOS_EPTR_REC_EMPTY : OPOS_EPTR_COVER_OPEN;
      } else {
        target->SetUpDrawerFor(this);
        engine.OpenDrawer(pRC);
      }
    }
  } catch (...) {
  }
  target->resultCode_ = *pRC;
  if (target != this) resultCode_ = *pRC;
  return S_OK;
}

HRESULT CTeskOposPrinterSO::WaitForDrawerClose(LONG beepTimeout, LONG beepFrequency,
                                               LONG beepDuration, LONG beepDelay, LONG* pRC) {
  SO_REQUIRE_OUT(pRC);
  if (!StateCheck(pRC)) return S_OK;
  CTeskOposPrinterSO* target = owner_ ? owner_ : this;
  if (!target->engine_) {
    Fail(OPOS_E_FAILURE, pRC);
    return S_OK;
  }
  *pRC = OPOS_E_EXTENDED;
  target->resultCodeExtended_ = 300;
  const std::optional<SoClient> client = CallerClient(target);
  if (client && client->statusCapability) {
    LONG returned = 0;
    bool threw = false;
    try {
      target->SetUpDrawerFor(this);
      // The wait lasts seconds: between its passes others may use the engine.
      const auto pause = [this](DWORD ms) { WithoutEngineLock([ms] { Sleep(ms); }); };
      returned = target->engine_->WaitForDrawerClose(beepTimeout, beepFrequency, beepDuration,
                                                     beepDelay, pRC, pause);
    } catch (...) {
      threw = true;
    }
    if ((threw || returned != 0) && *pRC == 0) *pRC = OPOS_E_FAILURE;
  }
  target->resultCode_ = *pRC;
  if (target != this) resultCode_ = *pRC;
  return S_OK;
}

// --- Events -------------------------------------------------------------------------------

void CTeskOposPrinterSO::QueueEvent(int kind, const VARIANT* args, int count) {
  if (!eventContext_) return;
  eventContext_->Push(std::make_unique<CPrinterCOEventsTask>(this, kind, args, count));
}

void CTeskOposPrinterSO::OnErrorEvent(const wchar_t* errorText) {
  // A failed method: the codes it left. -1 ("none yet") is never an error code.
  const LONG code = resultCode_;
  QueueError(code == -1 ? OPOS_E_FAILURE : code, resultCodeExtended_, errorText);
}

void CTeskOposPrinterSO::OnOutputError(LONG resultCode, LONG resultCodeExtended,
                                       const wchar_t* errorText) {
  QueueError(resultCode, resultCodeExtended, errorText);
}

void CTeskOposPrinterSO::QueueError(LONG resultCode, LONG resultCodeExtended,
                                    const wchar_t* errorText) {
  errorLevel_ = engine_ && engine_->ErrorCode() >= 1000 ? PTR_EL_FATAL : PTR_EL_RECOVERABLE;
  {
    std::lock_guard<std::mutex> lock(errorStringMutex_);
    errorString_ = std::wstring(errorText ? errorText : L"").substr(0, kErrorStringChars);
  }
  const VARIANT args[] = {platform::MakeI4(resultCode), platform::MakeI4(resultCodeExtended),
                          platform::MakeI4(OPOS_EL_OUTPUT), platform::MakeI4(OPOS_ER_RETRY)};
  QueueEvent(kErrorKind, args, 4);
}

void CTeskOposPrinterSO::OnOutputComplete(LONG outputId) {
  const VARIANT arg = platform::MakeI4(outputId);
  QueueEvent(kOutputCompleteKind, &arg, 1);
  if (flagWhenIdle_ && engine_ && engine_->IsIdle() && flagWhenIdle_.exchange(0)) {
    OnStatusUpdate(PTR_SUE_IDLE);
  }
}

void CTeskOposPrinterSO::OnStatusUpdate(LONG status) {
  if (status == 0 || status == -1) return;
  // Idle is a report, not a printer state: it passes the duplicate filter every time
  // and does not hide the next repeat of the state before it.
  if (status != PTR_SUE_IDLE && lastStatus_.exchange(status) == status) return;
  const VARIANT arg = platform::MakeI4(status);
  QueueEvent(kStatusKind, &arg, 1);
}

LONG CTeskOposPrinterSO::OnPollState() {
  if (!engine_) return -1;
  // A poll never waits for a method in progress (it may be waiting for this worker).
  std::unique_lock<std::recursive_mutex> serialised(*engineLock_, std::try_to_lock);
  if (!serialised.owns_lock()) return -1;
  return engine_->GetPrinterState(false);
}

std::unique_lock<std::recursive_mutex> CTeskOposPrinterSO::LockForDelivery() {
  std::unique_lock<std::recursive_mutex> lock(*engineLock_, std::defer_lock);
  while (!lock.try_lock()) {
    if (eventThread_ && eventThread_->IsStopOrSuspendRequested()) return lock;
    Sleep(1);
  }
  return lock;
}

void CTeskOposPrinterSO::WithoutEngineLock(const std::function<void()>& wait) {
  // Held by copy, as Invoke holds it.
  const std::shared_ptr<std::recursive_mutex> engineLock = EngineLock();
  if (t_heldLock != engineLock.get() || t_heldDepth != 1) {
    wait();
    return;
  }
  engineLock->unlock();
  struct Relock {
    std::recursive_mutex& lock;
    ~Relock() { lock.lock(); }
  } relock{*engineLock};
  wait();
}

std::shared_ptr<std::recursive_mutex> CTeskOposPrinterSO::EngineLock() const {
  return owner_ ? owner_->engineLock_ : engineLock_;
}

void CTeskOposPrinterSO::RequestClearOutput() {
  if (owner_) {
    owner_->RequestClearOutput();
    return;
  }
  if (!engine_) return;
  engine_->ClearQueuedOutput();
  if (flagWhenIdle_.exchange(0)) OnStatusUpdate(PTR_SUE_IDLE);
}

void CTeskOposPrinterSO::FireEvent(VARIANT* args, int count, int kind, LONG* response) {
  if (disabledEvent_ || !clients_) return;
  const std::array<SoClient, CClientTable::kSize> clients = clients_->Snapshot();
  for (const SoClient& client : clients) {
    if (!client.instance || !client.enabled || !client.eventReceiver || client.eventsFrozen ||
        !client.dispids) {
      continue;
    }
    VARIANT reversed[4];
    DISPID id = DISPID_UNKNOWN;
    UINT argc = static_cast<UINT>(count);
    if (!client.isPrinter) {
      if (kind != kStatusKind || args[0].lVal > 5) continue;
      id = client.dispids[1];
      reversed[0] = platform::MakeI4(args[0].lVal - 1);
    } else {
      if (kind == kStatusKind && args[0].lVal < 5) continue;
      id = client.dispids[kind];
      for (int a = 0; a < count && a < 4; ++a) reversed[count - 1 - a] = args[a];
      if (kind == kErrorKind) {
        *response = OPOS_ER_RETRY;
        reversed[0] = platform::MakeI4Ref(response);  // ErrorResponse, in and out
      }
    }
    DISPPARAMS params{reversed, nullptr, argc, 0};
    // A client that closed since the snapshot may have released its control object.
    std::lock_guard<std::recursive_mutex> delivering(deliveryMutex_);
    if (!clients_->IsRegistered(client.instance)) continue;
    if (FAILED(client.eventReceiver->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                            &params, nullptr, nullptr, nullptr))) {
      resultCode_ = OPOS_E_ILLEGAL;
    }
  }
}

void CTeskOposPrinterSO::RequestRetry() {
  if (!opened_ || !claimed_ || !enabled_) return;
  if (owner_) {
    owner_->RequestRetry();
    return;
  }
  // Runs on the event thread, which holds the engine lock for the delivery.
  if (engine_) engine_->Retry();
}

// --- Destruction --------------------------------------------------------------------------

void CTeskOposPrinterSO::Destroy() {
  sharing_ = false;
  {
    std::lock_guard<std::mutex> lock(g_instancesMutex);
    if (instanceSlot_ > 0) g_instances[instanceSlot_ - 1] = nullptr;
    instanceSlot_ = 0;
  }
  LONG rc = 0;
  if (OwnEnabled()) SetDeviceEnabled(0, &rc);
  rc = 0;
  if (OwnClaimed()) ReleaseDevice(&rc);
  rc = 0;
  if (opened_) CloseService(&rc);
  if (owner_) {
    if (owner_->clients_) {
      std::lock_guard<std::recursive_mutex> delivering(owner_->deliveryMutex_);
      owner_->clients_->Remove(this);
    }
    CTeskOposPrinterSO* owner = owner_;
    owner_ = nullptr;
    owner->Release();
  }
  if (eventThread_ && eventThread_->HasThread() && eventThread_->IsCurrentThread()) {
    // Released from inside a callback: the event thread is still delivering and frees
    // itself and its queue when it ends.
    eventThread_.release()->FreeWhenEnded(eventContext_.release());
  } else if (eventThread_ && eventThread_->HasThread()) {
    eventThread_->Stop();
    if (!eventThread_->WaitStopped(2000)) {
      // Still inside a control object's callback: the thread keeps using both objects,
      // so they are left allocated rather than freed under it.
      (void)eventThread_.release();
      (void)eventContext_.release();
    }
  }
  eventThread_.reset();
  eventContext_.reset();
  if (engine_) {
    LONG closeRc = 0;
    engine_->CloseService(&closeRc);
    engine_.reset();
    --g_liveEngines;
  }
}
