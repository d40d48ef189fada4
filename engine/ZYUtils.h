#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Path, bit-mask, size-text, number-text and name-similarity helpers. All are reentrant, keep no
// state and may be called from any thread. Paths are byte strings as the file system gives them;
// folder texts end with "/".

// Long-path prefixes of the other platform's paths ("\\?\" and "\\?\UNC\"), kept as plain text
// functions for paths that come from there; no file operation of this program applies them.
// AddLongPathPrefix: a path that has a prefix stays as it is; "\\server\share" gets
// "\\?\UNC\server\share"; any other path loses its leading backslashes and gets "\\?\".
std::string AddLongPathPrefix(const std::string& path);
// The path without its long-path prefix ("\\?\UNC\server" gives "\\server"); unchanged when it
// has none.
std::string RemoveLongPathPrefix(const std::string& path);

// The one pair of path comparisons of the program. Paths compare exactly (letter case counts),
// and a folder contains another only by whole path components.
// SamePath: equal apart from trailing "/" ("/data/x" and "/data/x/" are the same folder).
bool SamePath(std::string_view a, std::string_view b);
// True when the prefix is not empty and the text is the prefix's folder or lies inside it:
// ("/data/x", "/data/") and ("/data/x", "/data") are true, ("/data2/x", "/data") is false. A
// trailing "/" on the prefix does not matter.
bool PathStartsWith(std::string_view text, std::string_view prefix);

// The target of a symbolic link (of a folder or a file), fully resolved, with a trailing "/";
// the path unchanged when it is no symbolic link; the empty text when it does not exist or
// cannot be resolved.
std::string GetFinalPath(const std::string& path);

// The parent folder of a folder, worked out from the text alone ("." and ".." resolved), with a
// trailing "/": "/a/b/" and "/a/b" give "/a/"; the parent of "/" is "/". An empty text gives an
// empty text.
std::string GetParentFolder(const std::string& folder);

// Bit masks: the bit index is taken modulo 32, so index 32 is bit 0 and index 31 the sign bit.
bool IsBitSet(std::int32_t value, std::uint8_t index);
std::int32_t SetBit(std::int32_t value, std::uint8_t index);
std::int32_t ClearBit(std::int32_t value, std::uint8_t index);

// A short size text: "N bytes" below 1024, else three significant digits (cut, not rounded)
// with KB, MB, GB, TB, PB or EB: 1340 gives "1.30 KB", 23506 "22.9 KB". From 1000 to 1023 of a
// unit the whole number is shown ("1023 KB").
std::string FormatByteSize(std::int64_t size);

// Fills the list with the items of the text, split at every delimiter (blanks stay inside the
// items). An item that begins with a double quote runs to its closing quote, may hold the
// delimiter, and reads two quotes inside as one; characters between the closing quote and the
// next delimiter are dropped. An empty text gives no item; a last item that is empty or blank is
// dropped ("a;b;" gives a and b), an earlier one is kept ("a; ;" gives "a" and " ").
void SplitDelimitedText(std::vector<std::string>& list, std::string_view text, char delimiter);

// The value with 15 significant digits, trailing zeros and an unneeded separator dropped, the
// given decimal separator and no thousands separators, whatever the locale: fixed notation from
// 0.00001 in magnitude up to 15 integer digits, scientific ("1.5E-7", "1E15") otherwise.
std::string FloatToTextWithSeparator(double value, char separator);

// A file name or path (bytes) as text, for comparing, lower-casing, measuring or showing it:
// valid UTF-8 as the characters it encodes, and each byte that is not part of valid UTF-8 as a
// character of its own (a lone surrogate that valid text never holds). So different names never
// give equal texts, and equal names always do; NameBytes gives the bytes back, also after
// lower-casing (the stand-in characters have no case).
QString NameText(std::string_view name);
std::string NameBytes(QStringView text);
// Lower-casing and case folding that keep a lone surrogate (the stand-in of a stray byte) as
// it is; Qt's own would turn it into U+FFFD and make different names equal.
QString LowerCaseText(QStringView text);
QString CaseFoldedText(QStringView text);
// The code points of the text, a lone surrogate as its own value.
std::vector<char32_t> CodePointsOf(QStringView text);

// The edit distance of two texts over UTF-16 code units, letter case counting: insertions,
// deletions and substitutions cost 1, and a pair of neighbouring units swapped costs 1 (the
// swap is taken from the cell diagonally before, which makes "aca" and "cac" differ by 1). The
// common start and end are dropped first; the rest needs one row of cells as long as the shorter
// text.
std::int32_t EditDistance(QStringView a, QStringView b);
// EditDistance when it is at most limit (limit >= 0), else some value above limit. Gives up as
// soon as the distance is sure to pass the limit, and works on one machine word for every 64
// units of the shorter text (names up to 128 units after their common start and end; longer
// texts take EditDistance's way).
std::int32_t EditDistanceWithin(QStringView a, QStringView b, std::int32_t limit);
// 1 - EditDistance / the longer length; 1.0 when both are empty.
double NameSimilarity(QStringView a, QStringView b);

// The system services of the same unit.
#if __has_include("engine/SystemServices.h")
#include "engine/SystemServices.h"
#endif
