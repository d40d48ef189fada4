#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TDFinder;
class TSettings;

// The project: its file name and modified flag, the writer and reader of the project file, and
// the CSV and XML exports of the results.
//
// The project file is N (a signed 32-bit little-endian byte count) followed by N bytes of UTF-8:
// ScramblePrefix and then the project text, one line of XML, with every UTF-16 code unit XORed
// with ScrambleKeyOdd or ScrambleKeyEven by its position. The XML holds the scan options
// (<Mode>, <Similarity>, <DoNotCompareExt>, <ScanEqualExtOnly>), one <G ID="n"> per group with
// one <F FS FN C S CFD64 FD64 AFD64 /> per file, and <Folders> with one <Folder V="flags">
// per listed folder.
//
// File names are bytes. A path that is valid UTF-8 and holds only characters that XML can carry
// is written as it is (entities for " & < >, character references for TAB, LF and CR). Any other
// path is written readably with U+FFFD in place of each byte or character XML cannot carry, and
// its exact bytes follow as upper-case hexadecimal in one more attribute: FNB on <F>, PB on
// <Folder>. The reader takes the bytes from that attribute when it is there, so every path comes
// back exactly.
//
// Every writer builds the whole text in memory, writes it to a new file beside the target,
// flushes it to the disk and renames it over the target: a failed write leaves the previous
// file as it was. Numbers never follow the locale ("0.95", never "0,95").
//
// Threads: a project is used by one thread at a time, and the finder it reads or fills must not
// change meanwhile (no scan running).
class TProject {
public:
    // Called before the 10000th, 20000th, ... file of a save or an XML export, with that
    // number. It may show progress; it must handle no user input, since the finder is being
    // read meanwhile (in the user interface: processEvents with ExcludeUserInputEvents).
    using TProgressEvent = std::function<void(std::int32_t fileNumber)>;

    TProject() = default;

    // Writes the project file to FileName from the finder's groups and folders and the scan
    // options of the settings. False with "Error while saving " + FileName + CR LF + the cause
    // in errorText when the file cannot be written. The global overload uses Finder (no results
    // when it is null) and AppSettings. Modified stays as it is.
    bool Save(std::string& errorText) const;
    bool Save(const TDFinder& finder, const TSettings& settings, std::string& errorText) const;
    // Stores the name in FileName (kept also when the save fails), then Save.
    bool SaveAs(const std::string& fileName, std::string& errorText);
    bool SaveAs(const std::string& fileName, const TDFinder& finder, const TSettings& settings,
        std::string& errorText);

    // The results as CSV: a header line, then one row per file of every group, CR LF after
    // every line. The date column shows the date kind settings.CompareDateType. False with
    // "Error while saving " + the file name + CR LF + the cause when it cannot be written.
    bool ExportCsv(const std::string& fileName, std::string& errorText) const;
    bool ExportCsv(const std::string& fileName, const TDFinder& finder, const TSettings& settings,
        std::string& errorText) const;
    // The results as indented XML, one <File> element per file. Errors as ExportCsv.
    bool ExportXml(const std::string& fileName, std::string& errorText) const;
    bool ExportXml(const std::string& fileName, const TDFinder& finder, const TSettings& settings,
        std::string& errorText) const;

    // Reads a project file into the finder and the settings. Groups keep their stored numbers;
    // files keep their check states, similarities, sizes and times; folders keep their flags.
    // Files that no longer exist as regular files are left out, and a group left with fewer
    // than two files goes. The settings get the stored scan options (FindMode, Similarity,
    // DoNotCompareExt, ScanEqualExtOnly); every other field stays. The finder's files, groups,
    // size buckets and folders are replaced and FileCount is set to the number of files read;
    // its state and progress stay. On success FileName becomes the name; Modified stays.
    // A file that cannot be read, is damaged or is not a project file gives false with
    // "Error while opening " + the name + CR LF + the cause in errorText, and then the finder,
    // the settings and the project are unchanged. The global overload uses Finder (false when
    // it is null) and AppSettings.
    bool Open(const std::string& fileName, std::string& errorText);
    bool Open(
        const std::string& fileName, TDFinder& finder, TSettings& settings, std::string& errorText);

    // True after construction; the main window sets and clears it.
    bool Modified = true;
    std::string FileName = "untitled.twrk";
    // Optional; see TProgressEvent.
    TProgressEvent OnProgress;
};

// The project file's scrambler: ScramblePrefix followed by the text with the code unit at
// 1-based position i XORed with ScrambleKeyOdd for odd i and ScrambleKeyEven for even i. Only
// the low byte of a code unit changes, so surrogates stay surrogates of their kind; a unit
// equal to its key becomes U+0000.
QString ScrambleText(QStringView text);

// The reader of TProject::Open without the file: data is the whole content of a project file
// (the byte count included). Same results and guarantees; errorText holds the cause alone.
bool ReadProjectData(
    std::string_view data, TDFinder& finder, TSettings& settings, std::string& errorText);
