#pragma once

#include <QMetaObject>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/QtApp.h"
#include "support/SimRig.h"

namespace velk::test {

// The simulated card and sensor, with the application object the dialogs need.
struct DialogRig : UsbSimRig {
  DialogRig() { EnsureQApp(); }

  // Commands the card received (bulk transfers on pipe 0), from the recording's start.
  std::vector<std::string> Sent() const {
    std::vector<std::string> sent;
    for (const std::string& w : Wire())
      if (w.rfind("out", 0) == 0) sent.push_back(w);
    return sent;
  }
  int Transfers() const {
    int n = 0;
    for (const std::string& w : Sent()) n += w.rfind("out 0d", 0) == 0 || w.rfind("out 0e", 0) == 0;
    return n;
  }
  void Forget() {
    card.requests.clear();
    messages.shown.clear();
  }
};

// Counts the times a running loop yields to the event queue and runs `action` on the nth.
// A loop still running 50 yields later is stopped from outside so a failing test ends; counting
// stops once `loop` reads "Loop" again.
struct Yields {
  static std::shared_ptr<Yields> Watch(QPushButton* loop, int16_t& stopFlag, int nth,
                                       std::function<void()> action) {
    auto y = std::make_shared<Yields>(Yields{loop, &stopFlag, nth, std::move(action)});
    Post(y);
    return y;
  }

  QPushButton* loop;
  int16_t* stopFlag;
  int nth;
  std::function<void()> action;
  int count = 0;
  bool rescued = false;

 private:
  static void Post(std::shared_ptr<Yields> y) {
    QMetaObject::invokeMethod(
        y->loop,
        [y] {
          if (y->loop->text() == "Loop") return;
          if (++y->count == y->nth) y->action();
          if (y->count >= y->nth + 50) {
            *y->stopFlag = -1;
            y->rescued = true;
            return;
          }
          Post(y);
        },
        Qt::QueuedConnection);
  }
};

}  // namespace velk::test
