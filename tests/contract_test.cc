// The rules every platform implementation keeps: the fake, the POSIX layer
// and the Win32 layer are all built against this one suite, so none of them
// can drift from the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "contract_env.h"
#include "platform/platform.h"

namespace {

class PlatformContract : public ::testing::Test {
 protected:
  void SetUp() override { root_ = contract::NewScratchFolder(); }

  std::string At(const std::string& relative) const {
    return root_ + "\\" + relative;
  }

  // Every entry a search of `pattern` yields, as "name" or "name/" for
  // folders, followed by the code that ended the listing.
  std::vector<std::string> List(const std::string& pattern) {
    std::vector<std::string> names;
    platform::FindDataA entry;
    platform::FindHandle search =
        platform::FindFirstFileA(pattern.c_str(), &entry);
    if (search == nullptr) {
      names.push_back("failed " + std::to_string(platform::GetLastError()));
      return names;
    }
    do {
      const bool folder =
          (entry.dwFileAttributes & platform::kFileAttributeDirectory) != 0;
      names.push_back(std::string(entry.cFileName) + (folder ? "/" : ""));
    } while (platform::FindNextFileA(search, &entry));
    names.push_back("end " + std::to_string(platform::GetLastError()));
    EXPECT_TRUE(platform::FindClose(search));
    return names;
  }

  std::string root_;
};

TEST_F(PlatformContract, LastErrorKeepsWhatWasSet) {
  platform::SetLastError(1234567);
  EXPECT_EQ(platform::GetLastError(), 1234567u);
  EXPECT_EQ(platform::GetLastError(), 1234567u);
}

TEST_F(PlatformContract, CreateDirectoryCreatesOneFolder) {
  ASSERT_TRUE(platform::CreateDirectoryA(At("New").c_str()));
  contract::WriteFile(At("New\\inside.txt"), "x");
  EXPECT_EQ(contract::ReadFile(At("New\\inside.txt")), "x");
}

TEST_F(PlatformContract, CreateDirectoryFailures) {
  contract::MakeFolder(At("Folder"));
  contract::WriteFile(At("file.txt"), "x");
  struct Case {
    std::string path;
    uint32_t code;
  };
  const Case cases[] = {
      {At("Folder"), platform::kErrorAlreadyExists},
      {At("FOLDER"), platform::kErrorAlreadyExists},
      {At("file.txt"), platform::kErrorAlreadyExists},
      {At("missing\\child"), platform::kErrorPathNotFound},
      {"", platform::kErrorPathNotFound},
  };
  for (const Case& c : cases) {
    platform::SetLastError(0);
    EXPECT_FALSE(platform::CreateDirectoryA(c.path.c_str())) << c.path;
    EXPECT_EQ(platform::GetLastError(), c.code) << c.path;
  }
}

TEST_F(PlatformContract, CopyFileCopiesAndReplaces) {
  contract::WriteFile(At("src.txt"), "new content");
  contract::WriteFile(At("dst.txt"), "old content that is longer");
  ASSERT_TRUE(
      platform::CopyFileA(At("src.txt").c_str(), At("dst.txt").c_str()));
  EXPECT_EQ(contract::ReadFile(At("dst.txt")), "new content");
  EXPECT_EQ(contract::ReadFile(At("src.txt")), "new content");
  ASSERT_TRUE(
      platform::CopyFileA(At("src.txt").c_str(), At("fresh.txt").c_str()));
  EXPECT_EQ(contract::ReadFile(At("fresh.txt")), "new content");
}

TEST_F(PlatformContract, CopyFileKeepsLastWriteTime) {
  contract::WriteFile(At("src.txt"), "data");
  contract::SetWriteTime(At("src.txt"), 981173106);  // 2001-02-03 04:05:06
  ASSERT_TRUE(
      platform::CopyFileA(At("src.txt").c_str(), At("dst.txt").c_str()));
  EXPECT_EQ(contract::WriteTime(At("dst.txt")), 981173106);
}

TEST_F(PlatformContract, CopyFileMatchesNamesWithoutRegardToCase) {
  contract::WriteFile(At("Sub\\Source.TXT"), "payload");
  contract::WriteFile(At("Dest\\Existing.H"), "old");
  ASSERT_TRUE(platform::CopyFileA(At("SUB\\source.txt").c_str(),
                                  At("dest\\EXISTING.h").c_str()));
  EXPECT_EQ(contract::ReadFile(At("Dest\\Existing.H")), "payload");
  // The existing entry was replaced, not joined by a second spelling.
  EXPECT_EQ(contract::Names(At("Dest")),
            std::vector<std::string>{"Existing.H"});
}

TEST_F(PlatformContract, CopyFileFailures) {
  contract::WriteFile(At("src.txt"), "source");
  contract::WriteFile(At("locked.txt"), "locked");
  contract::SetReadOnly(At("locked.txt"), true);
  contract::MakeFolder(At("Folder"));
  struct Case {
    const char* name;
    std::string source;
    std::string destination;
    uint32_t code;
  };
  const Case cases[] = {
      {"missing source", At("nothing.txt"), At("out1.txt"),
       platform::kErrorFileNotFound},
      {"missing source folder", At("nowhere\\a.txt"), At("out2.txt"),
       platform::kErrorPathNotFound},
      {"missing destination folder", At("src.txt"), At("nowhere\\a.txt"),
       platform::kErrorPathNotFound},
      {"folder as source", At("Folder"), At("out3.txt"),
       platform::kErrorAccessDenied},
      {"folder as destination", At("src.txt"), At("Folder"),
       platform::kErrorAccessDenied},
      {"onto itself", At("src.txt"), At("SRC.TXT"),
       platform::kErrorSharingViolation},
      {"read-only destination", At("src.txt"), At("locked.txt"),
       platform::kErrorAccessDenied},
  };
  for (const Case& c : cases) {
    platform::SetLastError(0);
    EXPECT_FALSE(platform::CopyFileA(c.source.c_str(), c.destination.c_str()))
        << c.name;
    EXPECT_EQ(platform::GetLastError(), c.code) << c.name;
  }
  EXPECT_EQ(contract::ReadFile(At("src.txt")), "source");
  EXPECT_EQ(contract::ReadFile(At("locked.txt")), "locked");
  EXPECT_FALSE(contract::Exists(At("out1.txt")));
  EXPECT_FALSE(contract::Exists(At("out2.txt")));
  EXPECT_FALSE(contract::Exists(At("out3.txt")));
  contract::SetReadOnly(At("locked.txt"), false);
  // A failed copy leaves nothing behind in the destination folder.
  std::vector<std::string> names = contract::Names(root_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"Folder", "locked.txt", "src.txt"}));
}

