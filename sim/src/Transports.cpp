// Transports of the virtual printer: each thread polls its endpoint and a wake-up eventfd.
#include "sim/Transports.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace zanth::sim {

struct Waker {
  int fd;
  Waker() : fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  }
  ~Waker() { ::close(fd); }
  void Wake() const {
    std::uint64_t one = 1;
    ssize_t n = ::write(fd, &one, sizeof one);
    (void)n;  // a full counter already means "wake up"
  }
  void Drain() const {
    std::uint64_t value;
    ssize_t n = ::read(fd, &value, sizeof value);
    (void)n;
  }
};

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }


// Writes all of data, waiting up to a second per stall; false when the peer is gone or stuck.
bool WriteAll(int fd, const Bytes& data, bool socket) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = socket ? ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL)
                       : ::write(fd, data.data() + done, data.size() - done);
    if (n > 0) {
      done += std::size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

void SetNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A non-blocking listening socket on address:port (a loopback address); -1 with errno and
// `what` on failure.
int OpenListener(const std::string& address, std::uint16_t port, int receiveBuffer,
                 std::uint16_t* bound, std::string* what) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *what = "socket";
    return -1;
  }
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  // Set before listen so every accepted connection has it (and a window to match).
  if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  auto fail = [&](const std::string& step) {
    int e = errno;
    ::close(fd);
    errno = e;
    *what = step;
    return -1;
  };
  if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
    errno = EINVAL;
    return fail("bad address " + address);
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) return fail("bind " + address + ":" + std::to_string(port));
  if (::listen(fd, 8) < 0) return fail("listen");
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  if (bound) *bound = ntohs(addr.sin_port);
  SetNonBlocking(fd);
  return fd;
}

// What the printer takes now and how long to wait when it takes nothing (poll time-out).
std::size_t ReadSize(VirtualPrinter& printer, std::size_t bufferSize, int& timeoutMs) {
  std::chrono::milliseconds retry(200);
  std::size_t allowed = printer.InputAllowance(&retry);
  if (allowed == 0) timeoutMs = int(std::clamp<long>(long(retry.count()), 1, 200));
  return std::min(allowed, bufferSize);
}

}  // namespace

// ---------------- TCP ----------------

TcpServer::TcpServer(VirtualPrinter& printer, std::uint16_t port)
    : TcpServer(printer, port, "127.0.0.1") {}

TcpServer::TcpServer(VirtualPrinter& printer, std::uint16_t port, const std::string& address)
    : printer_(printer), address_(address) {
  std::string what;
  listenFd_ = OpenListener(address_, port, printer_.Config().receiveBufferBytes, &port_, &what);
  if (listenFd_ < 0) Fail(what);
  waker_ = std::make_shared<Waker>();
  printer_.SetReplyNotifier([w = waker_] { w->Wake(); });
  thread_ = std::thread([this] { Run(); });
}

TcpServer::~TcpServer() {
  Stop();
  CloseFd(listenFd_);
}

void TcpServer::Stop() {
  if (stop_.exchange(true)) return;
  printer_.SetReplyNotifier(nullptr);
  waker_->Wake();
  if (thread_.joinable()) thread_.join();
  CloseFd(listenFd_);  // a stopped printer refuses connections, as one switched off does
}

void TcpServer::DropConnection() {
  drop_ = true;
  waker_->Wake();
}

