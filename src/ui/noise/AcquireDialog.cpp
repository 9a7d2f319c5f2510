#include "ui/noise/AcquireDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velk {

AcquireDialog::AcquireDialog(const QString& seconds, const QString& file, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("Acquire");
  setObjectName("AcquireDialog");
  txtSeconds = new QLineEdit(seconds);
  txtSeconds->setObjectName("txtSeconds");
  txtSeconds->setAccessibleName("Duration (s)");
  txtFile = new QLineEdit(file);
  txtFile->setObjectName("txtFile");
  txtFile->setAccessibleName("Acquisition file");
  txtFile->setPlaceholderText("none: the samples are kept in memory only");
  txtFile->setMinimumWidth(360);

  auto* form = new QFormLayout;
  auto* secondsLabel = new QLabel("&Duration (s):");
  secondsLabel->setBuddy(txtSeconds);
  form->addRow(secondsLabel, txtSeconds);
  auto* fileLabel = new QLabel("Acquisition &file:");
  fileLabel->setBuddy(txtFile);
  form->addRow(fileLabel, txtFile);

  auto* note = new QLabel(
      "The read loop stops while the chip's every sample is taken; the main window's chip "
      "controls wait until the acquisition ends.");
  note->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("&Start");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* all = new QVBoxLayout(this);
  all->addLayout(form);
  all->addWidget(note);
  all->addWidget(buttons);
  txtSeconds->selectAll();
}

}  // namespace velk
