#pragma once

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "core/InterfaceMenu.h"
#include "measure/OutputCycle.h"
#include "registers/Session.h"
#include "ui/main/AxisMarks.h"
#include "ui/main/CardReplug.h"
#include "ui/main/Datalog.h"
#include "ui/main/FramePacer.h"
#include "ui/main/LoopState.h"
#include "ui/main/NoiseFeed.h"
#include "ui/main/Plot47120.h"
#include "ui/main/StripChart.h"
#include "ui/main/WindowSeams.h"

namespace velk {

class HelpWindow;
class frmPort;
class frmUSBselect;
class FrmAlarm;
class frmGpioMisc;
class frmManualReg;
class frmDAC;
class frmPowerdown;
class frmNoise;
class WindowAcquisition;

// The main window: the outputs read once or in a loop, the strip chart, the datalog and the
// panels that read and set the part setup. Each panel's controls and handlers live in a
// file of their own; this class is the window's state.
class frmVelk47120 : public QMainWindow, public InterfaceMenu {
  Q_OBJECT
 public:
  static constexpr const char* kCaption = "Corvane - VELK47120 Evaluation Software - Rev 3";

  // Builds the controls and runs Form_Load.
  frmVelk47120(Session& session, ModalRunner& modal, ProcessExit& exit, QWidget* parent = nullptr);
  ~frmVelk47120() override;

  // Start-up and the shared gates (FrmVelk47120.cpp).
  void Form_Load();
  void Form_Activate();
  bool Check_Interface();
  void ReadScale();
  // Shows a dialog of this window modally at the window's top-left corner. When it closes,
  // `whenClosed` runs and the window is active again (Form_Activate).
  void ShowDialog(QDialog& dialog, const std::function<void()>& whenClosed = {});
  void CheckInterfaceEntries(bool port, bool usb) override;

  // Layout (WindowLayout.cpp).
  void Form_Resize();

  // The chart's context menu (ChartMenu.cpp). Saving is refused during a run, so no dialog
  // stalls the loop and its log; copying is not.
  void pic1_ContextMenu(const QPoint& at);
  void mnuCopyChart_Click();
  void mnuSaveChart_Click();
  // The chart with its axis labels as shown, in device pixels.
  QImage ChartImage() const;

  // Output registers (DataRegPanel.cpp).
  void cmdReadData_Click();
  // False when nothing was read (no interface, or a sleeping chip).
  bool ReadDataRegisters(OutputCycle& cycle);

  // Read loop and datalog (LoopPanel.cpp).
  void CmdReadLoop_Click();
  void ReadLoop();
  void chkDatalog_Click();

  // The watch for a USB card that went away (CardReplug.cpp): one look now, as its
  // timer and the driver's hot-plug notices make.
  void LookForCardNow();

  // Status panel (StatusPanel.cpp).
  void CmdUpdateStatus_Click();

  // Range control (ScalePanel.cpp).
  void SetPlotScale(int32_t deviceNumber);
  void hscScale_Change();

  // Sample rate panel (SampleRatePanel.cpp).
  void hscSmplPrd_Change();
  void hscAvgCnt_Change();

  // Calibration panel and the two setup buttons (CalibrationPanel.cpp).
  void cmdReadCal_Click();
  void CmdApply_Click();
  void CmdNull_Click();
  void CmdRst_Click();
  void cmdResetFactory_Click();
  void cmdNewPart_Click();

  // Menus and exit (MenuBar.cpp).
  void mnuPort_Click();
  void mnuUsb_Click();
  void mnu47120_Click();
  void mnu47121_Click();
  void MnuAlarms_Click();
  void MnuGpioMsc_Click();
  void mnuRegister_Click();
  void mnuAuxDac_Click();
  void mnuPowerdown_Click();
  void mnuNoise_Click();
  // The Noise window's "Acquire..." (WindowAcquisition.cpp), made on first use.
  WindowAcquisition& Acquisition();
  void MnuAbout_Click();
  void mnuHelp_Click();
  void MnuExit_Click();

  // Where datalog files go; starts at Datalog::DatalogFolder().
  std::filesystem::path DatalogFolder;

  // Values of the window's panels that other parts of the program read.
  int32_t AvgCnt = 0;
  int32_t StatusValue = 0;
  float SamplePeriod = 0.0f;
  float AvgUpdatePeriod = 0.0f;
  int16_t DatalogEnabled = 0;
  int32_t CalOffset = 0;
  int32_t CalScale = 0;

