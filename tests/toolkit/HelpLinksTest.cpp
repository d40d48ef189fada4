#include "toolkit/HelpLinks.h"

#include <QFileInfo>
#include <QUrlQuery>

#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(HelpLinks, EveryHelpContextOpensAnExistingPageThroughTheOpener)
{
    std::vector<QUrl> opened;
    SetUrlOpener([&opened](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    for (int context :
        std::vector<int> {hcContents, hcMainWindow, hcOptions, hcFilter, hcExclusions, 4242}) {
        ShowHelpContext(context);
    }
    SetUrlOpener(nullptr);
    ASSERT_EQ(opened.size(), 6u);
    for (const QUrl& url : opened) {
        EXPECT_TRUE(url.isLocalFile()) << url.toString().toStdString();
        EXPECT_TRUE(QFileInfo(url.toLocalFile()).isFile()) << url.toString().toStdString();
    }
    // A context without a page of its own falls back to the contents.
    EXPECT_EQ(opened.back(), HelpPageUrl(hcContents));
}

TEST(HelpLinks, TheMailLinkIsAValidAddressWithItsTextEncoded)
{
    const QUrl mail = WebLinks::TellAFriendMail();
    ASSERT_TRUE(mail.isValid());
    EXPECT_EQ(mail.scheme(), QStringLiteral("mailto"));
    const QUrlQuery query(mail);
    EXPECT_FALSE(query.queryItemValue(QStringLiteral("subject")).isEmpty());
    EXPECT_TRUE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded)
                    .contains(WebLinks::HomePage().toString()));
    EXPECT_FALSE(mail.toString(QUrl::FullyEncoded).contains(QLatin1Char(' ')));
}

} // namespace
