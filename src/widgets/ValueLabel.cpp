#include "widgets/ValueLabel.h"

#include <QLabel>
#include <QVariant>

namespace velk {

namespace {

constexpr const char* kWhat = "velkValueOf";

void Rename(QLabel* label) {
  const QString what = label->property(kWhat).toString();
  label->setAccessibleName(what.isEmpty() ? label->text() : what + ": " + label->text());
}

}  // namespace

void NameValue(QLabel* label, const QString& what) {
  label->setProperty(kWhat, what);
  Rename(label);
}

void ShowValue(QLabel* label, const QString& value) {
  if (label->text() == value) return;
  label->setText(value);
  Rename(label);
}

}  // namespace velk
