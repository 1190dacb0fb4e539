// The common port on a file descriptor: open without sharing, timed writes, chunked reads.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "IPort.h"
#include "PortSettingsBase.h"

struct termios;

namespace Tesk::IO {

// Every port class derives from CSystemPort. The descriptor is non-blocking; poll with
// the designed limits stands in for overlapped waits, and abandoning the wait for
// CancelIo. Not thread-safe except SetCancel: the engine's port lock serialises callers.
class CSystemPort : public IPort {
 public:
  static constexpr LONG kReadChunk = 128;
  static constexpr DWORD kWaitAllLimitMs = 2000;  // per Read attempt with wait-all
  static constexpr DWORD kSingleLimitMs = 200;    // per Read attempt without; ReadOnce
  static constexpr int kMaxReadRounds = 9;        // r = 0, 2, ..., 8: five attempts

  // Uses settings when given (it must outlive the port), else default settings.
  explicit CSystemPort(IPortSettings* settings = nullptr);
  ~CSystemPort() override;
  CSystemPort(const CSystemPort&) = delete;
  CSystemPort& operator=(const CSystemPort&) = delete;

  IPortSettings* GetSettings() override { return settings_; }
  bool TestOpen() override;
  LONG IsAlternateDevice() override { return 0; }
  LONG IsOpen() override { return open_ ? 1 : 0; }
  bool Open() override;
  void Close() override;
  // A character device that hung up (a cable pulled, a printer switched off) is looked up
  // and opened again before the block goes out; while it is not back the write fails with
  // "the printer is disconnected" and the next write looks again. Files and FIFOs are
  // never reopened.
  bool Write(const BYTE* data, LONG offset, LONG length) override;
  void StartReceive(BYTE*, LONG, ReceiveCallback) override {}
  void CancelReceive() override {}
  bool Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) override;
  bool ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL ignored) override;
  LONG IsNotifyEnabled() override { return notify_; }
  void SetNotifyEnabled(LONG enabled) override { notify_ = enabled; }
  // Reads with the ReadOnce limits and delivers the completion to OnReadComplete
  // before it returns, so the buffer only has to live for the call.
  bool BeginReadEx(BYTE* buffer, LONG offset, LONG length) override;
  void OnReadComplete(DWORD errorCode, DWORD bytesTransferred, void* context) override;
  void DiscardInput() override {}
  void SetReadCallback(ReadCallback callback) override { readCallback_ = callback; }
  DWORD GetSystemError() override;
  std::wstring GetErrorText() override { return errorText_; }
  LONG GetErrorCode() override { return errorCode_; }
  LONG GetCancel(LONG* cancel) override;
  LONG SetCancel(LONG cancel) override;
  void RefreshDevice() override {}
  void ConfigureOpenedPort() override {}
  bool LoadCommState() override;
  void ApplyCommState() override;

  // What Open opens: a Windows device name or a path (platform::MapDeviceName).
  const std::wstring& DevicePath() const { return devicePath_; }
  void SetDevicePath(const std::wstring& path) { devicePath_ = path; }
  bool IsOverlapped() const { return overlapped_; }
  bool IsReadable() const { return readable_; }
  bool IsByteWise() const { return byteWise_; }
  // Bytes sent first whenever a write finds the device again after losing it (reopened
  // here, or reconnected by a network port): the set-up a printer forgets when it is
  // switched off or unplugged. Empty sends nothing.
  void SetRestoreBytes(std::vector<BYTE> bytes) { restoreBytes_ = std::move(bytes); }

 protected:
  static constexpr std::size_t kMaxErrorText = 254;

  void SetSettingsPointer(IPortSettings* settings) { settings_ = settings; }
  void SetOverlapped(bool on) { overlapped_ = on; }
  void SetReadable(bool on) { readable_ = on; }
  void SetByteWise(bool on) { byteWise_ = on; }
  void SetOpenFlag(bool on) { open_ = on; }
  // The descriptor that reads and writes use (the Win32 handle field).
  int Fd() const { return fd_; }
  void SetFd(int fd) { fd_ = fd; }
  void SetError(LONG code, std::wstring text);
  void ClearErrorText() { errorText_.clear(); }
  bool CancelRequested() const { return cancel_.load() != 0; }
  // Sends the restore bytes on the device just found again.
  bool SendRestoreBytes(DWORD limitMs);
  // Terminal settings read by LoadCommState; valid only after it returned true.
  struct termios& CommState() { return *commState_; }

  // Opens path read-write and takes an exclusive lock, so a second open of the same
  // device fails like Windows' no-sharing open. -1 with the last error set on failure.
  int OpenDevice(const std::wstring& path);
  // Time one write of length bytes may take; a serial port adds its per-byte time.
  virtual DWORD WriteTimeLimit(LONG length);
  // Time one read call may wait: 2000 ms with wait-all, else 200 ms (the overlapped
  // limits); ports with device time-outs of their own return those.
  virtual DWORD ReadWaitLimit(bool waitAll);
  // True when one read call gathers bytes until its chunk is full or its limit passed
  // (a read with a total time-out), rather than returning the first bytes to arrive.
  virtual bool ReadsUntilLimit() const { return false; }

 private:
  struct Attempt {
    bool ok = false;     // the attempt counts as successful
    LONG bytes = 0;      // bytes it brought
    bool lastCallOk = true;
  };
  Attempt ReadChunk(BYTE* at, LONG chunk, DWORD limitMs);
  Attempt ReadBytewise(BYTE* at, LONG chunk, DWORD limitMs);
  // Closes a descriptor whose device went away, looks the device up again and opens it.
  bool ReopenLostDevice(DWORD limitMs);

  bool overlapped_ = false;
  bool open_ = false;
  bool readable_ = false;
  bool byteWise_ = false;
  CPortSettingsBase defaultSettings_;
  IPortSettings* settings_;
  std::wstring devicePath_ = L"c:\\temp\\teskopos.txt";
  int fd_ = -1;
  std::unique_ptr<struct termios> commState_;
  bool commStateLoaded_ = false;
  std::atomic<LONG> cancel_{0};
  LONG notify_ = 0;
  BYTE* callbackBuffer_ = nullptr;
  ReadCallback readCallback_ = nullptr;
  std::wstring errorText_;
  LONG errorCode_ = 0;
  std::vector<BYTE> restoreBytes_;
  bool deviceLost_ = false;  // gone and not found again: writes keep looking
};

}  // namespace Tesk::IO
