#include "toolkit/HelpLinks.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>
#include <QUrlQuery>
#include <QWidget>

#include <map>

#ifndef PAIRLOOM_SOURCE_HELP_DIR
#define PAIRLOOM_SOURCE_HELP_DIR ""
#endif

namespace {

// The program's own site. Every web address of the program is built here.
const QString SiteBase = QStringLiteral("https://zanthory.example/");

QUrl Site(const char* page)
{
    return QUrl(SiteBase + QString::fromLatin1(page));
}

TUrlOpener& Opener()
{
    static TUrlOpener opener;
    return opener;
}

// The page file of each help context.
const std::map<int, QString>& HelpPages()
{
    static const std::map<int, QString> pages = {
        {hcContents, QStringLiteral("index.html")},
        {hcMainWindow, QStringLiteral("main-window.html")},
        {hcOptions, QStringLiteral("options.html")},
        {hcFilter, QStringLiteral("filter.html")},
        {hcExclusions, QStringLiteral("exclusions.html")},
    };
    return pages;
}

} // namespace

namespace WebLinks {

QUrl HomePage()
{
    return Site("twinrake/");
}

QUrl Support()
{
    return Site("twinrake/support/");
}

QUrl Faq()
{
    return Site("twinrake/faq/");
}

QUrl FolderExclusionArticle()
{
    return Site("twinrake/faq/#folder-flags");
}

QUrl SimilarImagesPage()
{
    return Site("similar-images/");
}

QUrl SoundsievePage()
{
    return Site("soundsieve/");
}

QUrl ErrorCodesPage()
{
    return Site("twinrake/faq/#file-errors");
}

QUrl DownloadPage()
{
    return Site("twinrake/download/");
}

QUrl TellAFriendMail()
{
    QUrl mail(QStringLiteral("mailto:"));
    QUrlQuery query;
    query.addQueryItem(
        QStringLiteral("subject"), QStringLiteral("I found a great application - Twinrake!"));
    query.addQueryItem(QStringLiteral("body"),
        QStringLiteral("Hi, I found Twinrake, a program that finds all duplicate files in a folder "
                       "and its subfolders. When the scan is finished it shows them in groups and "
                       "can check the older files for deletion. You can download it from ") +
            DownloadPage().toString() + QStringLiteral(" \n\rEnjoy!"));
    mail.setQuery(query.query(QUrl::FullyEncoded), QUrl::StrictMode);
    return mail;
}

} // namespace WebLinks

QString HelpFolder()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        programFolder + QStringLiteral("/../share/pairloom/help"),
        programFolder + QStringLiteral("/help"),
        QString::fromUtf8(PAIRLOOM_SOURCE_HELP_DIR),
    };
    for (const QString& folder : candidates) {
        if (!folder.isEmpty() && QFileInfo(folder + QStringLiteral("/index.html")).isFile()) {
            return QDir::cleanPath(folder);
        }
    }
    return {};
}

QUrl HelpPageUrl(int helpContext)
{
    const QString folder = HelpFolder();
    if (folder.isEmpty()) {
        return {};
    }
    const auto& pages = HelpPages();
    auto page = pages.find(helpContext);
    QString file =
        folder + QLatin1Char('/') + (page != pages.end() ? page->second : pages.at(hcContents));
    if (!QFileInfo(file).isFile()) {
        file = folder + QLatin1Char('/') + pages.at(hcContents);
    }
    return QUrl::fromLocalFile(file);
}

void ShowHelpContext(int helpContext)
{
    const QUrl page = HelpPageUrl(helpContext);
    if (page.isValid() && !page.isEmpty()) {
        OpenWebAddress(page);
    }
}

void SetHelpContext(QWidget* window, int helpContext)
{
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(
        key, &QShortcut::activated, window, [helpContext] { ShowHelpContext(helpContext); });
}

void OpenWebAddress(const QUrl& address)
{
    if (Opener()) {
        Opener()(address);
        return;
    }
    QDesktopServices::openUrl(address);
}

void SetUrlOpener(TUrlOpener opener)
{
    Opener() = std::move(opener);
}
