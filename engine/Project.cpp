#include "engine/Project.h"

#include "engine/DFinder.h"
#include "engine/DImage.h"
#include "engine/FileTimeHelper.h"
#include "engine/SettingsUnit.h"
#include "engine/SharedString.h"
#include "engine/ZYGlobals.h"
#include "engine/ZYUtils.h"
#include "platform/AtomicFile.h"
#include "platform/FindRecord.h"
#include "platform/ReadOnlyFile.h"
#include "platform/SysCalls.h"
#include "platform/SysError.h"
#include "platform/TextFile.h"
#include "platform/Utf8.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QXmlStreamAttributes>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <set>
#include <string_view>
#include <system_error>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

constexpr std::int32_t ProgressStep = 10000;
// The folder flag bits that exist (exclude from autocheck, disable self-scan).
constexpr std::int32_t MaxFolderFlags = 3;
constexpr std::uint8_t MaxCheckState = 2;
// "U+FFFD" in UTF-8: stands for each byte or character that XML cannot carry.
constexpr std::string_view Replacement = "\xEF\xBF\xBD";

constexpr std::string_view ControlCharacters(
    "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11\x12\x13\x14\x15"
    "\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F\x7F\x00",
    33);

const std::string SaveErrorText = "Error while saving ";
const std::string OpenErrorText = "Error while opening ";

// ---- text helpers ---------------------------------------------------------------------------

template<class T>
std::string Decimal(T value)
{
    std::array<char, 24> buffer {};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string FloatText(float value)
{
    return FloatToTextWithSeparator(double(value), '.');
}

const char* BooleanText(bool value)
{
    return value ? "True" : "False";
}

// The characters an XML 1.0 document may hold (literally or as a character reference).
bool IsXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
        (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// True when the full path has no empty, "." or ".." component (a folder's trailing "/" aside):
// each file has one spelling only.
bool IsNormalPath(std::string_view path)
{
    std::size_t at = 1;
    while (at < path.size()) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, slash - at);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        at = slash + 1;
    }
    return true;
}

// Appends the text for an attribute value or element content: " & < > as entities, TAB, LF and
// CR as character references (a parser would turn them into blanks otherwise), every other
// character as it is. A byte that is no valid UTF-8 and a character XML cannot carry become
// U+FFFD; the result is false when that happened.
bool AppendXmlEncoded(std::string& out, std::string_view text)
{
    bool exact = true;
    std::size_t at = 0;
    while (at < text.size()) {
        char32_t c = 0;
        const std::size_t length = platform::DecodeUtf8(text, at, c);
        if (length == 0 || !IsXmlChar(c)) {
            out += Replacement;
            exact = false;
            at += length == 0 ? 1 : length;
            continue;
        }
        switch (c) {
        case U'"':
            out += "&quot;";
            break;
        case U'&':
            out += "&amp;";
            break;
        case U'<':
            out += "&lt;";
            break;
        case U'>':
            out += "&gt;";
            break;
        case U'\t':
            out += "&#9;";
            break;
        case U'\n':
            out += "&#10;";
            break;
        case U'\r':
            out += "&#13;";
            break;
        default:
            out.append(text.substr(at, length));
            break;
        }
        at += length;
    }
    return exact;
}

// The text as valid UTF-8: each byte that is not part of a valid sequence becomes U+FFFD.
std::string ValidUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        char32_t c = 0;
        const std::size_t length = platform::DecodeUtf8(text, at, c);
        if (length == 0) {
            out += Replacement;
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

void AppendHex(std::string& out, std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = std::uint8_t(c);
        out += Digits[byte >> 4];
        out += Digits[byte & 0x0F];
    }
}

