#pragma once

#include <string>

namespace platform {

// Small text operations on paths, shared by the platform layer. They never touch the file
// system.

// The path with one trailing "/" added when it has none; an empty text stays empty.
inline std::string WithTrailingSlash(std::string path)
{
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path;
}

// The path without its trailing "/"s; the root "/" stays "/".
inline std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The folder part of a path, without a trailing "/": "." for a bare name, "/" for a name in
// the root.
inline std::string ParentFolder(const std::string& path)
{
    std::string trimmed = WithoutTrailingSlashes(path);
    std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return trimmed.substr(0, slash);
}

// The path as a URI escapes it (trash info files, file: URIs): letters, digits, "-._~" and
// "/" stay, every other byte becomes "%" and two upper-case hex digits, so names that are not
// UTF-8 keep their bytes.
inline std::string PercentEncode(const std::string& path)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
            byte == '~' || byte == '/';
        if (keep) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += Hex[byte >> 4];
            encoded += Hex[byte & 0x0F];
        }
    }
    return encoded;
}

inline std::string JoinPath(const std::string& folder, const std::string& name)
{
    return WithTrailingSlash(folder) + name;
}

} // namespace platform
