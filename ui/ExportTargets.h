#pragma once

#include <string>
#include <vector>

class QDateTime;
class QLocale;
class TDFinder;
class TProject;
class TSettings;

// The export that the command line asks for when a scan ends ("-exp" and a list of files), free
// of widgets: the file names with their date and time tokens, the choice of writer by each
// name's extension, and the writing, whose failures go back to the caller.

// The name with every "{DATE}" replaced by the short date of now and every "{TIME}" by its long
// time (without a time zone), tokens found whatever their letter case, in the locale's formats
// with "-" for every separator, so a name never gets a "/" or ":" from them. The rest of the
// name keeps its bytes.
std::string ExpandDateTimeTokens(
    const std::string& name, const QDateTime& now, const QLocale& locale);
// The same with the current local time and the user's locale.
std::string ExpandDateTimeTokens(const std::string& name);

enum class TExportKind {
    ekXml, // ".xml": TProject::ExportXml
    ekCsv, // ".csv": TProject::ExportCsv
    ekProject, // ".twrk": TProject::SaveAs
};

struct TExportTarget {
    TExportKind Kind = TExportKind::ekXml;
    // The file name with its tokens replaced.
    std::string Path;
    friend bool operator==(const TExportTarget&, const TExportTarget&) = default;
};

// The targets of a list of file names separated by ";" (a blank last entry is dropped), in
// order. The extension is taken from each name as written, from the last "." of its file name
// part (a name whose only "." leads it has none), and compared with letter case: ".xml", ".csv"
// and ".twrk" are written, any other name is left out.
std::vector<TExportTarget> ExportTargets(
    const std::string& list, const QDateTime& now, const QLocale& locale);

struct TExportFailure {
    std::string Path;
    // The writer's error text ("Error while saving " + the name + CR LF + the cause).
    std::string ErrorText;
};

// Writes each target from the finder's results, one after the other; a failure does not stop
// the others. Returns the targets that could not be written. A ".twrk" target becomes the
// project's file name, as a Save As makes it.
std::vector<TExportFailure> WriteExportTargets(const std::vector<TExportTarget>& targets,
    TProject& project, const TDFinder& finder, const TSettings& settings);
