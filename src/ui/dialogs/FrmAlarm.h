#pragma once

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <cstdint>
#include <optional>

#include "registers/Session.h"
#include "ui/dialogs/PinToggles.h"

namespace velk {

// The chip's two alarms and the alarm output line. Every change goes to the chip at once and
// the dialog re-reads the alarm registers after each toggle, so the state the toggles decide
// from always mirrors the chip as last read (a sleeping chip reads 0).
class FrmAlarm : public QDialog {
  Q_OBJECT
 public:
  explicit FrmAlarm(Session& session, QWidget* parent = nullptr);

  // Source codes of the two alarms as last read or chosen.
  int32_t Alarm1Source = 0;
  int32_t Alarm2Source = 0;

  void ReadAlarmSetup();
  void SetupSourceDisplay();
  void SetupThresholdDisplay();

  void Form_Activate();
  void cmboA1S_Click();
  void cmboA2S_Click();
  void cmdAlarm1GT_Click();
  void cmdAlarm2GT_Click();
  void cmdAlarm1mode_Click();
  void cmdAlarm2mode_Click();
  void cmdAlarmOut_Click();
  void cmdAlarmPin_Click();
  void cmdAlarmPolarity_Click();
  void hscAlarm1sp_Change();
  void hscAlarm2sp_Change();
  void hscAlarm1thresh_Change();
  void hscAlarm2thresh_Change();
  // Act on Enter only.
  void txtAlarm1Thresh_KeyDown(int key);
  void txtAlarm2Thresh_KeyDown(int key);
  void ComOK_Click();

  QGroupBox* FrmAlmCtrl1;
  QComboBox* cmboA1S = nullptr;
  QPushButton* cmdAlarm1mode;
  QGroupBox* frameAlm1mag;
  QPushButton* cmdAlarm1GT;
  QScrollBar* hscAlarm1thresh;
  QLineEdit* txtAlarmThreshold1;
  QLineEdit* txtAlarm1Thresh;
  QLabel* LblAlm1Mag;
  QGroupBox* frameAlm1smpl;
  QScrollBar* hscAlarm1sp;
  QLineEdit* txtAlarm1sp;

  QGroupBox* FrmAlmCtrl2;
  QComboBox* cmboA2S = nullptr;
  QPushButton* cmdAlarm2mode;
  QGroupBox* frameAlm2mag;
  QPushButton* cmdAlarm2GT;
  QScrollBar* hscAlarm2thresh;
  QLineEdit* txtAlarmThreshold2;
  QLineEdit* txtAlarm2Thresh;
  QLabel* LblAlm2Mag;
  QGroupBox* frameAlm2Smpl;
  QScrollBar* hscAlarm2sp;
  QLineEdit* txtAlarm2sp;

  QGroupBox* FrmAlmOutCtrl;
  QPushButton* cmdAlarmOut;
  QPushButton* cmdAlarmPolarity;
  QPushButton* cmdAlarmPin;
  QPushButton* ComOK;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using Line = pin_dialogs::Line;
  using Polarity = pin_dialogs::Polarity;
  // How an alarm compares its source with the threshold: "<" or ">".
  enum class Comparison { kLess, kGreater };
  enum class ThresholdMode { kFixed, kRateOfChange };

  // The controls, copies and register bits of one alarm (0 or 1).
  struct Alarm {
    QComboBox* source;
    QPushButton* mode;
    QPushButton* gt;
    QScrollBar* thresh;
    QLineEdit* code;
    QLineEdit* value;
    QLabel* units;
    QScrollBar* sp;
    QLineEdit* spText;
    int32_t& mag;
    int32_t& smpl;
    int32_t& sourceCode;
    int16_t magSlot;
    int16_t smpSlot;
    int modeBit;      // of Alm_Ctrl
    int sourceShift;  // of the source code in Alm_Ctrl
    const char* tempName;
  };
  Alarm Of(int n);

  QGroupBox* BuildAlarmFrame(int n);
  QGroupBox* BuildOutputFrame();

  // Each toggle's state with its caption: the one place either is set.
  void ShowComparison(int n, Comparison comparison);
  void ShowMode(int n, ThresholdMode mode);
  void ShowOutputEnabled(bool enabled);
  void ShowOutputPolarity(Polarity polarity);
  void ShowOutputLine(Line line);

  void ShowSource(int n);
  void ShowThreshold(int n);
  float ThresholdValue(int32_t code, int32_t source) const;
  std::optional<int32_t> ThresholdCode(float value, int32_t source) const;

  void SourceClick(int n);
  void ComparisonClick(int n);
  void ModeClick(int n);
  void ThresholdChange(int n);
  void SamplePeriodChange(int n);
  void ThresholdKeyDown(int n, int key);
  // Writes Alm_Ctrl, then lets it settle and shows the chip's state again, as after every
  // write of it.
  void WriteControl();
  void SettleAndReread();
  // Only a completed choice of a source writes: an entry of the open list or Enter. Arrow keys,
  // the wheel and leaving the box choose nothing.
  bool FilterSourceEvent(int n, QObject* watched, QEvent* event);

  Session& session_;
  std::array<bool, 2> listChoice_{};  // the open list of that source box was just used
  std::array<QString, 2> shownSource_{"Disabled", "Disabled"};  // as the last refresh showed it
  // The toggles as shown, per alarm and for the output.
  std::array<Comparison, 2> comparison_{};
  std::array<ThresholdMode, 2> mode_{};
  bool outputEnabled_ = false;
  Polarity outputPolarity_ = Polarity::kActiveLow;
  Line outputLine_ = Line::kDio0;
};

}  // namespace velk
