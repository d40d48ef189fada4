#include "toolkit/ProgramIcons.h"

#include <QApplication>
#include <QFile>
#include <QStyle>

#include <map>

namespace {

struct TIconMeaning {
    const char* ThemeName; // freedesktop icon naming; null when there is none
    QStyle::StandardPixmap Standard; // SP_CustomBase when the style has none
};

constexpr QStyle::StandardPixmap NoStandard = QStyle::SP_CustomBase;

const std::map<QString, TIconMeaning>& Meanings()
{
    static const std::map<QString, TIconMeaning> meanings = {
        // The style's own pictures are taken only where they are full-colour pictures of the
        // same meaning; its plain glyphs (play, pause) and pictures of another meaning (a
        // lifebuoy for help, a folder for home) would clash with the program's own set.
        {QStringLiteral("P_HELP"), {"help-contents", NoStandard}},
        {QStringLiteral("P_MAIL"), {"mail-send", NoStandard}},
        {QStringLiteral("P_INFO"), {"help-about", NoStandard}},
        {QStringLiteral("P_TELL"), {"mail-forward", NoStandard}},
        {QStringLiteral("P_NEW"), {"document-new", NoStandard}},
        {QStringLiteral("P_OPEN"), {"document-open", QStyle::SP_DialogOpenButton}},
        {QStringLiteral("P_LOCK"), {"system-lock-screen", NoStandard}},
        {QStringLiteral("P_SAVE"), {"document-save", QStyle::SP_DialogSaveButton}},
        {QStringLiteral("P_SETTINGS"), {"preferences-system", NoStandard}},
        {QStringLiteral("P_HOME"), {"go-home", NoStandard}},
        {QStringLiteral("P_STOP"), {"process-stop", NoStandard}},
        {QStringLiteral("P_PLAY"), {"media-playback-start", NoStandard}},
        {QStringLiteral("P_AUTO"), {nullptr, NoStandard}},
        {QStringLiteral("P_SEARCH"), {"edit-find", NoStandard}},
        {QStringLiteral("P_ADD_FOLDER"), {"folder-new", NoStandard}},
        {QStringLiteral("P_FILTER"), {nullptr, NoStandard}},
        {QStringLiteral("P_QUICK"), {nullptr, NoStandard}},
        {QStringLiteral("P_PAUSE"), {"media-playback-pause", NoStandard}},
    };
    return meanings;
}

bool& ThemeIconsEnabled()
{
    static bool enabled = true;
    return enabled;
}

QString ResourcePath(const QString& resourceName)
{
    return QStringLiteral(":/icons/") + resourceName + QStringLiteral(".svg");
}

} // namespace

TIconLookup FindProgramIcon(const QString& resourceName)
{
    const auto& meanings = Meanings();
    const auto meaning = meanings.find(resourceName);
    if (meaning != meanings.end() && ThemeIconsEnabled()) {
        if (meaning->second.ThemeName != nullptr) {
            const QIcon themed = QIcon::fromTheme(QString::fromLatin1(meaning->second.ThemeName));
            if (!themed.isNull() && !themed.availableSizes().isEmpty()) {
                return {themed, isTheme};
            }
        }
        if (meaning->second.Standard != NoStandard && qApp != nullptr) {
            const QIcon standard = QApplication::style()->standardIcon(meaning->second.Standard);
            if (!standard.isNull()) {
                return {standard, isStyle};
            }
        }
    }
    const QIcon own = ResourceIcon(resourceName);
    if (!own.isNull()) {
        return {own, isResource};
    }
    return {};
}

QIcon ProgramIcon(const QString& resourceName)
{
    return FindProgramIcon(resourceName).Icon;
}

QIcon ResourceIcon(const QString& resourceName)
{
    const QString path = ResourcePath(resourceName);
    if (!QFile::exists(path)) {
        return {};
    }
    return QIcon(path);
}

std::vector<QString> ProgramIconNames()
{
    std::vector<QString> names;
    for (const auto& [name, meaning] : Meanings()) {
        names.push_back(name);
    }
    return names;
}

QIcon MainIcon()
{
    return ResourceIcon(QStringLiteral("MAINICON"));
}

QPixmap SplitterGripBitmap()
{
    return QPixmap(QStringLiteral(":/WSPLITTER.png"));
}

void SetThemeIconsEnabled(bool enabled)
{
    ThemeIconsEnabled() = enabled;
}
