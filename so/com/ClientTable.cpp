#include "ClientTable.h"

bool CClientTable::Register(CTeskOposPrinterSO* instance, bool isPrinter, IDispatch* receiver,
                            const DISPID* dispids, const DrawerParameters& drawer) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (SoClient& client : clients_) {
    if (client.instance) continue;
    client.instance = instance;
    client.open = 1;
    client.claimed = 0;
    client.enabled = 0;
    client.isPrinter = isPrinter ? 1 : 0;
    client.eventReceiver = receiver;
    client.dispids = dispids;
    client.eventsFrozen = 0;
    client.drawerPin = drawer.pin;
    client.openLevel = drawer.openLevel;
    client.statusCapability = drawer.statusCapability;
    client.onTime = drawer.onTime;
    client.offTime = drawer.offTime;
    client.waitTimeout = drawer.waitTimeout;
    return true;
  }
  return false;
}

void CClientTable::Remove(CTeskOposPrinterSO* instance) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (SoClient& client : clients_) {
    if (client.instance == instance) client = SoClient{};
  }
}

int CClientTable::IndexOf(const CTeskOposPrinterSO* instance) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return IndexOfLocked(instance);
}

int CClientTable::IndexOfLocked(const CTeskOposPrinterSO* instance) const {
  for (int i = 0; i < kSize; ++i) {
    if (instance && clients_[i].instance == instance) return i;
  }
  return kAbsent;
}

std::array<SoClient, CClientTable::kSize> CClientTable::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clients_;
}

bool CClientTable::IsRegistered(const CTeskOposPrinterSO* instance) const {
  return IndexOf(instance) != kAbsent;
}

SoClient CClientTable::At(int index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clients_[index];
}

std::optional<SoClient> CClientTable::Find(const CTeskOposPrinterSO* instance) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const int index = IndexOfLocked(instance);
  if (index == kAbsent) return std::nullopt;
  return clients_[index];
}

bool CClientTable::AnyOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const SoClient& c : clients_) {
    if (c.instance && c.open) return true;
  }
  return false;
}

bool CClientTable::AnyClaimed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const SoClient& c : clients_) {
    if (c.instance && c.claimed) return true;
  }
  return false;
}

bool CClientTable::NoneEnabled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const SoClient& c : clients_) {
    if (c.instance && c.enabled) return false;
  }
  return true;
}

bool CClientTable::AllFrozen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  bool any = false;
  for (const SoClient& c : clients_) {
    if (!c.instance) continue;
    any = true;
    if (!c.eventsFrozen) return false;
  }
  return any;
}

bool CClientTable::HasPrinterClient() const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const SoClient& c : clients_) {
    if (c.instance && c.isPrinter) return true;
  }
  return false;
}

bool CClientTable::HasDrawerClient() const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const SoClient& c : clients_) {
    if (c.instance && !c.isPrinter) return true;
  }
  return false;
}
