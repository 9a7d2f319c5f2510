#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/SimulateOption.h"

namespace velk {
namespace {

TEST(SimulateOption, BothFormsAndTheVariableAgree) {
  // The arguments and the variable; the model simulated, refused or not, the arguments left.
  using Args = std::vector<std::string>;
  const std::vector<std::tuple<Args, const char*, int, bool, Args>> cases = {
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
      {{"p"}, "maybe", 0, true, {"p"}},
      // The option overrides the variable, even a variable that would be refused.
      {{"p", "--simulate=47121"}, "nonsense", 47121, false, {"p"}},
  };
  for (auto [args, env, product, refused, left] : cases) {
    SCOPED_TRACE(args.size() > 1 ? args[1] : std::string(env ? env : "-"));
    const SimulateRequest r = TakeSimulateOption(args, env);
    EXPECT_EQ(r.value_or(0), product);
    EXPECT_EQ(!r, refused) << (r ? "" : r.error());
    EXPECT_EQ(args, left);
  }
}

}  // namespace
}  // namespace velk
