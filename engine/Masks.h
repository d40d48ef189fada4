#pragma once

#include <QStringView>

#include <cstdint>
#include <string>
#include <vector>

// File masks as the filter and the exclusion rules use them: "*" stands for any run of
// characters (also none), "?" for exactly one character, "[set]" for one character of the set
// and "[!set]" for one character not in it; a set lists characters and ranges ("[a-c0-9_]"),
// and a "-" at the start or end of a set stands for itself. Every other character stands for
// itself. "*" and "?" match "/" like any other character, so a mask can be tested against a
// whole path. Letter case is ignored (Unicode case folding); characters are Unicode code
// points, so "?" matches one letter also outside the Basic Multilingual Plane.
//
// A mask whose set is not closed ("[abc") or is empty ("[]", "[!]") is invalid: it matches
// nothing, and nothing is raised.
class TFileMask {
public:
    explicit TFileMask(QStringView mask);

    bool IsValid() const { return FValid; }
    // Whether the whole text matches the mask.
    bool Matches(QStringView text) const;

private:
    enum TTokenKind : std::uint8_t { tkChar, tkAnyOne, tkAnyRun, tkSet };
    struct TRange {
        char32_t First;
        char32_t Last;
    };
    struct TToken {
        TTokenKind Kind = tkChar;
        bool Negated = false;
        char32_t Char = 0;
        std::uint32_t FirstRange = 0; // into FRanges
        std::uint32_t RangeCount = 0;
    };

    bool MatchesOne(const TToken& token, char32_t c) const;

    std::vector<TToken> FTokens;
    std::vector<TRange> FRanges;
    bool FValid = true;
};

// Whether the whole text matches the mask (see TFileMask); false for an invalid mask.
bool MatchesMask(QStringView text, QStringView mask);
// The same for UTF-8 texts.
bool MatchesMask(const std::string& text, const std::string& mask);
