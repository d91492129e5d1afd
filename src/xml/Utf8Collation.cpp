// Utf8CompareText: text compared ignoring case under the user's locale, through
// ICU's collator, with printable ASCII compared in place. Where the collator sees
// no difference, the characters themselves decide, case folded: the collator
// passes over control and format characters (NUL, DEL, U+200B) and reads every
// byte that is no UTF-8 as U+FFFD, and two names must not match through those.

#include "xml/UTF8StringUtils.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/uset.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <string>

namespace orvex {

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kLastPrintable = 0x7E;

// The POSIX order of the locale variables; C and POSIX mean ICU's root order.
std::string UserCollationLocale() {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value)
            continue;
        std::string name(value);
        const size_t codeset = name.find('.');
        if (codeset != std::string::npos) {
            const size_t modifier = name.find('@', codeset);
            name.erase(codeset, modifier == std::string::npos ? std::string::npos : modifier - codeset);
        }
        if (name == "C" || name == "POSIX")
            return {};
        char canonical[ULOC_FULLNAME_CAPACITY] = {};
        UErrorCode status = U_ZERO_ERROR;
        uloc_canonicalize(name.c_str(), canonical, sizeof canonical, &status);
        return U_SUCCESS(status) ? std::string(canonical) : std::string();
    }
    return {};
}

