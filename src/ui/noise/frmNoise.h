#pragma once

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "noise/Analysis.h"
#include "noise/LiveNoise.h"
#include "ui/noise/Acquirer.h"
#include "ui/noise/NoiseSettings.h"

namespace velk {

class MessageSink;
class ModalRunner;
class NoisePlot;

// The Noise window: the Allan deviation of the rate while the read loop runs, or of a saved
// file, with its terms, intervals, checks and a verdict against the limits the user types.
// Not modal: the loop goes on while it is open. The fit runs on a worker thread; the view
// refreshes at most once a second, and once when the loop stops. A main window of its own, so
// a screen reader hears a window open.
class frmNoise : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr const char* kCaption = "Noise";

  frmNoise(noise::LiveNoise& live, std::filesystem::path settingsFile, ModalRunner& modal,
           MessageSink& messages, QWidget* parent = nullptr);
  ~frmNoise() override;

  // The read loop stopped: one last refresh of the live view.
  void LoopStopped();
  // Analyses `file` on the worker as "Open..." does once a file is chosen; a datalog asks for
  // its tau0 first, offering the one typed for it last.
  void OpenFile(const std::string& file);
  // The shown analysis as the tool's JSON; empty when nothing is shown.
  std::string ResultsJson() const;
  bool Working() const { return job_ != nullptr; }
  // "Acquire..." runs the chip's acquisition through `acquirer` (NoiseAcquire.cpp); without
  // one the button is disabled.
  void SetAcquirer(Acquirer* acquirer);
  bool Acquiring() const { return acquiring_; }
  void SaveSettings();

  // Controls by their names.
  NoisePlot* picNoise = nullptr;
  QLabel* lblState = nullptr;
  QLabel* lblQuant = nullptr;  // Q and R: shown only when the analysis shows them
  QLabel* lblArw = nullptr;
  QLabel* lblBi = nullptr;
  QLabel* lblRrw = nullptr;
  QLabel* lblRamp = nullptr;
  QLabel* lblArwAt1s = nullptr;
  QLabel* lblRrwLast = nullptr;
  QLabel* lblMinimum = nullptr;
  QLabel* lblWarnings = nullptr;
  QLineEdit* txtLimitArw = nullptr;
  QLineEdit* txtLimitBi = nullptr;
  QLineEdit* txtLimitRrw = nullptr;
  QLabel* lblVerdict = nullptr;
  QTableWidget* grdTaus = nullptr;
  QCheckBox* chkDegPerSecond = nullptr;
  QProgressBar* prgAnalysis = nullptr;
  QPushButton* cmdCancel = nullptr;
  QPushButton* cmdAcquire = nullptr;
  QProgressBar* prgAcquire = nullptr;
  QPushButton* cmdCancelAcquire = nullptr;
  QPushButton* cmdClear = nullptr;
  QPushButton* cmdOpen = nullptr;
  QPushButton* cmdLive = nullptr;
  QPushButton* cmdCopy = nullptr;
  QPushButton* cmdSavePlot = nullptr;
  QPushButton* cmdSaveResults = nullptr;
  QPushButton* cmdSaveTable = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  struct Job;

  void Build();
  void cmdClear_Click();
  void cmdOpen_Click();
  void cmdLive_Click();
  void cmdCopy_Click();
  void cmdSavePlot_Click();
  void cmdSaveResults_Click();
  void cmdSaveTable_Click();
  void cmdCancel_Click();
  void Limits_Changed();
  void cmdAcquire_Click();
  void cmdCancelAcquire_Click();
  void AcquireStarted(const noise::ChipSettings& chip);
  void AcquireSamples(std::span<const AcquiredPoint> samples);
  void AcquireProgressed(const AcquireProgress& progress);
  void AcquireEnded(AcquireEnd end);
  // The buttons that would read or replace what an acquisition shows.
  void ShowAcquiring(bool acquiring);
  std::string AcquireStateText() const;
  // The live record shown: the acquisition's while one runs, else the read loop's.
  noise::LiveNoise& Shown();
  void Unit_Changed();

  // The limits the verdict is judged against: the last good ones typed.
  noise::Limits LimitsInForce() const;
  void Tick();
  void StartLive();
  void OpenFileWith(const std::string& file, std::optional<double> tau0);
  // A finished acquisition's record, analysed on the worker and shown as a file is.
  void AnalyseAcquired(noise::Record record);
  // The window's datalog has no time column: asks for its tau0, its LoopDelay offered.
  void AskTau0(const std::string& file, const std::string& loopDelay);
  void FillTable();
  void Finished(const std::shared_ptr<Job>& job);
  void Show(const noise::Analysis& analysis);
  void ShowTerms(const noise::Analysis* analysis);
  void ShowVerdict();
  // The live record has no points yet.
  void ShowWaiting();
  void ShowState();
  // The restored or first size, within the screen and no smaller than the controls need.
  QSize FitToScreen(QSize wanted) const;
  void Tell(const std::string& text);
  noise::AnalysisOptions Options() const;
  // Asks for a file name to save to; empty when the user declined.
  QString AskSaveName(const QString& title, const QString& filter, const QString& suffix);
  void Save(const QString& title, const QString& filter, const QString& suffix,
            const std::string& content);

  noise::LiveNoise& live_;
  std::filesystem::path settingsFile_;
  ModalRunner& modal_;
  MessageSink& messages_;
  NoiseSettings settings_;
  QTimer timer_;
  std::shared_ptr<Job> job_;              // the analysis running on the worker, if any
  std::optional<noise::Analysis> shown_;  // judged against LimitsInForce()
  bool shownFromFile_ = false;
  bool showingFile_ = false;
  std::string fileShown_;
  std::string limitProblem_;  // a limit box whose text is no limit
  std::string saveProblem_;   // the noise.ini failure told, so it is told once; empty once saved
  // The tau0 typed for the last datalog opened, offered when it is opened again.
  std::string datalogFile_;
  std::optional<double> datalogTau0_;
  QFormLayout* termForm_ = nullptr;
  int64_t analysedSamples_ = -1;  // the live samples the shown analysis took
  std::string analysedCause_;
  // "Acquire...": the record forming, fed at the chip's clock, and how the run stands.
  Acquirer* acquirer_ = nullptr;
  bool acquiring_ = false;
  std::unique_ptr<noise::LiveNoise> forming_;
  double formingPeriod_ = 0.0;
  AcquirePlan acquirePlan_{60.0, {}};  // offered again
  AcquireProgress acquireProgress_;
  std::string acquiredHow_;  // how the shown acquisition ended; empty when none is shown
};

}  // namespace velk
