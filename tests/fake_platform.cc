#include "fake_platform.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <set>

#include "platform/platform.h"

namespace platform {

struct FindState {
  std::vector<FindDataA> entries;
  std::size_t next = 0;
};

struct RegKeyState {
  std::string key;
};

}  // namespace platform

namespace {

struct Entry {
  std::string spelling;  // the last component as it was created
  bool folder = false;
  std::string content;
  bool readOnly = false;
  int64_t writeTime = 0;
};

struct RegValue {
  std::string data;
};

struct RegKeyData {
  std::map<std::string, RegValue> values;  // by upper-cased name; "" default
};

constexpr std::size_t kOps = 9;

struct State {
  std::map<std::string, Entry> tree;  // by upper-cased full path
  std::vector<std::string> cwd;       // components, e.g. {"C:", "work"}
  uint32_t lastError = 0;
  std::array<int, kOps> calls = {};
  std::map<std::pair<int, int>, uint32_t> failures;  // (op, nth) -> code
  std::vector<int32_t> clockReadings;
  std::size_t clockNext = 0;
  int32_t freeClock = 0;
  int clockReads = 0;
  std::string output;
  std::string input;
  std::size_t inputAt = 0;
  int flushes = 0;
  std::vector<std::string> commands;
  std::function<int(const char*)> onSystem;
  std::map<std::string, RegKeyData> registry;  // by upper-cased key path
  std::function<void(int)> onRegistryQuery;
  int openKeys = 0;
  // Searches and keys still open when a test's program "exits" are freed
  // here, as the end of a real process would free them.
  std::set<std::unique_ptr<platform::FindState>> searches;
  std::set<std::unique_ptr<platform::RegKeyState>> keys;
};

template <typename T>
T* Adopt(std::set<std::unique_ptr<T>>* owned, std::unique_ptr<T> object) {
  return owned->insert(std::move(object)).first->get();
}

template <typename T>
void Release(std::set<std::unique_ptr<T>>* owned, T* object) {
  for (auto it = owned->begin(); it != owned->end(); ++it) {
    if (it->get() == object) {
      owned->erase(it);
      return;
    }
  }
}

State& S() {
  static State state;
  return state;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The absolute components of `path`. Empty when `path` is empty.
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  if (path.empty()) return parts;
  std::size_t at = 0;
  if (path.size() >= 2 && path[1] == ':') {
    parts.push_back(Upper(path.substr(0, 2)));
    at = 2;
  } else if (IsSeparator(path[0])) {
    parts.push_back(S().cwd.empty() ? "C:" : S().cwd[0]);
  } else {
    parts = S().cwd;
  }
  while (at <= path.size()) {
    std::size_t end = at;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string part = path.substr(at, end - at);
    if (part == "..") {
      if (parts.size() > 1) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  return parts;
}

std::string Key(const std::vector<std::string>& parts, std::size_t count) {
  std::string key;
  for (std::size_t i = 0; i < count && i < parts.size(); ++i) {
    if (i > 0) key += '\\';
    key += Upper(parts[i]);
  }
  return key;
}

std::string Key(const std::vector<std::string>& parts) {
  return Key(parts, parts.size());
}

Entry* Find(const std::string& key) {
  auto it = S().tree.find(key);
  return it == S().tree.end() ? nullptr : &it->second;
}

bool FolderExists(const std::vector<std::string>& parts, std::size_t count) {
  const Entry* entry = Find(Key(parts, count));
  return entry != nullptr && entry->folder;
}

// Counts the call and returns the injected failure code for it, if any.
std::optional<uint32_t> Injected(fake::Op op) {
  const int index = static_cast<int>(op);
  const int nth = ++S().calls[index];
  auto it = S().failures.find({index, nth});
  if (it == S().failures.end()) return std::nullopt;
  return it->second;
}

bool Fail(uint32_t code) {
  S().lastError = code;
  return false;
}

std::string Spelled(const std::vector<std::string>& parts) {
  std::string path;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) path += '\\';
    const Entry* entry = Find(Key(parts, i + 1));
    path += entry != nullptr ? entry->spelling : parts[i];
  }
  return path;
}

bool ListsBefore(const Entry* a, const Entry* b) {
  const std::string ua = Upper(a->spelling), ub = Upper(b->spelling);
  if (ua != ub) return ua < ub;
  return a->spelling < b->spelling;
}

std::vector<const Entry*> Children(const std::string& folderKey) {
  std::vector<const Entry*> children;
  const std::string prefix = folderKey + "\\";
  for (const auto& [key, entry] : S().tree) {
    if (key.size() > prefix.size() &&
        key.compare(0, prefix.size(), prefix) == 0 &&
        key.find('\\', prefix.size()) == std::string::npos) {
      children.push_back(&entry);
    }
  }
  std::sort(children.begin(), children.end(), ListsBefore);
  return children;
}

bool Matches(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  const std::string p = Upper(pattern), n = Upper(name);
  std::size_t pi = 0, ni = 0, star = std::string::npos, resume = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
      ++pi, ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      resume = ni;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ni = ++resume;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

platform::FindDataA MakeEntry(const std::string& name, bool folder) {
  platform::FindDataA data;
  data.dwFileAttributes = folder ? platform::kFileAttributeDirectory
                                 : platform::kFileAttributeArchive;
  const std::size_t length = std::min(name.size(), sizeof data.cFileName - 1);
  name.copy(data.cFileName, length);
  data.cFileName[length] = '\0';
  return data;
}

std::string ValueKey(const char* valueName) {
  return valueName == nullptr ? std::string() : Upper(valueName);
}

}  // namespace

// ---------------------------------------------------------------------------
// The platform operations

namespace platform {

uint32_t GetLastError() { return S().lastError; }
void SetLastError(uint32_t code) { S().lastError = code; }

bool CreateDirectoryA(const char* path) {
  if (auto code = Injected(fake::Op::kCreateDirectoryA)) return Fail(*code);
  const auto parts = Components(path);
  if (parts.empty()) return Fail(kErrorPathNotFound);
  if (Find(Key(parts)) != nullptr) return Fail(kErrorAlreadyExists);
  if (!FolderExists(parts, parts.size() - 1)) return Fail(kErrorPathNotFound);
  S().tree[Key(parts)] = Entry{parts.back(), true, "", false, 0};
  return true;
}

bool CopyFileA(const char* source, const char* destination) {
  if (auto code = Injected(fake::Op::kCopyFileA)) return Fail(*code);
  const auto from = Components(source);
  const auto to = Components(destination);
  if (from.empty() || !FolderExists(from, from.size() - 1)) {
    return Fail(kErrorPathNotFound);
  }
  const Entry* in = Find(Key(from));
  if (in == nullptr) return Fail(kErrorFileNotFound);
  if (in->folder) return Fail(kErrorAccessDenied);
  if (to.empty() || !FolderExists(to, to.size() - 1)) {
    return Fail(kErrorPathNotFound);
  }
  Entry* out = Find(Key(to));
  if (out != nullptr) {
    if (out->folder) return Fail(kErrorAccessDenied);
    if (out == in) return Fail(kErrorSharingViolation);
    if (out->readOnly) return Fail(kErrorAccessDenied);
  }
  Entry copy = *in;
  copy.spelling = out != nullptr ? out->spelling : to.back();
  S().tree[Key(to)] = copy;
  return true;
}

FindHandle FindFirstFileA(const char* pattern, FindDataA* entry) {
  if (auto code = Injected(fake::Op::kFindFirstFileA)) {
    Fail(*code);
    return nullptr;
  }
  const auto parts = Components(pattern);
  if (parts.size() < 2 || !FolderExists(parts, parts.size() - 1)) {
    Fail(parts.size() < 2 ? kErrorFileNotFound : kErrorPathNotFound);
    return nullptr;
  }
  auto state = std::make_unique<FindState>();
  const std::string& wildcard = parts.back();
  const bool driveRoot = parts.size() == 2;
  if (!driveRoot) {
    for (const char* dots : {".", ".."}) {
      if (Matches(wildcard, dots))
        state->entries.push_back(MakeEntry(dots, true));
    }
  }
  for (const Entry* child : Children(Key(parts, parts.size() - 1))) {
    if (Matches(wildcard, child->spelling)) {
      state->entries.push_back(MakeEntry(child->spelling, child->folder));
    }
  }
  if (state->entries.empty()) {
    Fail(kErrorFileNotFound);
    return nullptr;
  }
  *entry = state->entries[0];
  state->next = 1;
  return Adopt(&S().searches, std::move(state));
}

bool FindNextFileA(FindHandle search, FindDataA* entry) {
  if (auto code = Injected(fake::Op::kFindNextFileA)) return Fail(*code);
  if (search == nullptr) return Fail(kErrorInvalidHandle);
  if (search->next >= search->entries.size()) return Fail(kErrorNoMoreFiles);
  *entry = search->entries[search->next++];
  return true;
}

bool FindClose(FindHandle search) {
  if (search == nullptr) return Fail(kErrorInvalidHandle);
  Release(&S().searches, search);
  if (auto code = Injected(fake::Op::kFindClose)) return Fail(*code);
  return true;
}

long RegOpenKeyExA(const char* subKey, RegKey* key) {
  uint32_t status = 0;
  if (auto code = Injected(fake::Op::kRegOpenKeyExA)) {
    status = *code;
  } else if (S().registry.count(Upper(subKey)) == 0) {
    status = kErrorFileNotFound;
  }
  if (status != 0) {
    S().lastError = status;
    return static_cast<long>(status);
  }
  *key = Adopt(&S().keys,
               std::make_unique<RegKeyState>(RegKeyState{Upper(subKey)}));
  ++S().openKeys;
  return 0;
}

long RegQueryValueExA(RegKey key, const char* valueName, unsigned char* data,
                      uint32_t* size) {
  const int call = S().calls[static_cast<int>(fake::Op::kRegQueryValueExA)] + 1;
  if (S().onRegistryQuery) S().onRegistryQuery(call);
  uint32_t status = 0;
  const RegValue* value = nullptr;
  if (auto code = Injected(fake::Op::kRegQueryValueExA)) {
    status = *code;
  } else if (key == nullptr) {
    status = kErrorInvalidHandle;
  } else {
    const auto& values = S().registry[key->key].values;
    auto it = values.find(ValueKey(valueName));
    if (it == values.end()) {
      status = kErrorFileNotFound;
    } else {
      value = &it->second;
    }
  }
  if (value != nullptr) {
    const auto needed = static_cast<uint32_t>(value->data.size());
    if (data != nullptr && *size < needed) {
      status = kErrorMoreData;
    } else if (data != nullptr) {
      value->data.copy(reinterpret_cast<char*>(data), needed);
    }
    *size = needed;
  }
  if (status != 0) S().lastError = status;
  return static_cast<long>(status);
}

long RegCloseKey(RegKey key) {
  if (key == nullptr) return static_cast<long>(kErrorInvalidHandle);
  Release(&S().keys, key);
  --S().openKeys;
  return 0;
}

int32_t Clock() {
  State& s = S();
  ++s.clockReads;
  if (s.clockReadings.empty()) return s.freeClock++;
  const int32_t reading =
      s.clockReadings[std::min(s.clockNext, s.clockReadings.size() - 1)];
  if (s.clockNext < s.clockReadings.size()) ++s.clockNext;
  return reading;
}

int System(const char* command) {
  ++S().flushes;
  S().commands.push_back(std::string(command) + " @ " + Spelled(S().cwd));
  return S().onSystem ? S().onSystem(command) : 0;
}

bool GetCurrentFolder(std::string* folder) {
  if (auto code = Injected(fake::Op::kGetCurrentFolder)) return Fail(*code);
  *folder = Spelled(S().cwd);
  return true;
}

bool ChangeFolder(const char* path) {
  if (auto code = Injected(fake::Op::kChangeFolder)) return Fail(*code);
  const auto parts = Components(path);
  if (parts.empty() || !FolderExists(parts, parts.size())) {
    return Fail(kErrorPathNotFound);
  }
  S().cwd = parts;
  return true;
}

void Exit(int status) { throw fake::ExitCalled{status}; }

void WriteText(const char* text) { S().output += text; }
void WriteText(const std::string& text) { S().output += text; }
void WriteChar(char c) { S().output += c; }
void WriteUnsigned(uint32_t number) { S().output += std::to_string(number); }

bool ReadInteger(long* number) {
  State& s = S();
  ++s.flushes;
  const auto next = [&]() -> int {
    return s.inputAt < s.input.size()
               ? static_cast<unsigned char>(s.input[s.inputAt++])
               : -1;
  };
  int c;
  do {
    c = next();
  } while (c == ' ' || (c >= '\t' && c <= '\r'));
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = next();
  }
  if (c < '0' || c > '9') return false;
  long value = 0;
  for (; c >= '0' && c <= '9'; c = next()) {
    if (value < 100000000) value = value * 10 + (c - '0');
  }
  *number = negative ? -value : value;
  return true;
}

}  // namespace platform

