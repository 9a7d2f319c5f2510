#include "ui/main/CardReplug.h"

#include <QCoreApplication>
#include <QStatusBar>
#include <utility>

#include "measure/InterfaceSetup.h"
#include "registers/Session.h"
#include "transport/usb/UsbArrival.h"
#include "ui/main/FrmVelk47120.h"

namespace velk {

namespace {

// About as long as a card takes to enumerate anyway.
constexpr int kLookMs = 1000;
// How often the driver's hot-plug notices are taken, where it has them: a card back is looked
// at within this, not at the next second.
constexpr int kArrivalMs = 200;

std::string Now() {
  return LocalClockText(std::chrono::system_clock::now());
}

}  // namespace

QuietCard::QuietCard(UsbSpiDrivers& usb) : usb_(usb), was_(usb.QuietFailures) {
  usb.QuietFailures = true;
}

QuietCard::~QuietCard() {
  usb_.QuietFailures = was_;
}

CardReplug::CardReplug(Session& session, std::function<void(const Found&)> found)
    : session_(session), found_(std::move(found)) {
  timer_.setInterval(kLookMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { LookNow(); });
  arrivals_.setInterval(kArrivalMs);
  QObject::connect(&arrivals_, &QTimer::timeout, [this] {
    // Never blocks: only the notices already there are taken.
    switch (session_.ezUsb.AwaitBoardArrival(0)) {
      case UsbArrival::Arrived:
        LookNow();
        break;
      case UsbArrival::Unsupported:
        arrivals_.stop();  // the second's look alone
        break;
      case UsbArrival::None:
        break;
    }
  });
}

void CardReplug::Remember() {
  was_ = IdentityOf(session_);
}

void CardReplug::Gone() {
  // A card lost before any activation found its chip is known by what the session holds.
  if (!was_) Remember();
  goneAt_ = Now();
  timer_.start();
  arrivals_.start();
}

void CardReplug::LookNow() {
  if (!Waiting()) return;
  const auto look = [&] {
    const QuietCard quiet(session_.usb);
    return LookForCard(session_, *was_, "");
  }();
  if (look && !*look) {
    // A card whose chip does not answer yet stays away: the look may have selected it.
    session_.usb.SelectedUsbBoard.Present = 0;
    return;
  }
  Found found{look ? std::optional<ChipBack>(**look) : std::nullopt,
              look ? std::string() : look.error(), *goneAt_, Now()};
  Cancel();
  found_(found);
}

void CardReplug::Cancel() {
  timer_.stop();
  arrivals_.stop();
  goneAt_.reset();
}

// --- the window's side ---

bool frmVelk47120::CardAway() {
  if (!replug_.Waiting()) return false;
  if (session_.analyzer.InterfaceType == interface_type::kUsbCard && !session_.usb.CardReady())
    return true;
  replug_.Cancel();  // another interface or card was chosen meanwhile
  return false;
}

bool frmVelk47120::CardWentAway() {
  if (session_.analyzer.InterfaceType != interface_type::kUsbCard || session_.usb.CardReady())
    return false;
  if (!replug_.Waiting()) {
    replug_.Gone();
    ShowStatusLine(CardGoneLine());
  }
  return true;
}

bool frmVelk47120::KeepCardLine() {
  return replug_.Waiting() || std::exchange(cardInstead_, false);
}

QString frmVelk47120::CardGoneLine() const {
  return QString::fromStdString("The USB card went away at " + replug_.GoneAt() +
                                "; waiting for it to come back");
}

void frmVelk47120::LookForCardNow() {
  replug_.LookNow();
}

void frmVelk47120::AwaitCard(bool& logging) {
  cardGap_.clear();
  ShowStatusLine(CardGoneLine());
  // Each look is a timer event; so are Stop and closing the window.
  while (CardAway() && loopState_ == LoopState::Running && !exiting_)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  if (exiting_) ShowLoopStopped();
  if (cardGap_.empty() || !logging) return;
  // A comment row: the noise reader takes it as a break in the run, not a broken row.
  if (const auto written = datalog_.WriteComment("# gap: " + cardGap_); !written) {
    logging = false;
    messages_.Show(written.error() +
                   ".\n\nThe rows written so far are kept; the run goes on without logging.");
  }
}

void frmVelk47120::CardFound(const CardReplug::Found& found) {
  if (!found.chip) {
    const bool running = loopState_ == LoopState::Running;
    QString line = QString::fromStdString(found.instead);
    if (!line.isEmpty()) line[0] = line[0].toUpper();
    ShowStatusLine(line + (running ? "; the run ends." : "."));
    cardInstead_ = true;
    ShowInterfaceChecks();
    if (running) ShowLoopStopped();
    return;
  }
  cardGap_ = "the USB card went away at " + found.goneAt + ", back at " + found.backAt;
  noiseFeed_.CardReplugged();
  Form_Activate();
  ShowStatusLine(QString::fromStdString("The USB card is back at " + found.backAt + ": ") +
                 ChipLine());
}

}  // namespace velk