// A CSV field: enclosed in double quotes, with quotes inside doubled, when it holds a comma, a
// double quote, CR or LF; as it is otherwise. Bytes that are no valid UTF-8 become U+FFFD.
void AppendCsvField(std::string& out, std::string_view text)
{
    const std::string valid = ValidUtf8(text);
    if (valid.find_first_of(",\"\r\n") == std::string::npos) {
        out += valid;
        return;
    }
    out += '"';
    for (const char c : valid) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

// ---- writing files --------------------------------------------------------------------------

// Writes the text made by build (which may raise only std::bad_alloc) to the file; false with
// "Error while saving " + the name + CR LF + the cause on failure.
template<class Build>
bool WriteTextFile(const std::string& fileName, std::string& errorText, Build build)
{
    errorText.clear();
    std::string cause;
    try {
        std::string data;
        if (build(data, cause)) {
            const platform::TSysError error = platform::ReplaceFileAtomically(fileName, data);
            if (!error) {
                return true;
            }
            cause = error.Text();
        }
    } catch (const std::bad_alloc&) {
        cause = std::generic_category().message(ENOMEM);
    }
    errorText = SaveErrorText + fileName + "\r\n" + cause;
    return false;
}

// ---- the project text -----------------------------------------------------------------------

std::string ProjectText(
    const TDFinder& finder, const TSettings& settings, const TProject::TProgressEvent& progress)
{
    std::string text;
    text.reserve(512 + std::size_t(finder.Files.Count()) * 160);
    text += "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Project>";
    text += "<Mode>" + Decimal(std::int32_t(settings.FindMode)) + "</Mode>";
    text += "<Similarity>" + FloatText(settings.Similarity) + "</Similarity>";
    text += "<DoNotCompareExt>";
    text += BooleanText(settings.DoNotCompareExt);
    text += "</DoNotCompareExt><ScanEqualExtOnly>";
    text += BooleanText(settings.ScanEqualExtOnly);
    text += "</ScanEqualExtOnly>";

    std::int32_t fileNumber = 0;
    for (const TDGroup* group : finder.Groups) {
        text += "<G ID=\"" + Decimal(group->GroupNumber) + "\">";
        for (const TDImage* file : *group) {
            ++fileNumber;
            if (fileNumber % ProgressStep == 0 && progress) {
                progress(fileNumber);
            }
            const std::string path = file->FullPath();
            text += "<F FS=\"" + Decimal(file->Size) + "\" FN=\"";
            const bool exact = AppendXmlEncoded(text, path);
            text += "\" C=\"" + Decimal(std::int32_t(file->CheckState));
            text += "\" S=\"" + FloatText(file->Similarity);
            text += "\" CFD64=\"" + FileTimeToCommaText(file->CreationTime);
            text += "\" FD64=\"" + FileTimeToCommaText(file->LastWriteTime);
            text += "\" AFD64=\"" + FileTimeToCommaText(file->LastAccessTime) + "\"";
            if (!exact) {
                text += " FNB=\"";
                AppendHex(text, path);
                text += "\"";
            }
            text += " />";
        }
        text += "</G>";
    }

    text += "<Folders>";
    for (const TFinderFolder& folder : finder.Folders) {
        std::string encoded;
        const bool exact = AppendXmlEncoded(encoded, folder.Folder);
        text += "<Folder V=\"" + Decimal(folder.Flags) + "\"";
        if (!exact) {
            text += " PB=\"";
            AppendHex(text, folder.Folder);
            text += "\"";
        }
        text += ">" + encoded + "</Folder>";
    }
    text += "</Folders></Project>";
    return text;
}

// XORs the code units from position `from` on with the keys, counting positions from there.
void XorWithKeys(QString& text, qsizetype from)
{
    QChar* units = text.data();
    for (qsizetype i = from; i < text.size(); ++i) {
        const auto key = char16_t((i - from) % 2 == 0 ? ScrambleKeyOdd : ScrambleKeyEven);
        units[i] = QChar(char16_t(units[i].unicode() ^ key));
    }
}

// The whole project file for the project text: the byte count and the scrambled UTF-8.
bool ProjectFileData(const std::string& text, std::string& data, std::string& cause)
{
    const QString scrambled = ScrambleText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    const QByteArray encoded = scrambled.toUtf8();
    if (encoded.size() > std::numeric_limits<std::int32_t>::max()) {
        cause = "The project is too large for a project file.";
        return false;
    }
    const auto count = std::uint32_t(encoded.size());
    data.reserve(4 + std::size_t(encoded.size()));
    for (int k = 0; k < 4; ++k) {
        data += char((count >> (8 * k)) & 0xFFu);
    }
    data.append(encoded.constData(), std::size_t(encoded.size()));
    return true;
}

// ---- the reader -----------------------------------------------------------------------------

struct TReadFile {
    std::string Path;
    std::int64_t Size = 0;
    std::uint8_t CheckState = 0;
    float Similarity = 0.0f;
    platform::TFileTime CreationTime;
    platform::TFileTime LastWriteTime;
    platform::TFileTime LastAccessTime;
};

struct TReadGroup {
    std::int32_t Number = 0;
    std::vector<TReadFile> Files;
};

struct TReadProject {
    std::uint8_t FindMode = 0;
    float Similarity = 0.0f;
    bool DoNotCompareExt = false;
    bool ScanEqualExtOnly = false;
    std::vector<TReadGroup> Groups;
    std::vector<TFinderFolder> Folders;
};

// A value as an error text may show it: at most 40 bytes, valid UTF-8, control characters
// replaced by U+FFFD.
std::string Shown(std::string_view value)
{
    constexpr std::size_t Limit = 40;
    std::string shown = ValidUtf8(value.substr(0, Limit));
    for (std::size_t at = shown.find_first_of(ControlCharacters); at != std::string::npos;
         at = shown.find_first_of(ControlCharacters, at)) {
        shown.replace(at, 1, Replacement);
    }
    return value.size() > Limit ? shown + "..." : shown;
}

std::string Shown(QStringView value)
{
    return Shown(value.toUtf8().toStdString());
}

template<class T>
bool ParseInteger(QStringView text, T minimum, T maximum, T& value)
{
    const QByteArray bytes = text.toUtf8();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    T parsed {};
    const auto result = std::from_chars(begin, end, parsed);
    if (bytes.isEmpty() || result.ec != std::errc() || result.ptr != end || parsed < minimum ||
        parsed > maximum) {
        return false;
    }
    value = parsed;
    return true;
}

bool ParseDouble(QStringView text, double minimum, double maximum, double& value)
{
    const QByteArray bytes = text.toUtf8();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    double parsed = 0.0;
    const auto result = std::from_chars(begin, end, parsed);
    if (bytes.isEmpty() || result.ec != std::errc() || result.ptr != end ||
        !std::isfinite(parsed) || parsed < minimum || parsed > maximum) {
        return false;
    }
    value = parsed;
    return true;
}

// The low half, a comma and the high half, each a signed 32-bit decimal.
bool ParseFileTime(QStringView text, platform::TFileTime& value)
{
    const qsizetype comma = text.indexOf(u',');
    constexpr auto Min = std::numeric_limits<std::int32_t>::min();
    constexpr auto Max = std::numeric_limits<std::int32_t>::max();
    std::int32_t low = 0;
    std::int32_t high = 0;
    if (comma < 0 || !ParseInteger(text.left(comma), Min, Max, low) ||
        !ParseInteger(text.mid(comma + 1), Min, Max, high)) {
        return false;
    }
    value = platform::TFileTime {std::uint32_t(low), std::uint32_t(high)};
    return true;
}

bool ParseHexBytes(QStringView text, std::string& bytes)
{
    if (text.isEmpty() || text.size() % 2 != 0) {
        return false;
    }
    const auto digit = [](char16_t c) {
        if (c >= u'0' && c <= u'9') {
            return int(c - u'0');
        }
        if (c >= u'A' && c <= u'F') {
            return int(c - u'A' + 10);
        }
        if (c >= u'a' && c <= u'f') {
            return int(c - u'a' + 10);
        }
        return -1;
    };
    std::string out;
    out.reserve(std::size_t(text.size() / 2));
    for (qsizetype k = 0; k < text.size(); k += 2) {
        const int high = digit(text[k].unicode());
        const int low = digit(text[k + 1].unicode());
        if (high < 0 || low < 0) {
            return false;
        }
        out += char((high << 4) | low);
    }
    bytes = std::move(out);
    return true;
}

// Parses the project text into plain values; checks every value on the way.
class TProjectParser {
public:
    explicit TProjectParser(const QString& xml)
        : FReader(xml)
    { }

    bool Parse(TReadProject& project, std::string& errorText);

private:
    bool Fail(const std::string& cause);
    bool FailFromReader();
    // The element's text; false (reader error) when it holds elements.
    bool ElementText(QString& text);
    bool ParseGroup(TReadProject& project);
    bool ParseFile(TReadGroup& group);
    bool ParseFolders(TReadProject& project);
    // A required attribute of the current element (element named for the error text).
    bool Attribute(const QXmlStreamAttributes& attributes, const char* element, const char* name,
        QStringView& value);
    // The path of a file or folder: the exact bytes (hex) when given, else the text.
    bool PathValue(QStringView text, const QXmlStreamAttributes& attributes, const char* bytesName,
        std::string& path);
    // The current element must have no child elements.
    bool EndOfEmptyElement(const char* element);

    QXmlStreamReader FReader;
    std::string FError;
    std::unordered_set<std::string> FFilePaths;
};

bool TProjectParser::Fail(const std::string& cause)
{
    if (FError.empty()) {
        FError = cause;
    }
    return false;
}

bool TProjectParser::FailFromReader()
{
    std::string text = FReader.errorString().toStdString();
    while (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return Fail(text + " (at character " + Decimal(std::int64_t(FReader.characterOffset())) + ")");
}

bool TProjectParser::ElementText(QString& text)
{
    text = FReader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    return !FReader.hasError() || FailFromReader();
}

bool TProjectParser::Attribute(const QXmlStreamAttributes& attributes, const char* element,
    const char* name, QStringView& value)
{
    const QLatin1StringView key(name);
    if (!attributes.hasAttribute(key)) {
        return Fail(std::string("the attribute ") + name + " of <" + element + "> is missing");
    }
    value = attributes.value(key);
    return true;
}

bool TProjectParser::PathValue(QStringView text, const QXmlStreamAttributes& attributes,
    const char* bytesName, std::string& path)
{
    const QLatin1StringView key(bytesName);
    if (attributes.hasAttribute(key)) {
        if (!ParseHexBytes(attributes.value(key), path)) {
            return Fail(std::string("the attribute ") + bytesName + " has the invalid value \"" +
                Shown(attributes.value(key)) + "\"");
        }
    } else {
        path = text.toUtf8().toStdString();
    }
    if (path.find('\0') != std::string::npos) {
        return Fail("the path \"" + Shown(path) + "\" holds a zero byte");
    }
    if (path.empty() || path.front() != '/') {
        return Fail("the path \"" + Shown(path) + "\" is not a full path");
    }
    if (!IsNormalPath(path)) {
        return Fail("the path \"" + Shown(path) + "\" is not in normal form");
    }
    return true;
}

bool TProjectParser::EndOfEmptyElement(const char* element)
{
    if (FReader.readNextStartElement()) {
        return Fail(std::string("<") + element + "> holds an unexpected element <" +
            FReader.name().toString().toStdString() + ">");
    }
    return !FReader.hasError() || FailFromReader();
}

bool TProjectParser::ParseFile(TReadGroup& group)
{
    const QXmlStreamAttributes attributes = FReader.attributes();
    QStringView size;
    QStringView name;
    QStringView check;
    QStringView similarity;
    QStringView created;
    QStringView written;
    QStringView accessed;
    if (!Attribute(attributes, "F", "FS", size) || !Attribute(attributes, "F", "FN", name) ||
        !Attribute(attributes, "F", "C", check) || !Attribute(attributes, "F", "S", similarity) ||
        !Attribute(attributes, "F", "CFD64", created) ||
        !Attribute(attributes, "F", "FD64", written) ||
        !Attribute(attributes, "F", "AFD64", accessed)) {
        return false;
    }
    TReadFile file;
    double similarityValue = 0.0;
    const auto invalid = [this](const char* attribute, QStringView value) {
        return Fail(std::string("the attribute ") + attribute + " of <F> has the invalid value \"" +
            Shown(value) + "\"");
    };
    if (!ParseInteger(size, std::int64_t(0), std::numeric_limits<std::int64_t>::max(), file.Size)) {
        return invalid("FS", size);
    }
    if (!ParseInteger(check, std::uint8_t(0), MaxCheckState, file.CheckState)) {
        return invalid("C", check);
    }
    if (!ParseDouble(similarity, 0.0, 1.0, similarityValue)) {
        return invalid("S", similarity);
    }
    file.Similarity = float(similarityValue);
    if (!ParseFileTime(created, file.CreationTime)) {
        return invalid("CFD64", created);
    }
    if (!ParseFileTime(written, file.LastWriteTime)) {
        return invalid("FD64", written);
    }
    if (!ParseFileTime(accessed, file.LastAccessTime)) {
        return invalid("AFD64", accessed);
    }
    if (!PathValue(name, attributes, "FNB", file.Path)) {
        return false;
    }
    if (file.Path.back() == '/') {
        return Fail("the file path \"" + Shown(file.Path) + "\" names a folder");
    }
    if (!FFilePaths.insert(file.Path).second) {
        return Fail("the file \"" + Shown(file.Path) + "\" is listed more than once");
    }
    group.Files.push_back(std::move(file));
    return EndOfEmptyElement("F");
}

bool TProjectParser::ParseGroup(TReadProject& project)
{
    QStringView id;
    const QXmlStreamAttributes attributes = FReader.attributes();
    if (!Attribute(attributes, "G", "ID", id)) {
        return false;
    }
    TReadGroup group;
    if (!ParseInteger(
            id, std::int32_t(1), std::numeric_limits<std::int32_t>::max(), group.Number)) {
        return Fail("the attribute ID of <G> has the invalid value \"" + Shown(id) + "\"");
    }
    while (FReader.readNextStartElement()) {
        if (FReader.name() != QStringView(u"F")) {
            return Fail("<G> holds an unexpected element <" +
                FReader.name().toString().toStdString() + ">");
        }
        if (!ParseFile(group)) {
            return false;
        }
    }
    if (FReader.hasError()) {
        return FailFromReader();
    }
    project.Groups.push_back(std::move(group));
    return true;
}

bool TProjectParser::ParseFolders(TReadProject& project)
{
    while (FReader.readNextStartElement()) {
        if (FReader.name() != QStringView(u"Folder")) {
            return Fail("<Folders> holds an unexpected element <" +
                FReader.name().toString().toStdString() + ">");
        }
        const QXmlStreamAttributes attributes = FReader.attributes();
        QStringView flags;
        if (!Attribute(attributes, "Folder", "V", flags)) {
            return false;
        }
        TFinderFolder folder;
        if (!ParseInteger(flags, std::int32_t(0), MaxFolderFlags, folder.Flags)) {
            return Fail(
                "the attribute V of <Folder> has the invalid value \"" + Shown(flags) + "\"");
        }
        QString text;
        if (!ElementText(text) || !PathValue(text, attributes, "PB", folder.Folder)) {
            return false;
        }
        project.Folders.push_back(std::move(folder));
    }
    return !FReader.hasError() || FailFromReader();
}

bool TProjectParser::Parse(TReadProject& project, std::string& errorText)
{
    // Up to the root element. A document type declaration could define entities that expand
    // without bound; our files never have one.
    while (!FReader.atEnd()) {
        const QXmlStreamReader::TokenType token = FReader.readNext();
        if (token == QXmlStreamReader::DTD) {
            Fail("it holds a document type declaration");
            break;
        }
        if (token == QXmlStreamReader::StartElement) {
            break;
        }
    }
    if (FError.empty() && FReader.hasError()) {
        FailFromReader();
    }
    if (FError.empty() &&
        (!FReader.isStartElement() || FReader.name() != QStringView(u"Project"))) {
        Fail("its root element is not <Project>");
    }

    bool haveMode = false;
    bool haveSimilarity = false;
    bool haveDoNotCompareExt = false;
    bool haveScanEqualExtOnly = false;
    bool haveFolders = false;
    const auto parseBoolean = [this](const char* element, bool& value, bool& seen) {
        QString text;
        if (!ElementText(text)) {
            return false;
        }
        if (text == QStringView(u"True")) {
            value = true;
        } else if (text == QStringView(u"False")) {
            value = false;
        } else {
            return Fail(
                std::string("<") + element + "> has the invalid value \"" + Shown(text) + "\"");
        }
        seen = true;
        return true;
    };
    while (FError.empty() && FReader.readNextStartElement()) {
        const QStringView name = FReader.name();
        QString text;
        if (name == QStringView(u"G")) {
            ParseGroup(project);
        } else if (name == QStringView(u"Mode")) {
            std::int32_t mode = 0;
            if (ElementText(text)) {
                if (ParseInteger(QStringView(text), std::int32_t(0), std::int32_t(MaxFindMode), mode)) {
                    project.FindMode = std::uint8_t(mode);
                    haveMode = true;
                } else {
                    Fail("<Mode> has the invalid value \"" + Shown(text) + "\"");
                }
            }
        } else if (name == QStringView(u"Similarity")) {
            double similarity = 0.0;
            if (ElementText(text)) {
                if (ParseDouble(text, 0.0, 100.0, similarity)) {
                    project.Similarity = float(similarity);
                    haveSimilarity = true;
                } else {
                    Fail("<Similarity> has the invalid value \"" + Shown(text) + "\"");
                }
            }
        } else if (name == QStringView(u"DoNotCompareExt")) {
            parseBoolean("DoNotCompareExt", project.DoNotCompareExt, haveDoNotCompareExt);
        } else if (name == QStringView(u"ScanEqualExtOnly")) {
            parseBoolean("ScanEqualExtOnly", project.ScanEqualExtOnly, haveScanEqualExtOnly);
        } else if (name == QStringView(u"Folders")) {
            if (haveFolders) {
                Fail("<Folders> occurs more than once");
            } else if (ParseFolders(project)) {
                haveFolders = true;
            }
        } else {
            Fail("<Project> holds an unexpected element <" + name.toString().toStdString() + ">");
        }
    }
    // The rest of the document may hold comments and blanks only; the reader reports anything
    // else.
    while (FError.empty() && !FReader.atEnd()) {
        FReader.readNext();
    }
    if (FError.empty() && FReader.hasError()) {
        FailFromReader();
    }
    if (FError.empty()) {
        const std::pair<bool, const char*> required[] = {
            {haveMode, "Mode"},
            {haveSimilarity, "Similarity"},
            {haveDoNotCompareExt, "DoNotCompareExt"},
            {haveScanEqualExtOnly, "ScanEqualExtOnly"},
            {haveFolders, "Folders"},
        };
        for (const auto& [present, element] : required) {
            if (!present) {
                Fail(std::string("the element <") + element + "> is missing");
                break;
            }
        }
    }
    if (!FError.empty()) {
        errorText = "The project file is damaged: " + FError + ".";
        return false;
    }
    return true;
}

// The identity of a file's directory entry: the (device, inode) of its folder, links
// followed, and its name. Two paths that reach one entry through a symbolic link or a bind
// mount have the same; two hard links of one file do not (removing one name of a content that
// has another is safe).
struct TEntryIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::string Name;
    friend bool operator<(const TEntryIdentity& a, const TEntryIdentity& b)
    {
        return std::tie(a.Device, a.Inode, a.Name) < std::tie(b.Device, b.Inode, b.Name);
    }
};

bool EntryIdentityOf(const std::string& path, TEntryIdentity& identity)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    struct statx info { };
    if (platform::Sys().Statx(AT_FDCWD, folder.c_str(), 0, STATX_INO, &info) != 0) {
        return false;
    }
    identity.Device = (std::uint64_t(info.stx_dev_major) << 32) | info.stx_dev_minor;
    identity.Inode = info.stx_ino;
    identity.Name = path.substr(slash + 1);
    return true;
}

