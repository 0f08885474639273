// The platform operations on Linux, with the Windows semantics the program
// relies on: paths through posix_paths, codes through posix_errors, the
// registry through wine_registry and the command interpreter through
// posix_system.
#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_errors.h"
#include "platform/posix_paths.h"
#include "platform/posix_streams.h"
#include "platform/wine_registry.h"

namespace platform {

using posix::ErrorFromErrno;
using posix::SplitPath;

namespace {

uint32_t gLastError = kErrorSuccess;

bool Fail(uint32_t code) {
  gLastError = code;
  return false;
}

bool FailErrno(int error) { return Fail(ErrorFromErrno(error)); }

}  // namespace

uint32_t GetLastError() { return gLastError; }

void SetLastError(uint32_t code) { gLastError = code; }

// ---------------------------------------------------------------------------
// Folders

bool CreateDirectoryA(const char* path) {
  SplitPath target;
  bool exists = false;
  uint32_t error = posix::MapPath(path, &target);
  if (error == kErrorSuccess) error = posix::ResolvePath(&target, &exists);
  if (error != kErrorSuccess) return Fail(error);
  if (exists) return Fail(kErrorAlreadyExists);
  if (mkdir(posix::Joined(target).c_str(), 0777) != 0) return FailErrno(errno);
  posix::NoteCreated(target.folder, target.name);
  return true;
}

// ---------------------------------------------------------------------------
// Copying a file
//
// The data goes to a temporary file beside the destination, which is then
// renamed over it: the destination's name always holds either the old
// content or the whole new one. SIGINT, SIGTERM and SIGHUP remove a
// temporary that is being written before the process ends.

namespace {

constexpr char kTemporaryMarker[] = ".installer-tmp-";

// The temporary being written, for the signal handler. `gTemporaryReady` is
// set only while `gTemporaryPath` holds a complete name.
char gTemporaryPath[8192];
volatile sig_atomic_t gTemporaryReady = 0;

extern "C" void RemoveTemporaryAndDie(int signal) {
  if (gTemporaryReady) unlink(gTemporaryPath);
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void InstallCleanupHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current;
    // A signal the starter chose to ignore (nohup) stays ignored.
    if (sigaction(signal, nullptr, &current) == 0 &&
        current.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction cleanup = {};
    cleanup.sa_handler = RemoveTemporaryAndDie;
    sigemptyset(&cleanup.sa_mask);
    sigaction(signal, &cleanup, nullptr);
  }
  // A file-size limit shows as EFBIG from the write, not as a signal.
  std::signal(SIGXFSZ, SIG_IGN);
}

// Remembers `path` as the temporary to remove on a signal, or forgets it.
void TrackTemporary(const std::string* path) {
  gTemporaryReady = 0;
  if (path == nullptr || path->size() >= sizeof gTemporaryPath) return;
  // The fences keep the name's bytes from moving across the flag.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(gTemporaryPath, path->c_str(), path->size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  gTemporaryReady = 1;
}

// "<name>.installer-tmp-<pid>", with the name shortened (on a character
// boundary) when the whole would not fit in one file-name component.
std::string TemporaryName(const std::string& name, int attempt) {
  static const std::string kPid = std::to_string(getpid());
  std::string suffix = kTemporaryMarker + kPid;
  if (attempt > 0) suffix += "-" + std::to_string(attempt);
  constexpr std::size_t kMaxComponent = 255;
  std::size_t keep = std::min(name.size(), kMaxComponent - suffix.size());
  while (keep > 0 && keep < name.size() &&
         (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  return name.substr(0, keep) + suffix;
}

mode_t ProcessUmask() {
  // Reading the mask means setting it; this runs once, before any file is
  // created, in a program with one thread.
  static const mode_t mask = [] {
    const mode_t current = umask(0);
    umask(current);
    return current;
  }();
  return mask;
}

// Opens the source for reading, matching its name without regard to case
// when the exact spelling does not exist.
int OpenSource(const char* path, uint32_t* error) {
  SplitPath source;
  *error = posix::MapPath(path, &source);
  if (*error != kErrorSuccess) return -1;
  int fd = open(posix::Joined(source).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) return fd;
  if (errno != ENOENT && errno != ENOTDIR) {
    *error = ErrorFromErrno(errno);
    return -1;
  }
  bool exists = false;
  *error = posix::ResolvePath(&source, &exists);
  if (*error != kErrorSuccess) return -1;
  if (!exists) {
    *error = kErrorFileNotFound;
    return -1;
  }
  fd = open(posix::Joined(source).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) *error = ErrorFromErrno(errno);
  return fd;
}

// Why an existing destination may not be replaced, as Windows decides it:
// a folder, the source itself, or a file its owner may not write.
uint32_t CheckReplaceable(const std::string& unixPath,
                          const struct stat& source) {
  struct stat existing;
  if (stat(unixPath.c_str(), &existing) != 0) {
    // A dangling symbolic link is replaced like a file.
    return errno == ENOENT ? kErrorSuccess : ErrorFromErrno(errno);
  }
  if (S_ISDIR(existing.st_mode)) return kErrorAccessDenied;
  if (existing.st_dev == source.st_dev && existing.st_ino == source.st_ino) {
    return kErrorSharingViolation;
  }
  if ((existing.st_mode & S_IWUSR) == 0) return kErrorAccessDenied;
  if (geteuid() != 0 &&
      faccessat(AT_FDCWD, unixPath.c_str(), W_OK, AT_EACCESS) != 0) {
    return kErrorAccessDenied;
  }
  return kErrorSuccess;
}

// Moves all of `in` (`size` bytes when it was opened) to `out` inside the
// kernel; falls back to sendfile and then to a plain loop only where the
// file systems cannot do that. The copy ends at `size`, so a file that grows
// meanwhile is copied as it was when opened, without a call to find its end.
bool CopyData(int in, int out, off_t size, int* error) {
  bool kernelCopy = true;
  bool sendFile = true;
  off_t copied = 0;
  while (copied < size) {
    ssize_t moved;
    if (kernelCopy) {
      moved = copy_file_range(in, nullptr, out, nullptr,
                              static_cast<size_t>(size - copied), 0);
      if (moved < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                        errno == EOPNOTSUPP)) {
        kernelCopy = false;
        continue;
      }
    } else if (sendFile) {
      moved = sendfile(out, in, nullptr, static_cast<size_t>(size - copied));
      if (moved < 0 && (errno == EINVAL || errno == ENOSYS)) {
        sendFile = false;
        continue;
      }
    } else {
      char buffer[1 << 16];
      moved = read(in, buffer, std::min<off_t>(sizeof buffer, size - copied));
      for (ssize_t done = 0; moved > 0 && done < moved;) {
        const ssize_t written = write(out, buffer + done, moved - done);
        if (written < 0) {
          if (errno == EINTR) continue;
          *error = errno;
          return false;
        }
        done += written;
      }
    }
    if (moved == 0) return true;  // the file shrank meanwhile
    if (moved < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return false;
    }
    copied += moved;
  }
  return true;
}

// Writes the whole new content under a temporary name in the destination's
// folder and renames it over `target`. On failure nothing is left behind.
bool WriteReplacement(int in, const struct stat& source,
                      const SplitPath& target) {
  std::string temporary;
  int out = -1;
  for (int attempt = 0; out < 0; ++attempt) {
    SplitPath candidate = target;
    candidate.name = TemporaryName(target.name, attempt);
    temporary = posix::Joined(candidate);
    // Named to the signal handler before it exists: a signal that comes
    // while the file is being created is handled as soon as open returns,
    // and must find the name then. A name that already existed is forgotten
    // at once; as it carries this process's id, it can only be the leftover
    // of a dead process that had the same id.
    TrackTemporary(&temporary);
    out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
               source.st_mode & 0777);
    if (out < 0) {
      const int saved = errno;
      TrackTemporary(nullptr);
      if (saved != EEXIST || attempt >= 100) return FailErrno(saved);
    }
  }
  int error = 0;
  bool written = CopyData(in, out, source.st_size, &error);
  if (written) {
    const timespec times[2] = {source.st_atim, source.st_mtim};
    // The creation mode above lost only what the umask removes; a further
    // call is needed only then (or for set-id and sticky bits).
    const mode_t wanted = source.st_mode & 07777;
    const bool modeKept = (wanted & ~ProcessUmask()) == wanted;
    if ((!modeKept && fchmod(out, wanted) != 0) || futimens(out, times) != 0) {
      written = false;
      error = errno;
    }
  }
  if (close(out) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written &&
      rename(temporary.c_str(), posix::Joined(target).c_str()) != 0) {
    written = false;
    error = errno;
  }
  if (!written) unlink(temporary.c_str());
  TrackTemporary(nullptr);
  return written ? true : FailErrno(error);
}

}  // namespace

bool CopyFileA(const char* source, const char* destination) {
  InstallCleanupHandlers();
  uint32_t error = kErrorSuccess;
  const int in = OpenSource(source, &error);
  if (in < 0) return Fail(error);
  struct stat sourceInfo;
  if (fstat(in, &sourceInfo) != 0) {
    const int saved = errno;
    close(in);
    return FailErrno(saved);
  }
  if (S_ISDIR(sourceInfo.st_mode)) {
    close(in);
    return Fail(kErrorAccessDenied);
  }

  SplitPath target;
  bool exists = false;
  error = posix::MapPath(destination, &target);
  if (error == kErrorSuccess) error = posix::ResolvePath(&target, &exists);
  if (error == kErrorSuccess && target.isRoot) error = kErrorAccessDenied;
  if (error == kErrorSuccess && exists) {
    error = CheckReplaceable(posix::Joined(target), sourceInfo);
  }
  if (error != kErrorSuccess) {
    close(in);
    return Fail(error);
  }
  const bool copied = WriteReplacement(in, sourceInfo, target);
  close(in);
  // A rename over an old file changes the folder as much as a new name
  // does; either way the cached listing must take the change as ours, or
  // the next file would read the whole folder again.
  if (copied) posix::NoteCreated(target.folder, target.name);
  return copied;
}

// ---------------------------------------------------------------------------
// Folder searches

struct FindState {
  std::vector<FindDataA> entries;
  std::size_t next = 0;
};

namespace {

bool HasWildcard(std::string_view text) {
  return text.find_first_of("*?") != std::string_view::npos;
}

// Windows wildcard matching without regard to case: '*' any run, '?' one
// character. "*.*" matches every name, as it does on Windows.
bool MatchesPattern(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  const std::u16string p = posix::FoldedName(pattern);
  const std::u16string n = posix::FoldedName(name);
  std::size_t pi = 0, ni = 0, star = std::u16string::npos, resume = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == u'*') {
      star = pi++;
      resume = ni;
    } else if (star != std::u16string::npos) {
      pi = star + 1;
      ni = ++resume;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

FindDataA MakeEntry(std::string_view name, bool folder) {
  FindDataA entry;
  entry.dwFileAttributes =
      folder ? kFileAttributeDirectory : kFileAttributeArchive;
  const std::size_t length = std::min(name.size(), sizeof entry.cFileName - 1);
  std::memcpy(entry.cFileName, name.data(), length);
  entry.cFileName[length] = '\0';
  return entry;
}

bool IsFolderEntry(DIR* dir, const dirent* entry) {
  if (entry->d_type == DT_DIR) return true;
  if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
  // A symbolic link counts as a folder when it leads to one.
  struct stat target;
  return fstatat(dirfd(dir), entry->d_name, &target, 0) == 0 &&
         S_ISDIR(target.st_mode);
}

// Reads the folder's entries that match `pattern`, in Windows order.
uint32_t ReadFolder(const std::string& unixFolder, std::string_view pattern,
                    bool withDots, std::vector<FindDataA>* out) {
  DIR* dir = opendir(unixFolder.c_str());
  if (dir == nullptr) return posix::FolderErrorFromErrno(errno);
  std::vector<std::pair<std::u16string, FindDataA>> named;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!MatchesPattern(pattern, name)) continue;
    named.emplace_back(posix::FoldedName(name),
                       MakeEntry(name, IsFolderEntry(dir, entry)));
    errno = 0;
  }
  const int readError = errno;
  closedir(dir);
  if (readError != 0) return ErrorFromErrno(readError);
  std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return std::strcmp(a.second.cFileName, b.second.cFileName) < 0;
  });
  out->clear();
  out->reserve(named.size() + 2);
  if (withDots) {
    if (MatchesPattern(pattern, ".")) out->push_back(MakeEntry(".", true));
    if (MatchesPattern(pattern, "..")) out->push_back(MakeEntry("..", true));
  }
  for (auto& [key, entry] : named) out->push_back(entry);
  return kErrorSuccess;
}

