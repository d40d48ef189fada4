#include "engine/Project.h"

#include "engine/DFinder.h"
#include "engine/DImage.h"
#include "engine/SettingsUnit.h"
#include "platform/FileTime.h"
#include "platform/FindRecord.h"
#include "platform/SysCalls.h"
#include "tests/support/TempTree.h"

#include <QLocale>
#include <QString>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

using platform::TFileTime;
using testing_support::TTempTree;

namespace {

// ---- fixtures -------------------------------------------------------------------------------

TDGroup* AddGroup(TDFinder& finder, std::int32_t number)
{
    auto group = std::make_unique<TDGroup>();
    group->GroupNumber = number;
    return finder.Groups.Add(std::move(group));
}

TDImage* AddFile(TDFinder& finder, TDGroup* group, const std::string& path, std::int64_t size = 1)
{
    const std::size_t slash = path.rfind('/');
    platform::TFindRecord record;
    record.Name = path.substr(slash + 1);
    record.Size = size;
    record.Kind = platform::TEntryKind::ekRegular;
    TDImage* image = finder.Files.Add(std::make_unique<TDImage>(path.substr(0, slash + 1), record));
    image->Group = group;
    group->Add(image);
    return image;
}

TFileTime Ticks(std::uint64_t ticks)
{
    return TFileTime::FromTicks(ticks);
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The project text inside a project file, unscrambled by the rule of the format: N, then
// "qhvzm" and the text whose UTF-16 units are XORed with 166 at odd and 58 at even positions.
std::string ProjectTextOf(const std::string& bytes)
{
    if (bytes.size() < 4) {
        ADD_FAILURE() << "no byte count";
        return {};
    }
    std::uint32_t count = 0;
    for (int k = 3; k >= 0; --k) {
        count = (count << 8) | std::uint8_t(bytes[std::size_t(k)]);
    }
    EXPECT_EQ(count, bytes.size() - 4);
    QString text = QString::fromUtf8(bytes.data() + 4, qsizetype(bytes.size() - 4));
    EXPECT_TRUE(text.startsWith(QStringView(u"qhvzm")));
    text.remove(0, 5);
    for (qsizetype i = 0; i < text.size(); ++i) {
        text[i] = QChar(char16_t(text[i].unicode() ^ (i % 2 == 0 ? 166 : 58)));
    }
    return text.toStdString();
}

// The data behind its byte count (little-endian, 32 bits).
std::string WithByteCount(const std::string& data)
{
    std::string bytes;
    for (int k = 0; k < 4; ++k) {
        bytes += char((std::uint32_t(data.size()) >> (8 * k)) & 0xFF);
    }
    return bytes + data;
}

// The project file that holds the text (valid UTF-8), made by the same rule.
std::string ProjectFileOf(const std::string& xml)
{
    QString text = QString::fromUtf8(xml.data(), qsizetype(xml.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        text[i] = QChar(char16_t(text[i].unicode() ^ (i % 2 == 0 ? 166 : 58)));
    }
    return WithByteCount((QStringView(u"qhvzm").toString() + text).toUtf8().toStdString());
}

// Everything the reader restores, one line per item, so two finders compare at a glance.
std::vector<std::string> Describe(const TDFinder& finder)
{
    std::vector<std::string> lines;
    for (const TDGroup* group : finder.Groups) {
        lines.push_back("G " + std::to_string(group->GroupNumber));
        for (const TDImage* file : *group) {
            std::ostringstream line;
            line << std::setprecision(9) << "  [" << file->Folder << "][" << file->FileName << "] "
                 << file->Size << " C" << int(file->CheckState) << " S" << file->Similarity << " "
                 << file->CreationTime.Ticks() << " " << file->LastWriteTime.Ticks() << " "
                 << file->LastAccessTime.Ticks()
                 << (file->Group.load() == group ? "" : " (wrong group)");
            lines.push_back(line.str());
        }
    }
    std::string files = "Files";
    for (const TDImage* file : finder.Files) {
        files += " [" + file->FullPath() + "]";
    }
    lines.push_back(files);
    for (const TFinderFolder& folder : finder.Folders) {
        lines.push_back("Folder [" + folder.Folder + "] " + std::to_string(folder.Flags));
    }
    lines.push_back("FileCount " + std::to_string(finder.FileCount.load()));
    return lines;
}

std::string DescribeOptions(const TSettings& settings)
{
    std::ostringstream text;
    text << std::setprecision(9) << int(settings.FindMode) << " " << settings.Similarity << " "
         << settings.DoNotCompareExt << " " << settings.ScanEqualExtOnly << " "
         << int(settings.AutoCheckType);
    return text.str();
}

// Sets both the C library's and Qt's default locale for the test's lifetime and restores them.
class TScopedLocale {
public:
    explicit TScopedLocale(const char* name)
        : FPreviousC(std::setlocale(LC_ALL, nullptr))
    {
        std::setlocale(LC_ALL, (std::string(name) + ".UTF-8").c_str());
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
    }
    ~TScopedLocale()
    {
        std::setlocale(LC_ALL, FPreviousC.c_str());
        QLocale::setDefault(FPreviousQt);
    }
    TScopedLocale(const TScopedLocale&) = delete;
    TScopedLocale& operator=(const TScopedLocale&) = delete;

private:
    std::string FPreviousC;
    QLocale FPreviousQt;
};

// ---- the project file -----------------------------------------------------------------------

TEST(ProjectFile, EmptyProjectIsTheFixedBytesAndReadsBack)
{
    // No groups, no folders, default options (mode 0, 95, False, False).
    // clang-format off
    const unsigned char expected[] = {
        0x30, 0x01, 0x00, 0x00, 0x71, 0x68, 0x76, 0x7a, 0x6d, 0xc2, 0x9a, 0x05,
        0xc3, 0x9e, 0x57, 0xc3, 0x8a, 0x1a, 0xc3, 0x90, 0x5f, 0xc3, 0x94, 0x49,
        0xc3, 0x8f, 0x55, 0xc3, 0x88, 0x07, 0xc2, 0x84, 0x0b, 0xc2, 0x88, 0x0a,
        0xc2, 0x84, 0x1a, 0xc3, 0x83, 0x54, 0xc3, 0x85, 0x55, 0xc3, 0x82, 0x53,
        0xc3, 0x88, 0x5d, 0xc2, 0x9b, 0x18, 0xc3, 0xb3, 0x6e, 0xc3, 0xa0, 0x17,
        0xc2, 0x9e, 0x18, 0xc2, 0x99, 0x04, 0xc2, 0x9a, 0x6a, 0xc3, 0x94, 0x55,
        0xc3, 0x8c, 0x5f, 0xc3, 0x85, 0x4e, 0xc2, 0x98, 0x06, 0xc3, 0xab, 0x55,
        0xc3, 0x82, 0x5f, 0xc2, 0x98, 0x0a, 0xc2, 0x9a, 0x15, 0xc3, 0xab, 0x55,
        0xc3, 0x82, 0x5f, 0xc2, 0x98, 0x06, 0xc3, 0xb5, 0x53, 0xc3, 0x8b, 0x53,
        0xc3, 0x8a, 0x5b, 0xc3, 0x94, 0x53, 0xc3, 0x92, 0x43, 0xc2, 0x98, 0x03,
        0xc2, 0x93, 0x06, 0xc2, 0x89, 0x69, 0xc3, 0x8f, 0x57, 0xc3, 0x8f, 0x56,
        0xc3, 0x87, 0x48, 0xc3, 0x8f, 0x4e, 0xc3, 0x9f, 0x04, 0xc2, 0x9a, 0x7e,
        0xc3, 0x89, 0x74, 0xc3, 0x89, 0x4e, 0xc3, 0xa5, 0x55, 0xc3, 0x8b, 0x4a,
        0xc3, 0x87, 0x48, 0xc3, 0x83, 0x7f, 0xc3, 0x9e, 0x4e, 0xc2, 0x98, 0x7c,
        0xc3, 0x87, 0x56, 0xc3, 0x95, 0x5f, 0xc2, 0x9a, 0x15, 0xc3, 0xa2, 0x55,
        0xc3, 0xa8, 0x55, 0xc3, 0x92, 0x79, 0xc3, 0x89, 0x57, 0xc3, 0x96, 0x5b,
        0xc3, 0x94, 0x5f, 0xc3, 0xa3, 0x42, 0xc3, 0x92, 0x04, 0xc2, 0x9a, 0x69,
        0xc3, 0x85, 0x5b, 0xc3, 0x88, 0x7f, 0xc3, 0x97, 0x4f, 0xc3, 0x87, 0x56,
        0xc3, 0xa3, 0x42, 0xc3, 0x92, 0x75, 0xc3, 0x88, 0x56, 0xc3, 0x9f, 0x04,
        0xc3, 0xa0, 0x5b, 0xc3, 0x8a, 0x49, 0xc3, 0x83, 0x06, 0xc2, 0x89, 0x69,
        0xc3, 0x85, 0x5b, 0xc3, 0x88, 0x7f, 0xc3, 0x97, 0x4f, 0xc3, 0x87, 0x56,
        0xc3, 0xa3, 0x42, 0xc3, 0x92, 0x75, 0xc3, 0x88, 0x56, 0xc3, 0x9f, 0x04,
        0xc2, 0x9a, 0x7c, 0xc3, 0x89, 0x56, 0xc3, 0x82, 0x5f, 0xc3, 0x94, 0x49,
        0xc2, 0x98, 0x06, 0xc2, 0x89, 0x7c, 0xc3, 0x89, 0x56, 0xc3, 0x82, 0x5f,
        0xc3, 0x94, 0x49, 0xc2, 0x98, 0x06, 0xc2, 0x89, 0x6a, 0xc3, 0x94, 0x55,
        0xc3, 0x8c, 0x5f, 0xc3, 0x85, 0x4e, 0xc2, 0x98,
    };
    // clang-format on
    TTempTree tree;
    TDFinder finder;
    TProject project;
    std::string errorText;
    ASSERT_TRUE(project.SaveAs(tree.Path("empty.twrk"), finder, TSettings::Defaults(), errorText))
        << errorText;
    EXPECT_EQ(errorText, "");
    EXPECT_EQ(ReadBytes(tree.Path("empty.twrk")),
        std::string(reinterpret_cast<const char*>(expected), sizeof expected));

    TDFinder read;
    TSettings settings = TSettings::Defaults();
    settings.FindMode = 3;
    settings.Similarity = 10.0f;
    ASSERT_TRUE(
        ReadProjectData(std::string(reinterpret_cast<const char*>(expected), sizeof expected), read,
            settings, errorText))
        << errorText;
    EXPECT_EQ(read.Groups.Count(), 0);
    EXPECT_EQ(read.Folders.size(), 0u);
    EXPECT_EQ(settings.FindMode, 0);
    EXPECT_EQ(settings.Similarity, 95.0f);
}

TEST(ScrambleText, XorsOddPositionsWithOneKeyAndEvenPositionsWithTheOther)
{
    using namespace std::string_view_literals;
    const struct {
        std::u16string_view Text;
        std::u16string_view Expected;
    } cases[] = {
        {u""sv, u"qhvzm"sv},
        // ':' (58) at an even position meets its key and becomes U+0000.
        {u"x:"sv, u"qhvzm\u00de\u0000"sv},
        // The emoji's surrogates (D83D DE00) change only in their low byte.
        {u"a\U0001F600"sv, u"qhvzm\u00c7\xD807\xDEA6"sv},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.Text.data(), qsizetype(c.Text.size()));
        const QString expected =
            QString::fromUtf16(c.Expected.data(), qsizetype(c.Expected.size()));
        EXPECT_EQ(ScrambleText(text), expected) << text.toStdString();
    }
}

TEST(ProjectFile, FileElementsAreWrittenAsTheFormatSaysAndReadBack)
{
    TTempTree tree;
    const std::string a = tree.AddFile("a&b.txt", "x");
    const std::string b = tree.AddFile("b.txt", "x");
    TDFinder finder;
    TDGroup* group = AddGroup(finder, 5);
    TDImage* first = AddFile(finder, group, a, 1099511627776);
    first->CheckState = 2;
    first->Similarity = 1.0f;
    // Low halves of 2^31 and more are written as negative numbers.
    first->CreationTime = TFileTime {0x80000000u, 30000000u};
    first->LastWriteTime = TFileTime {0xFFFFFFFFu, 0x7FFFFFFFu};
    first->LastAccessTime = TFileTime {2147483647u, 0u};
    TDImage* second = AddFile(finder, group, b, 0);
    second->CheckState = 1;
    second->Similarity = 0.95f;
    second->CreationTime = TFileTime {1u, 0xFFFFFFFFu};
    finder.Folders.push_back({tree.Root(), 1});
    finder.FileCount = 2;
    TSettings settings = TSettings::Defaults();
    settings.FindMode = 1;
    settings.Similarity = 0.95f;
    settings.DoNotCompareExt = true;

    TProject project;
    std::string errorText;
    ASSERT_TRUE(project.SaveAs(tree.Path("p.twrk"), finder, settings, errorText)) << errorText;
    EXPECT_EQ(ProjectTextOf(ReadBytes(tree.Path("p.twrk"))),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Project><Mode>1</Mode>"
        "<Similarity>0.949999988079071</Similarity><DoNotCompareExt>True"
        "</DoNotCompareExt><ScanEqualExtOnly>False</ScanEqualExtOnly><G ID=\"5\">"
        "<F FS=\"1099511627776\" FN=\"" +
            tree.Root() +
            "a&amp;b.txt\" C=\"2\" S=\"1\" "
            "CFD64=\"-2147483648,30000000\" FD64=\"-1,2147483647\" "
            "AFD64=\"2147483647,0\" />"
            "<F FS=\"0\" FN=\"" +
            tree.Root() +
            "b.txt\" C=\"1\" S=\"0.949999988079071\" "
            "CFD64=\"1,-1\" FD64=\"0,0\" AFD64=\"0,0\" /></G>"
            "<Folders><Folder V=\"1\">" +
            tree.Root() + "</Folder></Folders></Project>");

    TDFinder read;
    TSettings readSettings = TSettings::Defaults();
    ASSERT_TRUE(project.Open(tree.Path("p.twrk"), read, readSettings, errorText)) << errorText;
    EXPECT_EQ(Describe(read), Describe(finder));
    EXPECT_EQ(DescribeOptions(readSettings), DescribeOptions(settings));
}

TEST(ProjectFile, EveryPathComesBackExactlyAndValidNamesAreWrittenAsTheyAre)
{
    TTempTree tree;
    const std::string root = tree.Root();
    struct TName {
        std::string Relative;
        // What FN holds after the root; the exact bytes follow in FNB when it is lossy.
        std::string Written;
        bool Lossy;
    };
    const TName names[] = {
        {"amp&er.txt", "amp&amp;er.txt", false},
        {"say \"hi\".txt", "say &quot;hi&quot;.txt", false},
        {"<angle>.txt", "&lt;angle&gt;.txt", false},
        {"comma,name.txt", "comma,name.txt", false},
        {"smile \xF0\x9F\x98\x80.txt", "smile \xF0\x9F\x98\x80.txt", false},
        {"tab\tand\nline\rbreak.txt", "tab&#9;and&#10;line&#13;break.txt", false},
        {"sub dir/\xC3\xA9t\xC3\xA9.txt", "sub dir/\xC3\xA9t\xC3\xA9.txt", false},
        // Not UTF-8, and a control character that XML cannot carry at all.
        {"latin1-\xE9t\xE9.txt", "latin1-\xEF\xBF\xBDt\xEF\xBF\xBD.txt", true},
        {"control-\x01.txt", "control-\xEF\xBF\xBD.txt", true},
        {"\xFF\xFE/inside.txt", "\xEF\xBF\xBD\xEF\xBF\xBD/inside.txt", true},
    };
    TDFinder finder;
    TDGroup* first = AddGroup(finder, 3);
    TDGroup* second = AddGroup(finder, 7);
    std::uint8_t check = 0;
    for (std::size_t k = 0; k < std::size(names); ++k) {
        const std::string path = tree.AddFile(names[k].Relative, "content");
        TDImage* file = AddFile(finder, k < 5 ? first : second, path, std::int64_t(k) * 1000);
        file->CheckState = check;
        check = std::uint8_t((check + 1) % 3);
        file->Similarity = k == 0 || k == 5 ? 1.0f : 0.5f + float(k) / 100.0f;
        file->CreationTime = Ticks(133326954050000000u + k);
        file->LastWriteTime = Ticks(133326954050000000u + 100 * k);
        file->LastAccessTime = Ticks(0x80000000u + k);
    }
    finder.Folders = {{root + "a&b/", 1}, {root + "\xFE\xFF/", 2}, {"/x\ty/", 3}, {"/p/", 0}};
    finder.FileCount = finder.Files.Count();
    TSettings settings = TSettings::Defaults();
    settings.FindMode = 2;
    settings.Similarity = 87.5f;
    settings.DoNotCompareExt = true;
    settings.ScanEqualExtOnly = true;

    TProject project;
    std::string errorText;
    ASSERT_TRUE(project.SaveAs(root + "p.twrk", finder, settings, errorText)) << errorText;
    const std::string text = ProjectTextOf(ReadBytes(root + "p.twrk"));
    for (const TName& name : names) {
        const std::string written = "FN=\"" + root + name.Written + "\"";
        const std::size_t at = text.find(written);
        ASSERT_NE(at, std::string::npos) << written;
        const std::size_t end = text.find("/>", at);
        const bool hasBytes = text.substr(at, end - at).find(" FNB=\"") != std::string::npos;
        EXPECT_EQ(hasBytes, name.Lossy) << written;
    }
    EXPECT_NE(text.find("<Folder V=\"1\">" + root + "a&amp;b/</Folder>"), std::string::npos);
    EXPECT_NE(text.find("<Folder V=\"3\">/x&#9;y/</Folder>"), std::string::npos);

    TDFinder read;
    TSettings readSettings = TSettings::Defaults();
    readSettings.AutoCheckType = 7;
    settings.AutoCheckType = 7;
    ASSERT_TRUE(project.Open(root + "p.twrk", read, readSettings, errorText)) << errorText;
    EXPECT_EQ(Describe(read), Describe(finder));
    EXPECT_EQ(DescribeOptions(readSettings), DescribeOptions(settings));
    EXPECT_EQ(project.FileName, root + "p.twrk");
}

TEST(ProjectReader, LeavesOutVanishedFilesAndGroupsLeftWithOneFile)
{
    TTempTree tree;
    TDFinder finder;
    TDGroup* kept = AddGroup(finder, 1);
    AddFile(finder, kept, tree.AddFile("k1", "x"));
    AddFile(finder, kept, tree.AddFile("gone1", "x"));
    AddFile(finder, kept, tree.AddFile("k2", "x"));
    TDGroup* dropped = AddGroup(finder, 2);
    AddFile(finder, dropped, tree.AddFile("lonely", "x"));
    AddFile(finder, dropped, tree.AddFile("now-a-folder", "x"));
    TDGroup* linked = AddGroup(finder, 3);
    AddFile(finder, linked, tree.AddFile("l1", "x"));
    AddFile(finder, linked, tree.AddFile("now-a-link", "x"));
    TProject project;
    std::string errorText;
    ASSERT_TRUE(project.SaveAs(tree.Path("p.twrk"), finder, TSettings::Defaults(), errorText));

    std::filesystem::remove(tree.Path("gone1"));
    std::filesystem::remove(tree.Path("now-a-folder"));
    tree.AddFolder("now-a-folder");
    std::filesystem::remove(tree.Path("now-a-link"));
    tree.AddSymlink("now-a-link", tree.Path("l1"));

    TDFinder read;
    TSettings settings = TSettings::Defaults();
    ASSERT_TRUE(project.Open(tree.Path("p.twrk"), read, settings, errorText)) << errorText;
    ASSERT_EQ(read.Groups.Count(), 1);
    EXPECT_EQ(read.Groups[0]->GroupNumber, 1);
    ASSERT_EQ(read.Groups[0]->Count(), 2);
    EXPECT_EQ((*read.Groups[0])[0]->FullPath(), tree.Path("k1"));
    EXPECT_EQ((*read.Groups[0])[1]->FullPath(), tree.Path("k2"));
    EXPECT_EQ(read.Files.Count(), 2);
    EXPECT_EQ(read.FileCount.load(), 2);
}

TEST(ProjectReader, OneFileListedUnderTwoPathsIsKeptOnceButHardLinksAreTwoFiles)
{
    TTempTree tree;
    const std::string dir = std::filesystem::canonical(tree.AddFolder("dir")).string() + "/";
    const std::string link = std::filesystem::canonical(tree.Root()).string() + "/link/";
    tree.AddSymlink("link", dir);
    for (const char* name : {"x1", "x2", "y", "z"}) {
        tree.AddFile(std::string("dir/") + name, "same");
    }
    ASSERT_EQ(::link((dir + "x2").c_str(), (dir + "h2").c_str()), 0);

    TDFinder finder;
    TDGroup* one = AddGroup(finder, 1);
    AddFile(finder, one, dir + "x1");
    AddFile(finder, one, link + "x1");
    TDGroup* hardLinks = AddGroup(finder, 2);
    AddFile(finder, hardLinks, dir + "x2");
    AddFile(finder, hardLinks, dir + "h2");
    TDGroup* three = AddGroup(finder, 3);
    AddFile(finder, three, dir + "y");
    AddFile(finder, three, dir + "z");
    AddFile(finder, three, link + "y");
    TProject project;
    std::string errorText;
    ASSERT_TRUE(project.SaveAs(tree.Path("p.twrk"), finder, TSettings::Defaults(), errorText));

    TDFinder read;
    TSettings settings = TSettings::Defaults();
    ASSERT_TRUE(project.Open(tree.Path("p.twrk"), read, settings, errorText)) << errorText;
    std::vector<std::vector<std::string>> groups;
    for (const TDGroup* group : read.Groups) {
        std::vector<std::string>& paths = groups.emplace_back();
        for (const TDImage* file : *group) {
            paths.push_back(file->FullPath());
        }
    }
    EXPECT_EQ(groups,
        (std::vector<std::vector<std::string>> {{dir + "x2", dir + "h2"}, {dir + "y", dir + "z"}}));
    EXPECT_EQ(read.Files.Count(), 4);
}

TEST(ProjectReader, DamagedInputGivesAnErrorAndChangesNothing)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Project><Mode>1</Mode>"
                             "<Similarity>90</Similarity><DoNotCompareExt>False"
                             "</DoNotCompareExt><ScanEqualExtOnly>True</ScanEqualExtOnly>";
    const auto file = [](const std::string& attributes) { return "<F " + attributes + " />"; };
    const std::string fileA = "FS=\"5\" FN=\"/nowhere/a\" C=\"0\" S=\"1\" CFD64=\"1,2\" "
                              "FD64=\"3,4\" AFD64=\"5,6\"";
    const std::string fileB = "FS=\"5\" FN=\"/nowhere/b\" C=\"1\" S=\"0.5\" CFD64=\"1,2\" "
                              "FD64=\"3,4\" AFD64=\"5,6\"";
    const std::string folders = "<Folders><Folder V=\"1\">/nowhere/</Folder></Folders>";
    const auto project = [&](const std::string& groups, const std::string& rest) {
        return ProjectFileOf(head + groups + rest + "</Project>");
    };
    const auto withFile = [&](const std::string& attributes) {
        return project("<G ID=\"1\">" + file(attributes) + file(fileB) + "</G>", folders);
    };
    const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const std::string valid = withFile(fileA);
    std::string countTooLarge = valid;
    countTooLarge[0] = char(countTooLarge[0] + 1);
    const std::string plain = "qhvzm" + head + folders + "</Project>";
    const std::string notScrambled = WithByteCount(plain);
    std::string wrongPrefix = valid;
    wrongPrefix[8] = 'n';

    const struct {
        const char* Name;
        std::string Data;
    } cases[] = {
        {"empty", ""},
        {"shorter than a byte count", std::string("\x01\x00\x00", 3)},
        {"count larger than the data", countTooLarge},
        {"count negative", std::string("\xFF\xFF\xFF\xFF", 4) + valid.substr(4)},
        {"data beyond the count", valid + "x"},
        {"wrong prefix", wrongPrefix},
        {"text not UTF-8", std::string("\x06\x00\x00\x00qhvzm\xFF", 10)},
        {"XML cut short", ProjectFileOf(head + "<G ID=\"1\"><F FS=\"5\"")},
        {"XML not scrambled", notScrambled},
        {"root not Project", ProjectFileOf("<Other/>")},
        {"second root element", ProjectFileOf(head + folders + "</Project><Project/>")},
        {"document type declaration",
            ProjectFileOf(
                "<!DOCTYPE Project [<!ENTITY e \"x\">]>" + head + folders + "</Project>")},
        {"unknown element", project("<Extra/>", folders)},
        {"element inside a file", project("<G ID=\"1\"><F " + fileA + "><X/></F></G>", folders)},
        {"missing Mode",
            ProjectFileOf(replaced(head, "<Mode>1</Mode>", "") + folders + "</Project>")},
        {"missing Folders", project("", "")},
        {"missing FN", withFile(replaced(fileA, "FN=\"/nowhere/a\"", ""))},
        {"missing AFD64", withFile(replaced(fileA, "AFD64=\"5,6\"", ""))},
        {"missing group number", project("<G>" + file(fileA) + file(fileB) + "</G>", folders)},
        {"missing folder flags", project("", "<Folders><Folder>/x/</Folder></Folders>")},
        {"size not a number", withFile(replaced(fileA, "FS=\"5\"", "FS=\"five\""))},
        {"size negative", withFile(replaced(fileA, "FS=\"5\"", "FS=\"-5\""))},
        {"size with a plus sign", withFile(replaced(fileA, "FS=\"5\"", "FS=\"+5\""))},
        {"size beyond 64 bits",
            withFile(replaced(fileA, "FS=\"5\"", "FS=\"99999999999999999999\""))},
        {"check state 3", withFile(replaced(fileA, "C=\"0\"", "C=\"3\""))},
        {"similarity above 1", withFile(replaced(fileA, "S=\"1\"", "S=\"1.5\""))},
        {"similarity with a comma", withFile(replaced(fileA, "S=\"1\"", "S=\"0,95\""))},
        {"similarity not a number", withFile(replaced(fileA, "S=\"1\"", "S=\"nan\""))},
        {"file time without a comma", withFile(replaced(fileA, "CFD64=\"1,2\"", "CFD64=\"12\""))},
        {"file time half beyond 32 bits",
            withFile(replaced(fileA, "FD64=\"3,4\"", "FD64=\"4294967296,4\""))},
        {"group number 0", project("<G ID=\"0\">" + file(fileA) + file(fileB) + "</G>", folders)},
        {"group number beyond 32 bits",
            project("<G ID=\"2147483648\">" + file(fileA) + file(fileB) + "</G>", folders)},
        {"mode out of range",
            ProjectFileOf(replaced(head, "<Mode>1<", "<Mode>4<") + folders + "</Project>")},
        {"option similarity above 100",
            ProjectFileOf(replaced(head, ">90<", ">100.5<") + folders + "</Project>")},
        {"switch in lower case",
            ProjectFileOf(replaced(head, ">False<", ">false<") + folders + "</Project>")},
        {"folder flags beyond the two bits",
            project("", "<Folders><Folder V=\"4\">/x/</Folder></Folders>")},
        {"undeclared entity", withFile(replaced(fileA, "/nowhere/a", "/nowhere/&e;"))},
        {"relative path", withFile(replaced(fileA, "/nowhere/a", "a"))},
        {"path of a folder", withFile(replaced(fileA, "/nowhere/a", "/nowhere/"))},
        {"path with a \".\" component", withFile(replaced(fileA, "/nowhere/a", "/nowhere/./a"))},
        {"path with a \"..\" component",
            withFile(replaced(fileA, "/nowhere/a", "/nowhere/x/../a"))},
        {"path with an empty component", withFile(replaced(fileA, "/nowhere/a", "/nowhere//a"))},
        {"path ending in \".\"", withFile(replaced(fileA, "/nowhere/a", "/nowhere/."))},
        {"folder with a \"..\" component",
            project("", "<Folders><Folder V=\"0\">/x/../y/</Folder></Folders>")},
        {"folder with an empty component",
            project("", "<Folders><Folder V=\"0\">//x/</Folder></Folders>")},
        {"same path twice", withFile(replaced(fileA, "/nowhere/a", "/nowhere/b"))},
        {"exact bytes not hexadecimal", withFile(fileA + " FNB=\"2G\"")},
        {"exact bytes of odd length", withFile(fileA + " FNB=\"2F6\"")},
        {"exact bytes holding a zero byte", withFile(fileA + " FNB=\"2F0061\"")},
    };

    // The fixtures are sound apart from their damage: the undamaged file reads.
    {
        TDFinder finder;
        TSettings settings = TSettings::Defaults();
        std::string errorText;
        ASSERT_TRUE(ReadProjectData(valid, finder, settings, errorText)) << errorText;
        EXPECT_EQ(settings.FindMode, 1);
        EXPECT_EQ(finder.Folders.size(), 1u);
    }

    for (const auto& c : cases) {
        TDFinder finder;
        TDGroup* group = AddGroup(finder, 9);
        AddFile(finder, group, "/keep/a", 10)->CheckState = 2;
        AddFile(finder, group, "/keep/b", 10);
        finder.Folders.push_back({"/keep/", 2});
        finder.FileCount = 2;
        TSettings settings = TSettings::Defaults();
        settings.FindMode = 3;
        settings.Similarity = 42.0f;
        settings.DoNotCompareExt = true;
        const std::vector<std::string> before = Describe(finder);
        const std::string optionsBefore = DescribeOptions(settings);

        std::string errorText;
        EXPECT_FALSE(ReadProjectData(c.Data, finder, settings, errorText)) << c.Name;
        EXPECT_NE(errorText, "") << c.Name;
        EXPECT_EQ(Describe(finder), before) << c.Name;
        EXPECT_EQ(DescribeOptions(settings), optionsBefore) << c.Name;
    }
}

TEST(ProjectReader, AFileThatCannotBeOpenedOrReadLeavesTheProjectAsItWas)
{
    TTempTree tree;
    WriteBytes(tree.Path("bad.twrk"), std::string("\x10\x00\x00\x00qhvzm", 9));
    const struct {
        std::string Path;
        std::string Cause;
    } cases[] = {
        {tree.Path("missing.twrk"), std::generic_category().message(ENOENT)},
        {tree.Path("bad.twrk"), ""},
        {tree.Root(), std::generic_category().message(EISDIR)},
    };
    for (const auto& c : cases) {
        TProject project;
        project.FileName = "mine.twrk";
        TDFinder finder;
        finder.Folders.push_back({"/keep/", 0});
        TSettings settings = TSettings::Defaults();
        std::string errorText;
        EXPECT_FALSE(project.Open(c.Path, finder, settings, errorText)) << c.Path;
        EXPECT_EQ(errorText.rfind("Error while opening " + c.Path + "\r\n", 0), 0u) << errorText;
        if (!c.Cause.empty()) {
            EXPECT_EQ(errorText, "Error while opening " + c.Path + "\r\n" + c.Cause);
        }
        EXPECT_EQ(project.FileName, "mine.twrk");
        EXPECT_EQ(finder.Folders.size(), 1u);
    }
}

// ---- saving ---------------------------------------------------------------------------------

TEST(ProjectSave, IntoAMissingFolderFailsWithTheSaveErrorText)
{
    TTempTree tree;
    const std::string target = tree.Path("missing/out.file");
    const std::string expected =
        "Error while saving " + target + "\r\n" + std::generic_category().message(ENOENT);
    TDFinder finder;
    const TSettings settings = TSettings::Defaults();
    TProject project;
    std::string errorText;

    EXPECT_FALSE(project.SaveAs(target, finder, settings, errorText));
    EXPECT_EQ(errorText, expected);
    EXPECT_EQ(project.FileName, target);
    EXPECT_FALSE(project.ExportCsv(target, finder, settings, errorText));
    EXPECT_EQ(errorText, expected);
    EXPECT_FALSE(project.ExportXml(target, finder, settings, errorText));
    EXPECT_EQ(errorText, expected);
    EXPECT_FALSE(tree.Exists("missing"));
}

// Makes one step of writing a file fail with the given error.
class TFailingCalls : public platform::TSysCalls {
public:
    enum TStep { fsCreate, fsWrite, fsFsync, fsClose, fsRename };
    TFailingCalls(TStep step, int error)
        : FStep(step)
        , FError(error)
    { }