// True when the path leads to a regular file (a symbolic link at its end is not followed).
bool IsExistingFile(const std::string& path)
{
    struct statx info { };
    return platform::Sys().Statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &info) ==
        0 &&
        S_ISREG(info.stx_mode);
}

// lastFolder: the folder text of the record made before; files of the same folder share it.
std::unique_ptr<TDImage> MakeRecord(const TReadFile& file, TSharedString& lastFolder)
{
    const std::size_t slash = file.Path.rfind('/');
    platform::TFindRecord record;
    record.Name = file.Path.substr(slash + 1);
    record.Size = file.Size;
    record.Kind = platform::TEntryKind::ekRegular;
    record.Attributes = platform::faArchive;
    record.CreationTime = file.CreationTime;
    record.LastWriteTime = file.LastWriteTime;
    record.LastAccessTime = file.LastAccessTime;
    const std::string_view folder = std::string_view(file.Path).substr(0, slash + 1);
    if (lastFolder != folder) {
        lastFolder = TSharedString(std::string(folder));
    }
    auto image = std::make_unique<TDImage>(lastFolder, record);
    image->CheckState = file.CheckState;
    image->Similarity = file.Similarity;
    return image;
}

bool ReadProjectDataUnguarded(
    std::string_view data, TDFinder& finder, TSettings& settings, std::string& errorText)
{
    if (data.size() < 4) {
        errorText = "The file is too short to be a project file.";
        return false;
    }
    std::uint32_t rawCount = 0;
    for (int k = 3; k >= 0; --k) {
        rawCount = (rawCount << 8) | std::uint8_t(data[std::size_t(k)]);
    }
    const auto count = std::int32_t(rawCount);
    const std::size_t available = data.size() - 4;
    if (count < 0) {
        errorText = "The project file is damaged: its byte count is negative.";
        return false;
    }
    if (std::size_t(count) > available) {
        errorText = "The project file is damaged: it is shorter than its byte count says.";
        return false;
    }
    if (std::size_t(count) < available) {
        errorText = "The project file is damaged: it is longer than its byte count says.";
        return false;
    }

    const QByteArray bytes = QByteArray::fromRawData(data.data() + 4, qsizetype(count));
    QStringDecoder decoder(QStringDecoder::Utf8,
        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        errorText = "The project file is damaged: its text is not valid UTF-8.";
        return false;
    }
    const QString prefix = QString::fromStdString(ScramblePrefix);
    if (!text.startsWith(prefix)) {
        errorText = "This is not a project file.";
        return false;
    }
    text.remove(0, prefix.size());
    XorWithKeys(text, 0);

    TReadProject project;
    TProjectParser parser(text);
    text = QString();
    if (!parser.Parse(project, errorText)) {
        return false;
    }

    // Build the new records, leaving out files that are gone and groups left with fewer than
    // two files; nothing in the finder changes until all of it is ready.
    // A file listed again under another path (through a link or a bind mount) is one file:
    // the first entry stays, later ones go, so no group offers the only copy as a duplicate.
    std::vector<std::unique_ptr<TDGroup>> groups;
    std::vector<std::unique_ptr<TDImage>> files;
    std::set<TEntryIdentity> seen;
    TSharedString lastFolder;
    for (const TReadGroup& readGroup : project.Groups) {
        std::vector<const TReadFile*> present;
        for (const TReadFile& file : readGroup.Files) {
            TEntryIdentity identity;
            if (IsExistingFile(file.Path) &&
                (!EntryIdentityOf(file.Path, identity) || seen.insert(identity).second)) {
                present.push_back(&file);
            }
        }
        if (present.size() < 2) {
            continue;
        }
        auto group = std::make_unique<TDGroup>();
        group->GroupNumber = readGroup.Number;
        group->Items.reserve(present.size());
        for (const TReadFile* file : present) {
            std::unique_ptr<TDImage> image = MakeRecord(*file, lastFolder);
            image->Group.store(group.get());
            group->Add(image.get());
            files.push_back(std::move(image));
        }
        groups.push_back(std::move(group));
    }
    if (files.size() > std::size_t(std::numeric_limits<std::int32_t>::max())) {
        errorText = "The project holds too many files.";
        return false;
    }

    finder.ClearResults(false);
    for (std::unique_ptr<TDGroup>& group : groups) {
        finder.Groups.Add(std::move(group));
    }
    for (std::unique_ptr<TDImage>& file : files) {
        finder.Files.Add(std::move(file));
    }
    finder.Folders = std::move(project.Folders);
    finder.FileCount = std::int32_t(files.size());
    settings.FindMode = project.FindMode;
    settings.Similarity = project.Similarity;
    settings.DoNotCompareExt = project.DoNotCompareExt;
    settings.ScanEqualExtOnly = project.ScanEqualExtOnly;
    return true;
}

} // namespace

