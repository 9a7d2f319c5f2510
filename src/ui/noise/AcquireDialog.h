#pragma once

#include <QDialog>
#include <QLineEdit>

namespace velk {

// Asks "Acquire..."'s duration and the optional acquisition file. The window checks what was
// typed once the dialog is accepted.
class AcquireDialog : public QDialog {
  Q_OBJECT
 public:
  AcquireDialog(const QString& seconds, const QString& file, QWidget* parent = nullptr);

  QLineEdit* txtSeconds = nullptr;
  QLineEdit* txtFile = nullptr;
};

}  // namespace velk
