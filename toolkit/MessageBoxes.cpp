#include "toolkit/MessageBoxes.h"

#include "engine/ZYUtils.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QThread>

#include <cstdint>

// ---- placement -------------------------------------------------------------------------------

QPoint CenterOverForm(const QSize& box, const QRect& form)
{
    // Integer division truncates toward zero, also for a box larger than the form.
    return QPoint(form.left() + (form.width() - box.width()) / 2,
        form.top() + (form.height() - box.height()) / 2);
}

QRect KeepOnArea(const QRect& bounds, const QRect& area)
{
    QRect placed = bounds;
    // The far edges first, then the near ones: what does not fit runs off at the far side.
    const int areaRight = area.left() + area.width();
    const int areaBottom = area.top() + area.height();
    if (placed.left() + placed.width() > areaRight) {
        placed.moveLeft(areaRight - placed.width());
    }
    if (placed.top() + placed.height() > areaBottom) {
        placed.moveTop(areaBottom - placed.height());
    }
    if (placed.left() < area.left()) {
        placed.moveLeft(area.left());
    }
    if (placed.top() < area.top()) {
        placed.moveTop(area.top());
    }
    return placed;
}

QRect AreaForWindow(const QRect& bounds, const std::vector<QRect>& areas)
{
    if (areas.empty()) {
        return QRect();
    }
    const QPoint center = bounds.center();
    for (const QRect& area : areas) {
        if (area.contains(center)) {
            return area;
        }
    }
    const QRect* best = &areas.front();
    std::int64_t bestShared = 0;
    for (const QRect& area : areas) {
        const QRect shared = area.intersected(bounds);
        const std::int64_t pixels = std::int64_t(shared.width()) * shared.height();
        if (pixels > bestShared) {
            bestShared = pixels;
            best = &area;
        }
    }
    return *best;
}

QRect PlaceDialog(
    const QRect& bounds, const std::optional<QRect>& centerOver, const std::vector<QRect>& areas)
{
    QRect placed = bounds;
    if (centerOver) {
        placed.moveTopLeft(CenterOverForm(bounds.size(), *centerOver));
    }
    const QRect area = AreaForWindow(placed, areas);
    if (area.isEmpty()) {
        return placed;
    }
    return KeepOnArea(placed, area);
}

QWidget* MessageBoxOwner(QObject* owner, QWidget* activeWindow, QWidget* mainWindow)
{
    if (auto* widget = qobject_cast<QWidget*>(owner)) {
        return widget->window();
    }
    if (activeWindow) {
        return activeWindow;
    }
    return mainWindow;
}

std::vector<QRect> ScreenAreas()
{
    std::vector<QRect> areas;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) {
        areas.push_back(primary->availableGeometry());
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary) {
            areas.push_back(screen->availableGeometry());
        }
    }
    return areas;
}

namespace {

// Moves a dialog to its place once Qt has given it its size and its own position: centred
// over the window named at creation (when that still exists), then kept on the screen. The
// show event comes before the window is mapped, so the dialog appears in its place at once.
template<class TDialog>
class TPlacedDialog : public TDialog {
public:
    TPlacedDialog(QWidget* owner, QWidget* centerOver)
        : TDialog(owner)
        , FCenterOver(centerOver)
    { }

protected:
    void showEvent(QShowEvent* event) override
    {
        TDialog::showEvent(event);
        if (event->spontaneous()) {
            return;
        }
        std::optional<QRect> form;
        if (FCenterOver && FCenterOver->isVisible()) {
            form = FCenterOver->frameGeometry();
        }
        const QRect placed = PlaceDialog(this->frameGeometry(), form, ScreenAreas());
        this->move(placed.topLeft());
    }

private:
    QPointer<QWidget> FCenterOver;
};

using TPlacedMessageBox = TPlacedDialog<QMessageBox>;
using TPlacedFileDialog = TPlacedDialog<QFileDialog>;

// Widgets may be made only on the GUI thread of a QApplication.
bool CanShowWidgets()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

QString MessageText(const std::string& text)
{
    QString message = QString::fromUtf8(text);
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return message;
}

// Shows one box and returns the standard button that closed it; NoButton when the box went
// away without an answer (its owner was destroyed while it was open).
QMessageBox::StandardButton AskBox(QWidget* owner, QWidget* activeWindow, QMessageBox::Icon icon,
    const std::string& caption, const std::string& text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton, QMessageBox::StandardButton escapeButton)
{
    // On the heap and watched: an owner destroyed during exec() takes the box with it.
    QPointer<TPlacedMessageBox> box = new TPlacedMessageBox(owner, activeWindow);
    box->setIcon(icon);
    box->setWindowTitle(QString::fromUtf8(caption));
    box->setTextFormat(Qt::PlainText);
    box->setText(MessageText(text));
    box->setStandardButtons(buttons);
    box->setDefaultButton(defaultButton);
    box->setEscapeButton(escapeButton);
    box->exec();
    if (!box) {
        return QMessageBox::NoButton;
    }
    QMessageBox::StandardButton answer = box->standardButton(box->clickedButton());
    delete box.data();
    return answer;
}

} // namespace

