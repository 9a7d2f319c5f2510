#pragma once

#include <QString>
#include <utility>

class QPrinter;
class QWidget;

namespace velk {

class MessageSink;

// Where a printed page goes: the system's default printer, or a PDF file on a machine that
// has none.
class PrintDestination {
 public:
  virtual ~PrintDestination() = default;
  // Points printer at the destination. Returns the PDF file's path, empty for a printer.
  virtual QString Prepare(QPrinter& printer);
};

// Always a PDF file in the folder given.
class PdfDestination final : public PrintDestination {
 public:
  explicit PdfDestination(QString folder) : folder_(std::move(folder)) {}
  QString Prepare(QPrinter& printer) override;

 private:
  QString folder_;
};

// Prints the widget as it stands, its controls and their texts, on one page (scaled down when
// it is wider or taller than the page). A PDF's path, or a failure, is told to the user.
void PrintWidget(QWidget& widget, PrintDestination& destination, MessageSink& messages);

}  // namespace velk
