#pragma once

#include <QPointer>
#include <QWidget>

#include "core/Messages.h"

namespace velk {

// Message boxes as the user sees them, titled with the program's title unless told otherwise.
class QtMessageSink final : public MessageSink {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }
  void Show(const std::string& text, const std::string& title = {}) override;
  void ShowWithIcon(MessageIcon icon, const std::string& text,
                    const std::string& title = {}) override;
  bool Ask(const std::string& text, const std::string& title = {}) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace velk
