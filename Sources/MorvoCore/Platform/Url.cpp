#include "MorvoCore/Platform/Url.h"

#include "MorvoCore/Platform/Path.h"

namespace morvo {

namespace {

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int hi = hexValue(s[i + 1]), lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

} // namespace

Url Url::file(std::string_view p, bool directory) {
    Url url;
    url.scheme = "file";
    try {
        url.path = path::absolute(p);
    } catch (const UnresolvablePathError&) {
        url.path = path::normalize(p);
    }
    url.isDirectory = directory;
    return url;
}

Url Url::parse(std::string_view text) {
    Url url;
    auto colon = text.find(':');
    if (colon == std::string_view::npos) return Url::file(text);
    url.scheme = std::string(text.substr(0, colon));
    auto rest = text.substr(colon + 1);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        auto slash = rest.find('/');
        url.host = std::string(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
    }
    if (url.scheme == "file") {
        std::string decoded = percentDecode(rest);
        url.isDirectory = decoded.size() > 1 && decoded.back() == '/';
        url.path = path::normalize(decoded);
    } else {
        url.path = std::string(rest);
    }
    return url;
}

std::string Url::lastPathComponent() const { return std::string(path::lastComponent(path)); }

std::string Url::pathExtension() const { return std::string(path::extension(path)); }

Url Url::appending(std::string_view component, bool directory) const {
    Url url = *this;
    url.path = path::normalize(path::join(path, component));
    url.isDirectory = directory;
    return url;
}

Url Url::deletingLastPathComponent() const {
    Url url = *this;
    url.path = std::string(path::parent(path));
    url.isDirectory = true;
    return url;
}

std::string Url::absoluteString() const {
    if (scheme == "file") {
        static const char* hex = "0123456789ABCDEF";
        std::string out = "file://";
        for (unsigned char c : path) {
            if (isUnreserved(c)) {
                out.push_back(static_cast<char>(c));
            } else {
                out.push_back('%');
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 15]);
            }
        }
        if (isDirectory && path != "/") out.push_back('/');
        return out;
    }
    if (!host.empty()) return scheme + "://" + host + path;
    return scheme + ":" + path;
}

} // namespace morvo