// ---------------------------------------------------------------------------
// Test controls

namespace fake {

std::optional<int> RunToExit(const std::function<void()>& body) {
  try {
    body();
  } catch (const ExitCalled& exit) {
    return exit.status;
  }
  return std::nullopt;
}

void Reset() {
  S() = State();
  S().cwd = {"C:", "work"};
  AddFolder("C:\\work");
}

void AddFolder(const std::string& path) {
  const auto parts = Components(path);
  for (std::size_t i = 1; i <= parts.size(); ++i) {
    const std::string key = Key(parts, i);
    if (Find(key) == nullptr)
      S().tree[key] = Entry{parts[i - 1], true, "", false, 0};
  }
}

void AddFile(const std::string& path, const std::string& content,
             int64_t writeTime) {
  const auto parts = Components(path);
  if (parts.empty()) return;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string key = Key(parts, i);
    if (Find(key) == nullptr)
      S().tree[key] = Entry{parts[i - 1], true, "", false, 0};
  }
  S().tree[Key(parts)] = Entry{parts.back(), false, content, false, writeTime};
}

void SetReadOnly(const std::string& path, bool readOnly) {
  if (Entry* entry = Find(Key(Components(path)))) entry->readOnly = readOnly;
}

bool Exists(const std::string& path) {
  return Find(Key(Components(path))) != nullptr;
}

