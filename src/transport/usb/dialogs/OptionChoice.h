#pragma once

#include <QAbstractButton>
#include <QSignalBlocker>
#include <functional>
#include <memory>

namespace velk {

// Runs `act` when the user chooses the option, however: mouse, Space, access key, or the
// accessibility toggle action (which changes the option without a click). A click on the
// option already chosen acts too, as it always has; a click that changes it acts once.
inline void OnOptionChosen(QAbstractButton* option, QObject* context, std::function<void()> act) {
  auto chosenAtPress = std::make_shared<bool>(false);
  QObject::connect(option, &QAbstractButton::pressed, context,
                   [option, chosenAtPress] { *chosenAtPress = option->isChecked(); });
  QObject::connect(option, &QAbstractButton::toggled, context, [act](bool on) {
    if (on) act();
  });
  QObject::connect(option, &QAbstractButton::clicked, context, [chosenAtPress, act] {
    if (*chosenAtPress) act();
  });
}

// Chooses an option from code without acting; the caller runs the action itself.
inline void CheckQuietly(QAbstractButton* option) {
  const QSignalBlocker quiet(option);
  option->setChecked(true);
}

}  // namespace velk
