// A virtual printer on the fixed raw printing port 9100 of a loopback address of its own
// (127.x.y.z), for entries whose port the setup tool writes as 9100, without clashing with
// other tests.
#pragma once

#include <memory>
#include <random>
#include <string>
#include <system_error>

#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"

namespace zanth::test {

// Listens on 127.x.y.z:9100, trying random addresses; null when none was free. address gets
// the one in use.
inline std::unique_ptr<sim::TcpServer> ListenOnOwnLoopback(sim::VirtualPrinter& device,
                                                           std::string& address) {
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 20; ++attempt) {
    address = "127." + std::to_string(random() % 250 + 1) + "." + std::to_string(random() % 250 + 1) +
              "." + std::to_string(random() % 250 + 1);
    try {
      return std::make_unique<sim::TcpServer>(device, 9100, address);
    } catch (const std::system_error&) {
    }
  }
  return nullptr;
}

}  // namespace zanth::test
