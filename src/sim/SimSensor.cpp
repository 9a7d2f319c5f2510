#include "sim/SimSensor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "core/ChipConstants.h"
#include "core/EchoText.h"
#include "sim/SimMap.h"

namespace velk {

using namespace simmap;

namespace {

// After power-up, a reset or a wake-up the chip flags its outputs for this long.
constexpr double kSettleTime = 0.2;
constexpr double kSelfTestTime = 0.04;
constexpr double kSleepCountSeconds = 0.5;
// Power-ups draw their bias from this number on: apart from any wake's, and still apart once
// the draw doubles it.
constexpr uint64_t kPowerUpDraws = uint64_t{1} << 62;

// A trace that cannot be written is worth one line, never a stop.
void SayTraceStops(const std::string& problem) {
  std::fprintf(stderr, "VELK47120_SPI_TRACE: %s; running without the trace.\n", problem.c_str());
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsReadOnly(int address) {
  return address <= 0x0F || address == kStatus || address == kStatus + 1 || address == 0x52 ||
         address == 0x53 || (address >= 0x56 && address <= 0x5F) || address == 0x7C ||
         address == 0x7D;
}

}  // namespace

SimSensor::SimSensor(const Clock& clock, int product)
    : clock_(clock), product_(product), signals_(clock.Seconds()) {
  SetWord(kFlsCyc, 37);
  SetWord(kGyroScale, kUnityScale);
  SetWord(kSmplPrd, 1);
  SetWord(kSensAvg, 0x0402);
  SetWord(kRevDay, 0x1412);
  SetWord(kMonYear, 0x2606);  // June 2026: month in the low byte
  SetWord(kProduct, static_cast<uint16_t>(product));
  flash_ = map_;

  double now = clock_.Seconds();
  gridStart_ = now;
  angleFrom_ = now;
  sleepUntil_ = now;
  errorUntil_ = now + kSettleTime;
  lastSeen_.fill(-1);

  if (const char* trace = std::getenv("VELK47120_SPI_TRACE"); trace != nullptr && *trace != 0) {
    if (const auto traced = TraceTo(trace); !traced) SayTraceStops(traced.error());
  }
  const char* noise = std::getenv("VELK47120_SIM_NOISE");
  NoiseChoice choice = SimNoiseProfile::Parse(noise != nullptr ? noise : "");
  if (!choice) std::fprintf(stderr, "%s\n", choice.error().c_str());
  if (choice && choice->has_value()) {
    SetNoiseProfile(std::move(*choice));
    const char* motion = std::getenv("VELK47120_SIM_MOTION");
    const std::string name = Lower(motion != nullptr ? motion : "");
    if (name == "swing") {
      SetSwing();
    } else if (!name.empty() && name != "still") {
      std::fprintf(stderr,
                   "VELK47120_SIM_MOTION=\"%s\" is not a motion (still or swing); the simulated "
                   "chip holds still.\n",
                   Escaped(motion).c_str());
    }
  }
  const char* character = std::getenv("VELK47120_SIM_CHARACTER");
  auto parsedCharacter = SimCharacter::Parse(character != nullptr ? character : "");
  if (!parsedCharacter) std::fprintf(stderr, "%s\n", parsedCharacter.error().c_str());
  if (parsedCharacter && parsedCharacter->has_value()) SetCharacter(std::move(*parsedCharacter));
  const char* temp = std::getenv("VELK47120_SIM_TEMP");
  auto parsedPath = SimTempPath::Parse(temp != nullptr ? temp : "");
  if (!parsedPath) std::fprintf(stderr, "%s\n", parsedPath.error().c_str());
  if (parsedPath && parsedPath->has_value()) SetTemperaturePath(std::move(*parsedPath));
  const char* table = std::getenv("VELK47120_SIM_TABLE");
  const auto parsedTable = ParseTableScript(table != nullptr ? table : "");
  if (!parsedTable) std::fprintf(stderr, "%s\n", parsedTable.error().c_str());
  if (parsedTable && parsedTable->has_value()) {
    FoldAngle(now);
    PlayTable(signals_.Motion(), now, **parsedTable);
  }
  const char* turn = std::getenv("VELK47120_SIM_TURN");
  const auto parsedTurn = SimTurn::Parse(turn != nullptr ? turn : "");
  if (!parsedTurn) std::fprintf(stderr, "%s\n", parsedTurn.error().c_str());
  if (parsedTurn && parsedTurn->has_value()) HandTurn(**parsedTurn);
}

SimSensor::~SimSensor() {
  if (trace_ >= 0) ::close(trace_);
}

bool SimSensor::Deaf(double now) const {
  return !powered_ || noAnswer_ || now < sleepUntil_;
}

uint16_t SimSensor::OutputWord() const {
  return Deaf(clock_.Seconds()) ? 0 : pending_;
}

uint16_t SimSensor::Transfer(uint16_t word) {
  uint16_t answer = OutputWord();
  Receive(word);
  return answer;
}

void SimSensor::Receive(uint16_t word) {
  ++frames_;
  double now = clock_.Seconds();
  bool deaf = Deaf(now);
  uint16_t answered = deaf ? 0 : pending_;
  live_.reset();
  FinishSelfTest(now);

  int address = (word >> 8) & 0x7F;
  if (deaf) {
    pending_ = 0;
  } else if (word & 0x8000) {
    pending_ = 0;
    Write(address, static_cast<uint8_t>(word & 0xFF), now);
  } else {
    pending_ = Answer(address, now);
  }

  if (trace_ >= 0) {
    char line[16];
    const int length = std::snprintf(line, sizeof line, "%04X %04X\n", word, answered);
    ssize_t written = -1;
    do written = ::write(trace_, line, static_cast<size_t>(length));
    while (written < 0 && errno == EINTR);
    if (written != length) {
      const int error = written < 0 ? errno : ENOSPC;
      ::close(trace_);
      trace_ = -1;
      SayTraceStops("cannot write " + traceFile_.string() + ": " +
                    std::generic_category().message(error));
    }
  }
}

void SimSensor::AbortedFrame() {
  if (!Deaf(clock_.Seconds())) status_ |= kSpiWrite;
}

void SimSensor::Write(int address, uint8_t value, double now) {
  if (IsReadOnly(address)) {
    status_ |= kControlWrite;
    return;
  }
  switch (address) {
    case kCommand:
      RunCommand(value, now);
      return;
    case kCommand + 1:
      return;
    case kMscCtrl + 1:
      // The internal self-test bit starts the test and is never stored.
      if (value & 0x04) selfTestEnd_ = now + kSelfTestTime;
      value &= 0x03;
      break;
    case kSmplPrd:
      if (value == map_[address]) return;
      RestartGrid(now);  // before the period changes: the old grid numbers the samples so far
      break;
    case kGyroOfst:
    case kGyroOfst + 1:
    case kSensAvg + 1:  // the range: the element's full scale
    case kGyroScale:
    case kGyroScale + 1:
      FoldAngle(now);
      break;
    default:
      break;
  }
  map_[address] = value;

  if (address == kPwrMde && value > 0) {
    sleepUntil_ = now + value * kSleepCountSeconds;
    errorUntil_ = std::max(errorUntil_, sleepUntil_ + kSettleTime);
    Wake(now);
  }
  // The chip checks the key when its high byte arrives, so only low-then-high unlocks.
  if (address == kKeyCodeAddress + 1 && Word(kKeyCodeAddress) == kKeyCode) unlocked_ = true;
}

void SimSensor::RunCommand(uint8_t bits, double now) {
  if (bits & kRestoreCalibration) {
    FoldAngle(now);
    SetWord(kGyroOfst, 0);
    SetWord(kGyroScale, kUnityScale);
  }
  if (bits & kAutoNull) {
    FoldAngle(now);
    double counts = std::nearbyint(signals_.Bias() * GyroScale() / Factor(0x100));
    int offset = std::clamp(-static_cast<int>(counts), -2048, 2047);
    SetWord(kGyroOfst, static_cast<uint16_t>(offset));
  }
  if (bits & kLatchDac) dac_ = Word(kAuxDac) & 0x0FFF;
  if (bits & kFlashUpdate) {
    SetWord(kFlsCyc, static_cast<uint16_t>(Word(kFlsCyc) + 1));
    flash_ = map_;
  }
  if (bits & kSoftwareReset) Restart(now);
}

uint16_t SimSensor::Answer(int address, double now) {
  if ((address & 1) == 0) return RegisterWord(address, now);
  // An odd address straddles two registers: the high byte of one, the low byte of the next.
  uint16_t low = RegisterWord(address - 1, now) >> 8;
  uint16_t high = address < 0x7F ? RegisterWord(address + 1, now) & 0xFF : 0;
  return static_cast<uint16_t>(low | high << 8);
}

uint16_t SimSensor::RegisterWord(int address, double now) {
  if (address >= kFirstOutput && address <= kLastOutput) return OutputRegister(address, now);
  if (address == kStatus) return ReadStatus(now);
  if (address == kCommand) return 0;
  if (!unlocked_ && address >= kRevDay && address <= kProduct) return 0;
  return Word(address);
}

uint16_t SimSensor::Word(int address) const {
  int a = address & 0x7F;
  return static_cast<uint16_t>(map_[a] | (a < 0x7F ? map_[a + 1] << 8 : 0));
}

void SimSensor::SetWord(int address, uint16_t value) {
  map_[address] = static_cast<uint8_t>(value & 0xFF);
  map_[address + 1] = static_cast<uint8_t>(value >> 8);
}

void SimSensor::Restart(double now) {
  RestartGrid(now);
  map_ = flash_;
  status_ = 0;
  selfTestEnd_.reset();
  dac_.reset();
  angleBase_ = 0.0;
  angleFrom_ = now;
  errorUntil_ = now + kSettleTime;
  pending_ = 0;
}

void SimSensor::FinishSelfTest(double now) {
  if (!selfTestEnd_ || now < *selfTestEnd_) return;
  selfTestEnd_.reset();
  if (selfTestFails_) status_ |= kDiagError;
}

void SimSensor::Wake(double now) {
  const SimCharacter* c = signals_.Character();
  if (c == nullptr) return;
  FoldAngle(now);
  signals_.SetBias(kSimBias + c->WakeOffset(++wakes_));
}

void SimSensor::SetFixedRate(double degreesPerSecond) {
  FoldAngle(clock_.Seconds());
  signals_.SetFixedRate(degreesPerSecond);
}

void SimSensor::SetSwing() {
  FoldAngle(clock_.Seconds());
  signals_.SetSwing();
}

void SimSensor::SetNoise(bool on) {
  signals_.SetNoise(on);
}
void SimSensor::SetNoiseProfile(std::optional<SimNoiseProfile> profile) {
  if (profile) SetFixedRate(0.0);
  signals_.SetNoiseProfile(std::move(profile));
}
double SimSensor::Bias() const {
  return signals_.Bias();
}
void SimSensor::SetSupply(double volts) {
  signals_.SetSupply(volts);
}
void SimSensor::SetCharacter(std::optional<SimCharacter> character) {
  FoldAngle(clock_.Seconds());
  signals_.SetCharacter(std::move(character));
  signals_.SetBias(kSimBias);
  wakes_ = 0;
  powerUps_ = 0;
}
void SimSensor::SetTemperaturePath(std::optional<SimTempPath> path) {
  FoldAngle(clock_.Seconds());
  signals_.SetTemperaturePath(std::move(path));
}
void SimSensor::SetNoAnswer(bool on) {
  noAnswer_ = on;
}
void SimSensor::SetSelfTestFails(bool fails) {
  selfTestFails_ = fails;
}

void SimSensor::Sleep(double seconds) {
  if (seconds <= 0.0) return;
  double now = clock_.Seconds();
  sleepUntil_ = now + seconds;
  errorUntil_ = std::max(errorUntil_, sleepUntil_ + kSettleTime);
  pending_ = 0;
  Wake(now);
}

bool SimSensor::Asleep() const {
  return clock_.Seconds() < sleepUntil_;
}

void SimSensor::PowerOff() {
  powered_ = false;
  pending_ = 0;
}

void SimSensor::PowerOn() {
  if (powered_) return;
  powered_ = true;
  double now = clock_.Seconds();
  Restart(now);
  unlocked_ = false;
  sleepUntil_ = now;
  if (const SimCharacter* c = signals_.Character())
    signals_.SetBias(kSimBias + c->WakeOffset(kPowerUpDraws + ++powerUps_));
}

void SimSensor::PowerCycle() {
  PowerOff();
  PowerOn();
}

double SimSensor::CommandTableRate(double degPerSecond) {
  const double now = clock_.Seconds();
  FoldAngle(now);
  SimRateProfile& motion = signals_.Motion();
  motion.Cut(now);
  return motion.RampTo(now, degPerSecond, kTableAcceleration) - now;
}

double SimSensor::SetOrientation(int position) {
  if (position < 0 || position > 5) return -1.0;
  const double now = clock_.Seconds();
  FoldAngle(now);
  return MoveFixture(signals_.Fixture(), signals_.Motion(), now, position) - now;
}

double SimSensor::HandTurn(const SimTurn& turn) {
  const double now = clock_.Seconds();
  FoldAngle(now);
  SimRateProfile& motion = signals_.Motion();
  motion.Cut(now);
  return PlayTurn(motion, now, turn) - now;
}

Result<void, std::string> SimSensor::TraceTo(const std::filesystem::path& file) {
  if (trace_ >= 0) ::close(trace_);
  trace_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOCTTY | O_CLOEXEC, 0666);
  traceFile_ = file;
  if (trace_ >= 0) return {};
  const int error = errno;
  std::error_code ec;
  const std::filesystem::path folder = file.parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
    return Unexpected("cannot write " + file.string() + ": the folder " + folder.string() +
                      " does not exist");
  return Unexpected("cannot write " + file.string() + ": " +
                    std::generic_category().message(error));
}

}  // namespace velk
