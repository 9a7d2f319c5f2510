#include "ui/dialogs/PagePrinter.h"

#include <QDateTime>
#include <QDir>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QWidget>
#include <algorithm>
#include <string>
#include <string_view>

#include "core/Messages.h"
#include "core/SafeSave.h"

namespace velk {

QString PrintDestination::Prepare(QPrinter& printer) {
  const QPrinterInfo printerInfo = QPrinterInfo::defaultPrinter();
  if (!printerInfo.isNull()) {
    printer.setPrinterName(printerInfo.printerName());
    return {};
  }
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
  return PdfDestination(folder).Prepare(printer);
}

QString PdfDestination::Prepare(QPrinter& printer) {
  // A new name each time, so an earlier printout is never overwritten.
  const QString name =
      QString("Velk47120_%1.pdf").arg(QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss_zzz"));
  const QString path = QDir(folder_).absoluteFilePath(name);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  return path;
}

void PrintWidget(QWidget& widget, PrintDestination& destination, MessageSink& messages) {
  // Recorded first: a widget rendered straight onto a PDF comes out as an image without text.
  QPicture picture;
  {
    QPainter recorder(&picture);
    widget.render(&recorder);
  }

  QPrinter printer(QPrinter::HighResolution);
  const QString pdf = destination.Prepare(printer);
  const std::string notWritten = "The page could not be written to " + pdf.toStdString();
  // A PDF is drawn into a private draft and saved whole from it, so a full disk or a link
  // planted under its name cannot leave a broken file there or redirect the write.
  QTemporaryFile draft(QDir::temp().absoluteFilePath("velk47120-page-XXXXXX.pdf"));
  if (!pdf.isEmpty()) {
    if (!draft.open()) return messages.Show(notWritten + "\n" + draft.errorString().toStdString());
    printer.setOutputFileName(draft.fileName());
  }
  QPainter painter;
  if (!painter.begin(&printer))
    return messages.Show(pdf.isEmpty() ? "The page could not be printed." : notWritten);
  // Playback scales the picture from screen to printer resolution; the page may need less.
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const double toPrinter = printer.resolution() / static_cast<double>(picture.logicalDpiX());
  const QRect bounds = picture.boundingRect();
  const double fit = std::min({1.0, page.width() / (bounds.right() * toPrinter + 1.0),
                               page.height() / (bounds.bottom() * toPrinter + 1.0)});
  painter.scale(fit, fit);
  painter.drawPicture(0, 0, picture);
  painter.end();
  if (pdf.isEmpty()) return;

  // The PDF writer does not report a failed write; a draft cut short lacks its end marker.
  const QByteArray bytes = draft.readAll();
  if (!bytes.trimmed().endsWith("%%EOF"))
    return messages.Show(notWritten + "\nThe temporary copy in " + QDir::tempPath().toStdString() +
                         " could not be written.");
  const auto saved =
      SaveFileSafely(pdf.toStdString(), std::string_view(bytes.constData(), bytes.size()));
  if (!saved) return messages.Show(notWritten + "\n" + SaveFailureReason(saved.error()));
  messages.Show("No printer is set up. The page was saved as " + pdf.toStdString());
}

}  // namespace velk
