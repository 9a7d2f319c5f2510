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
#include <QThreadPool>
#include <QVBoxLayout>
#include <atomic>
#include <charconv>
#include <cmath>

#include "core/Messages.h"
#include "core/ModalRunner.h"
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
  int64_t samples = 0;
  std::string cause;
};

namespace {

constexpr int kRefreshMs = 1000;

std::optional<double> Limit(const QLineEdit* edit) {
  const std::string text = edit->text().trimmed().toStdString();
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) ||
      v <= 0)
    return std::nullopt;
  return v;
}

QString LimitText(const std::optional<double>& v) {
  return v ? QString::number(*v, 'g', 10) : QString();
}

QLabel* ValueIn(QFormLayout* form, const QString& caption, const char* name) {
  auto* value = new QLabel;
  value->setObjectName(name);
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  NameValue(value, caption);
  auto* label = new QLabel(caption + ":");
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
    : QWidget(parent, Qt::Window),
      live_(live),
      settingsFile_(std::move(settingsFile)),
      modal_(modal),
      messages_(messages) {
  setWindowTitle(kCaption);
  setObjectName("frmNoise");
  Build();
  if (!settingsFile_.empty()) settings_ = NoiseSettings::Load(settingsFile_);
  if (settings_.width > 0) {
    resize(settings_.width, settings_.height);
  } else {
    resize(sizeHint().expandedTo(QSize(1100, 720)));
  }
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
  auto* termForm = new QFormLayout(terms);
  lblArw = ValueIn(termForm, "Angle random walk", "lblArw");
  lblBi = ValueIn(termForm, "Bias instability", "lblBi");
  lblRrw = ValueIn(termForm, "Rate random walk", "lblRrw");

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
  button(cmdLive, "&Live", "cmdLive", &frmNoise::cmdLive_Click);
  button(cmdCopy, "Co&py", "cmdCopy", &frmNoise::cmdCopy_Click);
  button(cmdSavePlot, "Save Plot &As...", "cmdSavePlot", &frmNoise::cmdSavePlot_Click);
  button(cmdSaveResults, "Save &Results As...", "cmdSaveResults", &frmNoise::cmdSaveResults_Click);
  button(cmdSaveTable, "Save &Table As...", "cmdSaveTable", &frmNoise::cmdSaveTable_Click);
  buttons->addStretch(1);
  buttons->addWidget(prgAnalysis);
  buttons->addWidget(cmdCancel);
  connect(cmdCancel, &QPushButton::clicked, this, &frmNoise::cmdCancel_Click);
  cmdLive->setEnabled(false);

  auto* top = new QHBoxLayout;
  top->addWidget(picNoise, 1);
  top->addLayout(side);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top, 3);
  all->addWidget(grdTaus, 1);
  all->addLayout(buttons);

  for (QLineEdit* edit : {txtLimitArw, txtLimitBi, txtLimitRrw})
    connect(edit, &QLineEdit::editingFinished, this, &frmNoise::Limits_Changed);
  connect(chkDegPerSecond, &QCheckBox::toggled, this, &frmNoise::Unit_Changed);
}

noise::AnalysisOptions frmNoise::Options() const {
  noise::AnalysisOptions o;
  o.limits.arw = Limit(txtLimitArw);
  o.limits.bi = Limit(txtLimitBi);
  o.limits.rrw = Limit(txtLimitRrw);
  return o;
}

