// HKEY_LOCAL_MACHINE as the text of a Wine prefix's system.reg describes it:
// the parser of that text and the look-up of keys and values in the result,
// as a 32-bit program sees them. Pure: no file is touched, nothing printed.
// Internal to the Wine registry reader.
#ifndef INSTALLER_PLATFORM_WINE_REGISTRY_PARSER_H_
#define INSTALLER_PLATFORM_WINE_REGISTRY_PARSER_H_

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::wine_registry {

// Value types whose data is UTF-16 text.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegMultiSz = 7;

/// One value as Wine holds it.
struct Value {
  std::u16string foldedName;  // as Folded(); empty for the default value
  uint32_t type = 0;
  std::string data;  // the stored bytes; UTF-16LE for string types
};

/// One key. Its subkeys are found through Hive.
struct Key {
  bool link = false;  // a symbolic link, resolved through SymbolicLinkValue
  bool namedWow6432Node = false;
  const Key* wow6432Node = nullptr;  // its 32-bit counterpart, when it has one
  std::vector<Value> values;         // in file order; a later one replaces
};

/// The keys of one system.reg. Built once by Parse, then only read.
class Hive {
 public:
  /// Parses the text of a system.reg file, following Wine's loader: the
  /// first line must be exactly "WINE REGISTRY Version 2" (an empty hive
  /// otherwise), as must a global "#arch=" be "win32" or "win64". Line ends
  /// may be LF or CRLF; text after the last line end is a line cut short
  /// and is ignored. A malformed line is dropped on its own: a key line
  /// drops the values up to the next key line, a value line (or the hex
  /// continuation lines it consumed) drops that value, so a truncated or
  /// damaged value is missing rather than cut short. Time is linear in the
  /// length of the text.
  static Hive Parse(std::string_view text);

  Hive() = default;
  Hive(Hive&&) = default;
  Hive& operator=(Hive&&) = default;
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  /// True when the file said "#arch=win64": keys below a key that has a
  /// "Wow6432Node" subkey are then looked up in that subkey.
  bool win64() const { return win64_; }

  /// Number of keys, the root and keys that exist only as parents included.
  std::size_t KeyCount() const { return keys_.size(); }

  /// The key that `path` (UTF-8, backslash-separated, below
  /// HKEY_LOCAL_MACHINE, any letter case) names for a 32-bit program, or
  /// null. In a win64 hive every step into a key that has a Wow6432Node
  /// subkey steps into that subkey instead, unless the path itself names
  /// it; symbolic links (the keys shared between both views) are followed,
  /// at most 16 deep and 256 per look-up. As under Wine 8, a key missing
  /// below Software\Classes\Wow6432Node is not looked for in the 64-bit
  /// Software\Classes (Windows shares most of Classes between the views).
  /// Repeated and trailing backslashes are ignored; a leading one is not
  /// allowed. The empty path is the root; an empty hive has no keys at all.
  const Key* OpenKey(std::string_view path) const;

  /// The value `name` (UTF-8, any letter case; empty for the default value)
  /// of `key`, or null.
  static const Value* FindValue(const Key& key, std::string_view name);

 private:
  struct ChildName {
    const Key* parent;
    std::u16string folded;
    bool operator==(const ChildName& other) const {
      return parent == other.parent && folded == other.folded;
    }
  };
  struct ChildNameHash {
    std::size_t operator()(const ChildName& name) const;
  };

  Key* AddKeyPath(std::u16string_view path);
  const Key* Child(const Key* parent, const std::u16string& folded) const;
  const Key* Redirected(const Key* key, std::u16string_view next) const;
  const Key* FollowLink(const Key* key, int depth, int* budget) const;

  // A deque keeps every key at its address while keys are added, so keys
  // can point at each other; keys_[0] is the root.
  std::deque<Key> keys_;
  std::unordered_map<ChildName, Key*, ChildNameHash> children_;
  bool win64_ = false;

  friend class HiveBuilder;
};

}  // namespace platform::wine_registry

#endif  // INSTALLER_PLATFORM_WINE_REGISTRY_PARSER_H_
