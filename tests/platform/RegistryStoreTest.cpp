#include "platform/RegistryStore.h"

#include "platform/SysCalls.h"
#include "tests/support/TempTree.h"
#include "tests/support/WatchedCalls.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using platform::TRegistryBatch;
using platform::TRegistryStore;
using platform::TRegValue;
using platform::TSysError;
using testing_support::TTempTree;

namespace {

const std::string SettingsKey = "\\Software\\Zanthory\\Twinrake\\Settings";

// A store over a file in a folder of its own that does not exist yet.
struct TStoreFixture {
    TTempTree Tree;
    std::string Path = Tree.Path("config/Zanthory/Twinrake.reg");

    std::string FileText() const { return Tree.ReadFile("config/Zanthory/Twinrake.reg"); }
    void SetFileText(const std::string& text)
    {
        Tree.AddFile("config/Zanthory/Twinrake.reg", text);
    }
    bool Exists(const std::string& suffix = "") const
    {
        return Tree.Exists("config/Zanthory/Twinrake.reg" + suffix);
    }
    // Files of the store's folder other than the store, its lock and a damaged store's copy:
    // what a save left behind.
    std::vector<std::string> Leftovers() const
    {
        std::vector<std::string> names;
        for (const auto& entry :
            std::filesystem::directory_iterator(Tree.Path("config/Zanthory"))) {
            const std::string name = entry.path().filename().string();
            if (name != "Twinrake.reg" && name != "Twinrake.reg.lock" &&
                name != "Twinrake.reg.damaged") {
                names.push_back(name);
            }
        }
        return names;
    }
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool HasLine(const std::string& text, const std::string& line)
{
    for (const std::string& candidate : Lines(text)) {
        if (candidate == line) {
            return true;
        }
    }
    return false;
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int v : values) {
        bytes.push_back(char(v));
    }
    return bytes;
}

} // namespace

TEST(RegistryStore, ValuesWithAwkwardNamesAndDataSurviveTheFile)
{
    std::string binary200;
    for (int i = 0; i < 200; ++i) {
        binary200.push_back(char(i * 7));
    }
    struct TCase {
        std::string Name;
        TRegValue Value;
    };
    const std::vector<TCase> cases = {
        {"Plain", TRegValue::String("text")},
        {"Quote\"And\\Backslash", TRegValue::String("C:\\dir\\ \"quoted\" \\")},
        {"a=b", TRegValue::String("x=y")},
        {"Größe ÄÖÜ 日本", TRegValue::String("Ünïcödé 日本語 😀")},
        {"Empty", TRegValue::String("")},
        {"Lines", TRegValue::String("first\nsecond\r\nthird\t")},
        {"TrailingBackslash", TRegValue::String("ends with \\")},
        {"NotUtf8", TRegValue::String(Bytes({'/', 'd', 0xFF, 0xC3, '(', 0xED, 0xA0, 0x80}))},
        {"NotUtf8WithNewline", TRegValue::String(Bytes({'a', 0xFE, '\n', 'b'}))},
        {"WithZero", TRegValue::String(std::string("ab\0cd", 5))},
        {"", TRegValue::String("the default value")},
        {"@", TRegValue::String("a value named @")},
        {"Expand", TRegValue::ExpandString("%HOME%/x")},
        {"Zero", TRegValue::Dword(0)},
        {"AllOnes", TRegValue::Dword(0xFFFFFFFFu)},
        {"Big", TRegValue::Qword(0x0123456789ABCDEFull)},
        {"EmptyBinary", TRegValue::Binary("")},
        {"LongBinary", TRegValue::Binary(binary200)},
        {"ShortDword", TRegValue {platform::rtDword, Bytes({1, 2})}},
        {"OtherType", TRegValue {7, Bytes({'a', 0, 0, 0, 0, 0})}},
    };

    TStoreFixture f;
    {
        TRegistryStore store(f.Path);
        for (const TCase& c : cases) {
            ASSERT_FALSE(store.WriteValue(SettingsKey, c.Name, c.Value)) << c.Name;
        }
    }
    TRegistryStore reread(f.Path);
    EXPECT_FALSE(reread.LoadedDamaged()) << f.FileText();
    for (const TCase& c : cases) {
        TRegValue value;
        ASSERT_FALSE(reread.ReadValue(SettingsKey, c.Name, value)) << c.Name;
        EXPECT_EQ(value, c.Value) << c.Name;
    }
    std::vector<std::string> names;
    ASSERT_FALSE(reread.ValueNames(SettingsKey, names));
    ASSERT_EQ(names.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(names[i], cases[i].Name);
    }

    // The text is the .reg format that other tools read.
    std::string text = f.FileText();
    EXPECT_EQ(Lines(text).front(), "Windows Registry Editor Version 5.00");
    EXPECT_TRUE(HasLine(text, "[HKEY_CURRENT_USER\\Software\\Zanthory\\Twinrake\\Settings]"));
    EXPECT_TRUE(
        HasLine(text, "\"Quote\\\"And\\\\Backslash\"=\"C:\\\\dir\\\\ \\\"quoted\\\" \\\\\""));
    EXPECT_TRUE(HasLine(text, "\"AllOnes\"=dword:ffffffff"));
    EXPECT_TRUE(HasLine(text, "\"Big\"=hex(b):ef,cd,ab,89,67,45,23,01"));
    EXPECT_TRUE(HasLine(text, "\"EmptyBinary\"=hex:"));
    EXPECT_TRUE(HasLine(text, "@=\"the default value\""));
    EXPECT_TRUE(
        HasLine(text, "\"Expand\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,2f,00,78,00,00,00"));
    for (const std::string& line : Lines(text)) {
        EXPECT_LE(line.size(), 80u) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos);
    }
}

