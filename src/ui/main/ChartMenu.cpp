#include <QBuffer>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImageWriter>
#include <string>
#include <string_view>

#include "core/SafeSave.h"
#include "ui/main/FrmVelk47120.h"

namespace velk {

void frmVelk47120::BuildChartMenu() {
  pic1Menu = new QMenu(pic1);
  mnuCopyChart = pic1Menu->addAction("&Copy Chart");
  mnuSaveChart = pic1Menu->addAction(QString::fromUtf8("&Save Chart As\u2026"));
  pic1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(pic1, &QWidget::customContextMenuRequested, this, &frmVelk47120::pic1_ContextMenu);
  connect(mnuCopyChart, &QAction::triggered, this, &frmVelk47120::mnuCopyChart_Click);
  connect(mnuSaveChart, &QAction::triggered, this, &frmVelk47120::mnuSaveChart_Click);
}

void frmVelk47120::pic1_ContextMenu(const QPoint& at) {
  mnuSaveChart->setEnabled(loopState_ == LoopState::Stopped);
  pic1Menu->popup(pic1->mapToGlobal(at));
}

QImage frmVelk47120::ChartImage() const {
  QRect area = pic1->geometry();
  for (const QLabel* label : marks.lblYscale)
    if (label->isVisibleTo(client_)) area |= label->geometry();
  for (const QFrame* tick : marks.LineX) area |= tick->geometry();
  return client_->grab(area).toImage();
}

void frmVelk47120::mnuCopyChart_Click() {
  QGuiApplication::clipboard()->setImage(ChartImage());
}

void frmVelk47120::mnuSaveChart_Click() {
  if (loopState_ != LoopState::Stopped) return;
  const QImage image = ChartImage();  // as it stood when asked for
  QFileDialog dialog(this, "Save Chart As");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter("PNG image (*.png)");
  dialog.setDefaultSuffix("png");
  dialog.setDirectory(QString::fromStdString(DatalogFolder.string()));
  dialog.selectFile(QDateTime::currentDateTime().toString("'Chart_'yyyyMMdd_HHmmss'.png'"));
  modal_.Run(dialog);
  if (dialog.result() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString file = dialog.selectedFiles().constFirst();
  // Encoded whole first: a full disk must not leave a PNG cut short under the chosen name.
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  std::string why;
  if (!writer.write(image))
    why = writer.errorString().toStdString();
  else if (const auto saved =
               SaveFileSafely(file.toStdString(), std::string_view(png.constData(), png.size()));
           !saved)
    why = SaveFailureReason(saved.error());
  if (!why.empty())
    messages_.Show("The chart could not be saved to\n" + file.toStdString() + "\n" + why);
}

}  // namespace velk
