#include "engine/ZYUtils.h"

#include "platform/SysCalls.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sys/stat.h>

namespace {

constexpr std::string_view LongPathPrefix = "\\\\?\\";
constexpr std::string_view LongUncPrefix = "\\\\?\\UNC\\";
constexpr std::string_view LongUncMarker = "\\\\?\\UNC";

std::string_view WithoutLeadingBackslashes(std::string_view path)
{
    while (!path.empty() && path.front() == '\\') {
        path.remove_prefix(1);
    }
    return path;
}

// The path without trailing "/", except that the root stays "/".
std::string_view WithoutTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path;
}

bool IsBlank(std::string_view text)
{
    return std::all_of(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

} // namespace

std::string AddLongPathPrefix(const std::string& path)
{
    const std::string_view text = path;
    if (text.starts_with(LongPathPrefix)) {
        return path;
    }
    if (text.starts_with("\\\\")) {
        return std::string(LongUncPrefix) + std::string(WithoutLeadingBackslashes(text));
    }
    return std::string(LongPathPrefix) + std::string(WithoutLeadingBackslashes(text));
}

std::string RemoveLongPathPrefix(const std::string& path)
{
    const std::string_view text = path;
    if (text.starts_with(LongUncMarker)) {
        return "\\" + std::string(text.substr(LongUncMarker.size()));
    }
    if (text.starts_with(LongPathPrefix)) {
        return std::string(text.substr(LongPathPrefix.size()));
    }
    return path;
}

bool SamePath(std::string_view a, std::string_view b)
{
    return WithoutTrailingSlashes(a) == WithoutTrailingSlashes(b);
}

bool PathStartsWith(std::string_view text, std::string_view prefix)
{
    if (prefix.empty()) {
        return false;
    }
    const std::string_view folder = WithoutTrailingSlashes(prefix);
    if (!text.starts_with(folder)) {
        return false;
    }
    // The prefix must end at a component boundary of the text: /data/ holds /data/x but not
    // /data2/x. The root "/" already ends with one.
    return folder.back() == '/' || text.size() == folder.size() || text[folder.size()] == '/';
}

std::string GetFinalPath(const std::string& path)
{
    std::string item = path;
    if (item.size() > 1 && item.back() == '/') {
        item.pop_back();
    }
    struct statx info { };
    if (platform::Sys().Statx(AT_FDCWD, item.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &info) ==
            0 &&
        !S_ISLNK(info.stx_mode)) {
        return path;
    }
    // A symbolic link, or an item whose type cannot be read: resolve it fully. A missing item
    // or a dangling or looping link fails here.
    char* resolved = platform::Sys().RealPath(item.c_str());
    if (!resolved) {
        return {};
    }
    std::string target = resolved;
    std::free(resolved);
    if (target.empty() || target.back() != '/') {
        target += '/';
    }
    return target;
}

std::string GetParentFolder(const std::string& folder)
{
    if (folder.empty()) {
        return {};
    }
    const bool absolute = folder.front() == '/';
    std::vector<std::string_view> parts;
    auto step = [&](std::string_view part) {
        if (part.empty() || part == ".") {
            return;
        }
        if (part != "..") {
            parts.push_back(part);
        } else if (!parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else if (!absolute) {
            parts.push_back(part);
        }
        // ".." at the root stays at the root.
    };
    std::string_view rest = folder;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        step(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    step("..");

    std::string parent = absolute ? "/" : "";
    for (std::string_view part : parts) {
        parent += part;
        parent += '/';
    }
    return parent.empty() ? "./" : parent;
}

bool IsBitSet(std::int32_t value, std::uint8_t index)
{
    return (std::uint32_t(value) >> (index % 32) & 1u) != 0;
}

std::int32_t SetBit(std::int32_t value, std::uint8_t index)
{
    return std::int32_t(std::uint32_t(value) | (1u << (index % 32)));
}

std::int32_t ClearBit(std::int32_t value, std::uint8_t index)
{
    return std::int32_t(std::uint32_t(value) & ~(1u << (index % 32)));
}

std::string FormatByteSize(std::int64_t size)
{
    if (size < 1024) {
        return std::to_string(size) + " bytes";
    }
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    const std::uint64_t bytes = std::uint64_t(size);
    int unit = 0;
    unsigned shift = 10;
    while (shift < 60 && (bytes >> (shift + 10)) != 0) {
        shift += 10;
        ++unit;
    }
    const std::uint64_t whole = bytes >> shift;
    const std::uint64_t mask = (std::uint64_t(1) << shift) - 1;
    std::uint64_t rest = bytes & mask;
    // The decimals one at a time, cut rather than rounded; rest * 10 stays below 2^64 because
    // rest is below 2^60.
    auto nextDigit = [&]() {
        rest *= 10;
        const char digit = char('0' + (rest >> shift));
        rest &= mask;
        return digit;
    };
    std::string text = std::to_string(whole);
    if (whole < 10) {
        text += '.';
        text += nextDigit();
        text += nextDigit();
    } else if (whole < 100) {
        text += '.';
        text += nextDigit();
    }
    return text + " " + units[unit];
}

void SplitDelimitedText(std::vector<std::string>& list, std::string_view text, char delimiter)
{
    list.clear();
    if (text.empty()) {
        return;
    }
    std::size_t i = 0;
    const std::size_t n = text.size();
    for (;;) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
            while (i < n && text[i] != delimiter) {
                ++i;
            }
        } else {
            const std::size_t start = i;
            while (i < n && text[i] != delimiter) {
                ++i;
            }
            item.assign(text.substr(start, i - start));
        }
        list.push_back(std::move(item));
        if (i >= n) {
            break;
        }
        ++i; // past the delimiter
        if (i == n) {
            list.emplace_back();
            break;
        }
    }
    if (!list.empty() && IsBlank(list.back())) {
        list.pop_back();
    }
}

std::string FloatToTextWithSeparator(double value, char separator)
{
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "INF" : "-INF";
    }
    if (value == 0.0) {
        return "0";
    }
    // 15 significant digits, rounded, as d.dddddddddddddde<exponent>.
    std::array<char, 64> buffer {};
    const auto written = std::to_chars(
        buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific, 14);
    const std::string_view scientific(buffer.data(), std::size_t(written.ptr - buffer.data()));
    const std::size_t e = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, e)) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    std::string_view exponentText = scientific.substr(e + 1);
    if (!exponentText.empty() && exponentText.front() == '+') {
        exponentText.remove_prefix(1);
    }
    int exponent = 0;
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }

    std::string text = value < 0 ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        text += digits.front();
        if (digits.size() > 1) {
            text += separator;
            text += digits.substr(1);
        }
        text += 'E';
        text += std::to_string(exponent);
    } else if (exponent >= 0) {
        const std::size_t integerDigits = std::size_t(exponent) + 1;
        if (digits.size() <= integerDigits) {
            text += digits;
            text.append(integerDigits - digits.size(), '0');
        } else {
            text += digits.substr(0, integerDigits);
            text += separator;
            text += digits.substr(integerDigits);
        }
    } else {
        text += '0';
        text += separator;
        text.append(std::size_t(-exponent - 1), '0');
        text += digits;
    }
    return text;
}

