#include "ui/ExportTargets.h"

#include "engine/Project.h"
#include "engine/ZYUtils.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <exception>
#include <string_view>

namespace {

// The locale's format made fit for a file name: with dropZone the time-zone field goes, with
// the brackets that held only it and the blanks beside it; then every punctuation or symbol
// character outside quotes (the separators "/", ".", ":", "-" ...) becomes "-".
QString FileNameFormat(const QString& format, bool dropZone)
{
    QString kept;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
        } else if (!quoted && dropZone && c == u't') {
            continue;
        }
        kept += c;
    }
    kept.replace(QStringLiteral("()"), QString());
    kept = kept.trimmed();

    QString result;
    quoted = false;
    for (const QChar c : kept) {
        if (c == u'\'') {
            quoted = !quoted;
            result += c;
        } else {
            result += !quoted && (c.isPunct() || c.isSymbol()) ? QChar(u'-') : c;
        }
    }
    return result;
}

// Every occurrence of the token (ASCII, any letter case) replaced by the text.
void ReplaceToken(std::string& name, std::string_view token, const std::string& text)
{
    auto sameLetter = [](char a, char b) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    };
    std::size_t from = 0;
    while (true) {
        const auto at = std::search(name.begin() + std::ptrdiff_t(from), name.end(), token.begin(),
            token.end(), sameLetter);
        if (at == name.end()) {
            return;
        }
        const std::size_t position = std::size_t(at - name.begin());
        name.replace(position, token.size(), text);
        from = position + text.size();
    }
}

// The extension of the file name part as written, with its dot; empty when the name has none.
std::string ExtensionAsWritten(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) {
        return {};
    }
    return path.substr(dot);
}

} // namespace

std::string ExpandDateTimeTokens(
    const std::string& name, const QDateTime& now, const QLocale& locale)
{
    std::string result = name;
    auto text = [](const QString& value) {
        QString safe = value;
        safe.replace(u'/', u'-');
        safe.replace(u':', u'-');
        return safe.toStdString();
    };
    ReplaceToken(result, "{DATE}",
        text(locale.toString(
            now.date(), FileNameFormat(locale.dateFormat(QLocale::ShortFormat), false))));
    ReplaceToken(result, "{TIME}",
        text(locale.toString(
            now.time(), FileNameFormat(locale.timeFormat(QLocale::LongFormat), true))));
    return result;
}

std::string ExpandDateTimeTokens(const std::string& name)
{
    return ExpandDateTimeTokens(name, QDateTime::currentDateTime(), QLocale());
}

std::vector<TExportTarget> ExportTargets(
    const std::string& list, const QDateTime& now, const QLocale& locale)
{
    std::vector<std::string> entries;
    SplitDelimitedText(entries, list, ';');
    std::vector<TExportTarget> targets;
    for (const std::string& entry : entries) {
        const std::string extension = ExtensionAsWritten(entry);
        TExportTarget target;
        if (extension == ".xml") {
            target.Kind = TExportKind::ekXml;
        } else if (extension == ".csv") {
            target.Kind = TExportKind::ekCsv;
        } else if (extension == ".twrk") {
            target.Kind = TExportKind::ekProject;
        } else {
            continue;
        }
        target.Path = ExpandDateTimeTokens(entry, now, locale);
        targets.push_back(std::move(target));
    }
    return targets;
}

std::vector<TExportFailure> WriteExportTargets(const std::vector<TExportTarget>& targets,
    TProject& project, const TDFinder& finder, const TSettings& settings)
{
    std::vector<TExportFailure> failures;
    for (const TExportTarget& target : targets) {
        std::string errorText;
        bool written = false;
        try {
            switch (target.Kind) {
            case TExportKind::ekXml:
                written = project.ExportXml(target.Path, finder, settings, errorText);
                break;
            case TExportKind::ekCsv:
                written = project.ExportCsv(target.Path, finder, settings, errorText);
                break;
            case TExportKind::ekProject:
                written = project.SaveAs(target.Path, finder, settings, errorText);
                break;
            }
        } catch (const std::exception& error) {
            errorText = "Error while saving " + target.Path + "\r\n" + error.what();
        }
        if (!written) {
            failures.push_back(TExportFailure {target.Path, errorText});
        }
    }
    return failures;
}
