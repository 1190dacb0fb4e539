// A network printer on one TCP connection (raw printing port, 9100 by default).
#pragma once

#include <netinet/in.h>

#include "PortSettings.h"
#include "SystemPort.h"

namespace Tesk::IO {

// Error code of a failed connect or reconnect; the error text then gives the Winsock
// error number ("*Connect Fail! WSAGetLastError:10061").
constexpr LONG kConnectFailed = 2501;

// Replaces open, close, write and read of CSystemPort with socket calls. The socket is
// non-blocking and every wait is a poll with the settings' time-outs; every send uses
// MSG_NOSIGNAL. A write whose connection turns out closed before any byte of the block
// went out reconnects in place and sends the block again; a connection that breaks
// after taking part of the block fails the write (nothing is sent twice or skipped).
class TCPIPPort : public CSystemPort {
 public:
  static constexpr int kWriteAttempts = 3;
  static constexpr int kMaxReadAttempts = 5;
  static constexpr int kSendBufferSize = 4096;
  // Each of the two connect attempts gives up after this long, so an unreachable
  // address fails the open in seconds rather than after the system's minutes.
  static constexpr DWORD kConnectTimeoutMs = 3000;

  explicit TCPIPPort(const TCPIPPortSettings& settings);
  ~TCPIPPort() override;

  bool Open() override;
  void Close() override;
  bool Write(const BYTE* data, LONG offset, LONG length) override;
  // Blocks until up to 128 bytes came or CancelReceive (from another thread).
  void StartReceive(BYTE* buffer, LONG length, ReceiveCallback callback) override;
  void CancelReceive() override;
  bool Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) override;
  // Takes only bytes already received; returns at once.
  bool ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL ignored) override;
  void RefreshDevice() override {}

  bool IsConnected() const { return connected_; }

 private:
  bool CreateSocket();
  // One connect; on failure returns false with *wsaError set.
  bool ConnectOnce(int* wsaError);
  // Connect with one retry on a fresh socket; error 2501 when both fail.
  bool Connect();
  void CloseSocket();
  // The errno of a connection the peer has closed or reset, else 0.
  int PeerClosedError() const;

  TCPIPPortSettings settings_;
  sockaddr_in local_{};
  sockaddr_in remote_{};
  bool addressValid_ = false;
  bool connected_ = false;
  int cancelReceiveFd_ = -1;  // eventfd that wakes StartReceive
};

}  // namespace Tesk::IO
