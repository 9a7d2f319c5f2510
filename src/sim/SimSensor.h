#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/Clock.h"
#include "core/Result.h"
#include "sim/SimMotionScript.h"
#include "sim/SimSignals.h"

namespace velk {

// A simulated VELK 47120 (or 47121) on the far side of the SPI lines. It sees only 16-bit
// frames: a read command is answered with the whole word during the following frame, a
// write command stores one byte. Time comes from the clock given, so tests can step it.
class SimSensor {
 public:
  explicit SimSensor(const Clock& clock, int product = 47120);
  ~SimSensor();
  SimSensor(const SimSensor&) = delete;
  SimSensor& operator=(const SimSensor&) = delete;

  // --- the SPI side ---
  // The word the sensor shifts out during the next frame (0 while it cannot answer).
  uint16_t OutputWord() const;
  // A complete frame from the master: decodes and acts on the command it carries.
  void Receive(uint16_t word);
  // One whole frame: returns the word answered during it.
  uint16_t Transfer(uint16_t word);
  // A frame that ended after some other number of bits than 16: dropped, but the chip
  // notes the broken transfer in Status (SPI write flag).
  void AbortedFrame();

  // --- the bench: motion, supply, faults ---
  // A constant rate in degrees per second instead of the default swing.
  void SetFixedRate(double degreesPerSecond);
  // The default motion: a slow swing with noise and a small bias.
  void SetSwing();
  void SetNoise(bool on);
  // A gyro noise with known Allan terms in place of the default noise, on a still chip (a
  // later SetSwing brings the motion back) whose temperature does not drift. The constructor
  // takes one from VELK47120_SIM_NOISE, still unless VELK47120_SIM_MOTION=swing, and says on
  // standard error when either value is not understood.
  void SetNoiseProfile(std::optional<SimNoiseProfile> profile);
  // Reads of the output register at `address` answer `word`, flags included, until it is set
  // back to nullopt: a bench source of exact codes. Other addresses are ignored.
  void SetOutputWord(int address, std::optional<uint16_t> word);
  double Bias() const;  // degrees per second the chip adds before calibration
  // The supply voltage the chip sees (5.0 V unless set); outside 4.75..5.25 V it flags Status.
  void SetSupply(double volts);
  // No answer: the data line floats, every frame answers 0 and nothing is stored.
  void SetNoAnswer(bool on);
  // Asleep for the given time from now, as after a power-down write.
  void Sleep(double seconds);
  void SetSelfTestFails(bool fails);
  // The bias behaviour a characterisation measures (see SimCharacter): the bias back to its
  // power-up value, then a fresh draw at every wake and every later power-up, each numbered
  // so a rerun repeats them. With a character, the external self-test shifts the rate by its
  // `st`. The constructor takes one from VELK47120_SIM_CHARACTER.
  void SetCharacter(std::optional<SimCharacter> character);
  // The chamber's ambient from the sensor's start: the rate gains the character's tempco and
  // Temp_Out reads the lagging die. Alone, it plays the default character. The constructor
  // takes one from VELK47120_SIM_TEMP. Either variable, when not understood, is said once on
  // standard error and left out.
  void SetTemperaturePath(std::optional<SimTempPath> path);
  // The switched supply. Off, the chip answers every frame with 0 and stores nothing; on
  // again, it starts as from power-up (flash values, settling, locked) with, under a
  // character, a fresh bias. Switching to the state it is in does nothing.
  void PowerOff();
  void PowerOn();
  // Off and on: registers back to their power-on (flash) values.
  void PowerCycle();
  // The rig around the board. Under a character the motion passes the element (its scale
  // errors, clipping at 1.1 x the range's nominal full scale), and gravity and the Earth's
  // rate for the fixture's orientation add to it (see SimFixture): +Z up, a still board reads
  // gz + kEarthRate sin(lat) beyond its bias.
  // The rate table, turning the board about its sensitive axis: from its rate now to
  // `degPerSecond` at kTableAcceleration, then held. Returns the seconds until it gets there.
  // VELK47120_SIM_TABLE=RATE@S,... scripts it from the sensor's start (see SimTableScript).
  double CommandTableRate(double degPerSecond);
  // The tumble fixture moves the board to `position` (0..5: +X -X +Y -Y +Z -Z up) once any
  // move under way ends; a move about the sensitive axis adds its rate to the table's, held
  // from the move's start. Returns the seconds until the board is there, or -1 for a
  // position outside 0..5 (nothing moves).
  double SetOrientation(int position);
  // A hand turns the board (see SimTurn) from now, in place of any table motion still to
  // come; VELK47120_SIM_TURN plays one from the sensor's start. Returns the seconds until the
  // board is still again. SetFixedRate and SetSwing end whatever the rig was doing.
  double HandTurn(const SimTurn& turn);

