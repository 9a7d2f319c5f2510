#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "registers/Session.h"

namespace velk {

// The program's version and the identity of the connected chip, read when the box is built.
// Unlike the settings dialogs it keeps nothing between openings: whoever opens it builds a
// new one each time and destroys it after it closes.
class frmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit frmAbout(Session& session, QWidget* parent = nullptr);

  // Identifies the chip (writing the key code) and fills in the labels.
  void Form_Load();
  void cmdOK_Click();

  QLabel* picIcon;
  QLabel* lblTitle;
  QLabel* Label1;
  QLabel* lblVersion;
  QLabel* Label2;
  QLabel* lblProductType;
  QLabel* Label3;
  QLabel* LblDutRev;
  QLabel* Label4;
  QLabel* LblDutDate;
  QLabel* Label5;
  QLabel* LblFlashWrites;
  QFrame* Line1;
  QLabel* lblDisclaimer;
  QPushButton* cmdOK;

 private:
  Session& session_;
};

// "major.minor.revision" of a version text, each number without padding; missing parts are 0.
QString ProgramVersion(const QString& version);

}  // namespace velk
