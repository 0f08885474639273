// What the POSIX layer does that only a real file system can show: drive
// mapping through a Wine prefix, names that differ only in case, permission
// bits, codes for Unix-only failures, and the clock.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void Write(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

class PosixPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/posix-platform-XXXXXX";
    root_ = mkdtemp(pattern);
    mkdir((root_ + "/prefix").c_str(), 0777);
    mkdir((root_ + "/prefix/dosdevices").c_str(), 0777);
    mkdir((root_ + "/drive_c").c_str(), 0777);
    symlink("../../drive_c", (root_ + "/prefix/dosdevices/c:").c_str());
    setenv("WINEPREFIX", (root_ + "/prefix").c_str(), 1);
  }

  std::vector<std::string> List(const std::string& pattern) {
    std::vector<std::string> names;
    platform::FindDataA entry;
    platform::FindHandle search =
        platform::FindFirstFileA(pattern.c_str(), &entry);
    if (search == nullptr)
      return {"failed " + std::to_string(platform::GetLastError())};
    do {
      names.push_back(entry.cFileName);
    } while (platform::FindNextFileA(search, &entry));
    platform::FindClose(search);
    return names;
  }

  std::string root_;
};

TEST_F(PosixPlatformTest, DriveLettersResolveThroughPrefix) {
  ASSERT_TRUE(platform::CreateDirectoryA("C:\\Program Files"));
  ASSERT_TRUE(platform::CreateDirectoryA("c:/program files\\Tool"));
  struct stat info;
  EXPECT_EQ(stat((root_ + "/drive_c/Program Files/Tool").c_str(), &info), 0);
  EXPECT_FALSE(platform::CreateDirectoryA("Q:\\Anything"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  // The root of a drive lists no "." and "..".
  EXPECT_EQ(List("C:\\*"), std::vector<std::string>{"Program Files"});
}

TEST_F(PosixPlatformTest, PrefixDefaultsToHomeWine) {
  const std::string home = root_ + "/home";
  mkdir(home.c_str(), 0777);
  mkdir((home + "/.wine").c_str(), 0777);
  mkdir((home + "/.wine/dosdevices").c_str(), 0777);
  symlink((root_ + "/drive_c").c_str(),
          (home + "/.wine/dosdevices/e:").c_str());
  const char* savedHome = std::getenv("HOME");
  const std::string saved = savedHome ? savedHome : "";
  setenv("HOME", home.c_str(), 1);
  unsetenv("WINEPREFIX");
  EXPECT_TRUE(platform::CreateDirectoryA("E:\\ViaHome"));
  setenv("HOME", saved.c_str(), 1);
  struct stat info;
  EXPECT_EQ(stat((root_ + "/drive_c/ViaHome").c_str(), &info), 0);
}

TEST_F(PosixPlatformTest, ExactSpellingWinsOverOtherCase) {
  const std::string folder = root_ + "/drive_c/Case";
  mkdir(folder.c_str(), 0777);
  Write(folder + "/file.txt", "lower");
  Write(folder + "/FILE.TXT", "upper");
  Write(root_ + "/src.txt", "new");
  ASSERT_TRUE(
      platform::CopyFileA((root_ + "/src.txt").c_str(), "C:\\Case\\FILE.TXT"));
  EXPECT_EQ(Read(folder + "/FILE.TXT"), "new");
  EXPECT_EQ(Read(folder + "/file.txt"), "lower");
  // Names that differ only in case list upper case first.
  Write(folder + "/aB", "");
  Write(folder + "/Ab", "");
  Write(folder + "/a", "");
  EXPECT_EQ(List("C:\\Case\\*"),
            (std::vector<std::string>{".", "..", "a", "Ab", "aB", "FILE.TXT",
                                      "file.txt"}));
}

TEST_F(PosixPlatformTest, NewNamesKeepTheCaseGiven) {
  mkdir((root_ + "/drive_c/Existing").c_str(), 0777);
  Write(root_ + "/src.txt", "x");
  ASSERT_TRUE(platform::CreateDirectoryA("C:\\EXISTING\\NewFolder"));
  ASSERT_TRUE(platform::CopyFileA((root_ + "/src.txt").c_str(),
                                  "c:\\existing\\newfolder\\MixedCase.Txt"));
  EXPECT_EQ(Read(root_ + "/drive_c/Existing/NewFolder/MixedCase.Txt"), "x");
}

TEST_F(PosixPlatformTest, CopyKeepsPermissionBitsAndLeavesNoTemporary) {
  const std::string source = root_ + "/tool.sh";
  Write(source, "#!/bin/sh\n");
  chmod(source.c_str(), 0750);
  mkdir((root_ + "/out").c_str(), 0777);
  Write(root_ + "/out/tool.sh", "old");
  ASSERT_TRUE(
      platform::CopyFileA(source.c_str(), (root_ + "/out/tool.sh").c_str()));
  struct stat info;
  ASSERT_EQ(stat((root_ + "/out/tool.sh").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);
  EXPECT_EQ(List(root_ + "/out/*"),
            (std::vector<std::string>{".", "..", "tool.sh"}));
}

TEST_F(PosixPlatformTest, ReplacementIsANewFileNotAnOverwrite) {
  // Whoever still holds the old file sees the old content: the new content
  // arrived under a temporary name and was renamed into place.
  Write(root_ + "/src.txt", "new content");
  Write(root_ + "/dst.txt", "old content");
  std::ifstream held(root_ + "/dst.txt", std::ios::binary);
  ASSERT_TRUE(platform::CopyFileA((root_ + "/src.txt").c_str(),
                                  (root_ + "/dst.txt").c_str()));
  std::ostringstream seen;
  seen << held.rdbuf();
  EXPECT_EQ(seen.str(), "old content");
  EXPECT_EQ(Read(root_ + "/dst.txt"), "new content");
}

TEST_F(PosixPlatformTest, UnixOnlyFailuresGetWindowsCodes) {
  Write(root_ + "/file", "x");
  symlink("loop", (root_ + "/loop").c_str());
  const std::string longName(300, 'n');
  struct Case {
    const char* name;
    std::string path;
    uint32_t code;
  };
  const Case cases[] = {
      {"file in place of a folder", root_ + "/file/child",
       platform::kErrorPathNotFound},
      {"link loop", root_ + "/loop/child", platform::kErrorCantResolveFilename},
      {"name too long", root_ + "/" + longName,
       platform::kErrorFilenameExcedRange},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(platform::CreateDirectoryA(c.path.c_str())) << c.name;
    EXPECT_EQ(platform::GetLastError(), c.code) << c.name;
  }
}

// Searching in a file answers 267, as Windows does (Wine answers 123); a
// file higher up is a missing path. Relative, absolute and drive paths, and
// a file name in another letter case, all take the same way.
TEST_F(PosixPlatformTest, SearchInAFileIsAnInvalidFolderName) {
  Write(root_ + "/drive_c/notes.txt", "x");
  Write(root_ + "/file", "x");
  ASSERT_EQ(chdir(root_.c_str()), 0);
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\notes.txt\\*", "failed 267"},
      {"c:\\NOTES.TXT\\*", "failed 267"},
      {root_ + "/file/*", "failed 267"},
      {"file\\*", "failed 267"},
      {"C:\\notes.txt\\sub\\*", "failed 3"},
      {"file\\sub\\*", "failed 3"},
      {"missing\\*", "failed 3"},
  };
  for (const auto& [pattern, result] : cases) {
    EXPECT_EQ(List(pattern), std::vector<std::string>{result}) << pattern;
  }
}

TEST_F(PosixPlatformTest, ClockCountsWallTimeFromProcessStart) {
  const int32_t before = platform::Clock();
  EXPECT_GE(before, 0);
  // Sleeping uses no processor time, so a processor-time clock would not
  // move; the wall clock moves at least as far as the sleep.
  const timespec pause = {0, 50 * 1000 * 1000};
  nanosleep(&pause, nullptr);
  EXPECT_GE(platform::Clock() - before, 50);
}

}  // namespace