// ---- TProject ---------------------------------------------------------------------------------

bool TProject::Save(std::string& errorText) const
{
    if (Finder == nullptr) {
        const TDFinder noResults;
        return Save(noResults, AppSettings, errorText);
    }
    return Save(*Finder, AppSettings, errorText);
}

bool TProject::Save(const TDFinder& finder, const TSettings& settings, std::string& errorText) const
{
    return WriteTextFile(FileName, errorText, [&](std::string& data, std::string& cause) {
        return ProjectFileData(ProjectText(finder, settings, OnProgress), data, cause);
    });
}

bool TProject::SaveAs(const std::string& fileName, std::string& errorText)
{
    FileName = fileName;
    return Save(errorText);
}

bool TProject::SaveAs(const std::string& fileName, const TDFinder& finder,
    const TSettings& settings, std::string& errorText)
{
    FileName = fileName;
    return Save(finder, settings, errorText);
}

bool TProject::ExportCsv(const std::string& fileName, std::string& errorText) const
{
    if (Finder == nullptr) {
        const TDFinder noResults;
        return ExportCsv(fileName, noResults, AppSettings, errorText);
    }
    return ExportCsv(fileName, *Finder, AppSettings, errorText);
}

bool TProject::ExportCsv(const std::string& fileName, const TDFinder& finder,
    const TSettings& settings, std::string& errorText) const
{
    return WriteTextFile(fileName, errorText, [&](std::string& data, std::string&) {
        data = "Checked, Line, FileName, Folder, FileSize, DateTime, Similarity, Group\r\n";
        std::int64_t line = 0;
        for (const TDGroup* group : finder.Groups) {
            const std::string groupNumber = Decimal(group->GroupNumber);
            for (const TDImage* file : *group) {
                ++line;
                data += Decimal(std::int32_t(file->CheckState)) + "," + Decimal(line) + ",";
                AppendCsvField(data, file->FileName);
                data += ',';
                AppendCsvField(data, file->Folder.Str());
                data += "," + Decimal(file->Size) + ",";
                AppendCsvField(
                    data, FileTimeToDisplayText(file->FileTimeByKind(settings.CompareDateType)));
                data += "," + FloatText(file->Similarity) + "," + groupNumber + "\r\n";
            }
        }
        return true;
    });
}

