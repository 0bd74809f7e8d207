#pragma once

#include "platform/process_exit.h"

namespace morvane {

class PosixProcessExit final : public ProcessExit {
 public:
 protected:
  [[noreturn]] void endProcess(int status) override;
};

}  // namespace morvane