  // --- inspection ---
  uint8_t Byte(int address) const { return map_[address & 0x7F]; }
  uint16_t Word(int address) const;
  bool Asleep() const;
  bool Powered() const { return powered_; }
  bool Unlocked() const { return unlocked_; }
  long FrameCount() const { return frames_; }

  // Every frame appended as "SENT ANSWERED" (four upper-case hex digits each). The
  // constructor opens the file that VELK47120_SPI_TRACE names, if any, and says on standard
  // error when it cannot, or when a frame later cannot be written (once; the trace then
  // stops). When the file cannot be written, the error says why.
  Result<void, std::string> TraceTo(const std::filesystem::path& file);

 private:
  // The sources the outputs and alarms are built from, at one sample.
  struct Codes {
    int supply = 0;
    int gyro = 0;  // already clamped to 14 bits
    int aux = 0;
    int temp = 0;
    bool overrange = false;
  };

  // Register side (SimSensor.cpp).
  void Write(int address, uint8_t value, double now);
  void RunCommand(uint8_t bits, double now);
  uint16_t Answer(int address, double now);
  uint16_t RegisterWord(int address, double now);
  void SetWord(int address, uint16_t value);
  void Restart(double now);
  void FinishSelfTest(double now);
  void Wake(double now);
  bool Deaf(double now) const;

  // Sampling and outputs (SimSensorOutputs.cpp).
  double SamplePeriod() const;
  int64_t LatestIndex(double now) const;
  void RestartGrid(double now);
  double Factor(int rangeBits) const;
  double GyroScale() const;       // Gyro_Scale as a gain
  double GyroOffsetRate() const;  // Gyro_Ofst in degrees per second
  double FullScale(int rangeBits) const;
  Codes CodesAt(int64_t index) const;
  double AngleAt(double t) const;
  void FoldAngle(double now);
  void Evaluate(double now);
  bool AlarmCondition(int alarm, int64_t index, const Codes& latest) const;
  uint16_t OutputRegister(int address, double now);
  uint16_t ReadStatus(double now);

  const Clock& clock_;
  int product_;
  SimSignals signals_;
  std::array<uint8_t, 128> map_{};
  std::array<uint8_t, 128> flash_{};  // the configuration restored at power-on and reset
  uint16_t pending_ = 0;
  bool unlocked_ = false;
  long frames_ = 0;
  int trace_ = -1;  // written unbuffered, so a failing device shows at the frame
  std::filesystem::path traceFile_;

  bool noAnswer_ = false;
  bool powered_ = true;
  uint64_t wakes_ = 0;     // bias draws so far under the character, after power-downs ...
  uint64_t powerUps_ = 0;  // ... and after power-ups
  bool selfTestFails_ = false;
  std::optional<double> selfTestEnd_;
  double sleepUntil_ = 0.0;
  double errorUntil_ = 0.0;
  uint16_t status_ = 0;  // latched flags, cleared by reading Status
  std::optional<uint16_t> dac_;

  // Sample n of the current grid is taken at gridStart_ + n * period; its serial number,
  // unique across grid restarts, is gridBase_ + n.
  double gridStart_ = 0.0;
  int64_t gridBase_ = 0;
  std::array<int64_t, 7> lastSeen_{};  // newest serial each output register has shown
  std::array<std::optional<uint16_t>, 7> outputWords_{};  // set by SetOutputWord

  // The angle is integrated in closed form from angleFrom_, where it stood at angleBase_.
  double angleFrom_ = 0.0;
  double angleBase_ = 0.0;

  // Computed at most once per frame.
  std::optional<Codes> live_;
  int64_t liveSerial_ = 0;
  double liveAngle_ = 0.0;
};

}  // namespace velk