QString NameText(std::string_view name)
{
    // Most names are plain ASCII, which maps one to one.
    if (std::all_of(
            name.begin(), name.end(), [](char c) { return (std::uint8_t(c) & 0x80) == 0; })) {
        return QString::fromLatin1(name.data(), qsizetype(name.size()));
    }
    const std::u16string units = platform::Utf16FromBytes(name);
    return QStringView(units).toString();
}

std::string NameBytes(QStringView text)
{
    return platform::BytesFromUtf16(std::u16string_view(text.utf16(), std::size_t(text.size())));
}

namespace {

// The length of the run of text from at on that holds no lone surrogate.
qsizetype ValidRunLength(QStringView text, qsizetype at)
{
    qsizetype end = at;
    while (end < text.size()) {
        const char16_t unit = text[end].unicode();
        if (unit < 0xD800 || unit > 0xDFFF) {
            ++end;
        } else if (unit <= 0xDBFF && end + 1 < text.size() && text[end + 1].isLowSurrogate()) {
            end += 2;
        } else {
            break;
        }
    }
    return end - at;
}

// The text with each run between lone surrogates mapped by map, the surrogates kept.
template<typename TMap>
QString MapValidRuns(QStringView text, TMap map)
{
    QString out;
    out.reserve(text.size());
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype run = ValidRunLength(text, at);
        if (run > 0) {
            out += map(text.mid(at, run).toString());
            at += run;
        } else {
            out += text[at];
            ++at;
        }
    }
    return out;
}

} // namespace

