// The folder copier on the fake platform: its output, its results and every
// failed step it reports.
#include "copier/copier.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "platform/platform.h"

namespace {

class CopierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    // The Data example: readme.txt, a hidden .svn folder and Sub\a.bin.
    fake::AddFile("C:\\work\\Data\\readme.txt", "read me", 77);
    fake::AddFile("C:\\work\\Data\\.svn\\entries", "svn");
    fake::AddFile("C:\\work\\Data\\Sub\\a.bin", "binary");
    fake::AddFolder("D:\\Target");
  }

  ProgressThrottle throttle_ = {0, 0};
  Valid filter_;
};

// Turns away every item whose path contains "skip".
class SkippingFilter : public Valid {
 public:
  bool IsValid(const char* sourcePath) override {
    asked += std::string(sourcePath) + "|";
    return std::string(sourcePath).find("skip") == std::string::npos;
  }
  std::string asked;
};

constexpr char kDataExampleOutput[] =
    "\nCopying folder Data from Data to D:\\Target\n"
    "\tCopied file readme.txt\n"
    "\nCopying folder Sub from Data\\Sub to D:\\Target\\Sub\n"
    "\tCopied file a.bin\n";

TEST(ExtractFileNameTest, LastComponent) {
  const std::pair<const char*, const char*> cases[] = {
      {"name.txt", "name.txt"},
      {"a/b/c.txt", "c.txt"},
      {"a\\b/c", "b/c"},
      {"C:\\dir\\", ""},
      {"", ""},
      {"C:\\dir\\file.h", "file.h"},
      {"\\lead", "lead"},
      {"dir/", ""},
  };
  for (const auto& [path, expected] : cases) {
    EXPECT_EQ(ExtractFileName(path), expected) << path;
  }
}

TEST(JoinStringsTest, PartsOneAfterAnother) {
  EXPECT_EQ(JoinStrings({"C:\\dir", "\\", "name"}), "C:\\dir\\name");
  EXPECT_EQ(JoinStrings({"C:\\dir\\", "\\", "name"}), "C:\\dir\\\\name");
  EXPECT_EQ(JoinStrings({"", "\\", "name"}), "\\name");
  EXPECT_EQ(JoinStrings({"Data", "\\*"}), "Data\\*");
}

TEST_F(CopierTest, CopiesDataExample) {
  EXPECT_TRUE(CopyFolder(throttle_, filter_, "Data", "D:\\Target"));
  EXPECT_EQ(fake::Output(), kDataExampleOutput);
  EXPECT_EQ(fake::Tree("D:\\Target"),
            "F readme.txt=read me\nD Sub\nF Sub\\a.bin=binary\n");
  EXPECT_EQ(fake::WriteTime("D:\\Target\\readme.txt"), 77);
}

TEST_F(CopierTest, CreatesMissingDestinationFolder) {
  EXPECT_TRUE(CopyFolder(throttle_, filter_, "Data", "D:\\New"));
  EXPECT_EQ(fake::Tree("D:\\New"),
            "F readme.txt=read me\nD Sub\nF Sub\\a.bin=binary\n");
}

TEST_F(CopierTest, ReusesExistingFolderAndReplacesFiles) {
  fake::AddFile("D:\\Target\\README.TXT", "old");
  fake::AddFile("D:\\Target\\keep.txt", "kept");
  fake::AddFile("D:\\Target\\sub\\other.bin", "other");
  EXPECT_TRUE(CopyFolder(throttle_, filter_, "Data", "D:\\Target"));
  EXPECT_EQ(fake::Output(),
            "\nCopying folder Data from Data to D:\\Target\n"
            "\tCopied file readme.txt\n"
            "\nCopying folder Sub from Data\\Sub to D:\\Target\\Sub\n"
            "\tCopied file a.bin\n");
  EXPECT_EQ(fake::Tree("D:\\Target"),
            "F keep.txt=kept\nF README.TXT=read me\nD sub\n"
            "F sub\\a.bin=binary\nF sub\\other.bin=other\n");
}

TEST_F(CopierTest, EmptyFolderWritesOnlyItsHeader) {
  fake::AddFolder("C:\\work\\Empty");
  EXPECT_TRUE(CopyFolderContents(throttle_, filter_, "Empty", "D:\\Target"));
  EXPECT_EQ(fake::Output(),
            "\nCopying folder Empty from Empty to D:\\Target\n");
}

