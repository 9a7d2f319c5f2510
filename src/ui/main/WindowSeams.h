#pragma once

#include <QDialog>
#include <cstdlib>

#include "core/ModalRunner.h"

namespace velk {

class QtModalRunner final : public ModalRunner {
 public:
  void Run(QDialog& dialog) override { dialog.exec(); }
};

// Ends the process at once, so no handler runs after the configuration is saved, not even
// the read loop that was suspended in its event processing when Exit was chosen.
class ProcessExit {
 public:
  virtual ~ProcessExit() = default;
  virtual void Exit(int code) = 0;
};

class StdProcessExit final : public ProcessExit {
 public:
  void Exit(int code) override { std::exit(code); }
};

}  // namespace velk