    int Open(const char* path, int flags, mode_t mode) override
    {
        if (FStep == fsCreate && (flags & O_CREAT) != 0) {
            return Fail();
        }
        return TSysCalls::Open(path, flags, mode);
    }
    ssize_t Write(int fd, const void* buffer, std::size_t count) override
    {
        // A short write first, as a full disk gives it.
        if (FStep == fsWrite) {
            if (!FWroteOnce && count > 1) {
                FWroteOnce = true;
                return TSysCalls::Write(fd, buffer, count / 2);
            }
            return Fail();
        }
        return TSysCalls::Write(fd, buffer, count);
    }
    int Fsync(int fd) override { return FStep == fsFsync ? Fail() : TSysCalls::Fsync(fd); }
    int Close(int fd) override
    {
        const int result = TSysCalls::Close(fd);
        return FStep == fsClose ? Fail() : result;
    }
    int Rename(const char* from, const char* to, unsigned flags) override
    {
        return FStep == fsRename ? Fail() : TSysCalls::Rename(from, to, flags);
    }

private:
    int Fail()
    {
        errno = FError;
        return -1;
    }
    TStep FStep;
    int FError;
    bool FWroteOnce = false;
};

TEST(ProjectSave, AFailedWriteKeepsTheOldFileAndLeavesNothingBehind)
{
    const struct {
        TFailingCalls::TStep Step;
        int Error;
    } cases[] = {
        {TFailingCalls::fsCreate, EACCES},
        {TFailingCalls::fsWrite, ENOSPC},
        {TFailingCalls::fsFsync, EIO},
        {TFailingCalls::fsClose, EIO},
        {TFailingCalls::fsRename, EXDEV},
    };
    for (const auto& c : cases) {
        TTempTree tree;
        const std::string target = tree.AddFile("project.twrk", "the old project");
        TDFinder finder;
        TDGroup* group = AddGroup(finder, 1);
        AddFile(finder, group, "/d/a", 5);
        AddFile(finder, group, "/d/b", 5);
        const TSettings settings = TSettings::Defaults();
        TProject project;
        project.FileName = target;

        const auto attempts = {
            +[](TProject& p, const TDFinder& f, const TSettings& s, std::string& e) {
                return p.Save(f, s, e);
            },
            +[](TProject& p, const TDFinder& f, const TSettings& s, std::string& e) {
                return p.ExportCsv(p.FileName, f, s, e);
            },
            +[](TProject& p, const TDFinder& f, const TSettings& s, std::string& e) {
                return p.ExportXml(p.FileName, f, s, e);
            },
        };
        for (const auto attempt : attempts) {
            TFailingCalls calls(c.Step, c.Error);
            platform::TScopedSysCalls scoped(calls);
            std::string errorText;
            EXPECT_FALSE(attempt(project, finder, settings, errorText)) << c.Step;
            EXPECT_EQ(errorText,
                "Error while saving " + target + "\r\n" + std::generic_category().message(c.Error));
        }
        EXPECT_EQ(tree.ReadFile("project.twrk"), "the old project") << c.Step;
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(tree.Root())) {
            left.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(left, std::vector<std::string> {"project.twrk"}) << c.Step;
    }
}

TEST(ProjectSave, ReplacesTheFileALinkLeadsToAndKeepsItsPermissions)
{
    TTempTree tree;
    const std::string real = tree.AddFile("real.twrk", "old");
    tree.SetMode("real.twrk", 0640);
    const std::string link = tree.AddSymlink("link.twrk", real);
    TDFinder finder;
    TProject project;
    std::string errorText;
    ASSERT_TRUE(project.SaveAs(link, finder, TSettings::Defaults(), errorText)) << errorText;

    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(real).size(), 308u);
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
}