bool IsFolder(const std::string& path) {
  const Entry* entry = Find(Key(Components(path)));
  return entry != nullptr && entry->folder;
}

std::string Content(const std::string& path) {
  const Entry* entry = Find(Key(Components(path)));
  return entry == nullptr ? std::string() : entry->content;
}

int64_t WriteTime(const std::string& path) {
  const Entry* entry = Find(Key(Components(path)));
  return entry == nullptr ? 0 : entry->writeTime;
}

namespace {

void AppendTree(const std::string& key, const std::string& prefix,
                std::string* out) {
  for (const Entry* child : Children(key)) {
    const std::string name = prefix + child->spelling;
    if (child->folder) {
      *out += "D " + name + "\n";
      AppendTree(key + "\\" + Upper(child->spelling), name + "\\", out);
    } else {
      *out += "F " + name + "=" + child->content + "\n";
    }
  }
}

}  // namespace

std::string Tree(const std::string& path) {
  std::string out;
  AppendTree(Key(Components(path)), "", &out);
  return out;
}

std::string CurrentFolder() { return Spelled(S().cwd); }

void FailCall(Op op, int nth, uint32_t code) {
  S().failures[{static_cast<int>(op), nth}] = code;
}

int Calls(Op op) { return S().calls[static_cast<int>(op)]; }

