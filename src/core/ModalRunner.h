#pragma once

class QDialog;

namespace velk {

// Runs a dialog modally. Tests replace it so no test ever blocks on a window.
class ModalRunner {
 public:
  virtual ~ModalRunner() = default;
  virtual void Run(QDialog& dialog) = 0;
};

}  // namespace velk
