#include "MorvoCore/Platform/Text.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/numfmt.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <memory>
#include <mutex>

namespace morvo::text {

namespace {

icu::UnicodeString fromUtf8(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string toUtf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

// The user's locale; the POSIX/C locale (no LANG set) reads as en_US so that numbers are grouped.
icu::Locale effectiveLocale() {
    icu::Locale locale = icu::Locale::getDefault();
    std::string name = locale.getName();
    if (name.empty() || name == "c" || name == "C" || name.starts_with("en_US_POSIX")) return icu::Locale("en_US");
    return locale;
}

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// Collators are not thread-safe for concurrent use; each thread keeps its own clone.
icu::Collator& standardCollator() {
    static std::unique_ptr<icu::Collator> prototype = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(effectiveLocale(), status));
        if (U_FAILURE(status) || !c) {
            status = U_ZERO_ERROR;
            c.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        }
        c->setStrength(icu::Collator::SECONDARY);  // case-insensitive, accents significant
        status = U_ZERO_ERROR;
        c->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        return c;
    }();
    thread_local std::unique_ptr<icu::Collator> local(prototype->clone());
    return *local;
}

} // namespace

std::string trim(std::string_view s) {
    if (isAscii(s)) {
        auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
        std::size_t b = 0, e = s.size();
        while (b < e && isSpace(s[b])) ++b;
        while (e > b && isSpace(s[e - 1])) --e;
        return std::string(s.substr(b, e - b));
    }
    icu::UnicodeString u = fromUtf8(s);
    int32_t b = 0, e = u.length();
    while (b < e && (u_isUWhiteSpace(u.char32At(b)))) b = u.moveIndex32(b, 1);
    while (e > b) {
        int32_t prev = u.moveIndex32(e, -1);
        if (!u_isUWhiteSpace(u.char32At(prev))) break;
        e = prev;
    }
    return toUtf8(u.tempSubStringBetween(b, e));
}

std::string asciiLowercase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string lowercase(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    icu::UnicodeString u = fromUtf8(s);
    u.toLower(icu::Locale::getRoot());
    return toUtf8(u);
}

std::string foldForSearch(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString u = fromUtf8(s);
    icu::UnicodeString decomposed = U_SUCCESS(status) ? nfd->normalize(u, status) : u;
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) stripped.append(c);
        i = decomposed.moveIndex32(i, 1);
    }
    stripped.foldCase();
    return toUtf8(stripped);
}

bool containsCaseInsensitive(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    icu::UnicodeString h = fromUtf8(haystack), n = fromUtf8(needle);
    h.foldCase();
    n.foldCase();
    return h.indexOf(n) >= 0;
}

int localizedStandardCompare(std::string_view a, std::string_view b) {
    UErrorCode status = U_ZERO_ERROR;
    auto r = standardCollator().compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

int caseInsensitiveCompare(std::string_view a, std::string_view b) {
    icu::UnicodeString x = fromUtf8(a), y = fromUtf8(b);
    int8_t r = x.caseCompare(y, U_FOLD_CASE_DEFAULT);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

std::string formatInteger(std::int64_t value) {
    thread_local std::unique_ptr<icu::NumberFormat> format = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::NumberFormat> f(icu::NumberFormat::createInstance(effectiveLocale(), status));
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            f.reset(icu::NumberFormat::createInstance(icu::Locale("en_US"), status));
        }
        return f;
    }();
    if (!format) return std::to_string(value);
    icu::UnicodeString out;
    format->format(static_cast<int64_t>(value), out);
    return toUtf8(out);
}

} // namespace morvo::text
