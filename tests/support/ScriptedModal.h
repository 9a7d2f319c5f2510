#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "core/ModalRunner.h"

namespace velk::test {

// A dialog "runs" shown but not modal: the test's script acts on it, and whatever the script
// leaves open is closed by its title-bar close box.
class ScriptedModal final : public ModalRunner {
 public:
  void Run(QDialog& dialog) override {
    opened.push_back(&dialog);
    dialog.show();
    if (script) script(dialog);
    if (dialog.isVisible()) dialog.close();
  }
  std::function<void(QDialog&)> script;
  std::vector<QDialog*> opened;
};

}  // namespace velk::test
