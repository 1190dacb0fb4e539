// A TCP listener on 127.0.0.1 with an ephemeral port, standing in for a network printer.
#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testing_support {

class LoopbackServer {
 public:
  LoopbackServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0) {
      CloseListener();
      return;
    }
    socklen_t size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackServer() { CloseListener(); }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  unsigned short Port() const { return port_; }
  bool Listening() const { return listener_ >= 0; }
  void CloseListener() {
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
  }

  // The next connection, or -1 after timeoutMs.
  int Accept(int timeoutMs = 5000) {
    pollfd entry{listener_, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) != 1) return -1;
    return ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  }

  // Exactly n bytes from fd, or fewer when the peer closes or timeoutMs passes.
  static std::string Receive(int fd, std::size_t n, int timeoutMs = 5000) {
    std::string data;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (data.size() < n) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd entry{fd, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(left.count())) != 1) break;
      char buffer[4096];
      ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, n - data.size()), 0);
      if (got <= 0) break;
      data.append(buffer, static_cast<std::size_t>(got));
    }
    return data;
  }

  static bool Send(int fd, const std::string& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

  // Closes an accepted connection with a reset instead of an orderly close.
  static void Reset(int fd) {
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
  }

  // The port of the far end of an accepted connection (the client's local port).
  static unsigned short PeerPort(int fd) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size);
    return ntohs(peer.sin_port);
  }

  // The kernel's TCP state (hex, as /proc/net/tcp lists it: 01 ESTABLISHED, 08 CLOSE_WAIT)
  // of the loopback socket with this local port, or -1 when there is none.
  static int SocketState(unsigned short localPort) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      unsigned port = 0;
      if (std::sscanf(local.c_str(), "%*8X:%X", &port) == 1 && port == localPort)
        return static_cast<int>(std::stoul(state, nullptr, 16));
    }
    return -1;
  }

  // Waits up to timeoutMs until the socket with localPort reaches state.
  static bool WaitForState(unsigned short localPort, int state, int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (SocketState(localPort) == state) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

 private:
  int listener_ = -1;
  unsigned short port_ = 0;
};

}  // namespace testing_support