TEST_F(CopierTest, DotFoldersSkippedDotFilesCopied) {
  fake::AddFile("C:\\work\\Dots\\.config", "c");
  fake::AddFile("C:\\work\\Dots\\.git\\HEAD", "h");
  EXPECT_TRUE(CopyFolderContents(throttle_, filter_, "Dots", "D:\\Target"));
  EXPECT_EQ(fake::Output(),
            "\nCopying folder Dots from Dots to D:\\Target\n"
            "\tCopied file .config\n");
  EXPECT_EQ(fake::Tree("D:\\Target"), "F .config=c\n");
}

TEST_F(CopierTest, DestinationEndingWithBackslashDoublesSeparator) {
  EXPECT_TRUE(
      CopyFolderContents(throttle_, filter_, "Data\\Sub", "D:\\Target\\"));
  EXPECT_EQ(fake::Output(),
            "\nCopying folder Sub from Data\\Sub to D:\\Target\\\n"
            "\tCopied file a.bin\n");
  EXPECT_EQ(fake::Content("D:\\Target\\a.bin"), "binary");
}

TEST_F(CopierTest, FilterTurnsItemsAway) {
  fake::AddFile("C:\\work\\Data\\skip.txt", "no");
  fake::AddFile("C:\\work\\Data\\skipdir\\x", "no");
  SkippingFilter filter;
  EXPECT_TRUE(CopyFolder(throttle_, filter, "Data", "D:\\Target"));
  EXPECT_EQ(fake::Output(),
            "\nCopying folder Data from Data to D:\\Target\n"
            "\tCopied file readme.txt\n"
            "Ignored item skip.txt\n"
            "Ignored item skipdir\n"
            "\nCopying folder Sub from Data\\Sub to D:\\Target\\Sub\n"
            "\tCopied file a.bin\n");
  // Asked about the folder itself, every entry (dots included), and each
  // accepted sub-folder once more.
  EXPECT_EQ(filter.asked,
            "Data|Data\\.|Data\\..|Data\\.svn|Data\\readme.txt|Data\\skip.txt|"
            "Data\\skipdir|Data\\Sub|Data\\Sub|Data\\Sub\\.|Data\\Sub\\..|"
            "Data\\Sub\\a.bin|");
  EXPECT_FALSE(fake::Exists("D:\\Target\\skipdir"));
}

TEST_F(CopierTest, FilterTurningAwayTheFolderItselfCreatesNothing) {
  fake::AddFolder("C:\\work\\skipme");
  SkippingFilter filter;
  EXPECT_FALSE(CopyFolder(throttle_, filter, "skipme", "D:\\Target\\New"));
  EXPECT_EQ(fake::Output(), "Ignored item skipme\n");
  EXPECT_FALSE(fake::Exists("D:\\Target\\New"));
}

TEST_F(CopierTest, ThrottleHoldsBackPiecesWithPositiveInterval) {
  // The header passes (no line has ended within the last 1000 ms and the
  // process is past its first 1000 ms); the file line, 99 to 299 ms after
  // the header's line end, is held back whole.
  ProgressThrottle throttle = {1000, 0};
  fake::AddFolder("C:\\work\\One");
  fake::AddFile("C:\\work\\One\\f", "1");
  fake::SetClockReadings({2000, 2000, 2000, 2000, 2000, 2000, 2000, 2001, 2100,
                          2100, 2200, 2200, 2300, 2300});
  EXPECT_TRUE(CopyFolderContents(throttle, filter_, "One", "D:\\Target"));
  EXPECT_EQ(fake::Output(), "\nCopying folder One from One to D:\\Target\n");
  EXPECT_EQ(throttle.lastLineTime, 2001);
}

struct Failure {
  const char* name;
  fake::Op op;
  int nth;
  uint32_t code;
  const char* source;
  const char* output;
};

class CopierFailureTest : public CopierTest,
                          public ::testing::WithParamInterface<Failure> {};

