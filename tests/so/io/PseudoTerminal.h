// A pseudo-terminal pair: a port opens the slave, the test plays the printer on the master.
#pragma once

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace testing_support {

class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) slave_ = ptsname(master_);
    // Keeps the slave side alive between the port's opens.
    if (!slave_.empty()) keeper_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~PseudoTerminal() {
    if (keeper_ >= 0) ::close(keeper_);
    if (master_ >= 0) ::close(master_);
  }
  int Master() const { return master_; }
  const std::string& Slave() const { return slave_; }
  termios SlaveSettings() const {
    termios line{};
    tcgetattr(keeper_, &line);
    return line;
  }
  int SlaveFd() const { return keeper_; }
  // Binary line without echo, so bytes pass unchanged and at once.
  void MakeRaw() {
    termios line = SlaveSettings();
    cfmakeraw(&line);
    tcsetattr(keeper_, TCSANOW, &line);
  }
  // Up to n bytes the port sent, waiting at most timeoutMs in all.
  std::string ReadMaster(std::size_t n, int timeoutMs = 5000) {
    std::string data;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (data.size() < n) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd entry{master_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) != 1) break;
      char buffer[256];
      ssize_t got = ::read(master_, buffer, std::min(sizeof buffer, n - data.size()));
      if (got <= 0) break;
      data.append(buffer, static_cast<std::size_t>(got));
    }
    return data;
  }

 private:
  int master_ = -1;
  int keeper_ = -1;
  std::string slave_;
};

}  // namespace testing_support