TEST(RegistryStore, NamesAreComparedWithoutRegardToCaseAndKeptAsWritten)
{
    TStoreFixture f;
    TRegistryStore store(f.Path);
    ASSERT_FALSE(store.WriteValue("Software\\Zanthory\\Settings", "Alpha", TRegValue::Dword(1)));
    ASSERT_FALSE(
        store.WriteValue("\\SOFTWARE\\zanthory\\\\settings\\", "ALPHA", TRegValue::Dword(2)));
    ASSERT_FALSE(store.WriteValue("Software\\Zanthory\\Settings", "Ärger", TRegValue::Dword(3)));

    TRegistryStore reread(f.Path);
    TRegValue value;
    ASSERT_FALSE(reread.ReadValue("software\\ZANTHORY\\Settings", "alpha", value));
    EXPECT_EQ(value, TRegValue::Dword(2));
    ASSERT_FALSE(reread.ReadValue("Software\\Zanthory\\Settings", "äRGER", value));
    EXPECT_EQ(value, TRegValue::Dword(3));
    std::vector<std::string> names;
    ASSERT_FALSE(reread.ValueNames("Software\\Zanthory\\Settings", names));
    EXPECT_EQ(names, (std::vector<std::string> {"Alpha", "Ärger"}));
    EXPECT_TRUE(HasLine(f.FileText(), "[HKEY_CURRENT_USER\\Software\\Zanthory\\Settings]"));
}

TEST(RegistryStore, KeysFormATreeThatIsClearedAndDeletedAsAsked)
{
    TStoreFixture f;
    TRegistryStore store(f.Path);

    // Nothing to delete: no file is written for it.
    EXPECT_FALSE(store.DeleteValue("A", "x"));
    EXPECT_FALSE(store.ClearKey("A"));
    EXPECT_FALSE(store.DeleteKey("A"));
    EXPECT_FALSE(f.Exists());
    TRegValue value;
    EXPECT_EQ(store.ReadValue("A", "x", value).Code, ENOENT);

    ASSERT_FALSE(store.CreateKey("A\\B\\Empty"));
    ASSERT_FALSE(store.WriteValue("A", "x", TRegValue::Dword(1)));
    ASSERT_FALSE(store.WriteValue("A", "y", TRegValue::Dword(2)));
    ASSERT_FALSE(store.WriteValue("A\\B", "z", TRegValue::Dword(3)));
    EXPECT_TRUE(store.KeyExists("A\\B"));
    EXPECT_TRUE(store.KeyExists("A\\B\\Empty"));
    EXPECT_FALSE(store.KeyExists("A\\C"));

    ASSERT_FALSE(store.ClearKey("A"));
    TRegistryStore reread(f.Path);
    std::vector<std::string> names;
    ASSERT_FALSE(reread.ValueNames("A", names));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(reread.ReadValue("A\\B", "z", value)) << "a cleared key keeps its subkeys";
    EXPECT_TRUE(reread.KeyExists("A\\B\\Empty")) << "an empty key is kept in the file";

    ASSERT_FALSE(store.DeleteValue("A\\B", "Z"));
    EXPECT_EQ(reread.ReadValue("A\\B", "z", value).Code, ENOENT);

    ASSERT_FALSE(store.DeleteKey("a\\b"));
    EXPECT_FALSE(reread.KeyExists("A\\B"));
    EXPECT_FALSE(reread.KeyExists("A\\B\\Empty"));
    EXPECT_TRUE(reread.KeyExists("A"));

    EXPECT_EQ(store.DeleteKey("\\").Code, EINVAL);
    EXPECT_EQ(store.WriteValue("A", "line\nbreak", TRegValue::Dword(1)).Code, EINVAL);
    EXPECT_EQ(store.CreateKey("A\\tab\there").Code, EINVAL);
    EXPECT_TRUE(reread.KeyExists("A"));
}

