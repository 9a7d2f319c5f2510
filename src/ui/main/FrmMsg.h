#pragma once

#include <QLabel>
#include <QWidget>

namespace velk {

// The loading window shown while the delay calibrates.
class frmMsg : public QWidget {
  Q_OBJECT
 public:
  explicit frmMsg(QWidget* parent = nullptr);

  QLabel* LBLmsg;
};

}  // namespace velk
