#include "core/QueuedWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace velk::test {
namespace {

// Pieces handed over from another thread arrive whole and in order; the first failed write
// ends the writing and is reported once, the pieces after it dropped.
TEST(QueuedWriter, WholePiecesInOrderAndOneFailure) {
  const struct {
    const char* name;
    int failAt;  // the write that fails, 0: none
  } cases[] = {{"all written", 0}, {"third write fails", 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> written;
    int writes = 0;
    std::vector<std::string> handed;
    std::optional<int> error;
    {
      QueuedWriter<int> writer([&](std::string_view piece) -> std::optional<int> {
        if (++writes == c.failAt) return 28;
        written.emplace_back(piece);
        return std::nullopt;
      });
      std::thread producer([&] {
        for (int i = 0; i < 500; ++i) {
          std::string rows;
          for (int r = 0; r < 1 + i % 7; ++r)
            rows += std::to_string(i) + "," + std::to_string(r) + "\n";
          handed.push_back(rows);
          writer.Push(rows);
        }
      });
      producer.join();
      error = writer.Finish();
      EXPECT_EQ(writer.Finish(), std::nullopt);  // once
      EXPECT_EQ(writer.Failed(), c.failAt != 0);
    }
    if (c.failAt == 0) {
      EXPECT_EQ(error, std::nullopt);
      EXPECT_EQ(written, handed);
    } else {
      EXPECT_EQ(error, 28);
      EXPECT_EQ(writes, c.failAt);
      EXPECT_EQ(written, std::vector<std::string>(handed.begin(), handed.begin() + c.failAt - 1));
    }
  }
}

}  // namespace
}  // namespace velk::test
