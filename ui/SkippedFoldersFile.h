#pragma once

#include <set>
#include <string>

// The list of the folders a scan left out, written for the user when the scan ends: one line
// "Skipped (SYS): " + folder for each folder that protection kept out, then one line
// "Skipped (Filter): " + folder for each folder the filter kept out, each list in its sorted
// order, every line ended by CR LF. Folder names are written as their bytes stand.

inline constexpr const char* SkippedFoldersFileName = "TWRK_SkippedFolders.txt";

std::string SkippedFoldersText(
    const std::set<std::string>& systemFolders, const std::set<std::string>& filteredFolders);

// Writes the list to the file whole, replacing any earlier one (a failed write leaves that one
// as it was). False with "Error while saving " + the path + CR LF + the cause in errorText when
// the file cannot be written, or when the path is empty (no Documents folder is known).
bool WriteSkippedFoldersFile(const std::string& path, const std::set<std::string>& systemFolders,
    const std::set<std::string>& filteredFolders, std::string& errorText);
