// Reads what the second model's printer answers to framed blocks. Each packet it took is
// acknowledged by a packet of its own (AA 01 06 06 BB, or 15 for a refused one); commands
// that answer by themselves answer with their bytes alone. Bytes may arrive in any pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tesk::Printer {

class K15ReplyReader {
 public:
  static constexpr std::uint8_t kAck = 0x06;
  static constexpr std::uint8_t kNak = 0x15;

  // expectedPackets: how many packets were written, so how many answers end the reply.
  explicit K15ReplyReader(int expectedPackets) : expected_(expectedPackets) {}

  // Takes the next received bytes; returns how many of them belong to the reply (all, or
  // those up to the last expected acknowledgement).
  std::size_t Feed(const std::uint8_t* data, std::size_t size);

  // Every written packet was answered, acknowledged or refused.
  bool Complete() const { return acks_ + naks_ >= expected_; }
  int Acks() const { return acks_; }
  int Naks() const { return naks_; }
  // Bytes outside the answers (replies of query commands, status blocks, line noise).
  std::size_t StrayBytes() const { return stray_; }
  // The first kKeptStray of them, in order, for the caller to look through (a status
  // block that came with the answers must not be lost).
  static constexpr std::size_t kKeptStray = 256;
  const std::vector<std::uint8_t>& Stray() const { return strayData_; }

 private:
  // Scans candidate_ from its start; keeps an unfinished answer for the next bytes.
  void Scan();
  void KeepStray(std::size_t at, std::size_t count);

  int expected_;
  int acks_ = 0, naks_ = 0;
  std::size_t stray_ = 0;
  std::vector<std::uint8_t> strayData_;
  std::vector<std::uint8_t> candidate_;  // bytes from a start byte on, not yet a whole answer
};

}  // namespace Tesk::Printer
