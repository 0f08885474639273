#include "copier/copier.h"

#include <cstring>
#include <new>

#include "platform/platform.h"

bool Valid::IsValid(const char*) { return true; }

Valid::~Valid() = default;

std::string ExtractFileName(const char* path) {
  const char* start = std::strrchr(path, '\\');
  if (start == nullptr) start = std::strrchr(path, '/');
  start = start == nullptr ? path : start + 1;
  try {
    return std::string(start);
  } catch (const std::bad_alloc&) {
    platform::SetLastError(platform::kErrorNotEnoughMemory);
    FatalError("allocating memory");
  }
}

std::string JoinStrings(std::initializer_list<const char*> parts) {
  std::size_t total = 0;
  for (const char* part : parts) total += std::strlen(part);
  try {
    std::string joined;
    joined.reserve(total);
    for (const char* part : parts) joined += part;
    return joined;
  } catch (const std::bad_alloc&) {
    platform::SetLastError(platform::kErrorNotEnoughMemory);
    FatalError("allocating memory");
  }
}

bool MakeDirectory(const char* path) {
  if (platform::CreateDirectoryA(path)) return true;
  // 3 is tested before 183, as the report for a missing parent must win.
  const uint32_t code = platform::GetLastError();
  if (code == platform::kErrorPathNotFound) {
    FatalError("creating directory, invalid path specified");
  }
  if (code == platform::kErrorAlreadyExists) return false;
  FatalError("creating directory");
}

bool CopyOneFile(ProgressThrottle& throttle, const char* source,
                 const char* destination) {
  if (!platform::CopyFileA(source, destination)) FatalError("copying file");
  ThrottledWrite(throttle, "\tCopied file ");
  ThrottledWrite(throttle, ExtractFileName(source));
  ThrottledEndLine(throttle);
  return true;
}

namespace {

void WriteIgnoredLine(ProgressThrottle& throttle, const char* sourcePath) {
  ThrottledWrite(throttle, "Ignored item ");
  ThrottledWrite(throttle, ExtractFileName(sourcePath));
  ThrottledEndLine(throttle);
}

void WriteFolderHeader(ProgressThrottle& throttle, const char* source,
                       const char* destination) {
  ThrottledWrite(throttle, "\nCopying folder ");
  ThrottledWrite(throttle, ExtractFileName(source));
  ThrottledWrite(throttle, " from ");
  ThrottledWrite(throttle, source);
  ThrottledWrite(throttle, " to ");
  ThrottledWrite(throttle, destination);
  ThrottledEndLine(throttle);
}

bool IsFolder(const platform::FindDataA& entry) {
  return (entry.dwFileAttributes & platform::kFileAttributeDirectory) != 0;
}

// Covers ".", ".." and every hidden sub-folder such as ".svn".
bool IsSkippedFolderName(const char* name) {
  return name[0] == '\0' || name[0] == '.';
}

void CopyEntry(ProgressThrottle& throttle, Valid& filter,
               const platform::FindDataA& entry, const std::string& entrySource,
               const std::string& entryDestination) {
  if (!filter.IsValid(entrySource.c_str())) {
    WriteIgnoredLine(throttle, entrySource.c_str());
  } else if (!IsFolder(entry)) {
    CopyOneFile(throttle, entrySource.c_str(), entryDestination.c_str());
  } else if (!IsSkippedFolderName(entry.cFileName)) {
    CopyFolder(throttle, filter, entrySource.c_str(), entryDestination.c_str());
  }
}

}  // namespace

bool CopyFolder(ProgressThrottle& throttle, Valid& filter, const char* source,
                const char* destination) {
  if (!filter.IsValid(source)) {
    WriteIgnoredLine(throttle, source);
    return false;
  }
  MakeDirectory(destination);  // An existing folder is simply reused.
  return CopyFolderContents(throttle, filter, source, destination);
}

bool CopyFolderContents(ProgressThrottle& throttle, Valid& filter,
                        const char* source, const char* destination) {
  // The header comes before the search, so it shows even when the search
  // then fails.
  WriteFolderHeader(throttle, source, destination);

  platform::FindDataA entry;
  platform::FindHandle search;
  {
    const std::string pattern = JoinStrings({source, "\\*"});
    search = platform::FindFirstFileA(pattern.c_str(), &entry);
  }
  if (search == nullptr) {
    if (platform::GetLastError() == platform::kErrorFileNotFound) {
      FatalError("searching for files to copy");
    }
    FatalError("finding files");
  }

  bool advanced;
  do {
    const std::string entrySource =
        JoinStrings({source, "\\", entry.cFileName});
    const std::string entryDestination =
        JoinStrings({destination, "\\", entry.cFileName});
    CopyEntry(throttle, filter, entry, entrySource, entryDestination);
    advanced = platform::FindNextFileA(search, &entry);
  } while (advanced);

  // The close comes first; its own failure wins over the advance's code,
  // which a successful close leaves in place.
  if (!platform::FindClose(search)) {
    FatalError("closing find next search handle");
  }
  if (platform::GetLastError() != platform::kErrorNoMoreFiles) {
    FatalError("finding next file");
  }
  return true;
}
