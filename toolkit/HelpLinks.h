#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// The program's help pages and web addresses, all in one place, and the one way the windows
// open them: in the desktop's browser or mail program. Failures are not reported (the user
// sees that nothing opened). Everything here runs on the main thread.

// The help contexts the windows use; each has a page of its own.
enum THelpContext : int {
    hcContents = 1000, // the Help menu's Help item
    hcMainWindow = 1010, // the main window (F1 there)
    hcOptions = 1011, // the options dialog
    hcFilter = 1102, // the filter dialog
    hcExclusions = 1103, // the exclusion rules and the quick check
};

// The web addresses the Help menu, the tool-bar links, the folder list's help button and the
// delete dialog's error button open.
namespace WebLinks {
QUrl HomePage();
QUrl Support();
QUrl Faq();
QUrl FolderExclusionArticle();
QUrl SimilarImagesPage();
QUrl SoundsievePage();
QUrl ErrorCodesPage();
// The page the program is downloaded from.
QUrl DownloadPage();
// A new message that recommends the program to a friend (subject and body percent-encoded).
QUrl TellAFriendMail();
} // namespace WebLinks

// The folder that holds the help pages: installed beside the program (share/pairloom/help
// next to the program's bin folder, or help/ beside the program), else the source tree's
// help/ when the program runs from its build folder. Empty when none is found.
QString HelpFolder();
// The page of a help context (a file: address), or an empty address when the help is not
// found. A context without a page of its own opens the contents.
QUrl HelpPageUrl(int helpContext);

// Opens the help page of the context in the desktop's browser.
void ShowHelpContext(int helpContext);
// Makes F1 anywhere in the window open the page of the help context (for dialogs; the main
// window's F1 is its Help menu item).
void SetHelpContext(QWidget* window, int helpContext);
// Opens a web or mail address, or a file: address, in the desktop's program for it.
void OpenWebAddress(const QUrl& address);

// Tests replace the opener so that nothing starts a browser; null restores the desktop's.
using TUrlOpener = std::function<bool(const QUrl&)>;
void SetUrlOpener(TUrlOpener opener);
