#include "platform/wine_registry_parser.h"

#include <functional>

#include "platform/wine_registry_text.h"

namespace platform::wine_registry {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::u16string_view kWow6432Node = u"WOW6432NODE";
constexpr std::u16string_view kSymbolicLinkValue = u"SYMBOLICLINKVALUE";
constexpr std::u16string_view kRegistryRoot = u"\\REGISTRY\\";
constexpr std::u16string_view kMachine = u"MACHINE";
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// Wine gives up on a chain of links this deep. Every look-up also has a
// budget of link resolutions, because links that lead through other links
// could otherwise branch into far more work than any real registry needs.
constexpr int kMaxLinkDepth = 16;
constexpr int kLinkBudget = 256;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::size_t SkipSpace(std::string_view line, std::size_t at) {
  while (at < line.size() && IsSpace(line[at])) ++at;
  return at;
}

bool StartsWith(std::string_view text, std::size_t at, std::string_view tag) {
  return text.substr(at, tag.size()) == tag;
}

// The file's lines, without their line feed or the carriage return before
// it. A NUL ends the text of its line, as it ends the C string that Wine
// reads each line into. Wine ends every line it writes, the last included,
// with a line feed; text after the last one is a line cut short, and is
// left out so that a cut value is missing instead of shorter.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}

  bool Next(std::string_view* line) {
    const std::size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) return false;
    std::string_view text = text_.substr(at_, end - at_);
    at_ = end + 1;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    *line = text;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// Decodes the escaped text that starts at `*at` up to the first unescaped
// `end`, appending its units to `out` and leaving `*at` just after `end`.
// False when the line ends first.
bool Unescape(std::string_view line, std::size_t* at, char end,
              std::u16string* out) {
  std::size_t i = *at;
  while (i < line.size() && line[i] != end) {
    if (line[i] != '\\') {
      // The file is ASCII as Wine writes it; other bytes, from a hand
      // edit, are read as UTF-8.
      AppendUtf8Char(line, &i, out);
      continue;
    }
    if (++i == line.size()) return false;
    const char c = line[i];
    static constexpr std::string_view kLetters = "abefnrtv";
    static constexpr char16_t kControls[] = {0x07, 0x08, 0x1B, 0x0C,
                                             0x0A, 0x0D, 0x09, 0x0B};
    const std::size_t letter = kLetters.find(c);
    if (letter != std::string_view::npos) {
      out->push_back(kControls[letter]);
      ++i;
    } else if (c == 'x') {
      // One to four hex digits; "\x" with none is a plain 'x'.
      ++i;
      char16_t unit = 0;
      int digits = 0;
      while (digits < 4 && i < line.size() && HexValue(line[i]) >= 0) {
        unit = static_cast<char16_t>(unit * 16 + HexValue(line[i++]));
        ++digits;
      }
      out->push_back(digits == 0 ? u'x' : unit);
    } else if (c >= '0' && c <= '7') {
      // One to three octal digits.
      char16_t unit = 0;
      int digits = 0;
      while (digits < 3 && i < line.size() && line[i] >= '0' &&
             line[i] <= '7') {
        unit = static_cast<char16_t>(unit * 8 + (line[i++] - '0'));
        ++digits;
      }
      out->push_back(unit);
    } else {
      // Any other escaped character stands for itself: \\ \" \[ \].
      AppendUtf8Char(line, &i, out);
    }
  }
  if (i == line.size()) return false;
  *at = i + 1;
  return true;
}

std::string BytesOf(const std::u16string& units) {
  std::string bytes(units.size() * 2, '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return bytes;
}

// Parses comma-separated hex bytes from `*at`, each one or more digits of
// value at most ff, with white space and commas between them.
bool ParseHexBytes(std::string_view line, std::size_t* at, std::string* out) {
  std::size_t i = *at;
  while (i < line.size() && HexValue(line[i]) >= 0) {
    unsigned value = 0;
    while (i < line.size() && HexValue(line[i]) >= 0) {
      value = value * 16 + static_cast<unsigned>(HexValue(line[i++]));
      if (value > 0xFF) return false;
    }
    out->push_back(static_cast<char>(value));
    i = SkipSpace(line, i);
    if (i < line.size() && line[i] == ',') ++i;
    i = SkipSpace(line, i);
  }
  *at = i;
  return true;
}

// Parses the data of a hex: or hex(N): value; a backslash at the end of a
// line continues the bytes on the next line.
bool ParseHexData(std::string_view line, std::size_t at, Lines* lines,
                  std::string* out) {
  for (;;) {
    if (!ParseHexBytes(line, &at, out)) return false;
    at = SkipSpace(line, at);
    if (at == line.size()) return true;
    if (line[at] != '\\') return false;
    if (!lines->Next(&line)) return false;
    at = SkipSpace(line, 0);
  }
}

// The type tag after "=": its type and the data that follows it.
bool ParseData(std::string_view line, std::size_t at, Lines* lines,
               Value* value) {
  struct StringTag {
    std::string_view tag;
    uint32_t type;
  };
  static constexpr StringTag kStringTags[] = {{"\"", kRegSz},
                                              {"str:\"", kRegSz},
                                              {"str(2):\"", kRegExpandSz},
                                              {"str(7):\"", kRegMultiSz}};
  for (const StringTag& tag : kStringTags) {
    if (!StartsWith(line, at, tag.tag)) continue;
    at += tag.tag.size();
    std::u16string units;
    if (!Unescape(line, &at, '"', &units)) return false;
    units.push_back(u'\0');  // the file leaves out the terminator
    value->type = tag.type;
    value->data = BytesOf(units);
    return true;
  }
  if (StartsWith(line, at, "dword:")) {
    at = SkipSpace(line, at + 6);
    uint32_t number = 0;
    int digits = 0;
    while (at < line.size() && HexValue(line[at]) >= 0) {
      if (++digits > 8) return false;
      number = number * 16 + static_cast<uint32_t>(HexValue(line[at++]));
    }
    if (digits == 0) return false;
    value->type = kRegDword;
    value->data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) {
      value->data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    }
    return true;
  }
  if (StartsWith(line, at, "hex:")) {
    value->type = kRegBinary;
    return ParseHexData(line, at + 4, lines, &value->data);
  }
  if (StartsWith(line, at, "hex(")) {
    at += 4;
    uint32_t type = 0;
    int digits = 0;
    while (at < line.size() && HexValue(line[at]) >= 0) {
      if (++digits > 8) return false;
      type = type * 16 + static_cast<uint32_t>(HexValue(line[at++]));
    }
    if (digits == 0 || !StartsWith(line, at, "):")) return false;
    value->type = type;
    return ParseHexData(line, at + 2, lines, &value->data);
  }
  return false;
}

// A value line: `@=` or `"name"=`, then the data.
bool ParseValue(std::string_view line, Lines* lines, Value* value) {
  std::size_t at = 1;
  std::u16string name;
  if (line[0] == '"' && !Unescape(line, &at, '"', &name)) return false;
  at = SkipSpace(line, at);
  if (at == line.size() || line[at] != '=') return false;
  at = SkipSpace(line, at + 1);
  value->foldedName = Folded(name);
  return ParseData(line, at, lines, value);
}

}  // namespace

