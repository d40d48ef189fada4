#include "engine/Masks.h"

#include "engine/ZYUtils.h"

#include <QList>
#include <QString>

namespace {

// The text case-folded, as code points.
std::vector<char32_t> FoldedCodePoints(QStringView text)
{
    return CodePointsOf(CaseFoldedText(text));
}

} // namespace

TFileMask::TFileMask(QStringView mask)
{
    const std::vector<char32_t> chars = FoldedCodePoints(mask);
    const std::size_t n = chars.size();
    std::size_t i = 0;
    while (i < n) {
        const char32_t c = chars[i];
        TToken token;
        if (c == U'*') {
            token.Kind = tkAnyRun;
            ++i;
            // Runs of "*" are one "*".
            while (i < n && chars[i] == U'*') {
                ++i;
            }
        } else if (c == U'?') {
            token.Kind = tkAnyOne;
            ++i;
        } else if (c == U'[') {
            token.Kind = tkSet;
            ++i;
            if (i < n && chars[i] == U'!') {
                token.Negated = true;
                ++i;
            }
            token.FirstRange = std::uint32_t(FRanges.size());
            bool closed = false;
            while (i < n) {
                const char32_t first = chars[i];
                if (first == U']') {
                    closed = true;
                    ++i;
                    break;
                }
                // "x-y" is a range unless the "-" is the set's last character.
                if (i + 2 < n && chars[i + 1] == U'-' && chars[i + 2] != U']') {
                    FRanges.push_back({first, chars[i + 2]});
                    i += 3;
                } else {
                    FRanges.push_back({first, first});
                    ++i;
                }
            }
            token.RangeCount = std::uint32_t(FRanges.size()) - token.FirstRange;
            if (!closed || token.RangeCount == 0) {
                FValid = false;
                FTokens.clear();
                FRanges.clear();
                return;
            }
        } else {
            token.Kind = tkChar;
            token.Char = c;
            ++i;
        }
        FTokens.push_back(token);
    }
}

bool TFileMask::MatchesOne(const TToken& token, char32_t c) const
{
    switch (token.Kind) {
    case tkChar:
        return token.Char == c;
    case tkAnyOne:
        return true;
    case tkSet: {
        bool inSet = false;
        for (std::uint32_t k = 0; k < token.RangeCount && !inSet; ++k) {
            const TRange& range = FRanges[token.FirstRange + k];
            inSet = c >= range.First && c <= range.Last;
        }
        return inSet != token.Negated;
    }
    case tkAnyRun:
        break;
    }
    return false;
}

bool TFileMask::Matches(QStringView text) const
{
    if (!FValid) {
        return false;
    }
    const std::vector<char32_t> chars = FoldedCodePoints(text);
    const std::size_t n = chars.size();
    const std::size_t m = FTokens.size();
    constexpr std::size_t None = std::size_t(-1);

    // Every token but "*" takes exactly one character, so on a mismatch it is enough to go
    // back to the last "*" and let it take one character more.
    std::size_t t = 0;
    std::size_t k = 0;
    std::size_t starToken = None;
    std::size_t starText = 0;
    while (t < n) {
        if (k < m && FTokens[k].Kind == tkAnyRun) {
            starToken = k++;
            starText = t;
        } else if (k < m && MatchesOne(FTokens[k], chars[t])) {
            ++k;
            ++t;
        } else if (starToken != None) {
            k = starToken + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (k < m && FTokens[k].Kind == tkAnyRun) {
        ++k;
    }
    return k == m;
}

bool MatchesMask(QStringView text, QStringView mask)
{
    return TFileMask(mask).Matches(text);
}

bool MatchesMask(const std::string& text, const std::string& mask)
{
    return MatchesMask(NameText(text), NameText(mask));
}