TEST_P(CopierFailureTest, EndsRunWithReport) {
  const Failure& f = GetParam();
  fake::FailCall(f.op, f.nth, f.code);
  fake::SetInput("\n1\n");
  const auto status = fake::RunToExit(
      [&] { CopyFolder(throttle_, filter_, f.source, "D:\\Out"); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(fake::Output(), f.output);
  EXPECT_EQ(fake::RemainingInput(), "");
}

const Failure kFailures[] = {
    {"CreateFolderAccessDenied", fake::Op::kCreateDirectoryA, 1, 5, "Data",
     "Error whilst creating directory. Error code: 5\n"},
    {"CreateFolderMissingParent", fake::Op::kCreateDirectoryA, 1, 3, "Data",
     "Error whilst creating directory, invalid path specified. Error code: "
     "3\n"},
    {"CreateSubFolderDiskFull", fake::Op::kCreateDirectoryA, 2, 112, "Data",
     "\nCopying folder Data from Data to D:\\Out\n"
     "\tCopied file readme.txt\n"
     "Error whilst creating directory. Error code: 112\n"},
    {"CopyFileFails", fake::Op::kCopyFileA, 1, 112, "Data",
     "\nCopying folder Data from Data to D:\\Out\n"
     "Error whilst copying file. Error code: 112\n"},
    {"SearchFindsNothing", fake::Op::kFindFirstFileA, 1, 2, "Data",
     "\nCopying folder Data from Data to D:\\Out\n"
     "Error whilst searching for files to copy. Error code: 2\n"},
    {"SearchCannotStart", fake::Op::kFindFirstFileA, 1, 5, "Data",
     "\nCopying folder Data from Data to D:\\Out\n"
     "Error whilst finding files. Error code: 5\n"},
    {"AdvanceFails", fake::Op::kFindNextFileA, 3, 21, "Data",
     "\nCopying folder Data from Data to D:\\Out\n"
     "Error whilst finding next file. Error code: 21\n"},
    {"CloseFails", fake::Op::kFindClose, 2, 6, "Data",
     "\nCopying folder Data from Data to D:\\Out\n"
     "\tCopied file readme.txt\n"
     "\nCopying folder Sub from Data\\Sub to D:\\Out\\Sub\n"
     "\tCopied file a.bin\n"
     "Error whilst closing find next search handle. Error code: 6\n"},
    // Nothing injected (calls count from 1): the missing source itself fails.
    {"SourceMissing", fake::Op::kCopyFileA, 0, 0, "Nowhere",
     "\nCopying folder Nowhere from Nowhere to D:\\Out\n"
     "Error whilst finding files. Error code: 3\n"},
};

INSTANTIATE_TEST_SUITE_P(Rows, CopierFailureTest,
                         ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return info.param.name; });

TEST_F(CopierTest, CloseFailureWinsOverFailedAdvance) {
  fake::FailCall(fake::Op::kFindNextFileA, 1, 21);
  fake::FailCall(fake::Op::kFindClose, 1, 6);
  EXPECT_EQ(fake::RunToExit([&] {
              CopyFolderContents(throttle_, filter_, "Data", "D:\\Target");
            }),
            1);
  EXPECT_EQ(fake::Output(),
            "\nCopying folder Data from Data to D:\\Target\n"
            "Error whilst closing find next search handle. Error code: 6\n");
}

TEST_F(CopierTest, MissingDestinationParentFailsBeforeHeader) {
  EXPECT_EQ(fake::RunToExit([&] {
              CopyFolder(throttle_, filter_, "Data", "E:\\No\\Where");
            }),
            1);
  EXPECT_EQ(fake::Output(),
            "Error whilst creating directory, invalid path specified. Error "
            "code: 3\n");
}

TEST_F(CopierTest, MissingDestinationFailsAtFirstFile) {
  EXPECT_EQ(fake::RunToExit([&] {
              CopyFolderContents(throttle_, filter_, "Data", "D:\\Missing");
            }),
            1);
  EXPECT_EQ(fake::Output(),
            "\nCopying folder Data from Data to D:\\Missing\n"
            "Error whilst copying file. Error code: 3\n");
}

TEST_F(CopierTest, FilesCopiedBeforeFailureStay) {
  fake::FailCall(fake::Op::kCopyFileA, 2, 5);
  EXPECT_EQ(fake::RunToExit(
                [&] { CopyFolder(throttle_, filter_, "Data", "D:\\Target"); }),
            1);
  EXPECT_EQ(fake::Tree("D:\\Target"), "F readme.txt=read me\nD Sub\n");
}

}  // namespace
