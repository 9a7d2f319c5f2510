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
  ShowWithIcon(title == "Error" ? MessageIcon::Critical : MessageIcon::Information, text, title);
}

void QtMessageSink::ShowWithIcon(MessageIcon icon, const std::string& text,
                                 const std::string& title) {
  const QString caption = TitleOr(title);
  const QString body = QString::fromStdString(text);
  switch (icon) {
    case MessageIcon::Critical:
      QMessageBox::critical(parent_, caption, body);
      break;
    case MessageIcon::Warning:
      QMessageBox::warning(parent_, caption, body);
      break;
    case MessageIcon::Information:
      QMessageBox::information(parent_, caption, body);
      break;
  }
}

bool QtMessageSink::Ask(const std::string& text, const std::string& title) {
  return QMessageBox::question(parent_, TitleOr(title), QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace velk