class HiveBuilder {
 public:
  static Hive Build(std::string_view text) {
    Hive hive;
    Lines lines(text);
    std::string_view line;
    if (!lines.Next(&line) || line != kHeader) return Hive();
    hive.keys_.emplace_back();
    Key* key = nullptr;  // the key that value lines belong to
    while (lines.Next(&line)) {
      line = line.substr(SkipSpace(line, 0));
      if (line.empty()) continue;
      switch (line[0]) {
        case '[': {
          std::size_t at = 1;
          std::u16string path;
          key =
              Unescape(line, &at, ']', &path) ? hive.AddKeyPath(path) : nullptr;
          break;
        }
        case '@':
        case '"': {
          Value value;
          if (key != nullptr && ParseValue(line, &lines, &value)) {
            key->values.push_back(std::move(value));
          }
          break;
        }
        case '#':
          if (key != nullptr) {
            if (StartsWith(line, 0, "#link")) key->link = true;
          } else if (StartsWith(line, 0, "#arch=")) {
            const std::string_view arch = line.substr(6);
            if (arch != "win32" && arch != "win64") return Hive();
            hive.win64_ = arch == "win64";
          }
          break;
        default:  // comments and anything unrecognised
          break;
      }
    }
    return hive;
  }
};

Hive Hive::Parse(std::string_view text) { return HiveBuilder::Build(text); }

