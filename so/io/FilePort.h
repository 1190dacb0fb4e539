// A port on two existing files or FIFOs: output written, input read.
#pragma once

#include "PortSettings.h"
#include "SystemPort.h"

namespace Tesk::IO {

// Open needs the output file; a missing input file still opens (writes work, reads
// fail). A regular output file is emptied at open, so a capture never keeps the tail of
// an earlier, longer one.
class FilePort : public CSystemPort {
 public:
  explicit FilePort(const FilePortSettings& settings);
  ~FilePort() override;

  bool Open() override;
  void Close() override;
  bool Write(const BYTE* data, LONG offset, LONG length) override;
  // Gathers all bytes, whatever waitAll says; without waitAll each wait is the short
  // one and the first that brings nothing ends the read.
  bool Read(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL waitAll) override;
  // Reads the input file: the output file is never read back as printer replies.
  bool ReadOnce(BYTE* buffer, LONG offset, LONG length, LONG* bytesRead, BOOL ignored) override;

 private:
  void CloseHandles();

  FilePortSettings settings_;
  int writeFd_ = -1;
  int readFd_ = -1;
};

}  // namespace Tesk::IO
