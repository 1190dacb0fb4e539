// Ways to reach the virtual printer: TCP on 127.0.0.1, a pseudo-terminal, a FIFO or file pair,
// and a fake usblp device tree. Each transport runs one thread that feeds received bytes to a
// VirtualPrinter and writes its replies back; destroying the transport stops the thread.
//
// The printer must outlive every transport that serves it.
// Construction throws std::system_error when the endpoint cannot be created (port in use,
// no pty available, folder not writable). Accessors are thread-safe. One printer should be
// served by one transport at a time (the transport installs the printer's reply notifier).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/VirtualPrinter.h"

namespace zanth::sim {

// Wake-up eventfd shared with the printer's reply notifier, so a late notification after the
// transport is gone still writes to a live descriptor.
struct Waker;

// TCP server on 127.0.0.1. Connections are served one after another: while one is open,
// the next waits in the listen backlog and is accepted when the first one ends.
class TcpServer {
 public:
  TcpServer(VirtualPrinter& printer, std::uint16_t port = 0);  // 0 picks an ephemeral port
  // Listens on another loopback address (127.x.y.z), so a test can use a fixed port such as
  // 9100 without clashing with other tests. Throws std::system_error when it cannot bind.
  TcpServer(VirtualPrinter& printer, std::uint16_t port, const std::string& address);
  ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  std::uint16_t Port() const { return port_; }
  bool Connected() const { return connected_; }
  int ConnectionsAccepted() const { return accepted_; }
  // Closes the current connection from the printer's side (the host sees EOF / reset);
  // the server keeps listening for the next one.
  void DropConnection();
  // Ends the current connection and stops listening: new connections are refused.
  void Stop();

 private:
  void Run();
  VirtualPrinter& printer_;
  std::string address_;
  int listenFd_ = -1;
  std::shared_ptr<Waker> waker_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> drop_{false};
  std::atomic<bool> connected_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

// A pseudo-terminal pair: the host opens SlavePath() as its serial port. The printer keeps
// the slave side open itself (in raw mode) so the pair survives the host closing and reopening.
class PtyTransport {
 public:
  explicit PtyTransport(VirtualPrinter& printer);
  ~PtyTransport();
  PtyTransport(const PtyTransport&) = delete;
  PtyTransport& operator=(const PtyTransport&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  void Stop();

 private:
  void Run();
  VirtualPrinter& printer_;
  int masterFd_ = -1;
  int slaveFd_ = -1;
  std::shared_ptr<Waker> waker_;
  std::string slavePath_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The file port's pair: the host writes OutputPath() (the printer reads it) and reads
// InputPath() (the printer appends its replies). As FIFOs both are created with mkfifo and
// held open read-write by the printer, so neither side ever blocks on open; as regular files
// the output file is followed as it grows (and restarted when truncated) and replies are
// appended to the input file. An empty input path means the printer cannot answer.
class FilePairTransport {
 public:
  enum class Kind { Fifo, RegularFile };
  FilePairTransport(VirtualPrinter& printer, std::string outputPath, std::string inputPath, Kind kind);
  ~FilePairTransport();
  FilePairTransport(const FilePairTransport&) = delete;
  FilePairTransport& operator=(const FilePairTransport&) = delete;

  const std::string& OutputPath() const { return outputPath_; }
  const std::string& InputPath() const { return inputPath_; }
  void Stop();

 private:
  void Run();
  VirtualPrinter& printer_;
  std::string outputPath_, inputPath_;
  Kind kind_;
  int readFd_ = -1;
  int replyFd_ = -1;
  std::shared_ptr<Waker> waker_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A fake usblp tree under Root(), laid out like the kernel's:
//   <root>/sys/devices/pci0000:00/0000:00:14.0/usb1/1-<n>/{idVendor,idProduct,manufacturer,product,serial}
//   <root>/sys/devices/.../1-<n>/1-<n>:1.0/usbmisc/lp<i>/{dev,uevent,device -> ../..}
//   <root>/sys/class/usbmisc/lp<i> -> ../../devices/.../usbmisc/lp<i>
//   <root>/dev/usb/lp<i>: a symlink to a pty slave (answers) or a FIFO (write-only printer)
// Point the service object at it with OPOS_SYSFS_ROOT=SysfsRoot() and OPOS_DEV_ROOT=DevRoot().
class FakeUsbTree {
 public:
  enum class Node { Pty, Fifo };
  explicit FakeUsbTree(std::string root);  // created if missing; removed again by nothing
  ~FakeUsbTree();
  FakeUsbTree(const FakeUsbTree&) = delete;
  FakeUsbTree& operator=(const FakeUsbTree&) = delete;

  const std::string& Root() const { return root_; }
  std::string SysfsRoot() const { return root_ + "/sys"; }
  std::string DevRoot() const { return root_ + "/dev"; }
  // Adds lp<index> with the given ids, served by printer; returns the /dev/usb/lp<index> path.
  std::string AddPrinter(VirtualPrinter& printer, int index, std::uint16_t vendorId, std::uint16_t productId,
                         Node node = Node::Pty, const std::string& product = "Virtual Receipt Printer");
  // Unplugs lp<index>: its node and sysfs entry go and its transport stops, so a host that
  // holds the node open sees it hang up. AddPrinter with the same index plugs it back.
  void RemovePrinter(int index);

 private:
  std::string root_;
  std::map<int, std::unique_ptr<PtyTransport>> ptys_;
  std::map<int, std::unique_ptr<FilePairTransport>> fifos_;
};

}  // namespace zanth::sim