TEST(RegistryStore, AValueWrittenElsewhereIsSeenByAStoreThatHasReadTheFileBefore)
{
    TStoreFixture f;
    TRegistryStore reader(f.Path);
    TRegValue value;
    ASSERT_EQ(reader.ReadValue(SettingsKey, "FromChild", value).Code, ENOENT);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TRegistryStore writer(f.Path);
        bool ok = !writer.WriteValue(SettingsKey, "FromChild", TRegValue::String("hello"));
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_FALSE(reader.ReadValue(SettingsKey, "FromChild", value));
    EXPECT_EQ(value, TRegValue::String("hello"));

    // Several quick replacements of the same size: each one is seen.
    TRegistryStore writer(f.Path);
    for (std::uint32_t round = 0; round < 5; ++round) {
        ASSERT_FALSE(writer.WriteValue(SettingsKey, "Round", TRegValue::Dword(round)));
        ASSERT_FALSE(reader.ReadValue(SettingsKey, "Round", value));
        EXPECT_EQ(value, TRegValue::Dword(round));
    }
    // And the reader's own write keeps the writer's values.
    ASSERT_FALSE(reader.WriteValue(SettingsKey, "FromReader", TRegValue::Dword(9)));
    ASSERT_FALSE(writer.ReadValue(SettingsKey, "FromChild", value));
    ASSERT_FALSE(writer.ReadValue(SettingsKey, "FromReader", value));
}

