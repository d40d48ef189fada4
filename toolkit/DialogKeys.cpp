#include "toolkit/DialogKeys.h"

#include "toolkit/HelpLinks.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

#include <utility>

namespace {

// Runs an action on one key of the watched widget and swallows the key.
class TKeyAction : public QObject {
public:
    TKeyAction(QWidget* watched, std::function<bool(const QKeyEvent&)> matches,
        std::function<void()> action)
        : QObject(watched)
        , FMatches(std::move(matches))
        , FAction(std::move(action))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && FMatches(*static_cast<QKeyEvent*>(event))) {
            FAction();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(const QKeyEvent&)> FMatches;
    std::function<void()> FAction;
};

} // namespace

void InstallEnterKeyAction(QWidget* control, std::function<void()> action)
{
    new TKeyAction(
        control,
        [](const QKeyEvent& key) {
            return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
        },
        std::move(action));
}

void InstallHelpKey(QWidget* form, int helpContext)
{
    new TKeyAction(
        form, [](const QKeyEvent& key) { return key.key() == Qt::Key_F1; },
        [helpContext] { ShowHelpContext(helpContext); });
}
