#pragma once

#include <QApplication>

namespace velk::test {

// Widgets need an application object; the first test that asks creates one for the whole
// run. It is never destroyed, so no widget outlives it.
inline void EnsureQApp() {
  if (QApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "velk_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

}  // namespace velk::test
