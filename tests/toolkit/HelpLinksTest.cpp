#include "toolkit/HelpLinks.h"

#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
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

TEST(HelpLinks, TheMailNamesTheProgramAndItsDownloadPage)
{
    const QUrlQuery query(WebLinks::TellAFriendMail());
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
        QStringLiteral("I found a great application - Twinrake!"));
    const QString body = query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
    EXPECT_TRUE(body.contains(WebLinks::DownloadPage().toString()));
    EXPECT_TRUE(body.contains(QStringLiteral("duplicate files")));
}

TEST(HelpLinks, FOneInADialogOpensThePageOfItsContext)
{
    std::vector<QUrl> opened;
    SetUrlOpener([&opened](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    QDialog dialog;
    auto* field = new QLineEdit(&dialog);
    SetHelpContext(&dialog, hcFilter);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_F1);
    SetUrlOpener(nullptr);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front(), HelpPageUrl(hcFilter));
    EXPECT_TRUE(opened.front().toString().endsWith(QStringLiteral("filter.html")));
}

} // namespace
