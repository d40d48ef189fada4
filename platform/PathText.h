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

inline std::string JoinPath(const std::string& folder, const std::string& name)
{
    return WithTrailingSlash(folder) + name;
}

} // namespace platform