// Whether the folder to search is itself a file. Windows opens that folder
// as a directory and fails with 267; a file further up the path is a
// missing path, 3, as for every other call.
bool SearchFolderIsFile(const SplitPath& search) {
  SplitPath folder = search;
  const std::size_t slash = search.folder.rfind('/');
  const bool inSubFolder =
      slash != std::string::npos && slash >= search.baseLength;
  folder.name =
      search.folder.substr(inSubFolder ? slash + 1 : search.baseLength);
  if (folder.name.empty() || folder.name == ".") return false;
  folder.folder =
      search.folder.substr(0, inSubFolder ? slash : search.baseLength);
  if (folder.folder.empty()) folder.folder = ".";
  bool exists = false;
  struct stat info;
  return posix::ResolvePath(&folder, &exists) == kErrorSuccess && exists &&
         stat(posix::Joined(folder).c_str(), &info) == 0 &&
         !S_ISDIR(info.st_mode);
}

}  // namespace

FindHandle FindFirstFileA(const char* pattern, FindDataA* entry) {
  SplitPath search;
  uint32_t error = posix::MapPath(pattern, &search);
  if (error == kErrorSuccess && search.isRoot) error = kErrorFileNotFound;
  if (error == kErrorSuccess) error = posix::ResolveFolder(&search);
  if (error == kErrorPathNotFound && SearchFolderIsFile(search)) {
    error = kErrorDirectory;
  }
  if (error != kErrorSuccess) {
    Fail(error);
    return nullptr;
  }
  auto state = std::make_unique<FindState>();
  if (HasWildcard(search.name)) {
    // Drive roots have no "." and ".." entries on Windows.
    const bool driveRoot =
        search.drive && search.folder.size() == search.baseLength;
    error = ReadFolder(search.folder, search.name, !driveRoot, &state->entries);
  } else {
    bool exists = false;
    error = posix::ResolvePath(&search, &exists);
    if (error == kErrorSuccess && exists) {
      struct stat info;
      const bool folder = stat(posix::Joined(search).c_str(), &info) == 0 &&
                          S_ISDIR(info.st_mode);
      state->entries.push_back(MakeEntry(search.name, folder));
    }
  }
  if (error == kErrorSuccess && state->entries.empty()) {
    error = kErrorFileNotFound;
  }
  if (error != kErrorSuccess) {
    Fail(error);
    return nullptr;
  }
  *entry = state->entries[0];
  state->next = 1;
  return state.release();
}

