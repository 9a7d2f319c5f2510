#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "measure/OutputCycle.h"
#include "noise/read/RunHeader.h"
#include "registers/Reg47120.h"
#include "support/SimRig.h"
#include "ui/main/NoiseFeed.h"

namespace velk {
namespace {

// The reads as the feed sees them: a chip sampling every period, read at the cycles given on
// the test's own clock.
struct Reads {
  explicit Reads(Session& session) : feed(session) {}
  // `count` reads `cycle` s apart; `paced` false for reads out of the loop.
  void Take(int count, double cycle, bool paced = true) {
    for (int i = 0; i < count; ++i) {
      const auto latest = static_cast<int64_t>(std::floor(time / chip.samplePeriodS));
      OutputCycle c;
      c.outputs[output::Gyro].newData = latest > last;
      c.outputs[output::Gyro].code = static_cast<int32_t>(latest % 7) - 3;
      last = latest;
      feed.Cycle(c, time, chip, loopDelay, paced);
      time += cycle;
    }
  }
  double Period() const { return chip.samplePeriodS; }

  NoiseFeed feed;
  noise::ChipSettings chip = noise::ChipFromWords(1, 0x0402, 47120);
  float loopDelay = 1;
  double time = 100.0001;
  int64_t last = -1;
};

// Each run: the loop starts, 100 cycles of half a period, then the row's act and 10 more.
TEST(NoiseFeed, StartsAnewOnlyForAChangeSomeoneMadeAndNamesIt) {
  const struct {
    const char* name;
    std::function<void(Reads&, Session&)> act;
    const char* cause;
  } rows[] = {
      {"a busy host: a cycle of 3 periods, late cycles, a stall of 2 s",
       [](Reads& r, Session&) {
         r.Take(1, 3 * r.Period());
         r.Take(100, 1.5 * r.Period());
         r.Take(1, 2.0);
       },
       "the read loop started"},
      {"the loop delay edited", [](Reads& r, Session&) { r.loopDelay = 5; },
       "the loop delay was edited"},
      {"a register written", [](Reads&, Session& s) { s.spi.WriteRegister(slot::Smpl_Prd, 1); },
       "Smpl_Prd was written"},
      {"a Read click",
       [](Reads& r, Session&) {
         r.feed.ReadPressed();
         r.Take(1, r.Period() / 2, false);
       },
       "Read was pressed"},
      {"a dialog closed: the activation's reads", [](Reads& r, Session&) { r.Take(5, 0.1, false); },
       "the read loop started"},
      // A click that finds the chip awake again: the activation's reads, then the click's.
      {"a power-down",
       [](Reads& r, Session& s) {
         s.spi.WriteRegister(slot::Pwr_Mde, 2);
         r.time += 1.0;
         r.feed.ReadPressed();
         r.feed.ChipWoke();
         r.Take(6, 0.1, false);
       },
       "the chip woke from a power-down"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::SimRig rig;
    Reads reads(rig.session);
    reads.feed.LoopStarted();
    reads.Take(100, reads.Period() / 2);
    row.act(reads, rig.session);
    reads.Take(10, reads.Period() / 2);
    const noise::LiveNoise& live = reads.feed.Live();
    EXPECT_EQ(live.Cause(), row.cause);
    // Where the record went on, it holds the samples the loop missed.
    if (live.Cause() == "the read loop started") {
      EXPECT_EQ(live.Mode(), noise::LiveMode::ChipClocked);
      EXPECT_GT(live.Take().facts.lost, 100);
    }
  }
}

}  // namespace
}  // namespace velk
