// Helpers for the tests of the Wine registry reader: scratch prefixes,
// fixtures, and look-ups run in a fresh child process.
#ifndef INSTALLER_TESTS_WINE_REGISTRY_TEST_SUPPORT_H_
#define INSTALLER_TESTS_WINE_REGISTRY_TEST_SUPPORT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace registry_test {

// Keys and values the fixtures hold, shared by the registry test programs.
constexpr const char* kVc7 = "SOFTWARE\\Microsoft\\VisualStudio\\SxS\\VC7";
constexpr const char* kForms = "SOFTWARE\\RegForms";

/// `text` with the terminating NUL a stored string carries.
inline std::string Z(const std::string& text) { return text + '\0'; }

inline const std::string kVc9 =
    Z("C:\\Program Files (x86)\\Microsoft Visual Studio 9.0\\VC\\");
inline const std::string kVc10 =
    Z("C:\\Program Files (x86)\\Microsoft Visual Studio 10.0\\VC\\");

using Answers = std::vector<std::string>;

/// The bytes of tests/fixtures/registry/`name`.
std::string Fixture(const std::string& name);

/// A new folder to serve as a Wine prefix, holding `contents` as its
/// system.reg; removed with everything in it when destroyed.
class ScratchPrefix {
 public:
  explicit ScratchPrefix(const std::string& contents);
  ~ScratchPrefix();
  ScratchPrefix(const ScratchPrefix&) = delete;
  ScratchPrefix& operator=(const ScratchPrefix&) = delete;

  const std::string& path() const { return path_; }
  std::string systemReg() const { return path_ + "/system.reg"; }

 private:
  std::string path_;
};

/// Writes `bytes` to the file `path`, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);

struct ChildResult {
  Answers answers;     // what the body returned
  std::string output;  // all it wrote to standard output and error
  bool exitedCleanly = false;
};

/// Runs `body` in a forked child process, with its standard output and
/// error captured, and returns what it returned and wrote. A child that
/// crashes or is killed leaves `exitedCleanly` false (checked here too).
ChildResult InFreshProcess(const std::function<Answers()>& body);

/// Reads a value the way the installer does (size query, then a read into
/// a buffer of that size): its bytes, or "<key: N>" when the key does not
/// open, or "<value: N>" when the value cannot be read, N the status.
std::string Read(const char* key, const char* value);

/// One RegQueryValueExA call on the opened key: "S size=N", then, when
/// `withData`, " buf=" and the buffer's first `size` + 1 bytes in hex
/// (filled with cc before the call), then " last=E" when S is not 0.
std::string Probe(const char* key, const char* value, uint32_t size,
                  bool withData);

}  // namespace registry_test

#endif  // INSTALLER_TESTS_WINE_REGISTRY_TEST_SUPPORT_H_
