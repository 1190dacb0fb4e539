// The owner's table of the service-object instances that share its engine (the owner
// itself included): 255 slots, each with the client's role, event receiver, claim,
// enable and freeze requests and its cash-drawer parameters. Thread-safe.
#pragma once

#include <array>
#include <mutex>
#include <optional>

#include "platform/com.h"

class CTeskOposPrinterSO;

struct SoClient {
  CTeskOposPrinterSO* instance = nullptr;  // null: free slot
  LONG open = 0;
  LONG claimed = 0;
  LONG enabled = 0;
  LONG isPrinter = 0;
  IDispatch* eventReceiver = nullptr;
  const DISPID* dispids = nullptr;  // the client's own event DISPID array
  LONG eventsFrozen = 0;
  LONG drawerPin = 0;
  LONG openLevel = 0;
  LONG statusCapability = 0;
  LONG onTime = 16;
  LONG offTime = 16;
  LONG waitTimeout = 60000;
};

// The drawer values a client registers with (all 0 and 60000 for a printer client).
struct DrawerParameters {
  LONG pin = 0;
  LONG openLevel = 0;
  LONG statusCapability = 0;
  LONG onTime = 0;
  LONG offTime = 0;
  LONG waitTimeout = 60000;
};

class CClientTable {
 public:
  static constexpr int kSize = 255;
  static constexpr int kAbsent = 255;

  // Takes the first free slot; false when all are taken.
  bool Register(CTeskOposPrinterSO* instance, bool isPrinter, IDispatch* receiver,
                const DISPID* dispids, const DrawerParameters& drawer);
  // Restores the empty-slot values.
  void Remove(CTeskOposPrinterSO* instance);
  int IndexOf(const CTeskOposPrinterSO* instance) const;  // kAbsent when not registered
  bool IsRegistered(const CTeskOposPrinterSO* instance) const;
  // A copy of the client's entry; changes go through Update.
  std::optional<SoClient> Find(const CTeskOposPrinterSO* instance) const;
  SoClient At(int index) const;
  // Changes a client's entry; false when it is not registered.
  template <class Change>
  bool Update(const CTeskOposPrinterSO* instance, Change change) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int index = IndexOfLocked(instance);
    if (index == kAbsent) return false;
    change(clients_[index]);
    return true;
  }
  // A consistent copy for the event thread, which delivers while the owner's thread may
  // change the table.
  std::array<SoClient, kSize> Snapshot() const;

  bool AnyOpen() const;
  bool AnyClaimed() const;
  bool NoneEnabled() const;
  // True when at least one client is registered and all registered ones froze events.
  bool AllFrozen() const;
  bool HasPrinterClient() const;
  bool HasDrawerClient() const;

 private:
  int IndexOfLocked(const CTeskOposPrinterSO* instance) const;

  // Every access takes it: the owner's thread changes the table, the event thread reads
  // it, and a control object may even close from inside an event callback.
  mutable std::mutex mutex_;
  std::array<SoClient, kSize> clients_{};
};
