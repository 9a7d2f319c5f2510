#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/GyroRange.h"
#include "noise/read/Reader.h"
#include "support/TempDir.h"

namespace velk::noise {
namespace {

const double kLsb = GyroLsb(0x0402, 47120);
const std::string kComment =
    "# VELK47120, firmware 1.2, parallel port 0x378, range 320 Dgr/S, sample period 3.91 mS, "
    "averaging 2 (4 taps)";
const std::string kWords = ", Smpl_Prd=0x01, Sens_Avg=0x0402, model 47120";
const std::string kLogHeader =
    "time (UTC),elapsed (s),Supply (V),Gyro (Dgr/S),ADC In (V),Temp (dgrC),Angle (dgr),New,"
    "Error,Status\n";
const std::string kAcquisitionHeader = "sample,elapsed (s),Gyro (Dgr/S),Gyro code,Temp (dgrC)\n";

// A rate as the tool writes it: float arithmetic, 7 significant digits.
std::string Rate(int code) {
  char text[32];
  const auto end =
      std::to_chars(text, text + sizeof text, static_cast<float>(code) * static_cast<float>(kLsb),
                    std::chars_format::general, 7);
  return std::string(text, end.ptr);
}

std::string LogRow(double t, int code, int error = 0, int status = 0) {
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.6f", t);
  return "2026-12-08T01:22:43.706Z," + std::string(elapsed) + ",5.003658," + Rate(code) +
         ",0,25.1453,0.62271,1," + std::to_string(error) + "," + std::to_string(status) + "\n";
}

// One run of the tool's log: a row per code every `step` seconds.
std::string LogRun(const std::vector<int>& codes, double step = 0.1, bool words = true) {
  std::string text = kComment + (words ? kWords : "") + "\n" + kLogHeader;
  for (size_t i = 0; i < codes.size(); ++i) text += LogRow(0.1 + step * i, codes[i]);
  return text;
}

ReadOptions Options(std::optional<int> run, std::optional<double> tau0 = {}, double skipS = 0) {
  ReadOptions options;
  options.run = run;
  options.tau0 = tau0;
  options.skipS = skipS;
  return options;
}

ReadResult Read(const std::string& text, ReadOptions options = {}) {
  return ReadRecordText(text, "run.csv", options);
}

std::string Datalog(const std::vector<int>& codes) {
  std::string text =
      "VELK 47120 Datalog File\r\nDate\t08/12/2026\r\nLoopDelay\t100 mS\r\nSmpl Prd\t3.91 mS\r\n"
      "Avg Cnt\t2\r\nScale\t320\r\nPos Self Test On\r\n"
      "Index\tSupply\tGyro\tADC In\tTemp\tAngle\tNew  "
      "\tError\tStatus\r\n\tV\tDgr/S\tV\tdgrC\tdgr\t \r\n";
  for (size_t i = 0; i < codes.size(); ++i)
    text += std::to_string(i + 1) + "\t5.0001\t" + Rate(codes[i]) +
            "\t0\t25.1\t0.1\tTrue\tFalse\t0\r\n";
  return text;
}

const std::vector<int> kCodes = {3, 5, 4, 4, 6, 2, 5};

// The layouts and what the reader makes of each: runs, segments, units and timing.
TEST(Reader, ReadsEachLayout) {
  struct Case {
    const char* name;
    std::string text;
    ReadOptions options;
    std::function<void(const Record&)> check;
  };
  const std::string gappyRows = kAcquisitionHeader +
                                "1,0.0039,0.2198,3,25.1\n2,0.0078,0.293,4,\n3,0.0117,0.293,4,\n"
                                "6,0.0234,0.3663,5,\n7,0.0273,0.293,4,25.3\n";
  const std::string gappy = kComment + kWords + "\n" + gappyRows;
  std::string paced = kComment + kWords + "\n" + kLogHeader;
  for (int i = 0; i < 12; ++i) paced += LogRow(i < 6 ? 0.1 * i : 0.1 * i + 1.0, kCodes[i % 7]);
  std::string flagged = kComment + kWords + "\n" + kLogHeader + LogRow(0.1, 3) +
                        LogRow(0.2, 5, 1, 0x100) + LogRow(0.3, 4, 1, 0x10) + LogRow(0.4, 4) +
                        LogRow(0.5, 8191) + LogRow(0.6, 2, 1, 0) + LogRow(0.7, 6);
  const std::string full = LogRun({1, 2, 3});
  const std::string cutShort = full.substr(0, full.rfind(",0,25.1453"));  // 4 fields of the last
  std::string crlf = "\xEF\xBB\xBF" + LogRun(kCodes);
  for (size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
    crlf.insert(at, "\r");
  std::string degrees = kComment + "\n" + kLogHeader;
  for (int i = 0; i < 5; ++i)
    degrees += LogRow(0.1 * i, 0).replace(43, 1, std::to_string(i) + ".01");

  const Case cases[] = {
      {"two runs, the last taken",
       LogRun({1, 2, 3}) + LogRun(kCodes),
       {},
       [](const Record& r) {
         EXPECT_EQ(r.layout, Layout::Log);
         EXPECT_EQ(r.run, 2);
         EXPECT_EQ(r.runs, 2);
         EXPECT_EQ(r.samples, std::vector<double>(kCodes.begin(), kCodes.end()));
         EXPECT_TRUE(r.integerCounts);
         EXPECT_DOUBLE_EQ(r.unit, kLsb);
         ASSERT_TRUE(r.chip);
         EXPECT_NEAR(r.chip->windowS, 4 * 0.003906, 1e-12);
         EXPECT_EQ(r.chip->rangeDps, 320.0);
         EXPECT_NEAR(r.tau0, 0.1, 1e-12);
         EXPECT_EQ(r.tau0Source, Tau0Source::Elapsed);
         EXPECT_NEAR(r.durationS, 0.7, 1e-12);
       }},
      {"the first of two runs", LogRun({1, 2, 3}) + LogRun(kCodes), Options(1),
       [](const Record& r) {
         EXPECT_EQ(r.samples, (std::vector<double>{1, 2, 3}));
       }},
      {"a run cut short mid-row, another after it", cutShort + "\n" + LogRun(kCodes), Options(1),
       [](const Record& r) {
         EXPECT_EQ(r.samples, (std::vector<double>{1, 2}));
         EXPECT_EQ(r.runs, 2);
         ASSERT_EQ(r.notes.size(), 1u);
         EXPECT_EQ(r.notes[0],
                   "line 5, the run's last, holds 4 of 10 fields: left out as incomplete");
       }},
      {"an acquisition's gap",
       gappy,
       {},
       [](const Record& r) {
         EXPECT_EQ(r.layout, Layout::Acquisition);
         EXPECT_EQ(r.samples, (std::vector<double>{3, 4, 4, 5, 4}));
         EXPECT_EQ(r.segmentStarts, (std::vector<size_t>{0}));
         ASSERT_EQ(r.missing.size(), 1u);
         EXPECT_EQ(r.missing[0].at, 3u);
         EXPECT_EQ(r.lost, 2);
         EXPECT_NEAR(r.tau0, 0.003906, 1e-12);
         EXPECT_EQ(r.tau0Source, Tau0Source::SamplePeriod);
         EXPECT_NEAR(r.durationS, 7 * 0.003906, 1e-12);
         EXPECT_NEAR(*r.stats.meanTemp, 25.2, 1e-9);
       }},
      {"an acquisition without the chip's words: tau0 over the sample numbers",
       kComment + "\n" + gappyRows,
       {},
       [](const Record& r) {
         EXPECT_FALSE(r.chip);
         EXPECT_NEAR(r.tau0, 0.0039, 1e-12);  // the lost samples are steps too
         EXPECT_EQ(r.tau0Source, Tau0Source::Elapsed);
       }},
      {"--tau0 over an acquisition's sample period", gappy, Options({}, 0.005),
       [](const Record& r) {
         EXPECT_EQ(r.tau0, 0.005);
         EXPECT_EQ(r.tau0Source, Tau0Source::Given);
         EXPECT_NEAR(r.durationS, 7 * 0.005, 1e-12);
       }},
      {"a host-paced step of 11 steps",
       paced,
       {},
       [](const Record& r) {
         EXPECT_EQ(r.segmentStarts, (std::vector<size_t>{0}));
         ASSERT_EQ(r.missing.size(), 1u);
         EXPECT_EQ(r.missing[0].count, 10);
         EXPECT_NEAR(r.tau0, 0.1, 1e-9);  // the gap is not a step
         EXPECT_LT(r.jitter, 1e-6);
       }},
      {"errors and limit codes",
       flagged,
       {},
       [](const Record& r) {
         EXPECT_EQ(r.samples, (std::vector<double>{3, 5, 4, 6}));  // an alarm keeps its row
         EXPECT_EQ(r.segmentStarts, (std::vector<size_t>{0}));
         EXPECT_EQ(r.lost, 3);
         EXPECT_EQ(r.leftOut.errorFlag, 2);
         EXPECT_EQ(r.leftOut.rangeLimit, 1);
       }},
      {"a BOM and CR LF",
       crlf,
       {},
       [](const Record& r) { EXPECT_EQ(r.samples.size(), kCodes.size()); }},
      {"a partial last line",
       LogRun(kCodes) + "2026-12-08T01:22:43.706Z,0.9",
       {},
       [](const Record& r) {
         EXPECT_EQ(r.samples.size(), kCodes.size());
         ASSERT_EQ(r.notes.size(), 1u);
         EXPECT_NE(r.notes[0].find("(10) has no line end"), std::string::npos) << r.notes[0];
       }},
      {"a last line short of fields",
       LogRun(kCodes) + "2026-12-08T01:22:43.706Z,0.9,5\n",
       {},
       [](const Record& r) {
         ASSERT_EQ(r.notes.size(), 1u);
         EXPECT_NE(r.notes[0].find("holds 3 of 10 fields"), std::string::npos) << r.notes[0];
       }},
      {"a datalog with --tau0", Datalog(kCodes), Options({}, 0.15),
       [](const Record& r) {
         EXPECT_EQ(r.layout, Layout::Datalog);
         EXPECT_TRUE(r.integerCounts);
         EXPECT_DOUBLE_EQ(r.unit, kLsb);
         ASSERT_TRUE(r.chip);
         EXPECT_EQ(r.chip->model, 0);  // the datalog does not name it
         EXPECT_NEAR(r.chip->windowS, 4 * 0.00391, 1e-12);
         EXPECT_EQ(r.tau0, 0.15);
       }},
      {"an older log: LSB from the steps",
       LogRun({-3, 5, 7}, 0.1, false),
       {},
       [](const Record& r) {
         EXPECT_FALSE(r.chip);
         EXPECT_TRUE(r.integerCounts);
         EXPECT_DOUBLE_EQ(r.unit, kLsb);
         EXPECT_EQ(r.samples, (std::vector<double>{-3, 5, 7}));
       }},
      {"rates off the counts stay in deg/s",
       degrees,
       {},
       [](const Record& r) {
         EXPECT_FALSE(r.integerCounts);
         EXPECT_EQ(r.unit, 1.0);
         EXPECT_EQ(r.samples[2], 2.01);
       }},
      {"--tau0 and --skip over a log", LogRun(kCodes), Options({}, 0.2, 0.25),
       [](const Record& r) {
         EXPECT_EQ(r.samples, std::vector<double>(kCodes.begin() + 3, kCodes.end()));
         EXPECT_EQ(r.tau0Source, Tau0Source::Given);
         ASSERT_EQ(r.notes.size(), 1u);
         EXPECT_EQ(r.notes[0],
                   "--tau0 0.2 s overrides the elapsed column, whose mean step is 0.1 s");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult result = Read(c.text, c.options);
    ASSERT_TRUE(result.has_value()) << result.error().message;
    c.check(*result);
  }
}

// An acquisition row as the tool writes it, at the chip's sample period.
std::string AcquisitionRow(int64_t sample, int code) {
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.6f", 0.003906 * static_cast<double>(sample));
  return std::to_string(sample) + "," + elapsed + "," + Rate(code) + "," + std::to_string(code) +
         ",\n";
}

// Rows of the given sample numbers (-1: a gap line); the one numbered `limitAt` at the limit.
std::string Acquisition(const std::vector<int64_t>& numbers, int64_t limitAt = -2) {
  std::string text = kComment + kWords + "\n" + kAcquisitionHeader;
  for (size_t i = 0; i < numbers.size(); ++i)
    text += numbers[i] < 0 ? "# gap: the USB card went away\n"
                           : AcquisitionRow(numbers[i], numbers[i] == limitAt ? 8191 : 4 + i % 3);
  return text;
}

// Log rows at the given elapsed times; the row at `errorAt` flagged with an error bit.
std::string LogAt(const std::vector<double>& times, size_t errorAt = 99) {
  std::string text = kComment + kWords + "\n" + kLogHeader;
  for (size_t i = 0; i < times.size(); ++i)
    text += LogRow(times[i], kCodes[i % 7], i == errorAt ? 1 : 0, i == errorAt ? 0x10 : 0);
  return text;
}

// "starts 0 3; missing 3x2; left out 0 1 0; runs 1": the record's segments, missing runs, rows
// left out (error flag, range limit, incomplete) and the file's runs.
std::string Shape(const Record& r) {
  std::string text = "starts";
  for (size_t at : r.segmentStarts) text += " " + std::to_string(at);
  text += "; missing";
  for (const MissingRun& run : r.missing)
    text += " " + std::to_string(run.at) + "x" + std::to_string(run.count);
  const LeftOutRows& o = r.leftOut;
  return text + "; left out " + std::to_string(o.errorFlag) + " " + std::to_string(o.rangeLimit) +
         " " + std::to_string(o.incomplete) + "; runs " + std::to_string(r.runs);
}

// Missing samples are marked where their numbers are known; a record is cut only where they
// are not (a gap line, an elapsed gap off a whole number of steps), and a new run starts only
// at a run header.
TEST(Reader, MarksMissingSamplesAndCutsOnlyWhereNumbersEnd) {
  const std::string cutShort = Acquisition({0, 1, 2}) + "3,0.011718\n# gap: replugged\n" +
                               AcquisitionRow(8, 8191) + AcquisitionRow(9, 4) +
                               AcquisitionRow(10, 5);
  // The window's datalog across a replug: the row lost with the card, then its gap row.
  std::string replugged = Datalog({3, 5, 4, 9, 6, 2, 5});
  replugged.replace(replugged.find("\r\n4\t") + 2,
                    replugged.find("\r\n5\t") - replugged.find("\r\n4\t"),
                    "# gap: the USB card went away at 14:02:11, back at 14:02:14\r\n");
  const struct {
    const char* name;
    std::string text;
    const char* shape;
    ReadOptions options = {};
  } cases[] = {
      {"acquisition: numbers missing", Acquisition({0, 1, 2, 5, 6, 9, 10}),
       "starts 0; missing 3x2 5x2; left out 0 0 0; runs 1"},
      {"acquisition: the first row at the limit, a gap after it", Acquisition({0, 2, 3, 5}, 0),
       "starts 0; missing 2x1; left out 0 1 0; runs 1"},
      {"acquisition: a gap line", Acquisition({0, 1, 2, -1, 7, 8}),
       "starts 0 3; missing; left out 0 0 0; runs 1"},
      {"acquisition: cut short before a gap line, a limit code after it", cutShort,
       "starts 0 3; missing; left out 0 1 1; runs 1"},
      {"a run header", Acquisition({0, 1, 2}) + Acquisition({0, 1, 3, 4}),
       "starts 0; missing 2x1; left out 0 0 0; runs 2"},
      {"log: steps of 2 and 4 tau0", LogAt({0, 0.1, 0.2, 0.4, 0.5, 0.6, 1.0, 1.1}),
       "starts 0; missing 3x1 6x3; left out 0 0 0; runs 1"},
      {"log: a step 0.3 tau0 off a whole number", LogAt({0, 0.1, 0.2, 0.43, 0.53}),
       "starts 0 3; missing; left out 0 0 0; runs 1"},
      {"log: a late row", LogAt({0, 0.1, 0.23, 0.3, 0.4}),
       "starts 0; missing; left out 0 0 0; runs 1"},
      {"log: an error row just after a gap", LogAt({0, 0.1, 0.3, 0.4}, 2),
       "starts 0; missing 2x2; left out 1 0 0; runs 1"},
      {"log: numbered by its own pace under --tau0", LogAt({0, 0.1, 0.2, 0.4, 0.5}),
       "starts 0; missing 3x1; left out 0 0 0; runs 1", Options({}, 0.5)},
      {"datalog: a gap row", replugged, "starts 0 3; missing; left out 0 0 0; runs 1",
       Options({}, 0.1)},
  };
  for (const auto& c : cases) {
    const ReadResult r = Read(c.text, c.options);
    ASSERT_TRUE(r.has_value()) << c.name << ": " << r.error().message;
    EXPECT_EQ(Shape(*r), c.shape) << c.name;
    int64_t lost = 0;
    for (const MissingRun& run : r->missing) lost += run.count;
    EXPECT_EQ(r->lost, lost) << c.name;
    EXPECT_NEAR(r->durationS, static_cast<double>(r->samples.size() + lost) * r->tau0, 1e-9);
  }
  EXPECT_EQ(
      Read(cases[2].text)->notes,
      std::vector<std::string>{"a gap line (line 6: \"the USB card went away\") cuts the record"});
  EXPECT_EQ(Read(cutShort)->notes[0],
            "line 6, before a gap line, holds 2 of 5 fields: left out as incomplete");
}

// The figures kept while streaming: per second, per 10 s, and the spread of 256-sample blocks.
TEST(Reader, KeepsStreamStats) {
  std::vector<int> codes;
  for (int i = 0; i < 600; ++i) codes.push_back(i % 2 == 0 ? 10 : 12);
  const ReadResult result = Read(LogRun(codes));
  ASSERT_TRUE(result.has_value()) << result.error().message;
  const StreamStats& stats = result->stats;
  ASSERT_EQ(stats.secondMeans.size(), 60u);
  EXPECT_NEAR(stats.secondMeans[59], 11 * kLsb, 1e-6);
  ASSERT_EQ(stats.tenSecondTemps.size(), 6u);
  EXPECT_NEAR(stats.tenSecondTemps[0], 25.1453, 1e-9);
  EXPECT_EQ(stats.blocks, 2);
  EXPECT_NEAR(stats.blockSpreadRms, std::sqrt(256.0 / 255.0), 1e-12);
  EXPECT_NEAR(stats.meanRate, 11 * kLsb, 1e-6);
}

// What cannot be analysed is answered with a message that says why.
TEST(Reader, AnswersBadFilesWithAMessage) {
  const std::string bad = LogRun(kCodes);
  const struct {
    std::string text;
    ReadOptions options;
    std::string error;
  } cases[] = {
      {"", {}, "run.csv holds no rows: it is empty"},
      {kComment + "\n" + kLogHeader, {}, "run.csv holds no rows"},
      {LogRun({4}), {}, "run.csv holds one row: the analysis needs at least two"},
      {LogRun({4, 4, 4}),
       {},
       "the rate never changed (every code is 4): the noise is below the LSB"},
      {LogRun({1, 2}) + LogRun(kCodes), Options(3),
       "run.csv holds 2 runs (1: 2 rows, 2: 7 rows); --run 3 is not one of them"},
      {std::string(bad).replace(bad.find(Rate(4)), Rate(4).size(), "4.x"),
       {},
       "run.csv line 5: Gyro (Dgr/S) is \"4.x\", not a number"},
      {std::string(bad).replace(bad.find(Rate(4)), Rate(4).size(), "nan"),
       {},
       "run.csv line 5: Gyro (Dgr/S) is \"nan\", which is not finite"},
      {std::string(bad).replace(bad.find(",1,0,0\n"), 6, ",1,0"),
       {},
       "run.csv line 3: 9 fields where the header has 10"},
      {Datalog(kCodes),
       {},
       "the window's datalog has no time column: give --tau0 SECONDS (its LoopDelay was 100 mS; "
       "the loop's real period is usually longer)"},
      {"Index,Count\n1,2\n",
       {},
       "run.csv is not a log, an acquisition file or a datalog: its line 1 "
       "reads \"Index,Count\""},
      {kComment + kWords + "\n" + kAcquisitionHeader + "5,0,0.07,1,\n5,0,0.07,1,\n",
       {},
       "run.csv line 4: sample 5 does not follow 5"},
  };
  for (const auto& c : cases) {
    const ReadResult result = Read(c.text, c.options);
    ASSERT_FALSE(result.has_value()) << c.error;
    EXPECT_EQ(result.error().message, c.error);
    // Only the datalog asks for a tau0, offering its LoopDelay.
    const bool datalog = c.error.find("no time column") != std::string::npos;
    EXPECT_EQ(result.error().datalogLoopDelay,
              datalog ? std::optional<std::string>("100") : std::nullopt);
  }
}

// A file larger than the read buffer reads as the same text in memory does.
TEST(Reader, ReadsAFileInChunksAsTheWholeText) {
  std::vector<int> codes;
  for (int i = 0; i < 40000; ++i) codes.push_back((i * 7919) % 41 - 20);
  const std::string text = LogRun({1, 2}) + LogRun(codes, 0.01);
  test::TempDir dir;
  const std::string file = (dir / "big.csv").string();
  std::FILE* out = std::fopen(file.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  const ReadResult fromFile = ReadRecord(file, {});
  const ReadResult fromText = ReadRecordText(text, file, {});
  ASSERT_TRUE(fromFile.has_value()) << fromFile.error().message;
  ASSERT_TRUE(fromText.has_value()) << fromText.error().message;
  EXPECT_EQ(fromFile->samples, fromText->samples);
  EXPECT_EQ(fromFile->samples.size(), codes.size());
  EXPECT_EQ(ReadRecord((dir / "none.csv").string(), {}).error().message,
            "cannot open " + (dir / "none.csv").string() + ": No such file or directory");
}

}  // namespace
}  // namespace velk::noise
