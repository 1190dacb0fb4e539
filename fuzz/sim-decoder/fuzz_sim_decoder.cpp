// Fuzzes the virtual printer with arbitrary host bytes: nothing may crash, hang or run away.
#include <cstddef>
#include <cstdint>

#include "sim/VirtualPrinter.h"

// The first byte picks the framing, the chunk size the stream is fed in, and a state
// change half-way; the rest is the stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::uint8_t control = data[0];
  ++data;
  --size;
  // Bit 1: the TM-T88IV geometry (512 dots, half-dot vertical units, a cutter distance).
  zanth::sim::PrinterConfig config = (control & 0x02) ? zanth::sim::PrinterConfig::ForModel("TM-T88IV")
                                                      : zanth::sim::PrinterConfig{};
  config.packetFraming = control & 0x01;
  // The cover opened half-way holds the rest of the stream until it closes at the end.
  config.stopsWhenOffline = true;
  config.inputBufferBytes = 1u << 30;
  zanth::sim::VirtualPrinter printer(config);
  std::size_t chunk = 1 + ((control >> 2) & 0x0F) * 7;
  for (std::size_t i = 0; i < size; i += chunk) {
    if (i >= size / 2 && i < size / 2 + chunk && (control & 0x40)) printer.SetCoverOpen(true);
    printer.Feed(data + i, chunk < size - i ? chunk : size - i);
    printer.TakeReplies();
  }
  printer.SetCoverOpen(false);
  printer.TakeReplies();
  printer.EndOfStream();
  if (control & 0x80) {
    (void)printer.ReceiptImage();
    printer.SetPower(false);
    printer.SetPower(true);
  }
  return 0;
}