bool TProject::ExportXml(const std::string& fileName, std::string& errorText) const
{
    if (Finder == nullptr) {
        const TDFinder noResults;
        return ExportXml(fileName, noResults, AppSettings, errorText);
    }
    return ExportXml(fileName, *Finder, AppSettings, errorText);
}

bool TProject::ExportXml(const std::string& fileName, const TDFinder& finder,
    const TSettings& settings, std::string& errorText) const
{
    return WriteTextFile(fileName, errorText, [&](std::string& data, std::string&) {
        data = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Project>\r\n";
        std::int32_t fileNumber = 0;
        for (const TDGroup* group : finder.Groups) {
            data += "\t<G Number=\"" + Decimal(group->GroupNumber) + "\">\r\n";
            for (const TDImage* file : *group) {
                ++fileNumber;
                if (fileNumber % ProgressStep == 0 && OnProgress) {
                    OnProgress(fileNumber);
                }
                data += "\t\t<File FileName=\"";
                AppendXmlEncoded(data, file->FullPath());
                data += "\" FileSize=\"" + Decimal(file->Size) + "\" FileDate=\"";
                AppendXmlEncoded(
                    data, FileTimeToDisplayText(file->FileTimeByKind(settings.CompareDateType)));
                data += "\" Similarity=\"" + FloatText(file->Similarity) + "\" Checked=\"" +
                    Decimal(std::int32_t(file->CheckState)) + "\" />\r\n";
            }
            data += "\t</G>\r\n";
        }
        data += "</Project>";
        return true;
    });
}

