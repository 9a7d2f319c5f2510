#include "ui/main/QtMessageSink.h"

#include <QApplication>
#include <QMessageBox>

#include "core/ProgramTitle.h"

namespace velk {

namespace {
QString TitleOr(const std::string& title) {
  return title.empty() ? QString(kProgramTitle) : QString::fromStdString(title);
}
}  // namespace

void QtMessageSink::Show(const std::string& text, const std::string& title) {
  const QString caption = TitleOr(title);
  if (title == "Error")
    QMessageBox::critical(parent_, caption, QString::fromStdString(text));
  else
    QMessageBox::information(parent_, caption, QString::fromStdString(text));
}

bool QtMessageSink::Ask(const std::string& text, const std::string& title) {
  return QMessageBox::question(parent_, TitleOr(title), QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace velk
