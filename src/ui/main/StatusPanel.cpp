#include "measure/OutputCycle.h"
#include "ui/main/Controls.h"
#include "ui/main/FrmVelk47120.h"
#include "widgets/ValueLabel.h"

namespace velk {

namespace {

struct StatusRow {
  int32_t mask;
  const char* caption;
  const char* name;
  int left;
  int top;
};

constexpr StatusRow kRows[] = {
    {0x001, "Power Supply Low", "lblLowSupplyFlag", 1880, 720},
    {0x002, "Power Supply High", "lblHighSupplyFlag", 1880, 1040},
    {0x004, "Control Write Flag", "lblWriteFailFlag", 1880, 1400},
    {0x008, "SPI Write Flag", "lblSpiWriteFlag", 1880, 1720},
    {0x010, "Gyro Overrange", "lblOverrange", 1890, 2040},
    {0x020, "Diag Error", "lblDiagError", 1880, 2340},
    {0x100, "Alarm1 Set", "lblAlarm1SetFlag", 1880, 2685},
    {0x200, "Alarm2 Set", "lblAlarm2SetFlag", 1880, 3000},
};

}  // namespace

void frmVelk47120::BuildStatusPanel(QWidget* client) {
  FrmStatus = MakeFrame(client, "FrmStatus", "Status Register", 5490, 4350, 2535, 3372);
  CmdUpdateStatus = MakeButton(FrmStatus, "CmdUpdateStatus", "Re&ad Status", 1080, 360, 1215, 255);
  QLabel** indicators[] = {&lblLowSupplyFlag, &lblHighSupplyFlag, &lblWriteFailFlag,
                           &lblSpiWriteFlag,  &lblOverrange,      &lblDiagError,
                           &lblAlarm1SetFlag, &lblAlarm2SetFlag};
  int n = 0;
  for (const StatusRow& row : kRows) {
    // A little wider than designed: "Alarm" in the sans-serif fonts here needs the room.
    QLabel* indicator = MakeLabel(FrmStatus, row.name, "OK", row.left, row.top, 555, 255);
    indicator->setFrameShape(QFrame::Panel);
    indicator->setFrameShadow(QFrame::Sunken);
    MakeCaption(FrmStatus, row.caption, 240, row.top, 1600, 255)->setBuddy(indicator);
    NameValue(indicator, row.caption);
    *indicators[n++] = indicator;
  }
  connect(CmdUpdateStatus, &QPushButton::clicked, this, &frmVelk47120::CmdUpdateStatus_Click);
}

void frmVelk47120::CmdUpdateStatus_Click() {
  UpdateStatus(false);
}

void frmVelk47120::UpdateStatus(bool paced) {
  if (session_.analyzer.InterfaceType == interface_type::kNone || CardAway() || !ChipAwake())
    return;
  const int32_t status = [&] {
    const QuietCard quiet(session_.usb);
    return ReadStatus(session_.spi);
  }();
  if (CardWentAway()) return;
  StatusValue = status;
  statusToShow_ = StatusValue;
  ShowPending(paced);
}

void frmVelk47120::ShowStatus(int32_t status) {
  QLabel* indicators[] = {lblLowSupplyFlag, lblHighSupplyFlag, lblWriteFailFlag, lblSpiWriteFlag,
                          lblOverrange,     lblDiagError,      lblAlarm1SetFlag, lblAlarm2SetFlag};
  int n = 0;
  for (const StatusRow& row : kRows) ShowIndicator(indicators[n++], (status & row.mask) != 0);
}

}  // namespace velk