void TcpServer::Run() {
  int conn = -1;
  std::uint8_t buf[4096];
  auto close = [&] {
    if (conn < 0) return;
    CloseFd(conn);
    connected_ = false;
    printer_.EndOfStream();
  };
  auto abort = [&] {
    // An abortive close, as a printer losing power would look to the host.
    linger hard{1, 0};
    ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close();
  };
  while (!stop_) {
    // Switched off: no connection and no listener (connects are refused); on again: listen
    // on the same port.
    bool powered = printer_.Powered();
    if (!powered) {
      if (conn >= 0) abort();
      CloseFd(listenFd_);
    } else if (listenFd_ < 0) {
      std::string what;
      listenFd_ = OpenListener(address_, port_, printer_.Config().receiveBufferBytes, nullptr, &what);
    }
    int timeout = 200;
    std::size_t readSize = conn >= 0 ? ReadSize(printer_, sizeof buf, timeout) : 0;
    pollfd fds[2] = {{waker_->fd, POLLIN, 0}, {conn >= 0 ? conn : listenFd_, POLLIN, 0}};
    // Taking nothing, the connection is left out of the poll: a hang-up would wake it at once.
    bool watch = fds[1].fd >= 0 && (conn < 0 || readSize > 0);
    int r = ::poll(fds, watch ? 2 : 1, timeout);
    if (r < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) waker_->Drain();
    if (stop_) break;
    if (drop_.exchange(false) && conn >= 0) {
      abort();
      continue;
    }
    if (!watch) fds[1].revents = 0;
    if (fds[1].fd < 0) continue;
    if (conn < 0) {
      if (fds[1].revents & POLLIN) {
        conn = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (conn >= 0) {
          int yes = 1;
          ::setsockopt(conn, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
          printer_.ClearReplies();
          ++accepted_;
          connected_ = true;
        }
      }
      continue;
    }
    if (readSize > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      ssize_t n = ::recv(conn, buf, readSize, 0);
      if (n > 0) {
        printer_.Feed(buf, std::size_t(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        close();
        continue;
      }
    }
    Bytes out = printer_.TakeReplies();
    if (!out.empty() && !WriteAll(conn, out, true)) close();
  }
  close();
}

// ---------------- pseudo-terminal ----------------

PtyTransport::PtyTransport(VirtualPrinter& printer) : printer_(printer) {
  masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (masterFd_ < 0) Fail("posix_openpt");
  auto fail = [&](const std::string& what) {
    int e = errno;
    CloseFd(masterFd_);
    errno = e;
    Fail(what);
  };
  if (::grantpt(masterFd_) < 0 || ::unlockpt(masterFd_) < 0) fail("unlockpt");
  char name[128];
  if (::ptsname_r(masterFd_, name, sizeof name) != 0) fail("ptsname_r");
  slavePath_ = name;
  slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (slaveFd_ < 0) fail("open " + slavePath_);
  // Raw, without echo: an echoing line discipline would hand the printer its own replies.
  termios tio{};
  if (::tcgetattr(slaveFd_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(slaveFd_, TCSANOW, &tio);
  }
  SetNonBlocking(masterFd_);
  waker_ = std::make_shared<Waker>();
  printer_.SetReplyNotifier([w = waker_] { w->Wake(); });
  thread_ = std::thread([this] { Run(); });
}

PtyTransport::~PtyTransport() {
  Stop();
  CloseFd(slaveFd_);
  CloseFd(masterFd_);
}

void PtyTransport::Stop() {
  if (stop_.exchange(true)) return;
  printer_.SetReplyNotifier(nullptr);
  waker_->Wake();
  if (thread_.joinable()) thread_.join();
}

void PtyTransport::Run() {
  std::uint8_t buf[4096];
  while (!stop_) {
    // Switched off, the printer still drains the line (what arrives is lost).
    int timeout = 200;
    std::size_t readSize = printer_.Powered() ? ReadSize(printer_, sizeof buf, timeout) : sizeof buf;
    pollfd fds[2] = {{waker_->fd, POLLIN, 0}, {masterFd_, short(readSize > 0 ? POLLIN : 0), 0}};
    int r = ::poll(fds, 2, timeout);
    if (r < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) waker_->Drain();
    if (readSize > 0 && (fds[1].revents & POLLIN)) {
      ssize_t n = ::read(masterFd_, buf, readSize);
      if (n > 0) printer_.Feed(buf, std::size_t(n));
    }
    Bytes out = printer_.TakeReplies();
    if (!out.empty()) WriteAll(masterFd_, out, false);
  }
}

// ---------------- file pair ----------------

FilePairTransport::FilePairTransport(VirtualPrinter& printer, std::string outputPath, std::string inputPath, Kind kind)
    : printer_(printer), outputPath_(std::move(outputPath)), inputPath_(std::move(inputPath)), kind_(kind) {
  auto make = [&](const std::string& path) {
    if (path.empty()) return;
    ::unlink(path.c_str());
    if (kind_ == Kind::Fifo) {
      if (::mkfifo(path.c_str(), 0666) < 0) Fail("mkfifo " + path);
    } else {
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      if (fd < 0) Fail("create " + path);
      ::close(fd);
    }
  };
  make(outputPath_);
  make(inputPath_);
  // Read-write opens of a FIFO never block and never see end-of-file when the host closes.
  readFd_ = ::open(outputPath_.c_str(), (kind_ == Kind::Fifo ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
  if (readFd_ < 0) Fail("open " + outputPath_);
  if (!inputPath_.empty()) {
    replyFd_ = ::open(inputPath_.c_str(), (kind_ == Kind::Fifo ? O_RDWR : (O_WRONLY | O_APPEND)) | O_CLOEXEC | O_NONBLOCK);
    if (replyFd_ < 0) {
      int e = errno;
      CloseFd(readFd_);
      errno = e;
      Fail("open " + inputPath_);
    }
  }
  waker_ = std::make_shared<Waker>();
  printer_.SetReplyNotifier([w = waker_] { w->Wake(); });
  thread_ = std::thread([this] { Run(); });
}

FilePairTransport::~FilePairTransport() {
  Stop();
  CloseFd(readFd_);
  CloseFd(replyFd_);
}

void FilePairTransport::Stop() {
  if (stop_.exchange(true)) return;
  printer_.SetReplyNotifier(nullptr);
  waker_->Wake();
  if (thread_.joinable()) thread_.join();
}

void FilePairTransport::Run() {
  std::uint8_t buf[4096];
  off_t offset = 0;
  while (!stop_) {
    bool fifo = kind_ == Kind::Fifo;
    int timeout = fifo ? 200 : 10;
    std::size_t readSize = printer_.Powered() ? ReadSize(printer_, sizeof buf, timeout) : sizeof buf;
    pollfd fds[2] = {{waker_->fd, POLLIN, 0}, {readFd_, short(readSize > 0 ? POLLIN : 0), 0}};
    // A regular file is always "readable": poll only the wake-up and look at the size.
    int r = ::poll(fds, fifo ? 2 : 1, fifo ? timeout : std::min(timeout, 10));
    if (r < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) waker_->Drain();
    if (fifo) {
      if (readSize > 0 && (fds[1].revents & POLLIN)) {
        ssize_t n = ::read(readFd_, buf, readSize);
        if (n > 0) printer_.Feed(buf, std::size_t(n));
      }
    } else {
      struct stat st {};
      if (readSize > 0 && ::fstat(readFd_, &st) == 0) {
        if (st.st_size < offset) offset = 0;  // the host truncated the file when it reopened it
        while (offset < st.st_size && readSize > 0) {
          ssize_t n = ::pread(readFd_, buf, readSize, offset);
          if (n <= 0) break;
          offset += n;
          printer_.Feed(buf, std::size_t(n));
          readSize = ReadSize(printer_, sizeof buf, timeout);
        }
      }
    }
    Bytes out = printer_.TakeReplies();
    if (!out.empty() && replyFd_ >= 0) WriteAll(replyFd_, out, false);
  }
}

// ---------------- fake usblp tree ----------------

namespace {

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path);
  out << text << "\n";
  if (!out) throw std::system_error(EIO, std::generic_category(), "write " + path.string());
}

std::string Hex4(std::uint16_t v) {
  char s[8];
  std::snprintf(s, sizeof s, "%04x", v);
  return s;
}

}  // namespace

FakeUsbTree::FakeUsbTree(std::string root) : root_(std::move(root)) {
  std::filesystem::create_directories(root_ + "/sys/class/usbmisc");
  std::filesystem::create_directories(root_ + "/dev/usb");
}

FakeUsbTree::~FakeUsbTree() = default;

std::string FakeUsbTree::AddPrinter(VirtualPrinter& printer, int index, std::uint16_t vendorId, std::uint16_t productId,
                                    Node node, const std::string& product) {
  namespace fs = std::filesystem;
  RemovePrinter(index);  // a node plugged in again replaces the old one
  std::string port = "1-" + std::to_string(index + 1);
  std::string lp = "lp" + std::to_string(index);
  std::string rel = "devices/pci0000:00/0000:00:14.0/usb1/" + port;
  fs::path device = fs::path(root_) / "sys" / rel;
  fs::path iface = device / (port + ":1.0");
  fs::path lpDir = iface / "usbmisc" / lp;
  fs::create_directories(lpDir);
  WriteText(device / "idVendor", Hex4(vendorId));
  WriteText(device / "idProduct", Hex4(productId));
  WriteText(device / "manufacturer", "Zanth Virtual");
  WriteText(device / "product", product);
  WriteText(device / "serial", "SIM" + std::to_string(index));
  WriteText(device / "busnum", "1");
  WriteText(device / "devnum", std::to_string(index + 2));
  WriteText(iface / "bInterfaceClass", "07");
  WriteText(iface / "bInterfaceSubClass", "01");
  WriteText(iface / "bInterfaceProtocol", "02");
  WriteText(lpDir / "dev", "180:" + std::to_string(index));
  WriteText(lpDir / "uevent", "MAJOR=180\nMINOR=" + std::to_string(index) + "\nDEVNAME=usb/" + lp);
  std::error_code ec;
  fs::remove(lpDir / "device", ec);
  fs::create_directory_symlink("../..", lpDir / "device");
  fs::path classLink = fs::path(root_) / "sys/class/usbmisc" / lp;
  fs::remove(classLink, ec);
  fs::create_directory_symlink("../../" + rel + "/" + port + ":1.0/usbmisc/" + lp, classLink);

  std::string devPath = root_ + "/dev/usb/" + lp;
  fs::remove(devPath, ec);
  if (node == Node::Pty) {
    auto& pty = ptys_[index] = std::make_unique<PtyTransport>(printer);
    fs::create_symlink(pty->SlavePath(), devPath);
  } else {
    fifos_[index] = std::make_unique<FilePairTransport>(printer, devPath, "", FilePairTransport::Kind::Fifo);
  }
  return devPath;
}

void FakeUsbTree::RemovePrinter(int index) {
  const std::string lp = "lp" + std::to_string(index);
  std::error_code ec;
  std::filesystem::remove(root_ + "/sys/class/usbmisc/" + lp, ec);
  std::filesystem::remove(root_ + "/dev/usb/" + lp, ec);
  ptys_.erase(index);
  fifos_.erase(index);
}

}  // namespace zanth::sim
