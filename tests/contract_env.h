// What the contract suite needs from each platform implementation besides
// the platform interface itself: scratch folders, and a way to make and
// inspect files behind the platform's back. One file per implementation
// (contract_env_fake.cc, contract_env_posix.cc, contract_env_win32.cc).
#ifndef INSTALLER_TESTS_CONTRACT_ENV_H_
#define INSTALLER_TESTS_CONTRACT_ENV_H_

#include <cstdint>
#include <string>
#include <vector>

namespace contract {

/// Prepares a clean state for one test and returns a new, empty folder, as
/// a path the platform accepts, without a trailing separator.
std::string NewScratchFolder();

/// Creates or replaces a file, creating missing folders above it.
void WriteFile(const std::string& path, const std::string& content);
void MakeFolder(const std::string& path);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

/// Makes a file read-only (its owner may not write it) or writable again.
void SetReadOnly(const std::string& path, bool readOnly);

/// Last-write time in seconds since 1970.
void SetWriteTime(const std::string& path, int64_t seconds);
int64_t WriteTime(const std::string& path);

/// The names in a folder, without "." and "..", in any order.
std::vector<std::string> Names(const std::string& folder);

}  // namespace contract

#endif  // INSTALLER_TESTS_CONTRACT_ENV_H_
