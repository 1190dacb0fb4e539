// ESC/POS byte-stream decoder of the virtual printer: splits what a host sends into commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zanth::sim {

using Bytes = std::vector<std::uint8_t>;

// One decoded command. `op` is a stable name tests assert on (the list is in Decoder.cpp's
// tables and in the README of sim/: "Text", "LineFeed", "PrintMode", "Cut", "Qr.Store", ...).
// `args` holds the numeric parameters in wire order (16-bit values already combined),
// `data` the payload of counted commands (text bytes for "Text").
struct Command {
  std::string op;
  std::string mnemonic;          // e.g. "ESC !", "GS ( k"; for text "TEXT"
  std::vector<int> args;
  Bytes data;
  std::size_t offset = 0;        // position of the first byte in the decoded stream
  std::size_t length = 0;        // bytes the command occupied
  bool malformed = false;        // unknown command, or parameters out of range
  bool realtimeInData = false;   // a DLE EOT seen inside another command's data
  std::string note;              // why it is malformed, or a detail
  Bytes symbolData;              // Qr.Print, Pdf417.Print: the stored data the symbol encodes

  int Arg(std::size_t i, int fallback = -1) const { return i < args.size() ? args[i] : fallback; }
  std::string ToString() const;  // "ESC ! [8]" style, for logs and failure messages
};

// Incremental decoder. Feed() may be called with any split of the stream; a command whose bytes
// have not all arrived waits for the next Feed(). Never throws on bad input: unknown bytes
// become commands with malformed = true and decoding resumes after them.
//
// Real-time status requests (DLE EOT n) arriving while a counted command waits for its data
// are reported at once (realtimeInData = true) as a real printer answers them; the bytes still
// count as that command's data.
class Decoder {
 public:
  // Declared payloads above this size are refused (logged malformed, header skipped) so a
  // hostile length cannot make the printer wait for gigabytes.
  static constexpr std::size_t kMaxPayload = 16u << 20;

  void Feed(const std::uint8_t* data, std::size_t size, std::vector<Command>& out);
  // Ends the stream: a command still waiting for bytes is reported as truncated.
  void Flush(std::vector<Command>& out);
  void Reset();
  std::size_t Pending() const { return buffer_.size() - start_; }
  std::size_t Consumed() const { return consumedTotal_; }
  // FS q in the second model's layout (sizes in dots, raster rows) instead of the standard one
  // (sizes in 8-dot units, columns).
  void SetRasterNvImages(bool on) { rasterNvImages_ = on; }
  bool RasterNvImages() const { return rasterNvImages_; }

 private:
  Bytes buffer_;
  std::size_t start_ = 0;         // first unconsumed byte in buffer_
  std::size_t consumedTotal_ = 0; // stream offset of buffer_[start_]
  std::size_t scannedTo_ = 0;     // real-time scan position inside a stalled command
  bool rasterNvImages_ = false;
};

}  // namespace zanth::sim
