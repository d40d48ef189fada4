// Writes a few store files into the folder given as the only argument: the seed corpus of the
// store text's fuzz target, made by the store's own writer, plus the forms other editors of
// the format write (UTF-16 with a byte-order mark, values over several lines, deletions).
#include "platform/RegText.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool Write(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return bool(out);
}

std::string Utf16WithMark(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    using platform::TRegValue;

    platform::TRegKeyNode root;
    bool changed = false;
    platform::TRegKeyNode& settings = platform::MakeKey(
        root, platform::SplitKeyPath("Software\\Zanthory\\Twinrake\\Settings"), changed);
    platform::SetValue(
        settings, "Similarity", TRegValue::Binary(std::string("\0\0\0\0\0\xC0W@", 8)));
    platform::SetValue(settings, "FindMode", TRegValue::Dword(1));
    platform::SetValue(settings, "LastFolder", TRegValue::String("/data/a \"quoted\" \\ folder/"));
    platform::SetValue(settings, "Latin", TRegValue::String("/data/\xE9t\xE9/"));
    platform::SetValue(settings, "Lines", TRegValue::String("one\ntwo"));
    platform::SetValue(settings, "Path", TRegValue::ExpandString("%HOME%/x"));
    platform::SetValue(settings, "Big", TRegValue::Qword(0x0123456789ABCDEFull));
    platform::SetValue(settings, "", TRegValue::String("default"));
    platform::SetValue(settings, "Long", TRegValue::Binary(std::string(200, '\x5A')));
    platform::TRegKeyNode& grid = platform::MakeKey(
        root, platform::SplitKeyPath("Software\\Zanthory\\Twinrake\\Grid\\Columns Sizes"), changed);
    platform::SetValue(grid, "0", TRegValue::Dword(120));
    bool written = Write(folder + "store.reg", platform::FormatRegText(root));

    const std::string editor = "Windows Registry Editor Version 5.00\r\n\r\n"
                               "; a comment\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                               "\"Text\"=\"value\"\r\n"
                               "\"Gone\"=-\r\n"
                               "\"Hex\"=hex(7):41,00,42,00,\\\r\n"
                               "  00,00,00,00\r\n"
                               "[-HKEY_CURRENT_USER\\Software\\Removed]\r\n"
                               "[HKEY_LOCAL_MACHINE\\Elsewhere]\r\n"
                               "@=dword:0000002a\r\n";
    written &= Write(folder + "editor.reg", editor);
    written &= Write(folder + "utf16.reg", Utf16WithMark(editor));
    written &= Write(folder + "old.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"y\"\n");
    return written ? 0 : 1;
}
