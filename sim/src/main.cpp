// zanth-sim: a virtual ESC/POS receipt printer on TCP or a pseudo-terminal.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"

namespace {

void Usage() {
  std::cerr << "usage: zanth-sim [--tcp PORT | --pty] [--out DIR] [--model NAME] [--width DOTS] [--packets]\n"
               "                 [--stop-when-offline] [--slow BYTES_PER_SECOND] [--stall] [--rcvbuf BYTES] [--log]\n"
               "  --tcp PORT   listen on 127.0.0.1:PORT (default 9100; 0 picks a free port)\n"
               "  --pty        serve a pseudo-terminal instead; its path is printed\n"
               "  --out DIR    write one PNG per cut into DIR (receipt-0001.png, ...)\n"
               "  --model NAME the geometry of a model: print width, dot pitch, motion units, cutter\n"
               "               distance (TM-T88IV: 512 dots at 0.141 mm; 80 mm names 576, 58 mm 384)\n"
               "  --width DOTS paper width in dots (default 576, or the model's)\n"
               "  --packets    the second model's packet framing\n"
               "  --stop-when-offline  paper end and cover open hold data until cleared\n"
               "  --slow B     drain at most B bytes a second\n"
               "  --stall      start stalled (reads nothing until \"stall off\")\n"
               "  --rcvbuf B   socket receive buffer of a tcp connection\n"
               "  --log        print every decoded command\n"
               "While running, type state changes on standard input:\n"
               "  cover open|closed, paper end|near-end|ok, drawer open|closed, offline, online,\n"
               "  silent on|off, stall on|off, slow B|off, power off|on, drop (ends the tcp\n"
               "  connection), status, quit\n";
}

}  // namespace

int main(int argc, char** argv) {
  int port = 9100;
  bool pty = false, printLog = false;
  std::string out;
  zanth::sim::PrinterConfig config;
  int width = 0;
  long slow = 0;
  bool stall = false, stopWhenOffline = false, packets = false;
  int rcvbuf = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        Usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--tcp") port = std::atoi(next().c_str());
    else if (a == "--pty") pty = true;
    else if (a == "--out") out = next();
    else if (a == "--width") width = std::atoi(next().c_str());
    else if (a == "--model") config = zanth::sim::PrinterConfig::ForModel(next());
    else if (a == "--packets") packets = true;
    else if (a == "--stop-when-offline") stopWhenOffline = true;
    else if (a == "--slow") slow = std::atol(next().c_str());
    else if (a == "--stall") stall = true;
    else if (a == "--rcvbuf") rcvbuf = std::atoi(next().c_str());
    else if (a == "--log") printLog = true;
    else {
      Usage();
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  if (width != 0) config.paperWidthDots = width;
  if (packets) config.packetFraming = true;
  if (stopWhenOffline) config.stopsWhenOffline = true;
  config.receiveBufferBytes = rcvbuf;
  if (port < 0 || port > 65535 || config.paperWidthDots < 8 || config.paperWidthDots > 4096 || slow < 0 || rcvbuf < 0) {
    std::cerr << "zanth-sim: port must be 0..65535, width 8..4096, --slow and --rcvbuf not negative\n";
    return 2;
  }
  if (!out.empty() && ::mkdir(out.c_str(), 0777) != 0 && errno != EEXIST) {
    std::cerr << "zanth-sim: cannot create " << out << ": " << std::strerror(errno) << "\n";
    return 1;
  }

  zanth::sim::VirtualPrinter printer(config);
  printer.SetDrainRate(std::size_t(slow));
  printer.SetStalled(stall);
  if (!out.empty()) {
    printer.SetCutListener([out](int index, const zanth::sim::Image& page) {
      char name[32];
      std::snprintf(name, sizeof name, "/receipt-%04d.png", index + 1);
      std::string error;
      if (zanth::sim::WritePng(page, out + name, &error)) std::cout << "cut: wrote " << out << name << std::endl;
      else std::cerr << "zanth-sim: " << error << std::endl;
    });
  }

  std::unique_ptr<zanth::sim::TcpServer> tcp;
  std::unique_ptr<zanth::sim::PtyTransport> serial;
  try {
    if (pty) {
      serial = std::make_unique<zanth::sim::PtyTransport>(printer);
      std::cout << "listening on pty " << serial->SlavePath() << std::endl;
    } else {
      tcp = std::make_unique<zanth::sim::TcpServer>(printer, std::uint16_t(port));
      std::cout << "listening on tcp 127.0.0.1:" << tcp->Port() << std::endl;
    }
  } catch (const std::exception& e) {
    std::cerr << "zanth-sim: " << e.what() << "\n";
    return 1;
  }

  std::size_t logged = 0;
  auto dumpLog = [&] {
    if (!printLog) return;
    auto log = printer.Log();
    for (; logged < log.size(); ++logged) std::cout << "  " << log[logged].ToString() << "\n";
    std::cout.flush();
  };
  std::string line;
  while (std::getline(std::cin, line)) {
    dumpLog();
    if (line.empty()) continue;
    if (line == "quit" || line == "exit") break;
    if (line == "drop") {
      if (tcp) tcp->DropConnection();
      std::cout << (tcp ? "ok" : "drop works on tcp only") << std::endl;
      continue;
    }
    if (line == "status") {
      auto s = printer.State();
      std::cout << "cover " << (s.coverOpen ? "open" : "closed") << ", paper "
                << (s.paperEnd ? "end" : s.paperNearEnd ? "near-end" : "ok") << ", drawer "
                << (s.drawerOpen ? "open" : "closed") << ", " << (s.offline ? "offline" : "online")
                << (s.silent ? ", silent" : "") << (printer.Stalled() ? ", stalled" : "")
                << (printer.Powered() ? "" : ", power off") << (printer.Stopped() ? ", stopped" : "") << ", cuts " << printer.CutCount() << ", bytes "
                << printer.BytesReceived() << std::endl;
      continue;
    }
    std::string error;
    if (printer.ApplyStateCommand(line, &error)) std::cout << "ok" << std::endl;
    else std::cerr << "zanth-sim: " << error << std::endl;
  }
  // Standard input closed: keep serving until killed, unless it was an explicit quit.
  if (!std::cin) {
    for (;;) {
      printer.WaitFor([] { return false; }, std::chrono::milliseconds(500));
      dumpLog();
    }
  }
  dumpLog();
  return 0;
}