TEST(RegistryStore, ConcurrentWritersInThreadsAndProcessesLoseNothing)
{
    TStoreFixture f;
    const int perWriter = 15;
    const int processes = 3;
    const int threads = 4;
    auto valueName = [](const std::string& writer, int i) {
        return writer + "-" + std::to_string(i);
    };

    // The processes are started before any thread exists, so each child is a plain copy.
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TRegistryStore store(f.Path);
            bool ok = true;
            for (int i = 0; i < perWriter; ++i) {
                std::string name = valueName("process" + std::to_string(p), i);
                ok = !store.WriteValue(SettingsKey, name, TRegValue::Dword(std::uint32_t(i))) && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }

    // Half the threads share one store object, the others have their own.
    TRegistryStore shared(f.Path);
    std::vector<std::thread> workers;
    std::vector<int> failures(threads, 0);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            TRegistryStore own(f.Path);
            TRegistryStore& store = t % 2 == 0 ? shared : own;
            for (int i = 0; i < perWriter; ++i) {
                std::string name = valueName("thread" + std::to_string(t), i);
                if (store.WriteValue(SettingsKey, name, TRegValue::Dword(std::uint32_t(i)))) {
                    ++failures[std::size_t(t)];
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(failures[std::size_t(t)], 0);
    }

    TRegistryStore reread(f.Path);
    std::vector<std::string> writers;
    for (int p = 0; p < processes; ++p) {
        writers.push_back("process" + std::to_string(p));
    }
    for (int t = 0; t < threads; ++t) {
        writers.push_back("thread" + std::to_string(t));
    }
    for (const std::string& writer : writers) {
        for (int i = 0; i < perWriter; ++i) {
            TRegValue value;
            ASSERT_FALSE(reread.ReadValue(SettingsKey, valueName(writer, i), value))
                << valueName(writer, i);
            EXPECT_EQ(value, TRegValue::Dword(std::uint32_t(i)));
        }
    }
    EXPECT_EQ(f.Leftovers(), std::vector<std::string> {});
}

TEST(RegistryStore, TheFormatWrittenByOtherEditorsIsRead)
{
    struct TCase {
        const char* Label;
        std::string Text;
    };
    const std::string utf16Text = [] {
        std::string utf8 = "Windows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\T]\r\n\"Name\"=\"Wert ä\"\r\n";
        std::string bytes = "\xFF\xFE";
        for (unsigned char c : utf8) {
            if (c == 0xC3) {
                continue;
            }
            bytes.push_back(char(c == 0xA4 ? 0xE4 : c)); // "ä" is U+00E4
            bytes.push_back('\0');
        }
        return bytes;
    }();
    const std::vector<TCase> cases = {
        {"CRLF lines, comments, a byte-order mark and wrapped hex",
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; a comment\r\n"
            "[HKEY_CURRENT_USER\\Software\\T]\r\n"
            "\"Name\"=\"Wert ä\"\r\n"
            "\"Wrapped\"=hex(2):41,00,\\\r\n  42,00,\\\r\n  00,00\r\n"
            "\"Upper\"=DWORD:0000002A\r\n"},
        {"UTF-16LE with its byte-order mark", utf16Text},
        {"the older header", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\T]\n\"Name\"=\"Wert ä\"\n"},
    };
    for (const TCase& c : cases) {
        TStoreFixture f;
        f.SetFileText(c.Text);
        TRegistryStore store(f.Path);
        EXPECT_FALSE(store.LoadedDamaged()) << c.Label;
        TRegValue value;
        ASSERT_FALSE(store.ReadValue("Software\\T", "Name", value)) << c.Label;
        EXPECT_EQ(value, TRegValue::String("Wert ä")) << c.Label;
    }
    TStoreFixture f;
    f.SetFileText(cases[0].Text);
    TRegistryStore store(f.Path);
    TRegValue value;
    ASSERT_FALSE(store.ReadValue("Software\\T", "Wrapped", value));
    EXPECT_EQ(value, TRegValue::ExpandString("AB"));
    ASSERT_FALSE(store.ReadValue("Software\\T", "Upper", value));
    EXPECT_EQ(value, TRegValue::Dword(42));
}

TEST(RegistryStore, ADamagedFileGivesWhatCanBeReadAndIsKeptAsideAtTheNextSave)
{
    const std::string damaged = "Windows Registry Editor Version 5.00\n\n"
                                "\"Orphan\"=dword:00000001\n"
                                "[HKEY_CURRENT_USER\\Software\\T]\n"
                                "\"Good1\"=dword:00000007\n"
                                "garbage that is no value at all\n"
                                "\"Truncated\"=hex:01,0\n"
                                "\"BadDword\"=dword:xyz\n"
                                "\"OddText\"=hex(1):41,00,42\n"
                                "\"Unclosed\"=\"no end\n"
                                "\"Good2\"=\"still here\"\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\T]\n"
                                "\"Foreign\"=dword:00000001\n"
                                "[HKEY_CURRENT_USER\\Software\\T\\Sub\n"
                                "[HKEY_CURRENT_USER\\Software\\T]\n"
                                "\"Good3\"=hex:0a,0b\n"
                                "\"CutAtTheEnd\"=hex:01,02,\\\n";
    TStoreFixture f;
    f.SetFileText(damaged);
    TRegistryStore store(f.Path);
    EXPECT_TRUE(store.LoadedDamaged());

    struct TExpect {
        const char* Name;
        bool Present;
        TRegValue Value;
    };
    const std::vector<TExpect> expected = {
        {"Good1", true, TRegValue::Dword(7)},
        {"Good2", true, TRegValue::String("still here")},
        {"Good3", true, TRegValue::Binary(Bytes({0x0a, 0x0b}))},
        {"Orphan", false, {}},
        {"Truncated", false, {}},
        {"BadDword", false, {}},
        {"OddText", false, {}},
        {"Unclosed", false, {}},
        {"Foreign", false, {}},
        {"CutAtTheEnd", false, {}},
    };
    auto check = [&](TRegistryStore& s) {
        for (const TExpect& e : expected) {
            TRegValue value;
            TSysError error = s.ReadValue("Software\\T", e.Name, value);
            EXPECT_EQ(!error, e.Present) << e.Name;
            if (e.Present && !error) {
                EXPECT_EQ(value, e.Value) << e.Name;
            }
        }
    };
    check(store);

    ASSERT_FALSE(store.WriteValue("Software\\T", "New", TRegValue::Dword(1)));
    EXPECT_EQ(f.Tree.ReadFile("config/Zanthory/Twinrake.reg.damaged"), damaged);
    TRegistryStore reread(f.Path);
    EXPECT_FALSE(reread.LoadedDamaged()) << f.FileText();
    check(reread);
    TRegValue value;
    EXPECT_FALSE(reread.ReadValue("Software\\T", "New", value));
}

