// The virtual printer behind a FIFO pair, as a "FILE" port reaches it: what the port
// writes goes to the printer and its replies come back through the second FIFO.
#pragma once

#include <chrono>
#include <string>

#include "platform/wtext.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"

namespace zanth::test {

class SimFifoPrinter {
 public:
  explicit SimFifoPrinter(const std::string& folder)
      : transport_(printer_, folder + "/to-printer", folder + "/from-printer",
                   sim::FilePairTransport::Kind::Fifo) {}

  sim::VirtualPrinter& Printer() { return printer_; }
  // The "PortSettings" value of a "FILE" port that reaches this printer.
  std::wstring PortSettings() const {
    return platform::FromUtf8(transport_.OutputPath() + "," + transport_.InputPath());
  }
  // Waits until a decoded text command contains the text.
  bool WaitForText(const std::string& text,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return printer_.WaitFor(
        [&] {
          for (const auto& command : printer_.LogOf("Text"))
            if (std::string(command.data.begin(), command.data.end()).find(text) !=
                std::string::npos)
              return true;
          return false;
        },
        timeout);
  }

 private:
  sim::VirtualPrinter printer_;
  sim::FilePairTransport transport_;
};

}  // namespace zanth::test
