// An in-memory platform for tests: a folder tree, a scriptable clock,
// captured standard output, scripted standard input, a registry, and
// failures injected as data. Linked in place of the real platform layer.
//
// Paths behave as on Windows: '\' and '/' both separate, names match without
// regard to letter case (two names that differ only in case cannot coexist),
// a listing comes in upper-cased name order with "." and ".." first.
// Relative paths are taken against the fake's current folder, "C:\work" after
// Reset(). The folders "C:\" and "C:\work" exist after Reset().
#ifndef INSTALLER_TESTS_FAKE_PLATFORM_H_
#define INSTALLER_TESTS_FAKE_PLATFORM_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fake {

/// Thrown by platform::Exit so that the test goes on after the program
/// "ended". Catch it with RunToExit.
struct ExitCalled {
  int status;
};

/// Runs `body`; returns the exit status if it called platform::Exit, or
/// nothing if it returned normally.
std::optional<int> RunToExit(const std::function<void()>& body);

/// Clears every tree, registry, stream, clock and failure.
void Reset();

// --- Tree -----------------------------------------------------------------

void AddFolder(const std::string& path);  // creates missing parents too
void AddFile(const std::string& path, const std::string& content,
             int64_t writeTime = 0);  // creates missing parents too
void SetReadOnly(const std::string& path, bool readOnly);
bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
std::string Content(const std::string& path);  // empty when missing
int64_t WriteTime(const std::string& path);
/// Every entry below `path`, one per line: "D name\n" for folders and
/// "F name=content\n" for files, names as spelled, relative to `path`,
/// depth first in listing order.
std::string Tree(const std::string& path);
std::string CurrentFolder();

// --- Failures -------------------------------------------------------------

enum class Op {
  kCreateDirectoryA,
  kCopyFileA,
  kFindFirstFileA,
  kFindNextFileA,
  kFindClose,
  kRegOpenKeyExA,
  kRegQueryValueExA,
  kChangeFolder,
  kGetCurrentFolder,
};

/// The `nth` call (1-based, counted from Reset) of `op` fails with `code`
/// and changes nothing. A failed FindNextFileA ends the listing; a failed
/// FindClose still releases the search.
void FailCall(Op op, int nth, uint32_t code);

/// How often `op` was called since Reset.
int Calls(Op op);

// --- Clock ------------------------------------------------------------------

/// Each Clock() call returns the next reading; after the last one it keeps
/// returning the last. Without readings the clock starts at 0 and goes up
/// by 1 with each call.
void SetClockReadings(const std::vector<int32_t>& readings);
int ClockReads();

// --- Streams and commands -------------------------------------------------

const std::string& Output();
void ClearOutput();
/// What standard input will deliver. End of input follows it.
void SetInput(const std::string& input);
/// Bytes of input not yet taken.
std::string RemainingInput();
/// How many times standard output was flushed (by ReadInteger or System).
int Flushes();

/// Commands run through System, in order, each with the current folder at
/// the time: "command @ folder".
const std::vector<std::string>& Commands();
/// Runs instead of the default, which records the command and returns 0.
void OnSystem(std::function<int(const char* command)> handler);

// --- Registry ---------------------------------------------------------------

/// Stores a value below HKEY_LOCAL_MACHINE. `valueName` null is the
/// default value. `data` is returned by RegQueryValueExA exactly as given
/// (include the terminating NUL for a terminated string).
void SetRegistryValue(const std::string& keyPath, const char* valueName,
                      const std::string& data);
/// A key that exists without values.
void AddRegistryKey(const std::string& keyPath);
void RemoveRegistryValue(const std::string& keyPath, const char* valueName);
/// Runs before every RegQueryValueExA, with the call's 1-based number, so a
/// test can change the registry between the size query and the read.
void OnRegistryQuery(std::function<void(int call)> hook);
/// Keys opened and not yet closed.
int OpenRegistryKeys();

}  // namespace fake

#endif  // INSTALLER_TESTS_FAKE_PLATFORM_H_
