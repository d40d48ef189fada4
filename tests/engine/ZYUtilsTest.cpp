#include "engine/ZYUtils.h"

#include "platform/SysCalls.h"
#include "tests/support/TempTree.h"

#include <QString>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using testing_support::TTempTree;

namespace {

// The resolved form of a folder of the temporary tree, as realpath gives it, with "/".
std::string Canonical(const std::string& path)
{
    std::string text = std::filesystem::canonical(path).string();
    return text.back() == '/' ? text : text + "/";
}

// Lets the type of a path be read but makes every resolution fail.
class TFailingRealPath : public platform::TSysCalls {
public:
    char* RealPath(const char*) override
    {
        errno = ENAMETOOLONG;
        return nullptr;
    }
};

} // namespace

TEST(LongPathPrefix, AddingKeepsPrefixedPathsAndNormalisesLeadingBackslashes)
{
    const struct {
        const char* Path;
        const char* Expected;
    } cases[] = {
        {R"(\\?\C:\x)", R"(\\?\C:\x)"},
        {R"(\\?\UNC\server\share\f)", R"(\\?\UNC\server\share\f)"},
        {R"(\\server\share\f)", R"(\\?\UNC\server\share\f)"},
        {R"(\\\\server\share\f)", R"(\\?\UNC\server\share\f)"},
        {R"(C:\x)", R"(\\?\C:\x)"},
        {R"(\x)", R"(\\?\x)"},
        {"", R"(\\?\)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AddLongPathPrefix(c.Path), c.Expected) << c.Path;
    }
}

TEST(LongPathPrefix, RemovingUndoesEitherPrefixAndKeepsOtherPaths)
{
    const struct {
        const char* Path;
        const char* Expected;
    } cases[] = {
        {R"(\\?\UNC\server\share)", R"(\\server\share)"},
        {R"(\\?\C:\x)", R"(C:\x)"},
        {R"(C:\x)", R"(C:\x)"},
        {R"(\\server\share)", R"(\\server\share)"},
        {"/data/x", "/data/x"},
        {R"(\\?\)", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RemoveLongPathPrefix(c.Path), c.Expected) << c.Path;
    }
    for (const char* path : {R"(C:\x)", R"(\\server\share\f)"}) {
        EXPECT_EQ(RemoveLongPathPrefix(AddLongPathPrefix(path)), path);
    }
}

TEST(SamePath, ComparesExactlyAndIgnoresTrailingSlashes)
{
    const struct {
        const char* A;
        const char* B;
        bool Expected;
    } cases[] = {
        {"/data/Photos/", "/data/Photos/", true},
        {"/data/Photos/", "/data/Photos", true},
        {"/data/Photos", "/data/Photos//", true},
        {"/", "/", true},
        {"/", "//", true},
        {"/data/Photos/", "/data/photos/", false},
        {"/data/Photos/", "/data/Photos2/", false},
        {"/data/", "/data/x/", false},
        {"/data", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SamePath(c.A, c.B), c.Expected) << c.A << " | " << c.B;
        EXPECT_EQ(SamePath(c.B, c.A), c.Expected) << c.B << " | " << c.A;
    }
}

TEST(PathStartsWith, MatchesWholeComponentsOnlyAndNeverAnEmptyPrefix)
{
    const struct {
        const char* Text;
        const char* Prefix;
        bool Expected;
    } cases[] = {
        {"/data/x", "/data/", true},
        {"/data/x", "/data", true},
        {"/data/x/y.txt", "/data/x/", true},
        {"/data/", "/data/", true},
        {"/data", "/data/", true},
        {"/data2/x", "/data/", false},
        {"/data2/x", "/data", false},
        {"/data/x", "/Data/", false},
        {"/Data/x", "/data/", false},
        {"/data/x", "", false},
        {"", "", false},
        {"/da", "/data/", false},
        {"/data/x", "/data/x/y/", false},
        {"/anything/at/all", "/", true},
        {"relative/x", "/", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathStartsWith(c.Text, c.Prefix), c.Expected) << c.Text << " | " << c.Prefix;
    }
}

TEST(GetFinalPath, PlainItemsStayAsGivenAndLinksResolveToTheirTarget)
{
    TTempTree tree;
    const std::string target = tree.AddFolder("target");
    tree.AddFolder("target/sub");
    tree.AddFile("target/file.txt", "x");
    tree.AddSymlink("absolute", Canonical(target));
    tree.AddSymlink("relative", "target");
    tree.AddSymlink("chain", "relative");
    tree.AddSymlink("filelink", "target/file.txt");
    tree.AddSymlink("dangling", "nowhere");
    tree.AddSymlink("loop", "loop");
    const std::string resolved = Canonical(target);
    std::string plain = tree.Path("target");
    if (plain.back() == '/') {
        plain.pop_back();
    }

    const struct {
        std::string Path;
        std::string Expected;
    } cases[] = {
        {plain, plain},
        {plain + "/", plain + "/"},
        // A folder reached through a link in an earlier component is no link itself.
        {tree.Path("relative/sub"), tree.Path("relative/sub")},
        {tree.Path("target/file.txt"), tree.Path("target/file.txt")},
        {tree.Path("absolute"), resolved},
        {tree.Path("absolute") + "/", resolved},
        {tree.Path("relative"), resolved},
        {tree.Path("chain") + "/", resolved},
        {tree.Path("filelink"), resolved + "file.txt/"},
        {tree.Path("missing"), ""},
        {tree.Path("missing") + "/", ""},
        {tree.Path("dangling"), ""},
        {tree.Path("loop"), ""},
        {"/", "/"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetFinalPath(c.Path), c.Expected) << c.Path;
    }
}

TEST(GetFinalPath, ALinkThatCannotBeResolvedGivesTheEmptyText)
{
    TTempTree tree;
    const std::string target = tree.AddFolder("target");
    tree.AddSymlink("link", "target");
    TFailingRealPath failing;
    platform::TScopedSysCalls scope(failing);
    EXPECT_EQ(GetFinalPath(tree.Path("link")), "");
    // Plain folders need no resolution, so they are unaffected.
    EXPECT_EQ(GetFinalPath(target), target);
}

TEST(GetParentFolder, WorksOnTheTextWithATrailingSlash)
{
    const struct {
        const char* Folder;
        const char* Expected;
    } cases[] = {
        {"/a/b/", "/a/"},
        {"/a/b", "/a/"},
        {"/a/", "/"},
        {"/a", "/"},
        {"/", "/"},
        {"//", "/"},
        {"/a/./b/../c/", "/a/"},
        {"/a/b/..", "/"},
        {"/..", "/"},
        {"//a//b//", "/a/"},
        {"/home/user/My Documents/", "/home/user/"},
        {"", ""},
        {"a/b", "a/"},
        {"a", "./"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetParentFolder(c.Folder), c.Expected) << c.Folder;
    }
}

TEST(BitMasks, IndicesWrapAtThirtyTwoAndReachTheSignBit)
{
    constexpr std::int32_t signBit = std::numeric_limits<std::int32_t>::min();
    EXPECT_TRUE(IsBitSet(1, 32));
    EXPECT_TRUE(IsBitSet(1, 0));
    EXPECT_FALSE(IsBitSet(1, 1));
    EXPECT_FALSE(IsBitSet(2, 0));
    EXPECT_TRUE(IsBitSet(signBit, 31));
    EXPECT_TRUE(IsBitSet(signBit, 255));
    EXPECT_FALSE(IsBitSet(std::numeric_limits<std::int32_t>::max(), 31));

    EXPECT_EQ(SetBit(0, 31), signBit);
    EXPECT_EQ(SetBit(0, 63), signBit);
    EXPECT_EQ(SetBit(0, 32), 1);
    EXPECT_EQ(SetBit(5, 0), 5);
    EXPECT_EQ(SetBit(4, 1), 6);

    EXPECT_EQ(ClearBit(-1, 31), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ClearBit(-1, 32), -2);
    EXPECT_EQ(ClearBit(6, 1), 4);
    EXPECT_EQ(ClearBit(4, 0), 4);
    for (std::uint8_t index = 0; index < 64; ++index) {
        EXPECT_TRUE(IsBitSet(SetBit(0, index), index));
        EXPECT_FALSE(IsBitSet(ClearBit(-1, index), index));
    }
}

TEST(FormatByteSize, CutsToThreeSignificantDigitsWithTheLargestUnit)
{
    const struct {
        std::int64_t Size;
        const char* Expected;
    } cases[] = {
        {0, "0 bytes"},
        {1, "1 bytes"},
        {1023, "1023 bytes"},
        {-5, "-5 bytes"},
        {1024, "1.00 KB"},
        {1340, "1.30 KB"},
        {10239, "9.99 KB"},
        {10240, "10.0 KB"},
        {23506, "22.9 KB"},
        {102399, "99.9 KB"},
        {102400, "100 KB"},
        {1048575, "1023 KB"},
        {1048576, "1.00 MB"},
        {1572864, "1.50 MB"},
        {std::int64_t(3) << 29, "1.50 GB"},
        {std::int64_t(1) << 40, "1.00 TB"},
        {std::int64_t(1) << 50, "1.00 PB"},
        {std::int64_t(1) << 60, "1.00 EB"},
        {std::numeric_limits<std::int64_t>::max(), "7.99 EB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatByteSize(c.Size), c.Expected) << c.Size;
    }
}

TEST(SplitDelimitedText, SplitsAtEveryDelimiterAndDropsOnlyABlankLastItem)
{
    using TItems = std::vector<std::string>;
    const struct {
        const char* Text;
        char Delimiter;
        TItems Expected;
    } cases[] = {
        {"a;b;", ';', {"a", "b"}},
        {"a; ;", ';', {"a", " "}},
        {"a;b", ';', {"a", "b"}},
        {"a;;b", ';', {"a", "", "b"}},
        {" a ; b ", ';', {" a ", " b "}},
        {"a; ", ';', {"a"}},
        {"", ';', {}},
        {";", ';', {""}},
        {"\"x;y\";z", ';', {"x;y", "z"}},
        {"\"say \"\"hi\"\"\";b", ';', {"say \"hi\"", "b"}},
        {"\"quoted\"rest;b", ';', {"quoted", "b"}},
        {"\"open;end", ';', {"open;end"}},
        {"/tmp/a.csv;/tmp/b.xml", ';', {"/tmp/a.csv", "/tmp/b.xml"}},
        {"a|b c|", '|', {"a", "b c"}},
    };
    for (const auto& c : cases) {
        TItems items = {"left over"};
        SplitDelimitedText(items, c.Text, c.Delimiter);
        EXPECT_EQ(items, c.Expected) << c.Text;
    }
}

TEST(FloatToTextWithSeparator, WritesFifteenSignificantDigitsWhateverTheLocale)
{
    const struct {
        double Value;
        char Separator;
        const char* Expected;
    } cases[] = {
        {95.0, '.', "95"},
        {double(0.95f), '.', "0.949999988079071"},
        {0.95, ',', "0,95"},
        {0.1 + 0.2, '.', "0.3"},
        {1.0 / 3.0, '.', "0.333333333333333"},
        {2.0 / 3.0, '.', "0.666666666666667"},
        {-2.5, '.', "-2.5"},
        {0.0, '.', "0"},
        {-0.0, '.', "0"},
        {100.0, '.', "100"},
        {123456789012345.0, '.', "123456789012345"},
        {99.999999999999999, '.', "100"},
        {0.00001, '.', "0.00001"},
        {-0.000012345, '.', "-0.000012345"},
        {0.0000015, '.', "1.5E-6"},
        {1e15, '.', "1E15"},
        {1.25e20, ',', "1,25E20"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FloatToTextWithSeparator(c.Value, c.Separator), c.Expected) << c.Value;
    }
}

// Names that are not valid UTF-8: every stray byte keeps a character of its own.
TEST(NameText, DifferentNamesNeverGiveEqualTextsAndEveryTextGivesItsBytesBack)
{
    const std::vector<std::string> names = {
        "",
        "plain.txt",
        "\xC3\xA9t\xC3\xA9.txt", // valid UTF-8: "été.txt"
        "\xE9t\xE9.txt", // Latin-1 "été.txt"
        "\xE0t\xE0.txt", // Latin-1 "àtà.txt"
        "\xEF\xBF\xBD"
        "t.txt", // a real U+FFFD
        "\xFF"
        "t.txt",
        "\xC3", // a sequence cut short
        "\xC3\xA9\xA9", // a stray continuation byte after a valid one
        "\xF0\x9F\x98\x80"
        "\x80", // a character beyond the first plane, then a stray byte
        "\xED\xA0\x80", // an encoded surrogate is no valid UTF-8
        "A\xC9",
        "a\xC9",
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(i);
        const QString text = NameText(names[i]);
        EXPECT_EQ(NameBytes(text), names[i]);
        for (std::size_t j = 0; j < names.size(); ++j) {
            EXPECT_EQ(text == NameText(names[j]), i == j) << j;
        }
    }
    EXPECT_EQ(NameText("\xC3\xA9t\xC3\xA9"), QStringView(u"\u00E9t\u00E9"));
    // Lower-casing and case folding change the letters, never a stray byte.
    EXPECT_EQ(NameBytes(LowerCaseText(NameText("A\xC9"))), "a\xC9");
    EXPECT_EQ(NameBytes(CaseFoldedText(NameText("\xC9T\xC9"))), "\xC9t\xC9");
    EXPECT_NE(LowerCaseText(NameText("\xE9T\xE9")), LowerCaseText(NameText("\xE0T\xE0")));
    EXPECT_EQ(NameBytes(LowerCaseText(NameText("\xC3\x89T\xC9"))), "\xC3\xA9t\xC9");
    EXPECT_EQ(
        CodePointsOf(NameText("\xC9\xF0\x9F\x98\x80")), (std::vector<char32_t> {0xDCC9, 0x1F600}));
    EXPECT_LT(NameSimilarity(NameText("\xE9t\xE9.txt"), NameText("\xE0t\xE0.txt")), 1.0);
}

TEST(EditDistance, CountsEditsWithAdjacentSwapsAsOne)
{
    const struct {
        const char16_t* A;
        const char16_t* B;
        std::int32_t Expected;
    } cases[] = {
        {u"ab", u"ba", 1},
        {u"abc", u"acb", 1},
        {u"abcd", u"badc", 2},
        {u"ca", u"abc", 3},
        {u"sunday", u"saturday", 3},
        {u"abc", u"", 3},
        {u"", u"", 0},
        {u"same", u"same", 0},
        {u"aca", u"cac", 1},
        {u"kitten", u"sitting", 3},
        {u"Photo", u"photo", 1},
        // UTF-16 code units: one accented letter, case of non-ASCII letters, and characters
        // outside the basic plane, which take two units each.
        {u"café.jpg", u"cafe.jpg", 1},
        {u"Äpfel", u"äpfel", 1},
        {u"x\U0001F600", u"x\U0001F601", 1},
        {u"\U0001F600", u"", 2},
        {u"日本語.txt", u"日本人.txt", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            QString::fromUtf16(c.A).toStdString() + " | " + QString::fromUtf16(c.B).toStdString());
        EXPECT_EQ(EditDistance(c.A, c.B), c.Expected);
        if (std::char_traits<char16_t>::length(c.A) != std::char_traits<char16_t>::length(c.B)) {
            // The longer text takes the same role whichever side it comes from.
            EXPECT_EQ(EditDistance(c.B, c.A), c.Expected);
        }
    }
}

TEST(EditDistance, TextsLongerThanAShortNameAreMeasuredInFull)
{
    const QString as(300, u'a');
    const QString bs(300, u'b');
    EXPECT_EQ(EditDistance(as, bs), 300);
    EXPECT_EQ(EditDistance(as, bs.left(299)), 300);
    QString changed = as;
    changed[0] = u'x';
    changed[299] = u'y';
    EXPECT_EQ(EditDistance(as, changed), 2);
    EXPECT_EQ(EditDistance(as + u'z', u'z' + as), 2);
}

// Texts for the bounded distance: a few units, so that equal units, swapped neighbours and runs
// of one unit come often; one of them outside ASCII and a pair of surrogates. The second text is
// the first with some edits, or one of its own.
TEST(EditDistanceWithin, IsTheDistanceUpToTheLimitAndAboveItBeyond)
{
    std::mt19937 random(19);
    const std::u16string units = u"abcab.\u00e9\U0001F600";
    auto below = [&random](std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
    };
    auto randomText = [&](std::size_t length) {
        QString text;
        for (std::size_t k = 0; k < length; ++k) {
            text += QChar(units[below(units.size())]);
        }
        return text;
    };
    // Lengths around the one and two machine words of the shorter text, after the common start
    // and end are dropped.
    const std::vector<std::size_t> lengths = {0, 1, 2, 5, 17, 40, 63, 64, 65, 66, 100, 127, 128,
        129, 130, 150};
    for (std::int32_t round = 0; round < 1500; ++round) {
        const QString a = randomText(lengths[below(lengths.size())]);
        QString b;
        if (below(3) == 0) {
            b = randomText(lengths[below(lengths.size())]);
        } else {
            b = a;
            for (std::size_t edits = below(12); edits > 0; --edits) {
                const qsizetype at = b.isEmpty() ? 0 : qsizetype(below(std::size_t(b.size())));
                switch (below(4)) {
                case 0:
                    b.insert(at, QChar(units[below(units.size())]));
                    break;
                case 1:
                    b.remove(at, 1);
                    break;
                case 2:
                    if (at + 1 < b.size()) {
                        std::swap(b[at], b[at + 1]);
                    }
                    break;
                default:
                    if (at < b.size()) {
                        b[at] = QChar(units[below(units.size())]);
                    }
                    break;
                }
            }
        }
        const std::int32_t distance = EditDistance(a, b);
        for (const std::int32_t limit :
            {0, 1, distance - 1, distance, distance + 1, distance + 7, std::int32_t(a.size())}) {
            if (limit < 0) {
                continue;
            }
            for (const bool swapped : {false, true}) {
                const std::int32_t within =
                    swapped ? EditDistanceWithin(b, a, limit) : EditDistanceWithin(a, b, limit);
                if (distance <= limit) {
                    ASSERT_EQ(within, distance) << "round " << round << ", limit " << limit;
                } else {
                    ASSERT_GT(within, limit) << "round " << round << ", limit " << limit;
                }
            }
        }
    }
}

TEST(NameSimilarity, IsOneMinusTheDistanceOverTheLongerLength)
{
    const struct {
        const char16_t* A;
        const char16_t* B;
        double Expected;
    } cases[] = {
        {u"", u"", 1.0},
        {u"photo1.jpg", u"photo2.jpg", 0.9},
        {u"a", u"b", 0.0},
        {u"abc", u"", 0.0},
        {u"same.txt", u"same.txt", 1.0},
        {u"sunday", u"saturday", 1.0 - 3.0 / 8.0},
        {u"日本語.txt", u"日本人.txt", 1.0 - 1.0 / 7.0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(NameSimilarity(c.A, c.B), c.Expected)
            << QString::fromUtf16(c.A).toStdString() << " | "
            << QString::fromUtf16(c.B).toStdString();
    }
}
