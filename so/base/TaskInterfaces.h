// The job and idle-work interfaces the engine's worker runs.
#pragma once

#include "platform/wintypes.h"

namespace Tesk::BASE {

class ITaskBase {
 public:
  virtual ~ITaskBase() = default;
  // Does the work; non-zero on success.
  virtual int Execute() = 0;
  virtual void Cancel() = 0;
  // -1: no completion event is wanted.
  virtual LONG GetOutputID() const = 0;
  virtual int IsWriting() const = 0;
  virtual int IsCancelled() const = 0;
};

// Work done whenever the worker's queue is empty.
class ITask2 {
 public:
  virtual void RunIdle() = 0;

 protected:
  ~ITask2() = default;
};

}  // namespace Tesk::BASE
