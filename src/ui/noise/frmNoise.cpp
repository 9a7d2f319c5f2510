#include "ui/noise/frmNoise.h"

#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageWriter>
#include <QInputDialog>
#include <QPointer>
#include <QScreen>
#include <QThreadPool>
#include <QVBoxLayout>
#include <atomic>
#include <cmath>

#include "core/Messages.h"
#include "core/ModalRunner.h"
#include "core/NumberText.h"
#include "core/SafeSave.h"
#include "noise/Results.h"
#include "noise/Units.h"
#include "noise/read/Reader.h"
#include "ui/noise/NoisePlot.h"
#include "ui/noise/NoiseText.h"
#include "widgets/ValueLabel.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

// One analysis on the worker: what it was asked and what it found. The window keeps only
// the latest; a result of any other is dropped.
struct frmNoise::Job {
  bool file = false;
  std::string name;
  std::optional<noise::Analysis> result;
  std::string error;
  std::optional<std::string> datalogLoopDelay;
  std::optional<double> tau0;  // typed for a datalog
  int64_t samples = 0;
  std::string cause;
  bool acquisition = false;
  std::shared_ptr<noise::Record> acquired;  // an acquisition's record, analysed as a file
};

namespace {

constexpr int kRefreshMs = 1000;

// A number above 0, as a limit or a tau0 must be; nothing for any other text.
std::optional<double> Positive(std::string_view text) {
  const std::optional<double> v = ExactNumber(text);
  if (!v || !std::isfinite(*v) || *v <= 0) return std::nullopt;
  return v;
}

QString LimitText(const std::optional<double>& v) {
  return v ? QString::fromStdString(FormatSignificant(*v, 15)) : QString();
}

QLabel* ValueIn(QFormLayout* form, const QString& caption, const char* name) {
  auto* value = new QLabel;
  value->setObjectName(name);
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  NameValue(value, caption);
  auto* label = new QLabel(caption + ":");
  label->setObjectName(QString(name) + "Caption");
  label->setBuddy(value);
  form->addRow(label, value);
  return value;
}

QLineEdit* LimitIn(QFormLayout* form, const QString& caption, const char* name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  edit->setAccessibleName(caption);
  edit->setPlaceholderText("none");
  auto* label = new QLabel(caption + ":");
  label->setBuddy(edit);
  form->addRow(label, edit);
  return edit;
}

}  // namespace

frmNoise::frmNoise(noise::LiveNoise& live, std::filesystem::path settingsFile, ModalRunner& modal,
                   MessageSink& messages, QWidget* parent)
    : QMainWindow(parent),
      live_(live),
      settingsFile_(std::move(settingsFile)),
      modal_(modal),
      messages_(messages) {
  setWindowTitle(kCaption);
  setObjectName("frmNoise");
  Build();
  if (!settingsFile_.empty()) settings_ = NoiseSettings::Load(settingsFile_);
  resize(FitToScreen(settings_.width > 0 ? QSize(settings_.width, settings_.height)
                                         : sizeHint().expandedTo(QSize(1100, 720))));
  txtLimitArw->setText(LimitText(settings_.limitArw));
  txtLimitBi->setText(LimitText(settings_.limitBi));
  txtLimitRrw->setText(LimitText(settings_.limitRrw));
  chkDegPerSecond->setChecked(settings_.degPerSecond);
  connect(&timer_, &QTimer::timeout, this, &frmNoise::Tick);
  timer_.start(kRefreshMs);
  ShowState();
}

frmNoise::~frmNoise() = default;

