#include "ui/dialogs/PagePrinter.h"

#include <QDateTime>
#include <QDir>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <QWidget>
#include <algorithm>

#include "core/Messages.h"

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
  QPainter painter;
  if (!painter.begin(&printer)) {
    messages.Show(pdf.isEmpty() ? "The page could not be printed."
                                : "The page could not be written to " + pdf.toStdString());
    return;
  }
  // Playback scales the picture from screen to printer resolution; the page may need less.
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const double toPrinter = printer.resolution() / static_cast<double>(picture.logicalDpiX());
  const QRect bounds = picture.boundingRect();
  const double fit = std::min({1.0, page.width() / (bounds.right() * toPrinter + 1.0),
                               page.height() / (bounds.bottom() * toPrinter + 1.0)});
  painter.scale(fit, fit);
  painter.drawPicture(0, 0, picture);
  painter.end();

  if (!pdf.isEmpty())
    messages.Show("No printer is set up. The page was saved as " + pdf.toStdString());
}

}  // namespace velk