QString LowerCaseText(QStringView text)
{
    return MapValidRuns(text, [](const QString& run) { return run.toLower(); });
}

QString CaseFoldedText(QStringView text)
{
    return MapValidRuns(text, [](const QString& run) { return run.toCaseFolded(); });
}

std::vector<char32_t> CodePointsOf(QStringView text)
{
    std::vector<char32_t> points;
    points.reserve(std::size_t(text.size()));
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar unit = text[at];
        if (unit.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
            points.push_back(QChar::surrogateToUcs4(unit, text[at + 1]));
            ++at;
        } else {
            points.push_back(unit.unicode());
        }
    }
    return points;
}

namespace {

// The two texts of an edit distance without their common start and end: the longer text (A
// when both are as long) runs down the rows, the shorter across.
struct TTrimmedTexts {
    TTrimmedTexts(QStringView a, QStringView b)
        : Row(b.size() > a.size() ? b.utf16() : a.utf16())
        , Column(b.size() > a.size() ? a.utf16() : b.utf16())
        , N(std::max(a.size(), b.size()))
        , M(std::min(a.size(), b.size()))
    {
        while (M > 0 && Row[0] == Column[0]) {
            ++Row;
            ++Column;
            --N;
            --M;
        }
        while (M > 0 && Row[N - 1] == Column[M - 1]) {
            --N;
            --M;
        }
    }

    const char16_t* Row;
    const char16_t* Column;
    qsizetype N;
    qsizetype M;
};

} // namespace

std::int32_t EditDistance(QStringView a, QStringView b)
{
    const TTrimmedTexts trimmed(a, b);
    const char16_t* row = trimmed.Row;
    const char16_t* column = trimmed.Column;
    const qsizetype n = trimmed.N;
    const qsizetype m = trimmed.M;
    if (m == 0) {
        return std::int32_t(n);
    }

    // One row of m + 1 cells; names fit the buffer on the stack, longer texts get one allocation.
    std::array<std::int32_t, 256> local;
    std::vector<std::int32_t> heap;
    std::int32_t* cells = local.data();
    if (std::size_t(m) + 1 > local.size()) {
        heap.resize(std::size_t(m) + 1);
        cells = heap.data();
    }
    for (qsizetype j = 0; j <= m; ++j) {
        cells[j] = std::int32_t(j);
    }
    for (qsizetype i = 1; i <= n; ++i) {
        std::int32_t diagonal = std::int32_t(i - 1);
        std::int32_t left = std::int32_t(i);
        const char16_t rowUnit = row[i - 1];
        for (qsizetype j = 1; j <= m; ++j) {
            const char16_t columnUnit = column[j - 1];
            std::int32_t value;
            if (rowUnit == columnUnit ||
                (i > 1 && j > 1 && rowUnit == column[j - 2] && columnUnit == row[i - 2])) {
                value = diagonal;
            } else {
                value = 1 + std::min({left, diagonal, cells[j]});
            }
            left = value;
            diagonal = cells[j];
            cells[j] = value;
        }
    }
    return cells[m];
}

