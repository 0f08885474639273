// Text conversions between the program's narrow strings (UTF-8 on Linux) and
// the UTF-16 that Wine's registry holds, and the letter-case folding that
// registry names are compared with. Internal to the Wine registry reader.
#ifndef INSTALLER_PLATFORM_WINE_REGISTRY_TEXT_H_
#define INSTALLER_PLATFORM_WINE_REGISTRY_TEXT_H_

#include <string>
#include <string_view>

namespace platform::wine_registry {

/// The replacement character, for text that cannot be converted.
constexpr char16_t kReplacement = 0xFFFD;

/// Decodes one UTF-8 character at `text[*at]` (which must be in range),
/// advances `*at` past it and appends its UTF-16 units to `out`. A byte that
/// does not begin a well-formed sequence (overlong forms, encoded surrogates
/// and code points above U+10FFFF included) becomes U+FFFD and is skipped
/// alone, as Windows' CP_UTF8 conversion does.
void AppendUtf8Char(std::string_view text, std::size_t* at,
                    std::u16string* out);

/// `text` converted from UTF-8 to UTF-16 as AppendUtf8Char does it.
std::u16string Utf16FromUtf8(std::string_view text);

/// Converts UTF-16 units to UTF-8 and appends them to `out`. Surrogate pairs
/// become one four-byte character. A lone surrogate, which UTF-8 cannot
/// express, becomes U+FFFD (EF BF BD), as Windows' CP_UTF8 conversion does;
/// so its narrow size is 3 bytes, like any other unit from U+0800 up.
void AppendUtf8(std::u16string_view units, std::string* out);

/// The UTF-16 units stored little-endian in `bytes`, converted to UTF-8. A
/// trailing odd byte is not part of any unit and is dropped, as Wine's
/// RegQueryValueExA drops it.
std::string Utf8FromUtf16Le(std::string_view bytes);

/// `name` with every unit mapped to its upper-case form: ASCII letters
/// directly, other units of the Basic Multilingual Plane through the Unicode
/// simple upper-case mapping. Surrogates are left alone, as Windows leaves
/// them. Two names are the same registry name when their folded forms are
/// equal.
std::u16string Folded(std::u16string_view name);

}  // namespace platform::wine_registry

#endif  // INSTALLER_PLATFORM_WINE_REGISTRY_TEXT_H_
