// Critical sections, events, Sleep and GetTickCount with Win32 semantics.
#pragma once

#include <memory>

#include "platform/wintypes.h"

// A recursive lock with a non-blocking try (the port lock relies on both).
struct CRITICAL_SECTION {
  struct Impl;
  Impl* impl = nullptr;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);

// Events are HANDLEs private to the process; a name is accepted and ignored, so two
// engines never wake each other. CloseHandle frees an event.
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_IO_COMPLETION = 0xC0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// An auto-reset event that satisfies a wait is reset by it.
DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds);
DWORD WaitForSingleObjectEx(HANDLE event, DWORD milliseconds, BOOL alertable);
// Returns WAIT_OBJECT_0 + index of the (first) event that fired, or WAIT_TIMEOUT.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* events, BOOL waitAll,
                             DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);

void Sleep(DWORD milliseconds);
// Milliseconds from the steady clock; wraps after 49.7 days like Windows.
DWORD GetTickCount();

namespace platform {

// RAII forms for code of our own.
class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section_); }
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }
  bool TryEnter() { return TryEnterCriticalSection(&section_) != FALSE; }
  CRITICAL_SECTION* Native() { return &section_; }

 private:
  CRITICAL_SECTION section_;
};

class Lock {
 public:
  explicit Lock(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~Lock() { section_.Leave(); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CriticalSection& section_;
};

class Event {
 public:
  Event(bool manualReset, bool initialState)
      : handle_(CreateEventW(nullptr, manualReset, initialState, nullptr)) {}
  ~Event() { CloseHandle(handle_); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  void Set() { SetEvent(handle_); }
  void Reset() { ResetEvent(handle_); }
  // True when signalled within the time-out.
  bool Wait(DWORD milliseconds) { return WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0; }
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace platform
