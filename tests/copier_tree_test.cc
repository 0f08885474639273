// The copy engine on real folder trees, run as its own process through the
// POSIX platform layer: whole output, exit status and resulting trees.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "process.h"

namespace {

using testing_process::DescribeTree;
using testing_process::ReadFile;
using testing_process::WriteFile;

class CopierTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing_process::NewTempFolder("copier-tree");
    // Drive D: of a Wine prefix, so destinations read as on Windows.
    testing_process::MakeFolders(root_ + "/prefix/dosdevices");
    testing_process::MakeFolders(root_ + "/drive_d");
    symlink((root_ + "/drive_d").c_str(),
            (root_ + "/prefix/dosdevices/d:").c_str());
    work_ = root_ + "/work";
    testing_process::MakeFolders(work_);
  }

  testing_process::Result Copy(const std::string& source,
                               const std::string& destination,
                               const std::string& mode = "") {
    testing_process::Options options;
    options.arguments = {COPY_DRIVER, source, destination};
    if (!mode.empty()) options.arguments.push_back(mode);
    options.folder = work_;
    options.input = "\n1\n";
    options.environment = {"WINEPREFIX=" + root_ + "/prefix"};
    return testing_process::Run(options);
  }

  void MakeDataExample() {
    WriteFile(work_ + "/Data/readme.txt", "read me");
    WriteFile(work_ + "/Data/.svn/entries", "svn");
    WriteFile(work_ + "/Data/Sub/a.bin", "binary");
    testing_process::MakeFolders(root_ + "/drive_d/Target");
  }

  std::string root_;
  std::string work_;
};

TEST_F(CopierTreeTest, CopiesDataExample) {
  MakeDataExample();
  const auto result = Copy("Data", "D:\\Target");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output,
            "\nCopying folder Data from Data to D:\\Target\n"
            "\tCopied file readme.txt\n"
            "\nCopying folder Sub from Data\\Sub to D:\\Target\\Sub\n"
            "\tCopied file a.bin\n");
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(DescribeTree(root_ + "/drive_d/Target"),
            "D Sub\nF Sub/a.bin=binary\nF readme.txt=read me\n");
}

TEST_F(CopierTreeTest, ReplacesFilesUnderTheirExistingSpelling) {
  MakeDataExample();
  WriteFile(root_ + "/drive_d/Target/README.TXT", "old text, longer than new");
  WriteFile(root_ + "/drive_d/Target/SUB/keep.bin", "kept");
  const auto result = Copy("data", "d:\\target");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output,
            "\nCopying folder data from data to d:\\target\n"
            "\tCopied file readme.txt\n"
            "\nCopying folder Sub from data\\Sub to d:\\target\\Sub\n"
            "\tCopied file a.bin\n");
  EXPECT_EQ(
      DescribeTree(root_ + "/drive_d/Target"),
      "F README.TXT=read me\nD SUB\nF SUB/a.bin=binary\nF SUB/keep.bin=kept\n");
}

TEST_F(CopierTreeTest, ListsInWindowsOrderAndCopiesOddNames) {
  for (const char* name : {"zeta.h", "Alpha.h", "_under.h", "10.h", "9.h",
                           "space name.h", "\xC3\xA9t\xC3\xA9.h", ".dot.h"}) {
    WriteFile(work_ + "/Odd/" + name, name);
  }
  const auto result = Copy("Odd", "D:\\Out");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output,
            "\nCopying folder Odd from Odd to D:\\Out\n"
            "\tCopied file .dot.h\n"
            "\tCopied file 10.h\n"
            "\tCopied file 9.h\n"
            "\tCopied file Alpha.h\n"
            "\tCopied file space name.h\n"
            "\tCopied file zeta.h\n"
            "\tCopied file _under.h\n"
            "\tCopied file \xC3\xA9t\xC3\xA9.h\n");
}

TEST_F(CopierTreeTest, FollowsLinkedFolders) {
  WriteFile(root_ + "/elsewhere/inside.txt", "linked");
  testing_process::MakeFolders(work_ + "/Linked");
  symlink((root_ + "/elsewhere").c_str(), (work_ + "/Linked/Link").c_str());
  const auto result = Copy("Linked", "D:\\Out");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output,
            "\nCopying folder Linked from Linked to D:\\Out\n"
            "\nCopying folder Link from Linked\\Link to D:\\Out\\Link\n"
            "\tCopied file inside.txt\n");
  EXPECT_EQ(DescribeTree(root_ + "/drive_d/Out"),
            "D Link\nF Link/inside.txt=linked\n");
}

TEST_F(CopierTreeTest, FailuresEndTheRunWithTheirReport) {
  struct Case {
    const char* name;
    std::string source;
    std::string destination;
    std::string mode;
    std::string output;
  };
  WriteFile(work_ + "/One/file.txt", "new");
  testing_process::MakeFolders(root_ + "/drive_d/Locked");
  WriteFile(root_ + "/drive_d/Locked/file.txt", "old");
  chmod((root_ + "/drive_d/Locked/file.txt").c_str(), 0444);
  const Case cases[] = {
      {"missing source", "Missing", "D:\\Out1", "",
       "\nCopying folder Missing from Missing to D:\\Out1\n"
       "Error whilst finding files. Error code: 3\n"},
      {"missing destination parent", "One", "D:\\No\\Out", "",
       "Error whilst creating directory, invalid path specified. Error code: "
       "3\n"},
      {"missing destination", "One", "D:\\Nowhere", "contents",
       "\nCopying folder One from One to D:\\Nowhere\n"
       "Error whilst copying file. Error code: 3\n"},
      {"unmapped drive", "One", "Q:\\Out", "",
       "Error whilst creating directory, invalid path specified. Error code: "
       "3\n"},
      {"read-only destination file", "One", "D:\\Locked", "",
       "\nCopying folder One from One to D:\\Locked\n"
       "Error whilst copying file. Error code: 5\n"},
      {"folder onto itself", "One", work_ + "/One", "",
       "\nCopying folder One from One to " + work_ +
           "/One\n"
           "Error whilst copying file. Error code: 32\n"},
  };
  for (const Case& c : cases) {
    const auto result = Copy(c.source, c.destination, c.mode);
    EXPECT_EQ(result.status, 1) << c.name;
    EXPECT_EQ(result.output, c.output) << c.name;
  }
  EXPECT_EQ(ReadFile(root_ + "/drive_d/Locked/file.txt"), "old");
  EXPECT_EQ(ReadFile(work_ + "/One/file.txt"), "new");
  EXPECT_EQ(DescribeTree(root_ + "/drive_d/Locked"), "F file.txt=old\n");
  EXPECT_EQ(DescribeTree(work_ + "/One"), "F file.txt=new\n");
}

}  // namespace
