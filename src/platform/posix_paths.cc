#include "platform/posix_paths.h"

#include <dirent.h>
#include <locale.h>
#include <sys/stat.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <list>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_errors.h"

namespace platform::posix {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Decodes one UTF-8 character at `text[*at]`, advancing `*at`. A byte that
// does not start a valid sequence is returned as itself.
char32_t DecodeUtf8(std::string_view text, std::size_t* at) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(*at);
  int extra = lead >= 0xF0 && lead <= 0xF4   ? 3
              : lead >= 0xE0 && lead <= 0xEF ? 2
              : lead >= 0xC2 && lead <= 0xDF ? 1
                                             : 0;
  if (extra == 0 || *at + extra >= text.size()) {
    ++*at;
    return lead;
  }
  char32_t code = lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    const unsigned char next = byte(*at + i);
    if ((next & 0xC0) != 0x80) {
      ++*at;
      return lead;
    }
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (code < kLeast[extra] || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    ++*at;
    return lead;
  }
  *at += extra + 1;
  return code;
}

// ---------------------------------------------------------------------------
// Cached folder listings for case-insensitive look-ups. Copying thousands of
// files into one folder must not read that folder once per file, so a
// listing is kept and revalidated by the folder's identity and modification
// time. Only the few most recently used folders are kept: the copy works
// depth first, so that is all it returns to.

struct Listing {
  dev_t device = 0;
  ino_t inode = 0;
  timespec modified = {};
  // This process added names since `modified` was read, so the folder's
  // next modification time is its own doing.
  bool ownChange = false;
  // Every name under its folded form, in the folder's own order: the first
  // is the one a case-insensitive look-up finds.
  std::unordered_map<std::u16string, std::vector<std::string>> byFoldedName;

  // The entry `name` stands for: its exact spelling when that exists, else
  // the first that differs only in case; empty when there is none.
  std::string Find(std::string_view name) const {
    const auto it = byFoldedName.find(FoldedName(name));
    if (it == byFoldedName.end()) return std::string();
    for (const std::string& spelling : it->second) {
      if (spelling == name) return spelling;
    }
    return it->second.front();
  }
};

constexpr std::size_t kCachedListings = 8;

std::list<std::pair<std::string, Listing>>& Listings() {
  static std::list<std::pair<std::string, Listing>> listings;
  return listings;
}

bool SameVersion(const Listing& listing, const struct stat& folder) {
  return listing.device == folder.st_dev && listing.inode == folder.st_ino &&
         listing.modified.tv_sec == folder.st_mtim.tv_sec &&
         listing.modified.tv_nsec == folder.st_mtim.tv_nsec;
}

void ReadListing(const std::string& unixFolder, const struct stat& folder,
                 Listing* listing) {
  listing->device = folder.st_dev;
  listing->inode = folder.st_ino;
  listing->modified = folder.st_mtim;
  listing->byFoldedName.clear();
  DIR* dir = opendir(unixFolder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    listing->byFoldedName[FoldedName(name)].emplace_back(name);
  }
  closedir(dir);
}

// The listing of `unixFolder`, whose current state `folder` gives, read
// again only when the folder changed since it was read.
Listing* CurrentListing(const std::string& unixFolder,
                        const struct stat& folder) {
  auto& listings = Listings();
  for (auto it = listings.begin(); it != listings.end(); ++it) {
    if (it->first != unixFolder) continue;
    listings.splice(listings.begin(), listings, it);
    Listing& listing = listings.front().second;
    if (listing.ownChange && listing.device == folder.st_dev &&
        listing.inode == folder.st_ino) {
      listing.modified = folder.st_mtim;
    }
    listing.ownChange = false;
    if (!SameVersion(listing, folder)) {
      ReadListing(unixFolder, folder, &listing);
    }
    return &listing;
  }
  if (listings.size() >= kCachedListings) listings.pop_back();
  listings.emplace_front(unixFolder, Listing());
  ReadListing(unixFolder, folder, &listings.front().second);
  return &listings.front().second;
}

