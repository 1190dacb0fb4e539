#include "K15ReplyReader.h"

namespace Tesk::Printer {

namespace {

constexpr std::uint8_t kStart = 0xAA;
constexpr std::uint8_t kEnd = 0xBB;
constexpr std::size_t kAnswerSize = 5;

}  // namespace

std::size_t K15ReplyReader::Feed(const std::uint8_t* data, std::size_t size) {
  std::size_t used = 0;
  while (used < size && !Complete()) {
    candidate_.push_back(data[used++]);
    Scan();
  }
  return used;
}

void K15ReplyReader::Scan() {
  // The printer's own packets are its one-byte answers, AA 01 x x BB. A start byte that
  // does not begin one is stray and scanning resumes at the byte after it, so an answer
  // behind noise (or behind a query's reply containing AA) is still found.
  std::size_t at = 0;
  while (at < candidate_.size()) {
    const std::size_t left = candidate_.size() - at;
    const bool start = candidate_[at] == kStart;
    if (start && left < kAnswerSize) {
      // Unfinished unless what came so far already rules it out.
      if (left >= 2 && candidate_[at + 1] != 0x01) {
        KeepStray(at, 1);
        ++at;
        continue;
      }
      if (left >= 4 && candidate_[at + 3] != candidate_[at + 2]) {
        KeepStray(at, 1);
        ++at;
        continue;
      }
      break;
    }
    const std::uint8_t answer = start ? candidate_[at + 2] : 0;
    if (!start || candidate_[at + 1] != 0x01 || candidate_[at + 3] != answer || candidate_[at + 4] != kEnd) {
      KeepStray(at, 1);
      ++at;
      continue;
    }
    if (answer == kAck) {
      ++acks_;
    } else if (answer == kNak) {
      ++naks_;
    } else {
      KeepStray(at, kAnswerSize);  // a framed answer the protocol does not know
    }
    at += kAnswerSize;
    if (Complete()) break;
  }
  candidate_.erase(candidate_.begin(), candidate_.begin() + static_cast<std::ptrdiff_t>(at));
}

void K15ReplyReader::KeepStray(std::size_t at, std::size_t count) {
  stray_ += count;
  for (std::size_t i = 0; i < count && strayData_.size() < kKeptStray; ++i)
    strayData_.push_back(candidate_[at + i]);
}

}  // namespace Tesk::Printer
