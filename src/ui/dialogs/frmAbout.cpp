#include "ui/dialogs/frmAbout.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QStringList>
#include <QVBoxLayout>

#include "core/NumberText.h"
#include "core/ProgramTitle.h"
#include "widgets/TabOrder.h"
#include "widgets/ValueLabel.h"

#ifndef VELK_VERSION
#error "VELK_VERSION must come from the project's version"
#endif

namespace velk {

namespace {

constexpr const char* kDisclaimer =
    "This software is provided for evaluating the sensor on its evaluation board. It is "
    "provided \"as is\", without warranty of any kind, express or implied, including fitness "
    "for a particular purpose. The authors accept no liability for any damage arising from its "
    "use. Register settings written with it can change the behaviour of the sensor; check them "
    "before using the sensor in an application.";

}  // namespace

QString ProgramVersion(const QString& version) {
  const QStringList parts = version.split('.');
  QStringList numbers;
  for (int i = 0; i < 3; ++i)
    numbers << QString::number(i < parts.size() ? parts[i].trimmed().toInt() : 0);
  return numbers.join('.');
}

frmAbout::frmAbout(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
  setObjectName("frmAbout");

  picIcon = new QLabel(this);
  picIcon->setObjectName("picIcon");
  const QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) picIcon->setPixmap(icon.pixmap(48, 48));
  lblTitle = new QLabel("CORVANE EVALUATION SOFTWARE", this);
  lblTitle->setObjectName("lblTitle");
  QFont bold = lblTitle->font();
  bold.setBold(true);
  lblTitle->setFont(bold);

  auto* values = new QGridLayout;
  const auto pair = [&](QLabel*& caption, QLabel*& value, const char* text, const char* name,
                        const char* placeholder) {
    caption = new QLabel(text, this);
    value = new QLabel(placeholder, this);
    value->setObjectName(name);
    NameValue(value, caption->text());
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const int row = values->rowCount();
    values->addWidget(caption, row, 0);
    values->addWidget(value, row, 1);
  };
  pair(Label1, lblVersion, "Software Version", "lblVersion", "##.##.##");
  pair(Label2, lblProductType, "Product Version", "lblProductType", "##.##.##");
  pair(Label3, LblDutRev, "Product Revision", "LblDutRev", "##.##");
  pair(Label4, LblDutDate, "Product Date", "LblDutDate", "9/15/2005");
  pair(Label5, LblFlashWrites, "Flash Cycles", "LblFlashWrites", "##,###");
  values->setColumnStretch(1, 1);

  Line1 = new QFrame(this);
  Line1->setObjectName("Line1");
  Line1->setFrameShape(QFrame::HLine);
  Line1->setFrameShadow(QFrame::Sunken);
  lblDisclaimer = new QLabel(kDisclaimer, this);
  lblDisclaimer->setObjectName("lblDisclaimer");
  lblDisclaimer->setWordWrap(true);
  cmdOK = new QPushButton("OK", this);
  cmdOK->setObjectName("cmdOK");
  cmdOK->setAutoDefault(false);

  auto* heading = new QHBoxLayout;
  heading->addWidget(picIcon);
  heading->addWidget(lblTitle, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(heading);
  layout->addLayout(values);
  layout->addWidget(Line1);
  layout->addWidget(lblDisclaimer);
  layout->addLayout(buttons);
  setMinimumWidth(420);
  OrderTabsByPosition(this);

  connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

  Form_Load();
}

void frmAbout::Form_Load() {
  setWindowTitle(QString("About ") + kProgramTitle);
  ShowValue(lblVersion, ProgramVersion(VELK_VERSION));

  Reg47120& reg = session_.reg;
  reg.IdentifyProduct(session_.spi);
  ShowValue(LblDutRev, QString::fromStdString(FormatFixed(reg.FirmwareRevision, 1)));
  ShowValue(lblProductType, QString::fromStdString(reg.ProductName));
  ShowValue(LblDutDate,
            QString("%1/%2/%3").arg(reg.RevisionMonth).arg(reg.RevisionDay).arg(reg.RevisionYear));
  ShowValue(LblFlashWrites, QString::number(reg.FlashCount));
}

void frmAbout::cmdOK_Click() {
  accept();
}

}  // namespace velk
