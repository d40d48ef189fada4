#include "ui/SkippedFoldersFile.h"

#include <QSaveFile>

std::string SkippedFoldersText(
    const std::set<std::string>& systemFolders, const std::set<std::string>& filteredFolders)
{
    std::string text;
    for (const std::string& folder : systemFolders) {
        text += "Skipped (SYS): " + folder + "\r\n";
    }
    for (const std::string& folder : filteredFolders) {
        text += "Skipped (Filter): " + folder + "\r\n";
    }
    return text;
}

bool WriteSkippedFoldersFile(const std::string& path, const std::set<std::string>& systemFolders,
    const std::set<std::string>& filteredFolders, std::string& errorText)
{
    errorText.clear();
    if (path.empty()) {
        errorText = std::string("Error while saving ") + SkippedFoldersFileName +
            "\r\nNo Documents folder is known.";
        return false;
    }
    const std::string text = SkippedFoldersText(systemFolders, filteredFolders);
    QSaveFile file(QString::fromStdString(path));
    if (file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), qint64(text.size())) == qint64(text.size()) && file.commit()) {
        return true;
    }
    errorText = "Error while saving " + path + "\r\n" + file.errorString().toStdString();
    file.cancelWriting();
    return false;
}
