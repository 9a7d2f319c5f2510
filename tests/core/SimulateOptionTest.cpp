#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/SimulateOption.h"

namespace velk {
namespace {

struct Case {
  std::vector<std::string> args;
  const char* env;
  int product;
  bool refused;
  std::vector<std::string> left;
};

TEST(SimulateOption, BothFormsAndTheVariableAgree) {
  const std::vector<Case> cases = {
      {{"p"}, nullptr, 0, false, {"p"}},
      {{"p", "--simulate"}, nullptr, 47120, false, {"p"}},
      {{"p", "--simulate=47121"}, nullptr, 47121, false, {"p"}},
      {{"p", "--simulate", "47121"}, nullptr, 47121, false, {"p"}},
      // A command after the option is not a model.
      {{"p", "--simulate", "identify"}, nullptr, 47120, false, {"p", "identify"}},
      {{"p", "--simulate=12345"}, nullptr, 0, true, {"p"}},
      {{"p", "--simulate", "4712"}, nullptr, 0, true, {"p"}},
      {{"p"}, "YES", 47120, false, {"p"}},
      {{"p"}, " 47121 ", 47121, false, {"p"}},
      {{"p"}, "Off", 0, false, {"p"}},
      {{"p"}, "", 0, false, {"p"}},
      {{"p"}, "maybe", 0, true, {"p"}},
      {{"p"}, "47122", 0, true, {"p"}},
      // The option overrides the variable, even a variable that would be refused.
      {{"p", "--simulate=47121"}, "nonsense", 47121, false, {"p"}},
  };
  for (Case c : cases) {
    const std::string where = c.args.size() > 1 ? c.args[1] : std::string(c.env ? c.env : "-");
    const SimulateRequest r = TakeSimulateOption(c.args, c.env);
    EXPECT_EQ(r.product, c.product) << where;
    EXPECT_EQ(!r.error.empty(), c.refused) << where << ": " << r.error;
    EXPECT_EQ(c.args, c.left) << where;
  }
}

}  // namespace
}  // namespace velk