void frmNoise::Build() {
  picNoise = new NoisePlot(this);
  picNoise->setObjectName("picNoise");

  lblState = new QLabel;
  lblState->setObjectName("lblState");
  lblState->setWordWrap(true);
  NameValue(lblState, "Analysis");

  auto* terms = new QGroupBox("Noise terms");
  termForm_ = new QFormLayout(terms);
  lblQuant = ValueIn(termForm_, "Quantization noise", "lblQuant");
  lblArw = ValueIn(termForm_, "Angle random walk", "lblArw");
  lblBi = ValueIn(termForm_, "Bias instability", "lblBi");
  lblRrw = ValueIn(termForm_, "Rate random walk", "lblRrw");
  lblRamp = ValueIn(termForm_, "Rate ramp", "lblRamp");
  termForm_->setRowVisible(lblQuant, false);
  termForm_->setRowVisible(lblRamp, false);

  auto* classic = new QGroupBox("Classic readings");
  auto* classicForm = new QFormLayout(classic);
  lblArwAt1s = ValueIn(classicForm, "N at tau = 1 s", "lblArwAt1s");
  lblRrwLast = ValueIn(classicForm, "K at the last point", "lblRrwLast");
  lblMinimum = ValueIn(classicForm, "Minimum", "lblMinimum");

  auto* warnings = new QGroupBox("Checks");
  auto* warningBox = new QVBoxLayout(warnings);
  lblWarnings = new QLabel;
  lblWarnings->setObjectName("lblWarnings");
  lblWarnings->setWordWrap(true);
  lblWarnings->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblWarnings->setTextInteractionFlags(Qt::TextSelectableByMouse);
  NameValue(lblWarnings, "Checks");
  warningBox->addWidget(lblWarnings);

  auto* limits = new QGroupBox("Limits (verdict at 95 %)");
  auto* limitForm = new QFormLayout(limits);
  txtLimitArw = LimitIn(limitForm, "ARW limit (°/√h)", "txtLimitArw");
  txtLimitBi = LimitIn(limitForm, "BI limit (°/h)", "txtLimitBi");
  txtLimitRrw = LimitIn(limitForm, "RRW limit (°/h/√h)", "txtLimitRrw");
  lblVerdict = ValueIn(limitForm, "Verdict", "lblVerdict");
  lblVerdict->setWordWrap(true);

  chkDegPerSecond = new QCheckBox("Plot in °/&s");
  chkDegPerSecond->setObjectName("chkDegPerSecond");

  auto* side = new QVBoxLayout;
  side->addWidget(lblState);
  side->addWidget(terms);
  side->addWidget(classic);
  side->addWidget(limits);
  side->addWidget(warnings, 1);
  side->addWidget(chkDegPerSecond);

  grdTaus = new QTableWidget(0, 6);
  grdTaus->setObjectName("grdTaus");
  grdTaus->setAccessibleName("Tau points");
  grdTaus->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdTaus->verticalHeader()->hide();
  grdTaus->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

  prgAnalysis = new QProgressBar;
  prgAnalysis->setObjectName("prgAnalysis");
  prgAnalysis->setAccessibleName("Analysing the file");
  prgAnalysis->setRange(0, 0);
  prgAnalysis->hide();
  cmdCancel = new QPushButton("Ca&ncel");
  cmdCancel->setObjectName("cmdCancel");
  cmdCancel->hide();

  auto* buttons = new QHBoxLayout;
  const auto button = [&](QPushButton*& b, const char* text, const char* name,
                          void (frmNoise::*handler)()) {
    b = new QPushButton(text);
    b->setObjectName(name);
    buttons->addWidget(b);
    connect(b, &QPushButton::clicked, this, handler);
  };
  button(cmdClear, "&Clear", "cmdClear", &frmNoise::cmdClear_Click);
  button(cmdOpen, "&Open...", "cmdOpen", &frmNoise::cmdOpen_Click);
  button(cmdAcquire, "Ac&quire...", "cmdAcquire", &frmNoise::cmdAcquire_Click);
  button(cmdLive, "&Live", "cmdLive", &frmNoise::cmdLive_Click);
  button(cmdCopy, "Co&py", "cmdCopy", &frmNoise::cmdCopy_Click);
  button(cmdSavePlot, "Save Plot &As...", "cmdSavePlot", &frmNoise::cmdSavePlot_Click);
  button(cmdSaveResults, "Save &Results As...", "cmdSaveResults", &frmNoise::cmdSaveResults_Click);
  button(cmdSaveTable, "Save &Table As...", "cmdSaveTable", &frmNoise::cmdSaveTable_Click);
  buttons->addStretch(1);
  buttons->addWidget(prgAnalysis);
  buttons->addWidget(cmdCancel);
  prgAcquire = new QProgressBar;
  prgAcquire->setObjectName("prgAcquire");
  prgAcquire->setAccessibleName("Acquisition progress");
  prgAcquire->setMinimumWidth(prgAcquire->fontMetrics().horizontalAdvance("0000 of 0000 s") * 3 /
                              2);
  prgAcquire->hide();
  cmdCancelAcquire = new QPushButton("Canc&el Acquisition");
  cmdCancelAcquire->setObjectName("cmdCancelAcquire");
  cmdCancelAcquire->hide();
  buttons->addWidget(prgAcquire);
  buttons->addWidget(cmdCancelAcquire);
  connect(cmdCancelAcquire, &QPushButton::clicked, this, &frmNoise::cmdCancelAcquire_Click);
  cmdAcquire->setEnabled(false);
  connect(cmdCancel, &QPushButton::clicked, this, &frmNoise::cmdCancel_Click);
  cmdLive->setEnabled(false);

  auto* top = new QHBoxLayout;
  top->addWidget(picNoise, 1);
  top->addLayout(side);
  auto* central = new QWidget;
  setCentralWidget(central);
  auto* all = new QVBoxLayout(central);
  all->addLayout(top, 3);
  all->addWidget(grdTaus, 1);
  all->addLayout(buttons);

  for (QLineEdit* edit : {txtLimitArw, txtLimitBi, txtLimitRrw})
    connect(edit, &QLineEdit::editingFinished, this, &frmNoise::Limits_Changed);
  connect(chkDegPerSecond, &QCheckBox::toggled, this, &frmNoise::Unit_Changed);
}

