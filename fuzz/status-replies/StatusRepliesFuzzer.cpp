// Feeds arbitrary printer replies to the status decoders of both command sets: single status
// bytes, automatic status blocks, and the change detector the poll runs until it reports
// nothing more. A decoder says 1 or 0; a change detector must settle, or the poll would
// report events for ever from one reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "CmdHelperBase.h"
#include "CmdHelperK15.h"

namespace {

using Tesk::Printer::ICmdHelper;
using Tesk::Printer::tagPrinterStatus;

void Check(bool ok) {
  if (!ok) std::abort();
}

void Decode(ICmdHelper& builder, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    tagPrinterStatus status;
    LONG drawer = 0;
    const int reply = data[i];
    for (int result : {builder.ParsePrinterStatus(reply, &status), builder.ParseOfflineStatus(reply, &status),
                       builder.ParsePaperStatus(reply, &status), builder.ParsePaperSensorStatus(reply, &status),
                       builder.ParseDrawerStatus(reply, &drawer), builder.ParsePrinterStatus(reply, nullptr)})
      Check(result == 0 || result == 1);
  }
  // Automatic status blocks and change detection, four bytes at a time.
  BYTE remembered[4] = {};
  BYTE byType[3] = {};
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    const BYTE* block = data + i;
    tagPrinterStatus status;
    const int parsed = builder.ParseAutoStatus(block, &status);
    Check(parsed == 0 || parsed == 1);
    int changes = 0;
    while (builder.DetectStatusChange(block, remembered) != 0) Check(++changes <= 16);
    for (int type = 0; type < 3; ++type) {
      const int replyType = type == 0 ? 1 : type == 1 ? 2 : 4;
      changes = 0;
      while (builder.DetectStatusChangeByType(block[type], &byType[type], replyType) != 0)
        Check(++changes <= 16);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  CCmdHelperBase escpos;
  CmdHelper_K15 packets("K15");
  ICmdHelper& builder = (data[0] & 1) ? static_cast<ICmdHelper&>(packets) : escpos;
  Decode(builder, data + 1, size - 1);
  return 0;
}