namespace {

// A bit vector of two machine words, for column texts of 65 to 128 units.
struct TWideBits {
    std::uint64_t Low;
    std::uint64_t High;
};

TWideBits operator&(TWideBits a, TWideBits b)
{
    return {a.Low & b.Low, a.High & b.High};
}

TWideBits operator|(TWideBits a, TWideBits b)
{
    return {a.Low | b.Low, a.High | b.High};
}

TWideBits operator^(TWideBits a, TWideBits b)
{
    return {a.Low ^ b.Low, a.High ^ b.High};
}

TWideBits operator~(TWideBits a)
{
    return {~a.Low, ~a.High};
}

TWideBits operator+(TWideBits a, TWideBits b)
{
    const std::uint64_t low = a.Low + b.Low;
    return {low, a.High + b.High + (low < a.Low ? 1u : 0u)};
}

// The operations the bit-parallel distance needs beyond the bitwise ones.
template<typename TBits>
struct TBitOps;

template<>
struct TBitOps<std::uint64_t> {
    static std::uint64_t Zero() { return 0; }
    static std::uint64_t One() { return 1; }
    static std::uint64_t Bit(qsizetype at) { return std::uint64_t(1) << at; }
    static std::uint64_t ShiftUp(std::uint64_t bits) { return bits << 1; }
    static bool IsSet(std::uint64_t bits, qsizetype at) { return ((bits >> at) & 1u) != 0; }
    // The bits from..to - 1 (0 <= from <= to <= 64).
    static std::uint64_t Range(qsizetype from, qsizetype to)
    {
        const auto below = [](qsizetype bits) {
            return bits >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << bits) - 1;
        };
        return below(to) & ~below(from);
    }
    static qsizetype Count(std::uint64_t bits) { return std::popcount(bits); }
};

template<>
struct TBitOps<TWideBits> {
    static TWideBits Zero() { return {0, 0}; }
    static TWideBits One() { return {1, 0}; }
    static TWideBits Bit(qsizetype at)
    {
        return at < 64 ? TWideBits {std::uint64_t(1) << at, 0}
                       : TWideBits {0, std::uint64_t(1) << (at - 64)};
    }
    static TWideBits ShiftUp(TWideBits bits) { return {bits.Low << 1, (bits.High << 1) | (bits.Low >> 63)}; }
    static bool IsSet(TWideBits bits, qsizetype at)
    {
        return at < 64 ? ((bits.Low >> at) & 1u) != 0 : ((bits.High >> (at - 64)) & 1u) != 0;
    }
    static TWideBits Range(qsizetype from, qsizetype to)
    {
        using Narrow = TBitOps<std::uint64_t>;
        return {Narrow::Range(std::min<qsizetype>(from, 64), std::min<qsizetype>(to, 64)),
            Narrow::Range(std::max<qsizetype>(from, 64) - 64, std::max<qsizetype>(to, 64) - 64)};
    }
    static qsizetype Count(TWideBits bits) { return std::popcount(bits.Low) + std::popcount(bits.High); }
};

// For each unit, the columns of the column text that hold it (bit j for column j).
template<typename TBits>
class TColumnMasks {
public:
    TColumnMasks(const char16_t* column, qsizetype m)
    {
        using Ops = TBitOps<TBits>;
        for (qsizetype j = 0; j < m; ++j) {
            const char16_t unit = column[j];
            if (unit < 128) {
                if (!Listed(unit)) {
                    FListed[unit / 64] |= std::uint64_t(1) << (unit % 64);
                    FAscii[unit] = Ops::Zero();
                }
                FAscii[unit] = FAscii[unit] | Ops::Bit(j);
                continue;
            }
            std::size_t at = 0;
            while (at < FOtherCount && FOtherUnits[at] != unit) {
                ++at;
            }
            if (at == FOtherCount) {
                FOtherUnits[at] = unit;
                FOtherMasks[at] = Ops::Zero();
                ++FOtherCount;
            }
            FOtherMasks[at] = FOtherMasks[at] | Ops::Bit(j);
        }
    }

    TBits Of(char16_t unit) const
    {
        if (unit < 128) {
            return Listed(unit) ? FAscii[unit] : TBitOps<TBits>::Zero();
        }
        for (std::size_t at = 0; at < FOtherCount; ++at) {
            if (FOtherUnits[at] == unit) {
                return FOtherMasks[at];
            }
        }
        return TBitOps<TBits>::Zero();
    }

private:
    bool Listed(char16_t unit) const { return ((FListed[unit / 64] >> (unit % 64)) & 1u) != 0; }