noise::Limits frmNoise::LimitsInForce() const {
  noise::Limits limits;
  limits.arw = settings_.limitArw;
  limits.bi = settings_.limitBi;
  limits.rrw = settings_.limitRrw;
  return limits;
}

noise::AnalysisOptions frmNoise::Options() const {
  noise::AnalysisOptions o;
  o.limits = LimitsInForce();
  return o;
}

QSize frmNoise::FitToScreen(QSize wanted) const {
  if (const QScreen* shown = screen()) wanted = wanted.boundedTo(shown->availableGeometry().size());
  return wanted.expandedTo(minimumSizeHint());
}

void frmNoise::Tick() {
  if (!isVisible() || showingFile_ || job_) return;
  if (Shown().Samples() == analysedSamples_ && Shown().Cause() == analysedCause_) return;
  StartLive();
}

void frmNoise::LoopStopped() {
  if (isVisible() && !showingFile_ && !job_) StartLive();
}

void frmNoise::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!showingFile_ && !job_) StartLive();
}

void frmNoise::StartLive() {
  auto job = std::make_shared<Job>();
  job->samples = Shown().Samples();
  job->cause = Shown().Cause();
  job_ = job;
  QPointer<frmNoise> self(this);
  QThreadPool::globalInstance()->start([self, job, snapshot = Shown().Take(), options = Options()] {
    job->result = noise::AnalyzeLive(snapshot, options);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, job] {
          if (self) self->Finished(job);
        },
        Qt::QueuedConnection);
  });
}

void frmNoise::OpenFile(const std::string& file) {
  OpenFileWith(file, std::nullopt);
}

void frmNoise::OpenFileWith(const std::string& file, std::optional<double> tau0) {
  auto job = std::make_shared<Job>();
  job->file = true;
  job->name = file;
  job->tau0 = tau0;
  job_ = job;
  prgAnalysis->show();
  cmdCancel->show();
  QPointer<frmNoise> self(this);
  QThreadPool::globalInstance()->start([self, job, tau0, options = Options()] {
    noise::ReadOptions read;
    read.tau0 = tau0;
    noise::ReadResult r = noise::ReadRecord(job->name, read);
    if (r) {
      job->result = noise::Analyze(*r, options);
    } else {
      job->error = r.error().message;
      job->datalogLoopDelay = r.error().datalogLoopDelay;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, job] {
          if (self) self->Finished(job);
        },
        Qt::QueuedConnection);
  });
}

