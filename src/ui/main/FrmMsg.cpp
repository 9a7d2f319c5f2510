#include "ui/main/FrmMsg.h"

#include <QApplication>
#include <QVBoxLayout>

#include "core/ProgramTitle.h"
#include "ui/main/Twips.h"

namespace velk {

frmMsg::frmMsg(QWidget* parent) : QWidget(parent, Qt::Dialog), LBLmsg(new QLabel(this)) {
  setWindowTitle(kProgramTitle);
  LBLmsg->setAlignment(Qt::AlignCenter);
  QFont font = LBLmsg->font();
  font.setPointSizeF(font.pointSizeF() * 1.3);
  font.setBold(true);
  LBLmsg->setFont(font);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LBLmsg);
  setMinimumSize(Twips(this, 4800), Twips(this, 1800));
}

}  // namespace velk