TEST(ProjectSave, ReportsProgressBeforeEvery10000thFileOfSaveAndXmlExport)
{
    TTempTree tree;
    TDFinder finder;
    TDGroup* group = AddGroup(finder, 1);
    for (int k = 0; k < 25000; ++k) {
        AddFile(finder, group, "/d/f" + std::to_string(k));
    }
    std::vector<std::int32_t> reported;
    TProject project;
    project.OnProgress = [&](std::int32_t fileNumber) { reported.push_back(fileNumber); };
    std::string errorText;

    ASSERT_TRUE(project.SaveAs(tree.Path("p.twrk"), finder, TSettings::Defaults(), errorText));
    EXPECT_EQ(reported, (std::vector<std::int32_t> {10000, 20000}));
    reported.clear();
    ASSERT_TRUE(project.ExportXml(tree.Path("p.xml"), finder, TSettings::Defaults(), errorText));
    EXPECT_EQ(reported, (std::vector<std::int32_t> {10000, 20000}));
}

// ---- numbers and exports --------------------------------------------------------------------

TEST(ProjectWriters, NumbersIgnoreACommaDecimalLocale)
{
    TScopedLocale german("de_DE");
    ASSERT_EQ(QLocale().decimalPoint(), QStringView(u","));
    TTempTree tree;
    TDFinder finder;
    TDGroup* group = AddGroup(finder, 1);
    AddFile(finder, group, "/d/a")->Similarity = 1.0f;
    AddFile(finder, group, "/d/b")->Similarity = 0.95f;
    TSettings settings = TSettings::Defaults();
    settings.Similarity = 95.5f;
    TProject project;
    std::string errorText;

    ASSERT_TRUE(project.SaveAs(tree.Path("p.twrk"), finder, settings, errorText));
    const std::string text = ProjectTextOf(ReadBytes(tree.Path("p.twrk")));
    EXPECT_NE(text.find("<Similarity>95.5</Similarity>"), std::string::npos) << text;
    EXPECT_NE(text.find("S=\"1\""), std::string::npos) << text;
    EXPECT_NE(text.find("S=\"0.949999988079071\""), std::string::npos) << text;

    ASSERT_TRUE(project.ExportCsv(tree.Path("p.csv"), finder, settings, errorText));
    const std::string csv = ReadBytes(tree.Path("p.csv"));
    EXPECT_NE(csv.find(",1,1\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",0.949999988079071,1\r\n"), std::string::npos) << csv;

    ASSERT_TRUE(project.ExportXml(tree.Path("p.xml"), finder, settings, errorText));
    const std::string xml = ReadBytes(tree.Path("p.xml"));
    EXPECT_NE(xml.find("Similarity=\"1\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("Similarity=\"0.949999988079071\""), std::string::npos) << xml;

    TDFinder read;
    TSettings readSettings = TSettings::Defaults();
    ASSERT_TRUE(project.Open(tree.Path("p.twrk"), read, readSettings, errorText)) << errorText;
    EXPECT_EQ(readSettings.Similarity, 95.5f);
}

// Two small groups with the awkward names: commas in a name and a folder, quotes, markup
// characters, a line break; the date column shows the last-write times.
void MakeExportFixture(TDFinder& finder, TSettings& settings)
{
    const TFileTime afternoon = platform::FileTimeFromUnix(1688221805, 0); // 2023-07-01 14:30:05
    const TFileTime midnight = platform::FileTimeFromUnix(1688256000, 0); // 2023-07-02 00:00
    const TFileTime older = platform::FileTimeFromUnix(1577836800, 0); // 2020-01-01
    const struct {
        std::int32_t Group;
        const char* Path;
        std::int64_t Size;
        std::uint8_t Check;
        float Similarity;
        TFileTime Written;
    } files[] = {
        {1, "/data/a,b.txt", 10, 2, 1.0f, afternoon},
        {1, "/data/sub,dir/plain.txt", 10, 0, 0.95f, afternoon},
        {4, "/x/say \"hi\".txt", 3, 1, 1.0f, midnight},
        {4, "/x/amp&<>.txt", 3, 0, 0.5f, midnight},
        {4, "/x/line\nbreak.txt", 3, 0, 0.25f, midnight},
    };
    TDGroup* group = nullptr;
    for (const auto& f : files) {
        if (group == nullptr || group->GroupNumber != f.Group) {
            group = AddGroup(finder, f.Group);
        }
        TDImage* file = AddFile(finder, group, f.Path, f.Size);
        file->CheckState = f.Check;
        file->Similarity = f.Similarity;
        file->CreationTime = older;
        file->LastAccessTime = older;
        file->LastWriteTime = f.Written;
    }
    settings.CompareDateType = 1;
}

TEST(ProjectExport, CsvTextOfTwoGroupsIsExact)
{
    TTempTree tree;
    TDFinder finder;
    TSettings settings = TSettings::Defaults();
    MakeExportFixture(finder, settings);
    TProject project;
    std::string errorText;
    ASSERT_TRUE(project.ExportCsv(tree.Path("out.csv"), finder, settings, errorText)) << errorText;
    EXPECT_EQ(ReadBytes(tree.Path("out.csv")),
        "Checked, Line, FileName, Folder, FileSize, DateTime, Similarity, Group\r\n"
        "2,1,\"a,b.txt\",/data/,10,1 Jul 2023 14:30:05,1,1\r\n"
        "0,2,plain.txt,\"/data/sub,dir/\",10,1 Jul 2023 14:30:05,0.949999988079071,1\r\n"
        "1,3,\"say \"\"hi\"\".txt\",/x/,3,2 Jul 2023,1,4\r\n"
        "0,4,amp&<>.txt,/x/,3,2 Jul 2023,0.5,4\r\n"
        "0,5,\"line\nbreak.txt\",/x/,3,2 Jul 2023,0.25,4\r\n");
}

TEST(ProjectExport, XmlTextOfTwoGroupsIsExact)
{
    TTempTree tree;
    TDFinder finder;
    TSettings settings = TSettings::Defaults();
    MakeExportFixture(finder, settings);
    TProject project;
    std::string errorText;
    ASSERT_TRUE(project.ExportXml(tree.Path("out.xml"), finder, settings, errorText)) << errorText;
    EXPECT_EQ(ReadBytes(tree.Path("out.xml")),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<Project>\r\n"
        "\t<G Number=\"1\">\r\n"
        "\t\t<File FileName=\"/data/a,b.txt\" FileSize=\"10\" "
        "FileDate=\"1 Jul 2023 14:30:05\" Similarity=\"1\" Checked=\"2\" />\r\n"
        "\t\t<File FileName=\"/data/sub,dir/plain.txt\" FileSize=\"10\" "
        "FileDate=\"1 Jul 2023 14:30:05\" Similarity=\"0.949999988079071\" "
        "Checked=\"0\" />\r\n"
        "\t</G>\r\n"
        "\t<G Number=\"4\">\r\n"
        "\t\t<File FileName=\"/x/say &quot;hi&quot;.txt\" FileSize=\"3\" "
        "FileDate=\"2 Jul 2023\" Similarity=\"1\" Checked=\"1\" />\r\n"
        "\t\t<File FileName=\"/x/amp&amp;&lt;&gt;.txt\" FileSize=\"3\" "
        "FileDate=\"2 Jul 2023\" Similarity=\"0.5\" Checked=\"0\" />\r\n"
        "\t\t<File FileName=\"/x/line&#10;break.txt\" FileSize=\"3\" "
        "FileDate=\"2 Jul 2023\" Similarity=\"0.25\" Checked=\"0\" />\r\n"
        "\t</G>\r\n"
        "</Project>");
}

} // namespace