// ---- the real questions --------------------------------------------------------------------

void TWidgetQuestions::SetMainWindow(QWidget* mainWindow)
{
    FMainWindow = mainWindow;
}

QWidget* TWidgetQuestions::MainWindow() const
{
    return FMainWindow.data();
}

void TWidgetQuestions::ShowErrorMessage(const std::string& text, QObject* owner)
{
    if (!CanShowWidgets()) {
        FOffThread.ShowErrorMessage(text, owner);
        return;
    }
    QWidget* active = QApplication::activeWindow();
    AskBox(MessageBoxOwner(owner, active, FMainWindow), active, QMessageBox::Critical, ErrorCaption,
        text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
}

bool TWidgetQuestions::ShowConfirmMessage(const std::string& text, QObject* owner)
{
    if (!CanShowWidgets()) {
        return FOffThread.ShowConfirmMessage(text, owner);
    }
    QWidget* active = QApplication::activeWindow();
    return AskBox(MessageBoxOwner(owner, active, FMainWindow), active, QMessageBox::Warning,
               ConfirmCaption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes,
               QMessageBox::No) == QMessageBox::Yes;
}

bool TWidgetQuestions::ShowRetryCancelError(const std::string& text, QObject* owner)
{
    if (!CanShowWidgets()) {
        return FOffThread.ShowRetryCancelError(text, owner);
    }
    QWidget* active = QApplication::activeWindow();
    return AskBox(MessageBoxOwner(owner, active, FMainWindow), active, QMessageBox::Critical,
               ErrorCaption, text, QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry,
               QMessageBox::Cancel) == QMessageBox::Retry;
}

std::string TWidgetQuestions::BrowseForFolder(
    const std::string& title, const std::string& root, const std::string& initial)
{
    if (!CanShowWidgets()) {
        return FOffThread.BrowseForFolder(title, root, initial);
    }
    const QString rootFolder = root.empty() ? QString() : QFile::decodeName(root.c_str());
    const bool hasRoot = !rootFolder.isEmpty() && QFileInfo(rootFolder).isDir();
    const QString initialFolder = initial.empty() ? QString() : QFile::decodeName(initial.c_str());
    QString start = QDir::homePath();
    if (!initialFolder.isEmpty() && QFileInfo(initialFolder).isDir() &&
        (!hasRoot || PathStartsWith(initial, root))) {
        start = initialFolder;
    } else if (hasRoot) {
        start = rootFolder;
    }

    QWidget* owner = FMainWindow ? FMainWindow.data() : QApplication::activeWindow();
    // Qt's own dialog rather than the desktop's: only that one can be placed, kept inside the
    // root and answered by the tests.
    QPointer<TPlacedFileDialog> dialog = new TPlacedFileDialog(owner, FMainWindow);
    dialog->setWindowTitle(QString::fromUtf8(title));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setDirectory(start);
    if (hasRoot) {
        const std::string rootBytes = root;
        TPlacedFileDialog* picker = dialog.data();
        QObject::connect(picker, &QFileDialog::directoryEntered, picker,
            [picker, rootFolder, rootBytes](const QString& folder) {
                if (!PathStartsWith(QFile::encodeName(folder).toStdString(), rootBytes)) {
                    picker->setDirectory(rootFolder);
                }
            });
    }
    const int result = dialog->exec();
    if (!dialog) {
        return {};
    }
    const QStringList chosen = dialog->selectedFiles();
    delete dialog.data();
    if (result != QDialog::Accepted || chosen.isEmpty() || chosen.front().isEmpty()) {
        return {};
    }
    std::string folder = QFile::encodeName(chosen.front()).toStdString();
    // A path typed into the name field can still lead out of the root: not a valid choice.
    if (hasRoot && !PathStartsWith(folder, root)) {
        return {};
    }
    if (folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

int TWidgetQuestions::ExecDialog(QObject* dialog)
{
    if (!CanShowWidgets()) {
        return FOffThread.ExecDialog(dialog);
    }
    QPointer<QDialog> modal = qobject_cast<QDialog*>(dialog);
    if (!modal) {
        return QDialog::Rejected;
    }
    if (!modal->isVisible()) {
        QWidget* over = QApplication::activeWindow();
        if (!over || over == modal) {
            over = FMainWindow.data();
        }
        // A dialog given a size (by its form, or a stored placement) keeps it, grown only
        // where its content needs more; one never sized takes its content's size.
        if (modal->testAttribute(Qt::WA_Resized)) {
            modal->resize(modal->size().expandedTo(modal->minimumSizeHint()));
        } else {
            modal->adjustSize();
        }
        std::optional<QRect> form;
        if (over && over->isVisible()) {
            form = over->frameGeometry();
        }
        modal->move(PlaceDialog(modal->frameGeometry(), form, ScreenAreas()).topLeft());
    }
    const int result = modal->exec();
    return modal ? result : int(QDialog::Rejected);
}

std::string TWidgetQuestions::GetOpenFileName(
    const std::string& title, const std::string& filter, const std::string& initial)
{
    if (!CanShowWidgets()) {
        return FOffThread.GetOpenFileName(title, filter, initial);
    }
    return PickFile(false, title, filter, initial);
}

std::string TWidgetQuestions::GetSaveFileName(
    const std::string& title, const std::string& filter, const std::string& initial)
{
    if (!CanShowWidgets()) {
        return FOffThread.GetSaveFileName(title, filter, initial);
    }
    return PickFile(true, title, filter, initial);
}

std::string TWidgetQuestions::PickFile(
    bool save, const std::string& title, const std::string& filter, const std::string& initial)
{
    QWidget* owner = FMainWindow ? FMainWindow.data() : QApplication::activeWindow();
    QPointer<TPlacedFileDialog> dialog = new TPlacedFileDialog(owner, FMainWindow);
    dialog->setWindowTitle(QString::fromUtf8(title));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!filter.empty()) {
        dialog->setNameFilters(QString::fromUtf8(filter).split(QStringLiteral(";;")));
    }
    if (!initial.empty()) {
        const QString start = QFile::decodeName(initial.c_str());
        const QFileInfo info(start);
        if (info.isDir()) {
            dialog->setDirectory(start);
        } else {
            if (info.dir().exists()) {
                dialog->setDirectory(info.dir());
            }
            dialog->selectFile(info.fileName());
        }
    }
    const int result = dialog->exec();
    if (!dialog) {
        return {};
    }
    const QStringList chosen = dialog->selectedFiles();
    delete dialog.data();
    if (result != QDialog::Accepted || chosen.isEmpty() || chosen.front().isEmpty()) {
        return {};
    }
    return QFile::encodeName(chosen.front()).toStdString();
}

// ---- helpers for forms and controls ------------------------------------------------------------

void DrawIconToImage(const QIcon& icon, QLabel* image)
{
    if (!image) {
        return;
    }
    const QSize size = image->size();
    if (size.isEmpty()) {
        image->setPixmap(QPixmap());
        return;
    }
    QPixmap picture(size);
    picture.fill(image->palette().color(QPalette::Button));
    if (!icon.isNull()) {
        const QPixmap drawn = icon.pixmap(QSize(96, 96));
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(picture.rect(), drawn);
    }
    image->setPixmap(picture);
}

void ScrollMemoToEnd(QPlainTextEdit* memo)
{
    if (!memo) {
        return;
    }
    QScrollBar* bar = memo->verticalScrollBar();
    bar->setValue(bar->maximum());
}