    // Only the entries of listed units are set; the others are never read.
    std::array<TBits, 128> FAscii;
    std::uint64_t FListed[2] = {0, 0};
    std::array<char16_t, 128> FOtherUnits;
    std::array<TBits, 128> FOtherMasks;
    std::size_t FOtherCount = 0;
};

// The distance of EditDistance's rows (the row text, n units) and columns (m units, at most the
// bits of TBits), a row at a time: bit j of the vectors holds whether the cell of column j is one
// more (vp) or one less (vn) than the cell above it. A cell takes the cell diagonally before it
// when its units are equal or swapped with their neighbours, which the match mask of a row
// carries; otherwise one more than the smallest of its three neighbours before it. Gives up with
// limit + 1 once the last column's cell is further above limit than there are rows left.
template<typename TBits>
std::int32_t BitParallelDistance(const char16_t* row, qsizetype n, const char16_t* column,
    qsizetype m, std::int32_t limit)
{
    using Ops = TBitOps<TBits>;
    const TColumnMasks<TBits> masks(column, m);
    TBits vp = ~Ops::Zero();
    TBits vn = Ops::Zero();
    TBits previous = Ops::Zero();
    const qsizetype top = m - 1;
    qsizetype score = m;
    for (qsizetype i = 0; i < n; ++i) {
        const TBits direct = masks.Of(row[i]);
        // Column j also matches when row i holds column j - 1's unit and row i - 1 column j's.
        const TBits eq = direct | (Ops::ShiftUp(direct) & previous);
        previous = direct;
        const TBits xv = eq | vn;
        const TBits xh = (((eq & vp) + vp) ^ vp) | eq;
        TBits hp = vn | ~(xh | vp);
        TBits hn = vp & xh;
        if (Ops::IsSet(hp, top)) {
            ++score;
        } else if (Ops::IsSet(hn, top)) {
            --score;
        }
        hp = Ops::ShiftUp(hp) | Ops::One();
        hn = Ops::ShiftUp(hn);
        vp = hn | ~(xv | hp);
        vn = hp & xv;
        // No way to the last cell passes below the cell of this row on the last cell's
        // diagonal, which lies as far left of the last column as there are rows left. Looked
        // at every few rows, since counting bits takes longer than a row.
        const qsizetype left = n - 1 - i;
        if (score - left > limit) {
            return limit + 1;
        }
        if (left < m && (left & 3) == 0) {
            const TBits beyond = Ops::Range(m - left, m);
            const qsizetype diagonal = score - Ops::Count(vp & beyond) + Ops::Count(vn & beyond);
            if (diagonal > limit) {
                return limit + 1;
            }
        }
    }
    return std::int32_t(score);
}

} // namespace

std::int32_t EditDistanceWithin(QStringView a, QStringView b, std::int32_t limit)
{
    if (std::max(a.size(), b.size()) - std::min(a.size(), b.size()) > limit) {
        return limit + 1;
    }
    const TTrimmedTexts trimmed(a, b);
    const char16_t* row = trimmed.Row;
    const char16_t* column = trimmed.Column;
    const qsizetype n = trimmed.N;
    const qsizetype m = trimmed.M;
    if (m == 0) {
        return n > limit ? limit + 1 : std::int32_t(n);
    }
    // The distance is the same either way round, and a row takes the same time whatever the
    // length of the columns: the longer text goes across when it fits the bits.
    if (n <= 64) {
        return BitParallelDistance<std::uint64_t>(column, m, row, n, limit);
    }
    if (m <= 64) {
        return BitParallelDistance<std::uint64_t>(row, n, column, m, limit);
    }
    if (n <= 128) {
        return BitParallelDistance<TWideBits>(column, m, row, n, limit);
    }
    if (m <= 128) {
        return BitParallelDistance<TWideBits>(row, n, column, m, limit);
    }
    return std::min(EditDistance(a, b), limit + 1);
}

double NameSimilarity(QStringView a, QStringView b)
{
    const qsizetype longer = std::max(a.size(), b.size());
    if (longer == 0) {
        return 1.0;
    }
    return 1.0 - double(EditDistance(a, b)) / double(longer);
}