std::size_t Hive::ChildNameHash::operator()(const ChildName& name) const {
  return std::hash<std::u16string>()(name.folded) ^
         (std::hash<const Key*>()(name.parent) * 31);
}

Key* Hive::AddKeyPath(std::u16string_view path) {
  Key* key = &keys_.front();
  std::size_t at = 0;
  while (at < path.size()) {
    std::size_t end = path.find(u'\\', at);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > at) {
      ChildName name{key, Folded(path.substr(at, end - at))};
      auto found = children_.find(name);
      if (found == children_.end()) {
        Key& child = keys_.emplace_back();
        child.namedWow6432Node = name.folded == kWow6432Node;
        if (child.namedWow6432Node && !key->namedWow6432Node) {
          key->wow6432Node = &child;
        }
        found = children_.emplace(std::move(name), &child).first;
      }
      key = found->second;
    }
    at = end + 1;
  }
  return key;
}

const Key* Hive::Child(const Key* parent, const std::u16string& folded) const {
  const auto found = children_.find(ChildName{parent, folded});
  return found == children_.end() ? nullptr : found->second;
}

const Key* Hive::Redirected(const Key* key, std::u16string_view next) const {
  if (!win64_ || key->wow6432Node == nullptr || next == kWow6432Node) {
    return key;
  }
  return key->wow6432Node;
}

const Key* Hive::FollowLink(const Key* key, int depth, int* budget) const {
  if (!key->link) return key;
  if (depth > kMaxLinkDepth || --*budget < 0) return nullptr;
  const Value* target = nullptr;
  for (const Value& value : key->values) {
    if (value.foldedName == kSymbolicLinkValue) target = &value;
  }
  if (target == nullptr) return nullptr;
  std::u16string units;
  for (std::size_t i = 0; i + 1 < target->data.size(); i += 2) {
    units.push_back(static_cast<char16_t>(
        static_cast<unsigned char>(target->data[i]) |
        (static_cast<unsigned char>(target->data[i + 1]) << 8)));
  }
  units = Folded(units);
  if (units.size() <= kRegistryRoot.size() ||
      units.compare(0, kRegistryRoot.size(), kRegistryRoot) != 0) {
    return nullptr;
  }
  // The target names the whole registry; this hive is its Machine branch.
  const Key* found = nullptr;
  std::size_t at = kRegistryRoot.size();
  if (units[at] == u'\\') return nullptr;
  while (at < units.size()) {
    std::size_t end = units.find(u'\\', at);
    if (end == std::u16string::npos) end = units.size();
    if (end > at) {
      const std::u16string token = units.substr(at, end - at);
      if (found == nullptr) {
        if (token != kMachine) return nullptr;
        found = &keys_.front();
      } else {
        found = Child(found, token);
        if (found != nullptr) found = FollowLink(found, depth + 1, budget);
        if (found == nullptr) return nullptr;
      }
    }
    at = end + 1;
  }
  return found;
}

const Key* Hive::OpenKey(std::string_view path) const {
  if (keys_.empty() || (!path.empty() && path[0] == '\\')) return nullptr;
  std::vector<std::u16string> tokens;
  std::size_t at = 0;
  while (at < path.size()) {
    std::size_t end = path.find('\\', at);
    if (end == std::string_view::npos) end = path.size();
    if (end > at) {
      tokens.push_back(Folded(Utf16FromUtf8(path.substr(at, end - at))));
    }
    at = end + 1;
  }
  int budget = kLinkBudget;
  const Key* key =
      Redirected(&keys_.front(), tokens.empty() ? u"" : tokens.front());
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    key = Child(key, tokens[i]);
    if (key == nullptr) return nullptr;
    if (i + 1 < tokens.size()) {
      key = FollowLink(Redirected(key, tokens[i + 1]), 0, &budget);
      if (key == nullptr) return nullptr;
    }
  }
  return FollowLink(Redirected(key, u""), 0, &budget);
}

const Value* Hive::FindValue(const Key& key, std::string_view name) {
  const std::u16string folded = Folded(Utf16FromUtf8(name));
  for (auto it = key.values.rbegin(); it != key.values.rend(); ++it) {
    if (it->foldedName == folded) return &*it;
  }
  return nullptr;
}

}  // namespace platform::wine_registry