void frmNoise::AnalyseAcquired(noise::Record record) {
  auto job = std::make_shared<Job>();
  job->file = true;
  job->acquisition = true;
  job->name = record.file;
  job->acquired = std::make_shared<noise::Record>(std::move(record));
  job_ = job;
  prgAnalysis->show();
  cmdCancel->show();
  QPointer<frmNoise> self(this);
  QThreadPool::globalInstance()->start([self, job, options = Options()] {
    job->result = noise::Analyze(*job->acquired, options);
    job->acquired.reset();  // the samples are no longer needed
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, job] {
          if (self) self->Finished(job);
        },
        Qt::QueuedConnection);
  });
}

void frmNoise::Finished(const std::shared_ptr<Job>& job) {
  if (job != job_) return;  // cancelled, or overtaken by a newer one
  job_.reset();
  prgAnalysis->hide();
  cmdCancel->hide();
  // The limits may have changed while it ran.
  if (job->result) noise::Rejudge(*job->result, LimitsInForce());
  if (!job->file) {
    analysedSamples_ = job->samples;
    analysedCause_ = job->cause;
    if (showingFile_ || !job->result) return;
    // Until the loop's pace is known and two samples are in, there is nothing to show.
    if (job->result->adev.empty()) {
      ShowWaiting();
    } else {
      Show(*job->result);
    }
    return;
  }
  if (job->datalogLoopDelay) {
    AskTau0(job->name, *job->datalogLoopDelay);
    return;
  }
  if (!job->result) {
    Tell(job->error);
    return;
  }
  if (job->tau0) {
    datalogFile_ = job->name;
    datalogTau0_ = job->tau0;
  }
  showingFile_ = true;
  fileShown_ = job->name;
  if (!job->acquisition) acquiredHow_.clear();
  cmdLive->setEnabled(true);
  Show(*job->result);
}

void frmNoise::AskTau0(const std::string& file, const std::string& loopDelay) {
  QInputDialog dialog(this);
  dialog.setWindowTitle("Open Datalog");
  dialog.setLabelText(
      "The window's datalog has no time column.\nSeconds between its rows (its LoopDelay was " +
      QString::fromStdString(loopDelay.empty() ? std::string("not recorded") : loopDelay + " mS") +
      "; the loop's real period is usually longer):");
  if (file == datalogFile_ && datalogTau0_) {
    dialog.setTextValue(LimitText(datalogTau0_));
  } else if (const std::optional<double> delayMs = Positive(loopDelay)) {
    dialog.setTextValue(QString::fromStdString(FormatSignificant(*delayMs / 1000.0, 6)));
  }
  modal_.Run(dialog);
  if (dialog.result() != QDialog::Accepted) return;
  const std::string text = dialog.textValue().trimmed().toStdString();
  const std::optional<double> tau0 = Positive(text);
  if (!tau0) {
    Tell("\"" + text + "\" is not a number of seconds above 0; the file was not opened.");
    return;
  }
  OpenFileWith(file, tau0);
}

void frmNoise::Show(const noise::Analysis& a) {
  shown_ = a;
  shownFromFile_ = showingFile_;
  picNoise->SetAnalysis(a);
  ShowTerms(&a);
  ShowValue(lblArwAt1s, QString::fromStdString(ValueText(a.classic.arwAt1s, "°/√h")));
  ShowValue(lblRrwLast, QString::fromStdString(ValueText(a.classic.rrwLast, "°/h/√h")));
  ShowValue(lblMinimum, QString::fromStdString(MinimumText(a.classic)));
  ShowValue(lblWarnings, QString::fromStdString(ChecksText(a)));
  ShowVerdict();
  FillTable();
  ShowState();
}

