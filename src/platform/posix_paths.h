// Windows path semantics on a POSIX file system: drive letters through a
// Wine prefix, both separators, names matched without regard to letter case,
// and the NTFS listing order. Internal to the POSIX platform layer.
#ifndef INSTALLER_PLATFORM_POSIX_PATHS_H_
#define INSTALLER_PLATFORM_POSIX_PATHS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::posix {

/// `unit` through the Unicode simple upper-case mapping, as Windows compares
/// names; surrogates and units whose upper case leaves the plane stay as
/// they are.
char16_t UpperCaseUnit(char16_t unit);

/// The Wine prefix: $WINEPREFIX, or $HOME/.wine when it is unset or empty.
std::string WinePrefix();

/// The name upper-cased unit by unit, as Windows compares names: each
/// UTF-8 character becomes its UTF-16 units, each unit below the surrogates
/// is mapped through the Unicode simple upper-case mapping. Bytes that are
/// not valid UTF-8 stand for themselves.
std::u16string FoldedName(std::string_view name);

/// True when `a` lists before `b` in a Windows folder listing: upper-cased
/// names compared unit by unit, a prefix first, ties by the original bytes.
bool ListsBefore(std::string_view a, std::string_view b);

/// A Windows path turned into the Unix path it names, split so that the
/// last component can be looked up on its own.
struct SplitPath {
  std::string folder;  // Unix path of the containing folder ("." if none)
  std::string name;    // last component; empty for a root
  bool drive = false;  // the path began with a drive letter
  bool isDriveRoot = false;
  bool isRoot = false;  // a drive root or "/": there is no last component
  std::size_t baseLength =
      0;  // the drive folder or "/" that `folder` starts with
};

/// Maps `windowsPath` to Unix spelling without touching the file system
/// beyond the drive: "C:\a\b" becomes "$WINEPREFIX/dosdevices/c:/a/b".
/// Repeated separators and "." collapse, ".." removes the component before
/// it. 0 on success; 3 when the path is empty or names an unmapped drive.
uint32_t MapPath(const char* windowsPath, SplitPath* out);

/// Finds the entry of the existing folder `unixFolder` whose name equals
/// `name` without regard to case. The exact spelling wins; otherwise the
/// first match in the folder's own order. Sets `*found` to the matching
/// name, or leaves it empty. Listings are cached per folder and revalidated
/// against the folder's modification time.
void FindNameIgnoringCase(const std::string& unixFolder, std::string_view name,
                          std::string* found);

/// Records that this process created `name` in `unixFolder`, or renamed a
/// new file over it, so that the cached listing of that folder stays valid.
void NoteCreated(const std::string& unixFolder, const std::string& name);

/// Resolves the folder part of `path` component by component, matching each
/// without regard to case. On success `path->folder` names an existing
/// folder on disk. 0, or 3 when a component is missing or not a folder.
uint32_t ResolveFolder(SplitPath* path);

/// Resolves `path` fully: the folder as ResolveFolder, then the last
/// component matched without regard to case when it exists. `*exists` tells
/// whether the last component was found; when not, `path->name` keeps the
/// spelling it was given.
uint32_t ResolvePath(SplitPath* path, bool* exists);

/// The Unix path of `path`: folder + "/" + name.
std::string Joined(const SplitPath& path);

}  // namespace platform::posix

#endif  // INSTALLER_PLATFORM_POSIX_PATHS_H_
