#include "MorvoCore/Platform/Path.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace morvo {

std::string UnresolvablePathError::description() const {
    return "The relative path \u201C" + path() + "\u201D can\u2019t be used because the current folder is no longer available.";
}

} // namespace morvo

namespace morvo::path {

std::string normalize(std::string_view p) {
    std::string out;
    out.reserve(p.size());
    for (char c : p) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out.push_back(c);
    }
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::string absolute(std::string_view p) {
    if (!p.empty() && p.front() == '/') return normalize(p);
    // Any length; a deleted directory fails with ENOENT (older kernels gave "(unreachable)/...").
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    if (!cwd || cwd.get()[0] != '/') throw UnresolvablePathError(cwd ? ENOENT : errno, std::string(p));
    const std::string base(cwd.get());
    if (p.empty()) return normalize(base);
    return normalize(base + "/" + std::string(p));
}

std::string_view lastComponent(std::string_view p) {
    if (p == "/") return p;
    auto slash = p.rfind('/');
    return slash == std::string_view::npos ? p : p.substr(slash + 1);
}

std::string_view parent(std::string_view p) {
    auto slash = p.rfind('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return p.substr(0, 1);
    return p.substr(0, slash);
}

std::string_view extension(std::string_view p) {
    auto name = lastComponent(p);
    auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

std::string join(std::string_view parentPath, std::string_view name) {
    std::string out(parentPath);
    if (out.empty() || out.back() != '/') out.push_back('/');
    out.append(name);
    return out;
}

bool isBelow(std::string_view candidate, std::string_view ancestor) {
    if (ancestor == "/") return candidate.size() > 1 && candidate.front() == '/';
    return candidate.size() > ancestor.size() && candidate.starts_with(ancestor) && candidate[ancestor.size()] == '/';
}

bool isWithin(std::string_view candidate, std::string_view ancestor) {
    return candidate == ancestor || isBelow(candidate, ancestor);
}

} // namespace morvo::path
