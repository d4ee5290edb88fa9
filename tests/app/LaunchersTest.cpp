#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QTest>
#include <QUrl>

#include "UiTestSupport.h"
#include "app/Launchers.h"

namespace pelcato {
namespace {

TEST(UpgradeParameters, EnglishServiceForEveryLanguageButChinese) {
  const struct {
    int Language;
    const char* Name;
  } cases[] = {{0, "English"}, {1, "Spanish"},  {2, "German"},  {3, "Italian"},
               {4, "French"},  {6, "Japanese"}, {7, "English"}, {200, "English"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Language);
    EXPECT_EQ(UpgradeParameters(4294967301u, c.Language),
              QStringList({"4294967301", "Pelcato", PELCATO_VERSION, c.Name,
                           web::UpgradeServiceEnglish, web::HomePageEnglish}));
  }
}

TEST(UpgradeParameters, ChineseProductNameTravelsAsOneToken) {
  const QStringList tokens = UpgradeParameters(77, 5);
  ASSERT_EQ(tokens.size(), 6);
  EXPECT_TRUE(ProductNameChinese.contains(QLatin1Char(' ')));
  EXPECT_EQ(tokens[1], QString(ProductNameChinese).replace(QLatin1Char(' '), QLatin1Char('^')));
  EXPECT_EQ(tokens[3], "Chinese");
  EXPECT_EQ(tokens[4], web::UpgradeServiceChinese);
  EXPECT_EQ(tokens[5], web::HomePageChinese);
  EXPECT_EQ(SpacesToCarets(QStringLiteral(" a b  c ")), "^a^b^^c^");
  // The addresses stay under the reserved example domain.
  for (const QString& address :
       {web::GuideAddress, web::UpgradeServiceEnglish, web::UpgradeServiceChinese,
        web::HomePageEnglish, web::HomePageChinese}) {
    EXPECT_TRUE(QUrl(address).host().endsWith(".example")) << qPrintable(address);
  }
}

TEST(UpgradeProgram, StartsWithTheTokensAndAMissingProgramIsNoError) {
  test::TProgramFolder folder;
  EXPECT_FALSE(StartUpgradeProgram(folder.Path(), UpgradeParameters(1, 0)));
  folder.InstallUpgradeStandIn();
  const QStringList tokens = UpgradeParameters(123456, 5);
  ASSERT_TRUE(StartUpgradeProgram(folder.Path(), tokens));
  for (int i = 0; i < 250 && folder.UpgradeArguments().isEmpty(); ++i) QTest::qWait(20);
  EXPECT_EQ(folder.UpgradeArguments(), tokens);
}

TEST(OpenDocument, TrimsTheAddressAndIgnoresAnEmptyOne) {
  test::TUrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
  OpenDocument(QStringLiteral(" \t\r\n"));
  OpenDocument(QStringLiteral("  https://www.pelcato.example/a b.html\n"));
  OpenDocument(QStringLiteral("/tmp/guide.html"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  ASSERT_EQ(catcher.Opened.size(), 2);
  EXPECT_EQ(catcher.Opened[0].host(), "www.pelcato.example");
  EXPECT_EQ(catcher.Opened[0].path(), "/a b.html");
  EXPECT_EQ(catcher.Opened[1], QUrl::fromLocalFile(QStringLiteral("/tmp/guide.html")));
}

}  // namespace
}  // namespace pelcato
