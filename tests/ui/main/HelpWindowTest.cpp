#include <gtest/gtest.h>

#include <QApplication>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>

#include "support/MessageRecorder.h"
#include "support/QtApp.h"
#include "support/TempDir.h"
#include "ui/main/HelpWindow.h"

namespace velk {
namespace {

const std::filesystem::path kHelpFile =
    std::filesystem::path(VELK_SOURCE_DIR) / "packaging" / HelpWindow::kFileName;

struct HelpWindowTest : ::testing::Test {
  bool app = (test::EnsureQApp(), true);
};

TEST_F(HelpWindowTest, EveryLinkOfTheHelpFileLeadsToAnAnchorInIt) {
  HelpWindow window;
  ASSERT_TRUE(window.ShowTopics(kHelpFile));
  QSet<QString> names;
  QStringList links;
  for (QTextBlock block = window.browser()->document()->begin(); block.isValid();
       block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat format = it.fragment().charFormat();
      for (const QString& name : format.anchorNames()) names.insert(name);
      if (format.isAnchor() && !format.anchorHref().isEmpty()) links.append(format.anchorHref());
    }
  ASSERT_TRUE(names.contains("topics"));
  // The list of topics alone names more than twenty sections.
  ASSERT_GT(links.size(), 20);
  for (const QString& link : links) {
    ASSERT_TRUE(link.startsWith('#')) << link.toStdString();
    EXPECT_TRUE(names.contains(link.mid(1))) << "no anchor for " << link.toStdString();
  }
}

TEST_F(HelpWindowTest, MissingFileIsReportedOnceWithItsPathAndNothingIsShown) {
  test::TempDir dir;
  const std::filesystem::path missing = dir / HelpWindow::kFileName;
  HelpWindow window;
  test::MessageRecorder messages;
  OpenHelp(window, messages, missing);
  ASSERT_EQ(messages.shown.size(), 1u);
  const std::string& text = messages.shown[0].text;
  EXPECT_NE(text.find(missing.string()), std::string::npos) << text;
  EXPECT_NE(text.find("Install the program again"), std::string::npos) << text;
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(window.browser()->toPlainText().isEmpty());

  // A folder by that name is no help file either.
  std::filesystem::create_directory(missing);
  EXPECT_FALSE(window.ShowTopics(missing));
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace velk