TEST_F(PlatformContract, ListingComesInWindowsOrder) {
  for (const char* file : {"Zeta", "alpha", "B", "10", "9", "a", "Ab", "C.txt",
                           "Space name", "_x", ".hidden"}) {
    contract::WriteFile(At(std::string("Folder\\") + file), "x");
  }
  contract::MakeFolder(At("Folder\\Sub"));
  contract::MakeFolder(At("Folder\\.svn"));
  EXPECT_EQ(List(At("Folder\\*")),
            (std::vector<std::string>{
                "./", "../", ".hidden", ".svn/", "10", "9", "a", "Ab", "alpha",
                "B", "C.txt", "Space name", "Sub/", "Zeta", "_x", "end 18"}));
}

TEST_F(PlatformContract, EmptyFolderListsOnlyDots) {
  contract::MakeFolder(At("Empty"));
  EXPECT_EQ(List(At("empty\\*")),
            (std::vector<std::string>{"./", "../", "end 18"}));
}

TEST_F(PlatformContract, SearchFailures) {
  contract::WriteFile(At("Folder\\a.txt"), "x");
  EXPECT_EQ(List(At("Missing\\*")), std::vector<std::string>{"failed 3"});
  EXPECT_EQ(List(At("Folder\\*.zzz")), std::vector<std::string>{"failed 2"});
}

TEST_F(PlatformContract, ClosingSearchKeepsLastError) {
  contract::WriteFile(At("Folder\\a.txt"), "x");
  platform::FindDataA entry;
  platform::FindHandle search =
      platform::FindFirstFileA(At("Folder\\*").c_str(), &entry);
  ASSERT_NE(search, nullptr);
  while (platform::FindNextFileA(search, &entry)) {
  }
  ASSERT_EQ(platform::GetLastError(), platform::kErrorNoMoreFiles);
  ASSERT_TRUE(platform::FindClose(search));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorNoMoreFiles);
}

TEST_F(PlatformContract, CurrentFolderChangesAndRestores) {
  contract::MakeFolder(At("Tools\\Compiler"));
  std::string saved;
  ASSERT_TRUE(platform::GetCurrentFolder(&saved));
  ASSERT_TRUE(platform::ChangeFolder(At("tools\\compiler").c_str()));
  contract::WriteFile(At("Tools\\Compiler\\here.txt"), "here");
  platform::FindDataA entry;
  platform::FindHandle search = platform::FindFirstFileA("here.txt", &entry);
  ASSERT_NE(search, nullptr);
  EXPECT_STREQ(entry.cFileName, "here.txt");
  platform::FindClose(search);
  EXPECT_FALSE(platform::ChangeFolder(At("Tools\\Missing").c_str()));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  ASSERT_TRUE(platform::ChangeFolder(saved.c_str()));
  std::string after;
  ASSERT_TRUE(platform::GetCurrentFolder(&after));
  EXPECT_EQ(after, saved);
}

}  // namespace