bool TProject::Open(const std::string& fileName, std::string& errorText)
{
    if (Finder == nullptr) {
        errorText = OpenErrorText + fileName + "\r\nThere is no place for the results yet.";
        return false;
    }
    return Open(fileName, *Finder, AppSettings, errorText);
}

bool TProject::Open(
    const std::string& fileName, TDFinder& finder, TSettings& settings, std::string& errorText)
{
    errorText.clear();
    std::string cause;
    bool read = false;
    try {
        std::string data;
        // Up to the largest size a project file can have.
        constexpr std::size_t Limit = 4 + std::size_t(std::numeric_limits<std::int32_t>::max());
        if (const platform::TSysError error = platform::ReadWholeFile(fileName, data, Limit)) {
            cause = error.Text();
        } else {
            read = ReadProjectData(data, finder, settings, cause);
        }
    } catch (const std::bad_alloc&) {
        cause = std::generic_category().message(ENOMEM);
    }
    if (!read) {
        errorText = OpenErrorText + fileName + "\r\n" + cause;
        return false;
    }
    FileName = fileName;
    return true;
}

// ---- free functions ---------------------------------------------------------------------------

QString ScrambleText(QStringView text)
{
    QString result = QString::fromStdString(ScramblePrefix);
    const qsizetype prefixLength = result.size();
    result.append(text);
    XorWithKeys(result, prefixLength);
    return result;
}

bool ReadProjectData(
    std::string_view data, TDFinder& finder, TSettings& settings, std::string& errorText)
{
    errorText.clear();
    try {
        return ReadProjectDataUnguarded(data, finder, settings, errorText);
    } catch (const std::bad_alloc&) {
        errorText = "Not enough memory to read the project.";
        return false;
    }
}