namespace {

// Makes one kind of call fail with a chosen error; the others pass through.
class TFailingCalls : public platform::TSysCalls {
public:
    enum TWhich { fwWrite, fwFsync, fwRename, fwOpenTemporary, fwLock, fwRead };
    TFailingCalls(TWhich which, int code)
        : FWhich(which)
        , FCode(code)
    { }
    int Open(const char* path, int flags, mode_t mode) override
    {
        std::string text = path;
        if (FWhich == fwOpenTemporary && text.size() > 4 &&
            text.compare(text.size() - 4, 4, ".tmp") == 0) {
            return Fail();
        }
        return TSysCalls::Open(path, flags, mode);
    }
    ssize_t Write(int fd, const void* buffer, std::size_t count) override
    {
        // A disk that fills up part-way: the first bytes go, then the write fails.
        if (FWhich == fwWrite) {
            if (!FWroteSome && count > 8) {
                FWroteSome = true;
                return TSysCalls::Write(fd, buffer, 8);
            }
            return Fail();
        }
        return TSysCalls::Write(fd, buffer, count);
    }
    int Fsync(int fd) override { return FWhich == fwFsync ? Fail() : TSysCalls::Fsync(fd); }
    int Rename(const char* from, const char* to, unsigned flags) override
    {
        return FWhich == fwRename ? Fail() : TSysCalls::Rename(from, to, flags);
    }
    int Flock(int fd, int operation) override
    {
        return FWhich == fwLock ? Fail() : TSysCalls::Flock(fd, operation);
    }
    ssize_t PRead(int fd, void* buffer, std::size_t count, off_t offset) override
    {
        return FWhich == fwRead ? Fail() : TSysCalls::PRead(fd, buffer, count, offset);
    }

private:
    int Fail()
    {
        errno = FCode;
        return -1;
    }
    TWhich FWhich;
    int FCode;
    bool FWroteSome = false;
};

} // namespace

TEST(RegistryStore, AFailedSaveIsReportedAndLeavesTheOldFileAndValues)
{
    struct TCase {
        const char* Label;
        TFailingCalls::TWhich Which;
        int Code;
    };
    const std::vector<TCase> cases = {
        {"disk full while writing", TFailingCalls::fwWrite, ENOSPC},
        {"fsync fails", TFailingCalls::fwFsync, EIO},
        {"rename fails", TFailingCalls::fwRename, ENOSPC},
        {"temporary file cannot be made", TFailingCalls::fwOpenTemporary, EACCES},
        {"lock cannot be taken", TFailingCalls::fwLock, ENOLCK},
        {"old file cannot be read", TFailingCalls::fwRead, EIO},
    };
    for (const TCase& c : cases) {
        TStoreFixture f;
        TRegistryStore store(f.Path);
        ASSERT_FALSE(store.WriteValue(SettingsKey, "Keep", TRegValue::Dword(1)));
        const std::string before = f.FileText();
        {
            TFailingCalls failing(c.Which, c.Code);
            platform::TScopedSysCalls scope(failing);
            TRegistryBatch batch;
            batch.WriteValue(SettingsKey, "New", TRegValue::Dword(2));
            batch.DeleteValue(SettingsKey, "Keep");
            EXPECT_EQ(store.Apply(batch).Code, c.Code) << c.Label;
        }
        EXPECT_EQ(f.FileText(), before) << c.Label;
        EXPECT_EQ(f.Leftovers(), std::vector<std::string> {}) << c.Label;
        TRegValue value;
        EXPECT_EQ(store.ReadValue(SettingsKey, "New", value).Code, ENOENT) << c.Label;
        ASSERT_FALSE(store.ReadValue(SettingsKey, "Keep", value)) << c.Label;
        EXPECT_EQ(value, TRegValue::Dword(1)) << c.Label;
        // Once the disk is back the same write goes through.
        EXPECT_FALSE(store.WriteValue(SettingsKey, "New", TRegValue::Dword(2))) << c.Label;
    }
}

