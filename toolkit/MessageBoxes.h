#pragma once

#include "engine/Questions.h"

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <optional>
#include <string>
#include <vector>

class QIcon;
class QLabel;
class QObject;
class QPlainTextEdit;
class QWidget;

// The program's message boxes and folder picker on Qt Widgets, and the few helpers its dialogs
// use. Everything here runs on the main (GUI) thread.

// ---- placement, as pure functions --------------------------------------------------------------

// The top-left corner that centres a box of the given size over a form: the form's left edge
// plus half of the width left over, and the same for the height, halves truncated toward zero
// (a box wider than the form starts left of it).
QPoint CenterOverForm(const QSize& box, const QRect& form);

// The rectangle moved, never resized, so that it lies inside the area: first its right and
// bottom edges are pulled back onto the area, then its left and top edges, so a rectangle
// larger than the area starts at the area's top-left corner (its title bar and its first
// buttons stay reachable) and runs off at the right or bottom.
QRect KeepOnArea(const QRect& bounds, const QRect& area);

// Of the screens' available areas (the primary one first), the one a window with these bounds
// belongs on: the area that holds its centre, else the one it shares the most pixels with,
// else the primary one. No areas at all give an empty rectangle.
QRect AreaForWindow(const QRect& bounds, const std::vector<QRect>& areas);

// Where a dialog goes: centred over the form when there is one, else left where it is; then
// kept on the available area of the screen it lands on. The size never changes.
QRect PlaceDialog(
    const QRect& bounds, const std::optional<QRect>& centerOver, const std::vector<QRect>& areas);

// The owner of a message box: the window of the caller's owner when it names a widget; else
// the active window; else the main window; else none (null).
QWidget* MessageBoxOwner(QObject* owner, QWidget* activeWindow, QWidget* mainWindow);

// The available areas of the screens as Qt reports them, the primary screen's first.
std::vector<QRect> ScreenAreas();

// ---- the real questions --------------------------------------------------------------------

// The questions of the program answered by the user through QMessageBox and QFileDialog.
// Installed by the program at start-up (InstallQuestions); the main window registers itself
// with SetMainWindow so that boxes with no active window still have an owner and the folder
// picker is centred over it.
//
// Message boxes are owned as MessageBoxOwner says, centred over the window that was active
// when the question was asked (even when the owner is another window; with none active they
// stay where Qt puts them) and kept on the screen. Their texts are plain text, never markup,
// so a file name is shown exactly as it is. The first button is the default one; Esc or the
// close button answers No, Cancel or OK.
//
// Asked from any thread but the GUI thread, no widget is made: the message goes to the
// standard error stream and the answer is No, Cancel or nothing, as with nothing installed.
class TWidgetQuestions : public TQuestions {
public:
    // The main window (null: none). Held weakly: a window that is destroyed counts as none.
    void SetMainWindow(QWidget* mainWindow);
    QWidget* MainWindow() const;

    void ShowErrorMessage(const std::string& text, QObject* owner) override;
    bool ShowConfirmMessage(const std::string& text, QObject* owner) override;
    bool ShowRetryCancelError(const std::string& text, QObject* owner) override;
    // A folder picker that shows folders only, titled as given and owned by the main window
    // (else the active one), centred over it and kept on the screen. It opens in the initial
    // folder when that exists, else in the root when one is given and exists, else in the home
    // folder. With a root, the user cannot leave it: a folder outside the root brings the
    // picker back to the root. The chosen folder with a trailing "/", or "" when cancelled.
    std::string BrowseForFolder(
        const std::string& title, const std::string& root, const std::string& initial) override;
    // Runs a QDialog modally, centred over the window that is active (else the main window)
    // the first time it is shown and kept on the screen. A dialog that was given a size keeps
    // it (grown to fit its content); one that was not takes the size its content asks for. A dialog destroyed while it runs
    // (its owner went away) gives QDialog::Rejected. Anything but a QDialog gives Rejected.
    int ExecDialog(QObject* dialog) override;
    // Qt's own file pickers (so they can be placed like the other dialogs), owned by the main
    // window, centred over it. A save picker asks before replacing an existing file.
    std::string GetOpenFileName(
        const std::string& title, const std::string& filter, const std::string& initial) override;
    std::string GetSaveFileName(
        const std::string& title, const std::string& filter, const std::string& initial) override;

private:
    std::string PickFile(bool save, const std::string& title, const std::string& filter,
        const std::string& initial);

    QPointer<QWidget> FMainWindow;
    TDefaultQuestions FOffThread;
};

// ---- helpers for forms and controls ------------------------------------------------------------

// Paints the icon into the image label: a picture of the label's size filled with the
// palette's button colour, with the icon (taken at 96 x 96) drawn over it stretched to that
// size. A null icon leaves only the background.
void DrawIconToImage(const QIcon& icon, QLabel* image);

// Scrolls the memo down to its last line; the horizontal position stays.
void ScrollMemoToEnd(QPlainTextEdit* memo);
