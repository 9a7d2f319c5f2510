#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QSet>
#include <QTest>
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

QString TopVisibleBlockText(QTextBrowser* browser) {
  return browser->cursorForPosition(QPoint(10, 10)).block().text();
}

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

TEST_F(HelpWindowTest, OpensAtTheTopicsAndItsLinksMoveWithinThePage) {
  HelpWindow window;
  window.resize(640, 400);
  ASSERT_TRUE(window.ShowTopics(kHelpFile));
  QApplication::processEvents();
  QTextBrowser* browser = window.browser();
  EXPECT_TRUE(window.isWindow());
  EXPECT_EQ(window.windowTitle(), "VELK47120 Help");

  // A click on the last topic of the list.
  QTextCursor link = browser->document()->find("Troubleshooting: messages and their fixes");
  ASSERT_FALSE(link.isNull());
  link.setPosition(link.selectionStart() + 2);
  QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect(link).center());
  EXPECT_EQ(browser->source().fragment(), "troubleshooting");
  EXPECT_EQ(browser->source().toLocalFile().toStdString(), kHelpFile.string());
  EXPECT_GT(browser->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(TopVisibleBlockText(browser).startsWith("Troubleshooting"))
      << TopVisibleBlockText(browser).toStdString();

  // Help opened again starts at the topics, not where the reader left off.
  ASSERT_TRUE(window.ShowTopics(kHelpFile));
  EXPECT_EQ(browser->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(TopVisibleBlockText(browser).startsWith("VELK 47120 Evaluation Software"));
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