// Q and R have rows only while the analysis shows them.
void frmNoise::ShowTerms(const noise::Analysis* a) {
  const std::pair<QLabel*, noise::Term> rows[] = {{lblQuant, noise::kQ},
                                                  {lblArw, noise::kN},
                                                  {lblBi, noise::kB},
                                                  {lblRrw, noise::kK},
                                                  {lblRamp, noise::kR}};
  for (const auto& [label, term] : rows) {
    ShowValue(label, a ? QString::fromStdString(TermText(*a, term)) : QString("-"));
    if (term == noise::kQ || term == noise::kR)
      termForm_->setRowVisible(label, a != nullptr && a->terms[term].shown);
  }
}

void frmNoise::ShowVerdict() {
  std::string text = shown_                  ? VerdictText(*shown_)
                     : LimitsInForce().Any() ? std::string("nothing to judge yet")
                                             : std::string("no limits");
  if (!limitProblem_.empty()) text += "\n" + limitProblem_;
  ShowValue(lblVerdict, QString::fromStdString(text));
}

void frmNoise::ShowWaiting() {
  shown_.reset();
  picNoise->Clear();
  ShowTerms(nullptr);
  for (QLabel* value : {lblArwAt1s, lblRrwLast, lblMinimum}) ShowValue(value, "-");
  ShowValue(lblWarnings, "none");
  ShowVerdict();
  FillTable();
  ShowState();
}

void frmNoise::FillTable() {
  const bool perSecond = chkDegPerSecond->isChecked();
  const QString unit = perSecond ? "°/s" : "°/h";
  grdTaus->setHorizontalHeaderLabels(
      {"tau (s)", "ADEV (" + unit + ")", "low", "high", "EDF", "in fit"});
  const std::vector<noise::AdevRow> none;
  const std::vector<noise::AdevRow>& rows = shown_ ? shown_->adev : none;
  grdTaus->setRowCount(static_cast<int>(rows.size()));
  const double scale = perSecond ? 1.0 : noise::kBiToDegPerHour;
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const noise::AdevRow& row = rows[r];
    const auto put = [&](int column, const QString& text) {
      auto* item = new QTableWidgetItem(text);
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      grdTaus->setItem(r, column, item);
    };
    const auto figures = [](double v, int digits) {
      return QString::fromStdString(FormatSignificant(v, digits));
    };
    const auto number = [&](std::optional<double> v) {
      return v ? figures(*v * scale, 4) : QString("-");
    };
    put(0, figures(row.tau, 4));
    put(1, number(row.adev));
    put(2, number(row.lo));
    put(3, number(row.hi));
    put(4, figures(row.edf, 3));
    put(5, row.inFit ? "yes" : "no");
  }
}

void frmNoise::ShowState() {
  std::string state;
  if (acquiring_) {
    state = AcquireStateText();
  } else if (showingFile_ && shown_ && !acquiredHow_.empty()) {
    state = AcquiredStateText(*shown_, acquiredHow_);
  } else if (showingFile_ && shown_) {
    state = FileStateText(*shown_);
  } else {
    const noise::LiveMode mode = live_.Mode();
    state = LiveStateText(mode, live_.Samples(), live_.Cause(), live_.Full());
  }
  // Why the terms are empty, and how long a record would fill them.
  if (shown_ && shownFromFile_ == showingFile_)
    if (const std::string why = NotEstimatedText(*shown_); !why.empty()) state += "; " + why;
  ShowValue(lblState, QString::fromStdString(state));
}

std::string frmNoise::ResultsJson() const {
  return shown_ ? noise::ResultJson(*shown_, VELK_VERSION) : std::string();
}

void frmNoise::cmdClear_Click() {
  live_.StartOver("Clear was pressed");
  showingFile_ = false;
  cmdLive->setEnabled(false);
  shown_.reset();
  picNoise->Clear();
  analysedSamples_ = -1;
  if (!job_) StartLive();
  ShowState();
}

