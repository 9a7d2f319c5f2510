#include <QAction>

#include "ui/main/FrmVelk47120.h"
#include "widgets/TabOrder.h"

namespace velk {

void frmVelk47120::BuildKeyboard() {
  OrderTabsByPosition(this);
  // F5 starts and stops the read loop wherever the focus is, even inside a running loop's
  // event processing; a modal dialog on top keeps it from acting.
  auto* startStop = new QAction(this);
  startStop->setShortcut(Qt::Key_F5);
  startStop->setShortcutContext(Qt::WindowShortcut);
  addAction(startStop);
  connect(startStop, &QAction::triggered, CmdReadLoop, &QPushButton::click);
}

}  // namespace velk
