#pragma once

#include <QString>

class QLabel;

namespace velk {

// A label that shows a value is heard as "what: value" ("Loop state: Running"), never as the
// caption alone. The name is set again only when the value changes, so a label refreshed
// every cycle with the same value sends nothing to assistive technology.
void NameValue(QLabel* label, const QString& what);
void ShowValue(QLabel* label, const QString& value);

}  // namespace velk