  // Menus.
  QAction* mnuInterface = nullptr;
  QAction* mnuPort = nullptr;
  QAction* mnuUsb = nullptr;
  QAction* mnuDevice = nullptr;
  QAction* mnu47120 = nullptr;
  QAction* mnu47121 = nullptr;
  QAction* MnuAlarms = nullptr;
  QAction* MnuGpioMsc = nullptr;
  QAction* mnuRegister = nullptr;
  QAction* mnuAuxDac = nullptr;
  QAction* mnuPowerdown = nullptr;
  QAction* mnuNoise = nullptr;
  QAction* MnuAbout = nullptr;
  QAction* mnuHelp = nullptr;
  QAction* MnuExit = nullptr;

  // Top strip.
  QGroupBox* frameScale = nullptr;
  QScrollBar* hscScale = nullptr;
  QLineEdit* txtScale = nullptr;
  QPushButton* cmdNewPart = nullptr;
  QPushButton* cmdResetFactory = nullptr;
  QLabel* lblDeviceNumber = nullptr;
  QProgressBar* ProgressBar3 = nullptr;
  std::vector<QLabel*> lblScale;

  // Strip chart.
  StripChart* pic1 = nullptr;
  AxisMarks marks;
  QMenu* pic1Menu = nullptr;
  QAction* mnuCopyChart = nullptr;
  QAction* mnuSaveChart = nullptr;

  // Output registers.
  QGroupBox* frameDataReg = nullptr;
  std::array<QLineEdit*, kOutputCount> txtReadReg{};  // by output position
  QCheckBox* ckAngleOut = nullptr;
  QLabel* lblNewDataFlag = nullptr;
  QLabel* lblErrorAlarmFlag = nullptr;
  QPushButton* cmdReadData = nullptr;

  // Loop setup.
  QGroupBox* frameLoopRun = nullptr;
  QPushButton* CmdReadLoop = nullptr;
  QLabel* lblLoop = nullptr;
  QLineEdit* txtLoopDelay = nullptr;
  QLineEdit* txtLoopCount = nullptr;
  QCheckBox* chkOneSweep = nullptr;
  QCheckBox* chkDatalog = nullptr;
  QLineEdit* txtDlogFile = nullptr;
  QLineEdit* txtFileIndex = nullptr;

  // Status register.
  QGroupBox* FrmStatus = nullptr;
  QPushButton* CmdUpdateStatus = nullptr;
  QLabel* lblLowSupplyFlag = nullptr;
  QLabel* lblHighSupplyFlag = nullptr;
  QLabel* lblWriteFailFlag = nullptr;
  QLabel* lblSpiWriteFlag = nullptr;
  QLabel* lblOverrange = nullptr;
  QLabel* lblDiagError = nullptr;
  QLabel* lblAlarm1SetFlag = nullptr;
  QLabel* lblAlarm2SetFlag = nullptr;

  // Calibration registers.
  QGroupBox* FrameCal = nullptr;
  QPushButton* cmdReadCal = nullptr;
  QLineEdit* txtGyroOfst = nullptr;
  QLineEdit* txtGyroScale = nullptr;
  QPushButton* CmdNull = nullptr;
  QPushButton* CmdRst = nullptr;
  QPushButton* CmdApply = nullptr;

  // Sample rate settings.
  QGroupBox* frameSampleRate = nullptr;
  QGroupBox* frameSmplPrd = nullptr;
  QScrollBar* hscSmplPrd = nullptr;
  QLineEdit* txtSmplPrd = nullptr;
  QLineEdit* txtSamplePeriod = nullptr;
  QGroupBox* frameAvgCnt = nullptr;
  QScrollBar* hscAvgCnt = nullptr;
  QLineEdit* txtAvgCnt = nullptr;
  QLineEdit* txtRollAvg = nullptr;
  QLineEdit* txtAvgUpdateRate = nullptr;

