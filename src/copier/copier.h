// Depth-first copy of a folder tree into a destination folder, listing each
// folder it enters and each file it copies through a ProgressThrottle.
//
// Every failed file-system step ends the process through FatalError, so the
// copy operations return only when their work is done (or when the filter
// turned the folder away). Nothing is rolled back: files copied before a
// failure stay.
#ifndef INSTALLER_COPIER_COPIER_H_
#define INSTALLER_COPIER_COPIER_H_

#include <initializer_list>
#include <string>

#include "report/report.h"

/// The item filter. `Valid` itself accepts every item; a derived filter may
/// turn items away by source path.
class Valid {
 public:
  /// True means copy the item at `sourcePath`.
  virtual bool IsValid(const char* sourcePath);
  virtual ~Valid();
};

/// Asks the filter about `source` itself, creates `destination` when it is
/// missing (an existing folder is reused) and copies the contents into it.
/// False only when the filter turned `source` away.
bool CopyFolder(ProgressThrottle& throttle, Valid& filter, const char* source,
                const char* destination);

/// Copies the contents of `source` into the existing folder `destination`:
/// files are copied (replacing files of the same names), sub-folders are
/// copied with CopyFolder, sub-folders whose names begin with a dot are
/// skipped. Writes the folder header first. Always true.
bool CopyFolderContents(ProgressThrottle& throttle, Valid& filter,
                        const char* source, const char* destination);

/// Copies one file, replacing an existing destination, then lists it.
/// Always true.
bool CopyOneFile(ProgressThrottle& throttle, const char* source,
                 const char* destination);

/// Creates the one folder `path`. True when created, false when the name
/// already existed.
bool MakeDirectory(const char* path);

/// The last component of `path`: after the last backslash, else after the
/// last forward slash, else the whole path.
std::string ExtractFileName(const char* path);

/// The parts one after another.
std::string JoinStrings(std::initializer_list<const char*> parts);

#endif  // INSTALLER_COPIER_COPIER_H_