TEST(RegistryStore, ABatchIsOneSaveAndSkipsOnlyItsInvalidChanges)
{
    TStoreFixture f;
    TRegistryStore store(f.Path);
    TRegistryBatch batch;
    for (std::uint32_t i = 0; i < 50; ++i) {
        batch.WriteValue(SettingsKey, "Value" + std::to_string(i), TRegValue::Dword(i));
    }
    batch.WriteValue(SettingsKey, "bad\x01name", TRegValue::Dword(1));
    batch.ClearKey("Software\\Zanthory\\Twinrake\\Folders");
    batch.WriteValue("Software\\Zanthory\\Twinrake\\Folders", "0", TRegValue::String("/a/"));

    testing_support::TCountingRenames counting;
    {
        platform::TScopedSysCalls scope(counting);
        EXPECT_EQ(store.Apply(batch).Code, EINVAL);
    }
    EXPECT_EQ(counting.Renames, 1);

    TRegistryStore reread(f.Path);
    TRegValue value;
    for (std::uint32_t i = 0; i < 50; ++i) {
        ASSERT_FALSE(reread.ReadValue(SettingsKey, "Value" + std::to_string(i), value));
        EXPECT_EQ(value, TRegValue::Dword(i));
    }
    ASSERT_FALSE(reread.ReadValue("Software\\Zanthory\\Twinrake\\Folders", "0", value));
    EXPECT_EQ(value, TRegValue::String("/a/"));
}

TEST(RegistryStore, AStoreFileThatIsALinkIsReplacedThroughItsTargetWithItsModeKept)
{
    TStoreFixture f;
    const std::string target = f.Tree.AddFile("elsewhere/real.reg", "");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    f.Tree.AddFolder("config/Zanthory");
    f.Tree.AddSymlink("config/Zanthory/Twinrake.reg", target);
    {
        TRegistryStore store(f.Path);
        ASSERT_FALSE(store.WriteValue(SettingsKey, "A", TRegValue::Dword(7)));
        ASSERT_FALSE(store.WriteValue(SettingsKey, "B", TRegValue::String("x")));
    }
    EXPECT_TRUE(std::filesystem::is_symlink(f.Path)) << "the link stays a link";
    struct stat st { };
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(HasLine(f.Tree.ReadFile("elsewhere/real.reg"), "\"A\"=dword:00000007"));
    TRegistryStore reread(f.Path);
    TRegValue value;
    ASSERT_FALSE(reread.ReadValue(SettingsKey, "B", value));
    EXPECT_EQ(value, TRegValue::String("x"));
    EXPECT_EQ(f.Leftovers(), std::vector<std::string> {});
    for (const auto& entry : std::filesystem::directory_iterator(f.Tree.Path("elsewhere"))) {
        EXPECT_EQ(entry.path().filename().string(), "real.reg") << "nothing left beside it";
    }
}

TEST(RegistryStore, TheProgramsFileLiesInTheConfigFolder)
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(config, nullptr);
    std::string expected = std::string(config);
    if (expected.back() != '/') {
        expected += "/";
    }
    EXPECT_EQ(platform::DefaultRegistryPath(), expected + "Zanthory/Twinrake.reg");

    TStoreFixture f;
    TRegistryStore other(f.Path);
    {
        platform::TScopedRegistryStore scope(other);
        EXPECT_EQ(&platform::RegistryStore(), &other);
    }
    EXPECT_EQ(platform::RegistryStore().Path(), platform::DefaultRegistryPath());
}
