#include "platform/wine_registry_text.h"

#include "platform/posix_paths.h"

namespace platform::wine_registry {
namespace {

bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

void AppendCodePoint(char32_t code, std::u16string* out) {
  if (code < 0x10000) {
    out->push_back(static_cast<char16_t>(code));
    return;
  }
  const char32_t v = code - 0x10000;
  out->push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
  out->push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
}

void AppendUtf8CodePoint(char32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

void AppendUtf8Char(std::string_view text, std::size_t* at,
                    std::u16string* out) {
  const auto byte = [&](std::size_t i) -> unsigned {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned lead = byte(*at);
  if (lead < 0x80) {
    out->push_back(static_cast<char16_t>(lead));
    ++*at;
    return;
  }
  // The accepted range of the second byte depends on the lead byte: that
  // is what rules out overlong forms, surrogates and values past U+10FFFF.
  int extra = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  char32_t code = lead & (0x3Fu >> extra);
  std::size_t taken = 1;
  for (int i = 1; i <= extra; ++i) {
    const std::size_t next = *at + i;
    const unsigned b = next < text.size() ? byte(next) : 0;
    const bool fits = i == 1 ? b >= low && b <= high : b >= 0x80 && b <= 0xBF;
    if (!fits) break;
    code = (code << 6) | (b & 0x3F);
    ++taken;
  }
  if (extra == 0 || taken != static_cast<std::size_t>(extra) + 1) {
    // One replacement for the longest start of a sequence that was valid.
    out->push_back(kReplacement);
    *at += taken;
    return;
  }
  AppendCodePoint(code, out);
  *at += taken;
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) AppendUtf8Char(text, &at, &units);
  return units;
}

void AppendUtf8(std::u16string_view units, std::string* out) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() &&
        units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      const char32_t code = 0x10000 +
                            ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                            (units[i + 1] - 0xDC00);
      AppendUtf8CodePoint(code, out);
      ++i;
    } else if (IsSurrogate(unit)) {
      AppendUtf8CodePoint(kReplacement, out);
    } else {
      AppendUtf8CodePoint(unit, out);
    }
  }
}

std::string Utf8FromUtf16Le(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(
        static_cast<unsigned char>(bytes[2 * i]) |
        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  std::string text;
  text.reserve(units.size());
  AppendUtf8(units, &text);
  return text;
}

std::u16string Folded(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& unit : folded) unit = posix::UpperCaseUnit(unit);
  return folded;
}

}  // namespace platform::wine_registry
