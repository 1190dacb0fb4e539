// Feeds arbitrary printer answers to the reader of the second model's packet replies, cut
// into reads of fuzzer-chosen sizes. However the bytes are split, the reader must count the
// same answers, stop at the same byte and account for every byte it took.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "K15ReplyReader.h"

namespace {

using Tesk::Printer::K15ReplyReader;

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int expected = data[0] % 8;     // packets written
  const std::uint8_t pieces = data[1];  // read sizes come from its bits
  data += 2;
  size -= 2;

  K15ReplyReader whole(expected);
  const std::size_t usedWhole = whole.Feed(data, size);
  Check(usedWhole <= size);
  Check(whole.Complete() == (whole.Acks() + whole.Naks() >= expected));
  Check(!whole.Complete() || usedWhole >= 5u * static_cast<std::size_t>(expected));

  K15ReplyReader split(expected);
  std::size_t at = 0, used = 0;
  for (int read = 0; at < size && !split.Complete(); ++read) {
    const std::size_t chunk = std::min<std::size_t>(size - at, 1 + ((pieces >> (read % 8)) & 7));
    const std::size_t took = split.Feed(data + at, chunk);
    Check(took <= chunk);
    used += took;
    at += chunk;
  }
  Check(split.Complete() == whole.Complete());
  Check(split.Acks() == whole.Acks() && split.Naks() == whole.Naks());
  Check(!whole.Complete() || used == usedWhole);
  // Every byte taken is an answer, stray, or part of an answer not finished yet.
  Check(5u * static_cast<std::size_t>(whole.Acks() + whole.Naks()) + whole.StrayBytes() <= usedWhole);
  Check(usedWhole - whole.StrayBytes() - 5u * static_cast<std::size_t>(whole.Acks() + whole.Naks()) < 5);
  return 0;
}