// Turkish and Azerbaijani fold I to dotless i and dotted I to i.
uint32_t FoldOptionsFor(const std::string& locale) {
    char language[ULOC_LANG_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(locale.c_str(), language, sizeof language, &status);
    const std::string_view name = U_SUCCESS(status) ? language : "";
    return name == "tr" || name == "az" ? U_FOLD_CASE_EXCLUDE_SPECIAL_I : U_FOLD_CASE_DEFAULT;
}

// Code point after code point, each simply case folded; a byte that is no UTF-8
// counts as itself, after every code point.
int CompareFolded(std::string_view a, std::string_view b, uint32_t options) {
    const auto next = [options](std::string_view text, int32_t& at) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        const int32_t start = at;
        UChar32 c;
        U8_NEXT(bytes, at, static_cast<int32_t>(text.size()), c);
        if (c >= 0)
            return u_foldCase(c, options);
        at = start + 1;
        return 0x110000 + static_cast<UChar32>(bytes[start]);
    };
    int32_t i = 0, j = 0;
    const auto na = static_cast<int32_t>(a.size());
    const auto nb = static_cast<int32_t>(b.size());
    while (i < na && j < nb) {
        const UChar32 x = next(a, i);
        const UChar32 y = next(b, j);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return i < na ? 1 : j < nb ? -1 : 0;
}

class TCollation {
public:
    TCollation() {
        UErrorCode status = U_ZERO_ERROR;
        const std::string locale = UserCollationLocale();
        FFoldOptions = FoldOptionsFor(locale);
        FCollator = ucol_open(locale.c_str(), &status);
        if (U_FAILURE(status)) {
            if (FCollator)
                ucol_close(FCollator);
            FCollator = nullptr;
            return;
        }
        // Secondary: accents count, case does not.
        ucol_setStrength(FCollator, UCOL_SECONDARY);
        FAsciiRanks = BuildAsciiRanks();
    }
    ~TCollation() {
        if (FCollator)
            ucol_close(FCollator);
    }
    TCollation(const TCollation&) = delete;
    TCollation& operator=(const TCollation&) = delete;

    int Compare(std::string_view a, std::string_view b) const {
        if (a == b)
            return 0;
        const int order = CompareCollated(a, b);
        return order != 0 ? order : CompareFolded(a, b, FFoldOptions);
    }

private:
    using TRanks = std::array<uint8_t, 128>;

    // The collator's order; 0 also when there is no collator.
    int CompareCollated(std::string_view a, std::string_view b) const {
        if (FAsciiRanks && IsPrintableAscii(a) && IsPrintableAscii(b))
            return CompareRanks(a, b);
        if (!FCollator)
            return 0;
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result =
            ucol_strcollUTF8(FCollator, a.data(), static_cast<int32_t>(a.size()), b.data(),
                             static_cast<int32_t>(b.size()), &status);
        if (U_FAILURE(status) || result == UCOL_EQUAL)
            return 0;
        return result == UCOL_LESS ? -1 : 1;
    }

    static bool IsPrintableAscii(std::string_view text) {
        for (char c : text) {
            const auto b = static_cast<unsigned char>(c);
            if (b < kFirstPrintable || b > kLastPrintable)
                return false;
        }
        return true;
    }

    int CompareRanks(std::string_view a, std::string_view b) const {
        const TRanks& ranks = *FAsciiRanks;
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            const uint8_t ra = ranks[static_cast<unsigned char>(a[i])];
            const uint8_t rb = ranks[static_cast<unsigned char>(b[i])];
            if (ra != rb)
                return ra < rb ? -1 : 1;
        }
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }

    int Collate(UCollator* collator, char x, char y) const {
        UErrorCode status = U_ZERO_ERROR;
        return ucol_strcollUTF8(collator, &x, 1, &y, 1, &status);
    }

    // The rank of every printable ASCII character in the collation's order, when
    // comparing ranks one character after the other gives the collator's answer:
    // each character is one collation element of its own (no contraction or
    // expansion among them, none ignorable), and characters equal at the primary
    // level are equal at the secondary one too. Otherwise nothing, and ASCII text
    // goes through the collator like any other.
    std::optional<TRanks> BuildAsciiRanks() const {
        if (HasAsciiContractionsOrExpansions())
            return std::nullopt;
        UErrorCode status = U_ZERO_ERROR;
        UCollator* primary = ucol_clone(FCollator, &status);
        if (U_FAILURE(status) || !primary)
            return std::nullopt;
        ucol_setStrength(primary, UCOL_PRIMARY);
        std::string chars;
        for (unsigned c = kFirstPrintable; c <= kLastPrintable; ++c)
            chars.push_back(static_cast<char>(c));
        bool usable = true;
        for (char c : chars) {
            const char withIt[2] = {'a', c};
            status = U_ZERO_ERROR;
            if (ucol_strcollUTF8(FCollator, withIt, 2, "a", 1, &status) == UCOL_EQUAL)
                usable = false; // ignorable
        }
        std::sort(chars.begin(), chars.end(),
                  [&](char x, char y) { return Collate(FCollator, x, y) == UCOL_LESS; });
        TRanks ranks{};
        uint8_t rank = 0;
        for (size_t i = 0; i < chars.size(); ++i) {
            if (i > 0) {
                const bool secondaryEqual = Collate(FCollator, chars[i - 1], chars[i]) == UCOL_EQUAL;
                const bool primaryEqual = Collate(primary, chars[i - 1], chars[i]) == UCOL_EQUAL;
                if (primaryEqual != secondaryEqual)
                    usable = false;
                if (!secondaryEqual)
                    ++rank;
            }
            ranks[static_cast<unsigned char>(chars[i])] = rank;
        }
        ucol_close(primary);
        if (!usable)
            return std::nullopt;
        return ranks;
    }

    bool HasAsciiContractionsOrExpansions() const {
        USet* contractions = uset_openEmpty();
        USet* expansions = uset_openEmpty();
        UErrorCode status = U_ZERO_ERROR;
        ucol_getContractionsAndExpansions(FCollator, contractions, expansions, true, &status);
        bool found = U_FAILURE(status);
        for (unsigned c = kFirstPrintable; c <= kLastPrintable && !found; ++c)
            found = uset_contains(expansions, static_cast<UChar32>(c));
        const int32_t items = uset_getItemCount(contractions);
        for (int32_t i = 0; i < items && !found; ++i) {
            UChar32 start, end;
            UChar text[64];
            status = U_ZERO_ERROR;
            const int32_t length = uset_getItem(contractions, i, &start, &end, text, 64, &status);
            if (length <= 0)
                continue; // a range of single code points, not a contraction
            bool ascii = true;
            for (int32_t k = 0; k < length && ascii; ++k)
                ascii = text[k] >= kFirstPrintable && text[k] <= kLastPrintable;
            found = ascii || U_FAILURE(status);
        }
        uset_close(contractions);
        uset_close(expansions);
        return found;
    }

    UCollator* FCollator = nullptr;
    std::optional<TRanks> FAsciiRanks;
    uint32_t FFoldOptions = U_FOLD_CASE_DEFAULT;
};

const TCollation& UserCollation() {
    static const TCollation collation;
    return collation;
}

} // namespace

int Utf8CompareText(std::string_view a, std::string_view b) { return UserCollation().Compare(a, b); }

} // namespace orvex