void frmNoise::cmdOpen_Click() {
  QFileDialog dialog(this, "Open Record");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({"Records (*.csv *.tsv *.txt)", "All files (*)"});
  modal_.Run(dialog);
  if (dialog.result() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  OpenFile(dialog.selectedFiles().constFirst().toStdString());
}

void frmNoise::cmdLive_Click() {
  showingFile_ = false;
  cmdLive->setEnabled(false);
  analysedSamples_ = -1;
  if (!job_) StartLive();
  ShowState();
}

void frmNoise::cmdCancel_Click() {
  job_.reset();
  prgAnalysis->hide();
  cmdCancel->hide();
  ShowState();
}

// The shown analysis is judged again from the ends it keeps: nothing is read or fitted anew.
// A job still running is judged against these limits when it lands.
void frmNoise::Limits_Changed() {
  const noise::Limits before = LimitsInForce();
  limitProblem_.clear();
  const auto take = [&](const QLineEdit* edit, const char* name, std::optional<double>& limit) {
    const std::string text = edit->text().trimmed().toStdString();
    if (text.empty()) {
      limit.reset();
    } else if (const std::optional<double> v = Positive(text)) {
      limit = v;
    } else {
      // A typo keeps the last good limit rather than dropping it unseen.
      if (!limitProblem_.empty()) limitProblem_ += "\n";
      limitProblem_ += std::string(name) + " limit: not a number above 0; " +
                       (limit ? LimitText(limit).toStdString() + " still applies"
                              : std::string("no limit applies"));
    }
  };
  take(txtLimitArw, "ARW", settings_.limitArw);
  take(txtLimitBi, "BI", settings_.limitBi);
  take(txtLimitRrw, "RRW", settings_.limitRrw);
  const noise::Limits now = LimitsInForce();
  if (now.arw != before.arw || now.bi != before.bi || now.rrw != before.rrw) SaveSettings();
  if (shown_) noise::Rejudge(*shown_, now);
  ShowVerdict();
}

void frmNoise::Unit_Changed() {
  settings_.degPerSecond = chkDegPerSecond->isChecked();
  picNoise->SetUnit(settings_.degPerSecond ? NoisePlot::Unit::DegPerSecond
                                           : NoisePlot::Unit::DegPerHour);
  FillTable();
  SaveSettings();
}

void frmNoise::cmdCopy_Click() {
  QGuiApplication::clipboard()->setImage(
      picNoise->Render(picNoise->size(), picNoise->devicePixelRatioF()));
}

QString frmNoise::AskSaveName(const QString& title, const QString& filter, const QString& suffix) {
  QFileDialog dialog(this, title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(filter);
  dialog.setDefaultSuffix(suffix);
  modal_.Run(dialog);
  if (dialog.result() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

void frmNoise::Save(const QString& title, const QString& filter, const QString& suffix,
                    const std::string& content) {
  const QString file = AskSaveName(title, filter, suffix);
  if (file.isEmpty()) return;
  const auto saved = SaveFileSafely(file.toStdString(), content);
  if (!saved)
    Tell("The file could not be saved to\n" + file.toStdString() + "\n" +
         SaveFailureReason(saved.error()));
}

void frmNoise::cmdSavePlot_Click() {
  const QImage image = picNoise->Render(picNoise->size(), picNoise->devicePixelRatioF());
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter(&buffer, "png").write(image);
  Save("Save Plot As", "PNG image (*.png)", "png", std::string(png.constData(), png.size()));
}

void frmNoise::cmdSaveResults_Click() {
  if (shown_) Save("Save Results As", "JSON (*.json)", "json", ResultsJson());
}

void frmNoise::cmdSaveTable_Click() {
  if (shown_) Save("Save Table As", "CSV (*.csv)", "csv", noise::TableCsv(*shown_));
}

// A folder that cannot take noise.ini is said once, not at every limit typed.
void frmNoise::SaveSettings() {
  if (settingsFile_.empty()) return;
  const auto saved = settings_.Save(settingsFile_);
  if (!saved && saved.error() != saveProblem_) Tell(saved.error());
  saveProblem_ = saved ? std::string() : saved.error();
}

void frmNoise::Tell(const std::string& text) {
  messages_.ShowWithIcon(MessageIcon::Warning, text);
}

void frmNoise::closeEvent(QCloseEvent* event) {
  settings_.width = width();
  settings_.height = height();
  SaveSettings();
  event->accept();
}

}  // namespace velk