void frmNoise::Tick() {
  if (!isVisible() || showingFile_ || job_) return;
  if (live_.Samples() == analysedSamples_ && live_.Cause() == analysedCause_) return;
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
  job->samples = live_.Samples();
  job->cause = live_.Cause();
  job_ = job;
  QPointer<frmNoise> self(this);
  QThreadPool::globalInstance()->start([self, job, snapshot = live_.Take(), options = Options()] {
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
  job_ = job;
  prgAnalysis->show();
  cmdCancel->show();
  QPointer<frmNoise> self(this);
  QThreadPool::globalInstance()->start([self, job, tau0, options = Options()] {
    noise::ReadOptions read;
    read.tau0 = tau0;
    noise::ReadResult r = noise::ReadRecord(job->name, read);
    if (r.record) {
      job->result = noise::Analyze(*r.record, options);
    } else {
      job->error = r.error;
      job->datalogLoopDelay = r.datalogLoopDelay;
    }
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
    messages_.Show(job->error);
    return;
  }
  showingFile_ = true;
  fileShown_ = job->name;
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
  double delay = 0;
  std::from_chars(loopDelay.data(), loopDelay.data() + loopDelay.size(), delay);
  dialog.setTextValue(delay > 0 ? QString::number(delay / 1000.0, 'g', 6) : QString());
  modal_.Run(dialog);
  if (dialog.result() != QDialog::Accepted) return;
  const std::string text = dialog.textValue().trimmed().toStdString();
  double tau0 = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), tau0);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(tau0) || tau0 <= 0) {
    messages_.Show("\"" + text + "\" is not a number of seconds above 0; the file was not opened.");
    return;
  }
  OpenFileWith(file, tau0);
}

void frmNoise::Show(const noise::Analysis& a) {
  shown_ = a;
  picNoise->SetAnalysis(a);
  ShowValue(lblArw, QString::fromStdString(TermText(a.terms[noise::kN])));
  ShowValue(lblBi, QString::fromStdString(TermText(a.terms[noise::kB])));
  ShowValue(lblRrw, QString::fromStdString(TermText(a.terms[noise::kK])));
  ShowValue(lblArwAt1s, QString::fromStdString(ValueText(a.classic.arwAt1s, "°/√h")));
  ShowValue(lblRrwLast, QString::fromStdString(ValueText(a.classic.rrwLast, "°/h/√h")));
  ShowValue(lblMinimum, QString::fromStdString(MinimumText(a.classic)));
  ShowValue(lblWarnings, QString::fromStdString(WarningsText(a.warnings)));
  ShowValue(lblVerdict, QString::fromStdString(VerdictText(a)));
  FillTable();
  ShowState();
}

void frmNoise::ShowWaiting() {
  shown_.reset();
  picNoise->Clear();
  for (QLabel* value : {lblArw, lblBi, lblRrw, lblArwAt1s, lblRrwLast, lblMinimum})
    ShowValue(value, "-");
  ShowValue(lblWarnings, "none");
  ShowValue(lblVerdict, "no limits");
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
    const auto number = [&](std::optional<double> v) {
      return v ? QString::number(*v * scale, 'g', 4) : QString("-");
    };
    put(0, QString::number(row.tau, 'g', 4));
    put(1, number(row.adev));
    put(2, number(row.lo));
    put(3, number(row.hi));
    put(4, QString::number(row.edf, 'g', 3));
    put(5, row.inFit ? "yes" : "no");
  }
}

void frmNoise::ShowState() {
  std::string state;
  if (showingFile_ && shown_) {
    state = FileStateText(*shown_);
  } else {
    const noise::LiveMode mode = live_.Mode();
    state = LiveStateText(mode, live_.Samples(), live_.Cause(), live_.Full());
  }
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

void frmNoise::Limits_Changed() {
  settings_.limitArw = Limit(txtLimitArw);
  settings_.limitBi = Limit(txtLimitBi);
  settings_.limitRrw = Limit(txtLimitRrw);
  SaveSettings();
  // The verdict follows at once for a file; the live view at its next refresh.
  if (showingFile_ && !job_) OpenFile(fileShown_);
  analysedSamples_ = -1;
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
  const SaveOutcome saved = SaveFileSafely(file.toStdString(), content);
  if (!saved.Ok())
    messages_.Show("The file could not be saved:\n" + file.toStdString() + "\n" +
                   SaveFailureReason(saved));
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

void frmNoise::SaveSettings() {
  if (settingsFile_.empty()) return;
  if (const std::string problem = settings_.Save(settingsFile_); !problem.empty())
    messages_.Show(problem);
}

void frmNoise::closeEvent(QCloseEvent* event) {
  settings_.width = width();
  settings_.height = height();
  SaveSettings();
  event->accept();
}

}  // namespace velk