  Plot47120& plot() { return *plot_; }
  Datalog& datalog() { return datalog_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Lays the client area out again whenever it changes size.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Each builds its controls on the central widget (WindowLayout.cpp builds the top strip
  // and the chart).
  void BuildTopStrip(QWidget* client);
  void BuildDataRegPanel(QWidget* client);
  void BuildLoopPanel(QWidget* client);
  void BuildStatusPanel(QWidget* client);
  void BuildScalePanel(QWidget* client);
  void BuildSampleRatePanel(QWidget* client);
  void BuildCalibrationPanel(QWidget* client);
  void BuildMenus();
  void SizeToDesign();
  // Tab order in reading order and the keys that act on the whole window (Keyboard.cpp).
  void BuildKeyboard();
  void BuildChartMenu();

  void PrepareInterface();
  frmPort& PortDialog();
  frmUSBselect& UsbSelectDialog();
  // A settings dialog behind the interface gate, made on first use.
  template <typename Dialog>
  void OpenSettings(Dialog*& dialog);
  void ShowInterfaceChecks();
  // Ends a run as a click on "Stop" would.
  void ShowLoopStopped();
  // The loop's state, and everything shown from it.
  void SetLoopState(LoopState state);
  // The run's own reads are shown at the screen's pace (`paced`); a click shows at once.
  // False when nothing was read (no interface, or a sleeping chip).
  bool ReadCycle(OutputCycle& cycle, bool paced);
  void UpdateStatus(bool paced);
  void ShowPending(bool paced);
  // Shows what is waiting: the outputs, the status, the loop count and the chart's points.
  void ShowLatest();
  void ShowOutputs(const OutputCycle& cycle);
  void ShowStatus(int32_t status);
  // Sets a scroll bar from code; its change handler runs when the position changes.
  static void SetPosition(QScrollBar* bar, int value);
  // The status bar's chip line: the identity found at the last activation, or that no chip
  // answered.
  QString ChipLine() const;
  // False while a power-down this program started lasts: the status line says until when, and
  // nothing may be sent. The first call after it ends runs the activation, once.
  bool ChipAwake();
  void ShowSleep();
  void WakeWhenDue();
  // A write the sleeping chip was not sent, said once per click or change.
  void RefuseWrite();
  void ShowRefusal();
  // The status line; while the chip sleeps the text waits for its waking.
  void ShowStatusLine(const QString& text);
  // A USB card gone (CardReplug.cpp). CardWentAway: the reads just made found it gone (and
  // the watch has started). CardAway: the watch is still waiting. AwaitCard: the run waits
  // for it, and logs the gap when it is back.
  bool CardWentAway();
  bool CardAway();
  void AwaitCard(bool& logging);
  void CardFound(const CardReplug::Found& found);
  // The status line says where the card is: the run's end keeps it (once, for what came
  // instead).
  bool KeepCardLine();
  QString CardGoneLine() const;
  // The chip's settings as the panels hold them, for the noise analysis.
  noise::ChipSettings NoiseChip() const;

  Session& session_;
  ModalRunner& modal_;
  ProcessExit& exit_;
  MessageSink& messages_;
  QWidget* client_ = nullptr;
  std::unique_ptr<Plot47120> plot_;
  Datalog datalog_;
  // Every cycle's rate reaches the live noise analysis, whether its window is open or not.
  NoiseFeed noiseFeed_{session_};
  FramePacer pacer_{[this] { ShowLatest(); }};
  // Read but not shown yet.
  std::optional<OutputCycle> outputsToShow_;
  std::optional<int32_t> statusToShow_;
  std::optional<int32_t> loopCountToShow_;
  // Made on first use, owned as child windows.
  HelpWindow* help_ = nullptr;
  frmPort* portDialog_ = nullptr;
  frmUSBselect* usbSelect_ = nullptr;
  FrmAlarm* alarmDialog_ = nullptr;
  frmGpioMisc* gpioDialog_ = nullptr;
  frmManualReg* registerDialog_ = nullptr;
  frmDAC* dacDialog_ = nullptr;
  frmPowerdown* powerdownDialog_ = nullptr;
  frmNoise* noiseWindow_ = nullptr;
  // An acquisition locks the chip's controls and waits here for the loop to return.
  friend class WindowAcquisition;
  WindowAcquisition* acquisition_ = nullptr;
  std::function<void()> whenLoopStopped_;  // once, as the state reaches Stopped
  bool shown_ = false;
  LoopState loopState_ = LoopState::Stopped;
  bool loopActive_ = false;  // a run is on the stack, perhaps suspended in event processing
  bool exiting_ = false;
  bool noChip_ = false;  // the last activation's identification found no chip
  // The file's port address while the simulated adapter stands in for an interface nobody
  // picked; the settings are saved without that choice.
  std::optional<int16_t> unpickedPortAddress_;
  bool sleepShown_ = false;
  bool refusalShown_ = false;
  QString statusAfterSleep_;
  // Whether CalOffset and CalScale hold a value read from the chip or applied.
  bool calOffsetKnown_ = false;
  bool calScaleKnown_ = false;
  CardReplug replug_{session_, [this](const CardReplug::Found& f) { CardFound(f); }};
  std::string cardGap_;       // the gap row of a card back during AwaitCard
  bool cardInstead_ = false;  // the status line says what came instead of the card
};

}  // namespace velk
