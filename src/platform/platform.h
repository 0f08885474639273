// The operating-system operations the installer uses, with Windows
// semantics on every platform.
//
// Exactly one implementation is linked into each program: platform_win32.cc
// (the real Win32 and C runtime calls), platform_posix.cc (Linux, resolving
// drive letters through a Wine prefix) or the in-memory fake used by tests
// (tests/fake_platform.h). Callers never see which one they got.
//
// Paths are NUL-terminated narrow strings in the program's code page (the
// ANSI code page on Windows, UTF-8 on Linux). Both '\' and '/' separate
// components; names match without regard to letter case.
//
// Every operation that can fail says so in its result and leaves a Win32
// error code in the last-error value (GetLastError). The codes a caller may
// see are listed with each operation; they are the codes Windows gives.
#ifndef INSTALLER_PLATFORM_PLATFORM_H_
#define INSTALLER_PLATFORM_PLATFORM_H_

#include <cstdint>
#include <string>

namespace platform {

// Win32 last-error codes the program and its tests rely on by name.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorNotSameDevice = 17;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorBusy = 170;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorFilenameExcedRange = 206;
constexpr uint32_t kErrorFileTooLarge = 223;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorDirectory = 267;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorCantResolveFilename = 1921;

// dwFileAttributes bits.
constexpr uint32_t kFileAttributeReadonly = 0x1;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeArchive = 0x20;

/// The part of WIN32_FIND_DATAA the program reads: the entry's attributes
/// and its bare name, NUL-terminated, at most 259 characters.
struct FindDataA {
  uint32_t dwFileAttributes = 0;
  char cFileName[260] = {};
};

/// An open folder search. Null plays the part of INVALID_HANDLE_VALUE.
struct FindState;
using FindHandle = FindState*;

/// An open registry key. Null is never a valid open key.
struct RegKeyState;
using RegKey = RegKeyState*;

// ---------------------------------------------------------------------------
// Last-error value

/// The calling thread's last-error value. Reading it does not change it.
uint32_t GetLastError();

/// Sets the last-error value.
void SetLastError(uint32_t code);

// ---------------------------------------------------------------------------
// Files and folders

/// Creates the one folder `path` names; folders above it are not created.
/// True when created. False with:
///   183 the name already exists (as a folder or as a file);
///   3   a folder above it is missing, or `path` is empty;
///   5   access denied (also a read-only file system);
///   206 the path is longer than the system allows;
///   112 the disk is full; other codes for other causes.
bool CreateDirectoryA(const char* path);

/// Copies the file `source` to `destination`, replacing an existing
/// destination file (bFailIfExists FALSE). The copy keeps the source's
/// last-write time and read-only state. Replacement is atomic: on failure
/// the destination holds its old content and no temporary file is left.
/// True when copied. False with:
///   2   the source is missing;
///   3   a folder above the source or the destination is missing;
///   5   the source or the destination is a folder, the destination is
///       read-only, or access is denied;
///   32  source and destination are the same file (under any spelling);
///   112 the disk is full; 206 a path is too long; other codes for other
///       causes.
bool CopyFileA(const char* source, const char* destination);

/// Starts listing the folder entries that match `pattern` (a folder path
/// followed by "\*", or another wildcard of '*' and '?'). On success returns
/// an open search and fills `entry` with the first entry. Entries come in
/// the order Windows gives on NTFS: "." and ".." first (not for a drive
/// root), then the names compared after upper-casing, ties by their bytes.
/// A folder entry, also a symbolic link to a folder, has bit 0x10 set.
/// Null on failure, with:
///   2   the folder exists but nothing matches;
///   3   the folder is missing (also: a file stands for a folder above it);
///   267 the folder is a file ("The directory name is invalid");
///   5   the folder may not be read; 206 the path is too long.
FindHandle FindFirstFileA(const char* pattern, FindDataA* entry);

/// Fills `entry` with the next entry of the search. False at the end with
/// 18, or with another code when the folder cannot be read further.
bool FindNextFileA(FindHandle search, FindDataA* entry);

/// Ends a search and releases it. True when closed; success leaves the
/// last-error value alone. False with 6 for a null search.
bool FindClose(FindHandle search);

// ---------------------------------------------------------------------------
// Registry, below HKEY_LOCAL_MACHINE, as a 32-bit program sees it. Each
// returns a Win32 status (0 success) and, on failure, also leaves that status
// in the last-error value.

/// Opens `subKey` (backslash-separated, any letter case) for querying values.
///   0 opened, `*key` set; 2 the key does not exist; 5 access denied.
long RegOpenKeyExA(const char* subKey, RegKey* key);

/// Reads the value `valueName` (null or "" for the default value) of `key`.
/// With `data` null only the size is asked for. On entry `*size` is the
/// capacity of `data`; on return it is the size of the value in bytes (for
/// string types the terminating NUL is counted when the value holds one).
/// String types come back as narrow text in the program's code page, other
/// types as their raw bytes.
///   0   success (`*size` bytes stored when `data` is not null);
///   2   the value does not exist;
///   234 `data` is too small: nothing stored, `*size` is the size needed.
long RegQueryValueExA(RegKey key, const char* valueName, unsigned char* data,
                      uint32_t* size);

/// Closes a key opened by RegOpenKeyExA. 0 closed; 6 for a null key.
long RegCloseKey(RegKey key);

// ---------------------------------------------------------------------------
// Runtime library

/// Wall-clock milliseconds since the process started, signed 32-bit.
int32_t Clock();

/// Runs `command` through the command interpreter and waits for it to end.
/// Standard output is flushed first, so what the program wrote comes before
/// what the command writes. Returns the interpreter's exit code, or -1 when
/// no interpreter could be started.
int System(const char* command);

/// Stores the current folder, an absolute path, in `*folder`. False when it
/// cannot be read; `*folder` is then left unchanged.
bool GetCurrentFolder(std::string* folder);

/// Makes `path` the current folder. False when it cannot, with the Win32
/// code in the last-error value (3 a missing folder, 5 access denied).
bool ChangeFolder(const char* path);

/// Ends the process with `status` after writing pending output. The fake
/// returns control to the test instead (by throwing), so tests can go on.
[[noreturn]] void Exit(int status);

// ---------------------------------------------------------------------------
// Standard streams. Output is never flushed by the program's own code; a
// console shows each write at once, a file or pipe receives it when the
// buffer fills, before a command runs, or at exit. Write errors (a closed
// pipe, a full disk) are dropped without notice and never stop the program.

void WriteText(const char* text);
void WriteText(const std::string& text);
void WriteChar(char c);
void WriteUnsigned(uint32_t number);

/// Reads one integer from standard input the way `std::cin >> int` does:
/// flushes standard output, skips white space, then takes an optionally
/// signed decimal number if one is there. It waits until input holds a
/// character that is not white space, or until input ends. False when no
/// number was read.
bool ReadInteger(long* number);

}  // namespace platform

#endif  // INSTALLER_PLATFORM_PLATFORM_H_