const std::string* DriveFolder(char letter) {
  std::string folder = WinePrefix() + "/dosdevices/";
  folder +=
      static_cast<char>(letter >= 'A' && letter <= 'Z' ? letter + 32 : letter);
  folder += ':';
  // Only drives found are remembered; one added later is still seen.
  static std::unordered_map<std::string, bool> known;
  auto it = known.find(folder);
  if (it == known.end()) {
    struct stat target;
    if (stat(folder.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) {
      return nullptr;
    }
    it = known.emplace(folder, true).first;
  }
  return &it->first;
}

std::string Child(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace

char16_t UpperCaseUnit(char16_t unit) {
  if (unit < 0x80) {
    return unit >= 'a' && unit <= 'z' ? static_cast<char16_t>(unit - 32) : unit;
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
  // The C.UTF-8 locale carries the Unicode simple case mappings and is built
  // into glibc, so it is always there.
  static const locale_t kUnicode =
      newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (kUnicode == nullptr) return unit;
  const wint_t upper = towupper_l(static_cast<wint_t>(unit), kUnicode);
  const bool fits = upper <= 0xFFFF && !(upper >= 0xD800 && upper <= 0xDFFF);
  return fits ? static_cast<char16_t>(upper) : unit;
}

std::string WinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home == nullptr ? "" : home) + "/.wine";
}

std::u16string FoldedName(std::string_view name) {
  std::u16string folded;
  folded.reserve(name.size());
  std::size_t at = 0;
  while (at < name.size()) {
    const char32_t code = DecodeUtf8(name, &at);
    if (code <= 0xFFFF) {
      folded.push_back(UpperCaseUnit(static_cast<char16_t>(code)));
    } else {
      // Characters beyond the first plane keep their surrogate units, which
      // Windows does not case-map.
      const char32_t v = code - 0x10000;
      folded.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      folded.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    }
  }
  return folded;
}

bool ListsBefore(std::string_view a, std::string_view b) {
  const std::u16string foldedA = FoldedName(a);
  const std::u16string foldedB = FoldedName(b);
  if (foldedA != foldedB) return foldedA < foldedB;
  return a < b;
}

uint32_t MapPath(const char* windowsPath, SplitPath* out) {
  *out = SplitPath();
  if (windowsPath == nullptr || *windowsPath == '\0') return kErrorPathNotFound;
  std::string_view rest = windowsPath;
  std::string base;
  const auto isLetter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  };
  bool drive = false;
  if (rest.size() >= 2 && isLetter(rest[0]) && rest[1] == ':') {
    const std::string* folder = DriveFolder(rest[0]);
    if (folder == nullptr) return kErrorPathNotFound;
    base = *folder;
    drive = true;
    rest.remove_prefix(2);
  } else if (IsSeparator(rest[0])) {
    base = "/";
  }

  std::vector<std::string_view> components;
  components.reserve(1 + std::count_if(rest.begin(), rest.end(), IsSeparator));
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::string_view component = rest.substr(start, end - start);
    if (component == "..") {
      if (!components.empty()) components.pop_back();
    } else if (!component.empty() && component != ".") {
      components.push_back(component);
    }
    start = end + 1;
  }

  out->baseLength = base.size();
  out->drive = drive;
  out->folder = std::move(base);
  if (components.empty()) {
    out->isRoot = true;
    out->isDriveRoot = drive;
    if (out->folder.empty()) out->folder = ".";
    return kErrorSuccess;
  }
  // Appended in place: copying the folder for each component would make
  // this quadratic in the depth of the path.
  out->folder.reserve(out->folder.size() + rest.size() + 1);
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    if (!out->folder.empty() && out->folder.back() != '/') out->folder += '/';
    out->folder += components[i];
  }
  if (out->folder.empty()) out->folder = ".";
  out->name = std::string(components.back());
  return kErrorSuccess;
}

void FindNameIgnoringCase(const std::string& unixFolder, std::string_view name,
                          std::string* found) {
  found->clear();
  struct stat folder;
  if (stat(unixFolder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
    return;
  }
  *found = CurrentListing(unixFolder, folder)->Find(name);
}

void NoteCreated(const std::string& unixFolder, const std::string& name) {
  for (auto& [folder, listing] : Listings()) {
    if (folder != unixFolder) continue;
    // The listing was checked against the folder just before this change,
    // so with the new name it describes the folder as it is now; the next
    // look-up takes the folder's new modification time as this change's,
    // which saves reading it here.
    auto& spellings = listing.byFoldedName[FoldedName(name)];
    if (std::find(spellings.begin(), spellings.end(), name) ==
        spellings.end()) {
      spellings.push_back(name);
    }
    listing.ownChange = true;
    return;
  }
}

namespace {

uint32_t ResolveFolder(SplitPath* path, struct stat* folder) {
  struct stat& info = *folder;
  if (stat(path->folder.c_str(), &info) == 0) {
    return S_ISDIR(info.st_mode) ? kErrorSuccess : kErrorPathNotFound;
  }
  if (errno != ENOENT && errno != ENOTDIR) return FolderErrorFromErrno(errno);

  // Walk from the base, matching each component without regard to case.
  std::string current = path->folder.substr(0, path->baseLength);
  std::string_view rest = path->folder;
  rest.remove_prefix(path->baseLength);
  std::string match;
  if (stat(current.empty() ? "." : current.c_str(), &info) != 0) {
    return FolderErrorFromErrno(errno);
  }
  while (!rest.empty()) {
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    const std::size_t end = rest.find('/');
    const std::string_view component = rest.substr(0, end);
    rest =
        end == std::string_view::npos ? std::string_view() : rest.substr(end);
    if (component.empty()) break;
    std::string candidate =
        current.empty() ? std::string(component) : Child(current, component);
    if (stat(candidate.c_str(), &info) != 0) {
      if (errno != ENOENT) return FolderErrorFromErrno(errno);
      FindNameIgnoringCase(current.empty() ? "." : current, component, &match);
      if (match.empty()) return kErrorPathNotFound;
      candidate = current.empty() ? match : Child(current, match);
      if (stat(candidate.c_str(), &info) != 0) {
        return FolderErrorFromErrno(errno);
      }
    }
    if (!S_ISDIR(info.st_mode)) return kErrorPathNotFound;
    current = std::move(candidate);
  }
  path->folder = current.empty() ? "." : current;
  return kErrorSuccess;
}

}  // namespace

uint32_t ResolveFolder(SplitPath* path) {
  struct stat folder;
  return ResolveFolder(path, &folder);
}

uint32_t ResolvePath(SplitPath* path, bool* exists) {
  *exists = false;
  struct stat folder;
  const uint32_t error = ResolveFolder(path, &folder);
  if (error != kErrorSuccess) return error;
  if (path->isRoot) {
    *exists = true;
    return kErrorSuccess;
  }
  // The folder's listing answers both questions at once: whether the exact
  // spelling exists and, if not, which entry differs only in case.
  std::string match = CurrentListing(path->folder, folder)->Find(path->name);
  if (!match.empty()) {
    path->name = std::move(match);
    *exists = true;
  }
  return kErrorSuccess;
}

std::string Joined(const SplitPath& path) {
  return path.isRoot ? path.folder : Child(path.folder, path.name);
}

}  // namespace platform::posix