void SetClockReadings(const std::vector<int32_t>& readings) {
  S().clockReadings = readings;
  S().clockNext = 0;
}

int ClockReads() { return S().clockReads; }

const std::string& Output() { return S().output; }
void ClearOutput() { S().output.clear(); }

void SetInput(const std::string& input) {
  S().input = input;
  S().inputAt = 0;
}

std::string RemainingInput() { return S().input.substr(S().inputAt); }

int Flushes() { return S().flushes; }

const std::vector<std::string>& Commands() { return S().commands; }

void OnSystem(std::function<int(const char*)> handler) {
  S().onSystem = std::move(handler);
}

void SetRegistryValue(const std::string& keyPath, const char* valueName,
                      const std::string& data) {
  S().registry[Upper(keyPath)].values[ValueKey(valueName)] = RegValue{data};
}

void AddRegistryKey(const std::string& keyPath) {
  S().registry[Upper(keyPath)];
}

void RemoveRegistryValue(const std::string& keyPath, const char* valueName) {
  S().registry[Upper(keyPath)].values.erase(ValueKey(valueName));
}

void OnRegistryQuery(std::function<void(int)> hook) {
  S().onRegistryQuery = std::move(hook);
}

int OpenRegistryKeys() { return S().openKeys; }

}  // namespace fake