bool FindNextFileA(FindHandle search, FindDataA* entry) {
  if (search == nullptr) return Fail(kErrorInvalidHandle);
  if (search->next >= search->entries.size()) return Fail(kErrorNoMoreFiles);
  *entry = search->entries[search->next++];
  return true;
}

bool FindClose(FindHandle search) {
  if (search == nullptr) return Fail(kErrorInvalidHandle);
  delete search;
  return true;
}

// ---------------------------------------------------------------------------
// Registry

namespace {

long Status(long status) {
  if (status != 0) gLastError = static_cast<uint32_t>(status);
  return status;
}

}  // namespace

long RegOpenKeyExA(const char* subKey, RegKey* key) {
  return Status(wine_registry::OpenKey(subKey, key));
}

long RegQueryValueExA(RegKey key, const char* valueName, unsigned char* data,
                      uint32_t* size) {
  return Status(wine_registry::QueryValue(key, valueName, data, size));
}

long RegCloseKey(RegKey key) { return Status(wine_registry::CloseKey(key)); }

// ---------------------------------------------------------------------------
// Process

namespace {

const std::chrono::steady_clock::time_point kProcessStart =
    std::chrono::steady_clock::now();

}  // namespace

int32_t Clock() {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - kProcessStart)
                           .count();
  // Past the range of the 32-bit value the C runtime answers -1.
  if (elapsed > std::numeric_limits<int32_t>::max()) return -1;
  return static_cast<int32_t>(elapsed);
}

bool GetCurrentFolder(std::string* folder) {
  std::vector<char> buffer(256);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) {
      folder->assign(buffer.data());
      return true;
    }
    if (errno != ERANGE) return FailErrno(errno);
    buffer.resize(buffer.size() * 2);
  }
}

bool ChangeFolder(const char* path) {
  SplitPath target;
  bool exists = false;
  uint32_t error = posix::MapPath(path, &target);
  if (error == kErrorSuccess) error = posix::ResolvePath(&target, &exists);
  if (error == kErrorSuccess && !exists) error = kErrorFileNotFound;
  if (error != kErrorSuccess) {
    return Fail(error == kErrorFileNotFound ? kErrorPathNotFound : error);
  }
  if (chdir(posix::Joined(target).c_str()) != 0) {
    const int saved = errno;
    return Fail(saved == ENOENT || saved == ENOTDIR ? kErrorPathNotFound
                                                    : ErrorFromErrno(saved));
  }
  return true;
}

void Exit(int status) {
  posix::FlushOutput();
  std::exit(status);
}

}  // namespace platform
