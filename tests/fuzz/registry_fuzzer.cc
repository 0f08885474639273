// libFuzzer target: the system.reg parser, the key and value look-ups on
// what it built, and the text conversions they use. Any input must parse
// without a crash, a sanitizer report or a hang; the conversions must keep
// their round-trip property. Built and run by scripts/fuzz-registry.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/wine_registry_parser.h"
#include "platform/wine_registry_text.h"

namespace {

namespace registry = platform::wine_registry;

constexpr int kMaxLookups = 64;

// The key path that a "[...]" line names, taken roughly: the text up to the
// closing bracket with escaped backslashes made single. Close enough that
// most key lines of the input name a key the parser created.
std::string KeyPathOfLine(std::string_view line) {
  std::string path;
  for (std::size_t i = 1; i < line.size() && line[i] != ']'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    path += line[i];
  }
  return path;
}

void ReadValues(const registry::Key& key) {
  for (const registry::Value& value : key.values) {
    std::string narrow;
    if (value.type == registry::kRegSz ||
        value.type == registry::kRegExpandSz ||
        value.type == registry::kRegMultiSz) {
      narrow = registry::Utf8FromUtf16Le(value.data);
    }
    std::string name;
    registry::AppendUtf8(value.foldedName, &name);
    // Looking a value up by its own name finds a value of that name.
    const registry::Value* found = registry::Hive::FindValue(key, name);
    if (found == nullptr && name.find("\xEF\xBF\xBD") == std::string::npos) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // UTF-8 to UTF-16 never yields a lone surrogate, so back and forth again
  // must give the same units.
  const std::u16string units = registry::Utf16FromUtf8(text);
  std::string utf8;
  registry::AppendUtf8(units, &utf8);
  if (registry::Utf16FromUtf8(utf8) != units) __builtin_trap();

  const registry::Hive hive = registry::Hive::Parse(text);
  int lookups = 0;
  std::size_t at = 0;
  while (at < text.size() && lookups < kMaxLookups) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line[0] == '[') {
      ++lookups;
      if (const registry::Key* key = hive.OpenKey(KeyPathOfLine(line))) {
        ReadValues(*key);
      }
    }
    at = end + 1;
  }
  if (const registry::Key* root = hive.OpenKey("")) ReadValues(*root);
  return 0;
}
