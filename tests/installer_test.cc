// The whole run on the fake platform: targets, notices, tool run, summary.
#include "installer/installer.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "platform/platform.h"

namespace {

constexpr char kVc7[] = "SOFTWARE\\Microsoft\\VisualStudio\\SxS\\VC7";
constexpr char kDbp[] = "software\\dark basic\\dark basic pro";
constexpr char kNet[] =
    "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727\\AssemblyFoldersEx\\"
    "Public Assemblies 9";

constexpr char kNothingInstalled[] =
    "Could not find visual studio 2008 C++ install path.\n"
    "Could not find visual studio 2010 C++ install path.\n"
    "Could not find visual studio 2012 C++ install path.\n"
    "Could not find DarkBASIC Pro install path.\n"
    "Could not find visual studio .NET 2008 install path.\n"
    "\n\n\n"
    "Failed to install CPP files successfully\n"
    "Failed to install DBP files successfully\n"
    "Failed to install NET files successfully\n";

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    fake::AddFile("C:\\work\\CPP\\Lib VS2008\\a8.lib", "lib2008");
    fake::AddFile("C:\\work\\CPP\\Lib VS2010\\a10.lib", "lib2010");
    fake::AddFile("C:\\work\\CPP\\Lib VS2012\\a12.lib", "lib2012");
    fake::AddFile("C:\\work\\CPP\\Include\\p.h", "header");
    fake::AddFile("C:\\work\\DBP\\Compiler\\plugins-user\\p.dll", "plugin");
    fake::AddFile("C:\\work\\NET\\p.dll", "assembly");
  }

  static void Register(const char* key, const char* value,
                       const std::string& folder) {
    fake::SetRegistryValue(key, value, folder + std::string(1, '\0'));
  }
};

TEST_F(InstallerTest, NothingInstalled) {
  EXPECT_EQ(RunInstaller(), 0);
  EXPECT_EQ(fake::Output(), kNothingInstalled);
  EXPECT_EQ(fake::Commands(), std::vector<std::string>{"PAUSE @ C:\\work"});
}

TEST_F(InstallerTest, OnlyVisualCpp2010) {
  fake::AddFolder("C:\\VC10\\lib");
  Register(kVc7, "10.0", "C:\\VC10\\");
  EXPECT_EQ(RunInstaller(), 0);
  EXPECT_EQ(
      fake::Output(),
      "Could not find visual studio 2008 C++ install path.\n"
      "\nCopying folder Lib VS2010 from CPP\\Lib VS2010 to C:\\VC10\\lib\n"
      "\tCopied file a10.lib\n"
      "\nCopying folder Include from CPP\\Include to C:\\VC10\\include\n"
      "\tCopied file p.h\n"
      "Could not find visual studio 2012 C++ install path.\n"
      "Could not find DarkBASIC Pro install path.\n"
      "Could not find visual studio .NET 2008 install path.\n"
      "\n\n\n"
      "Installed CPP files successfully\n"
      "Failed to install DBP files successfully\n"
      "Failed to install NET files successfully\n");
  EXPECT_EQ(
      fake::Tree("C:\\VC10"),
      "D include\nF include\\p.h=header\nD lib\nF lib\\a10.lib=lib2010\n");
}

TEST_F(InstallerTest, EachVersionGetsItsOwnLibraries) {
  for (const char* v : {"2008", "2010", "2012"}) {
    fake::AddFolder(std::string("C:\\VC") + v + "\\lib");
  }
  Register(kVc7, "9.0", "C:\\VC2008\\");
  Register(kVc7, "10.0", "C:\\VC2010\\");
  Register(kVc7, "11.0", "C:\\VC2012\\");
  RunInstaller();
  EXPECT_EQ(fake::Tree("C:\\VC2008"),
            "D include\nF include\\p.h=header\nD lib\nF lib\\a8.lib=lib2008\n");
  EXPECT_EQ(
      fake::Tree("C:\\VC2012"),
      "D include\nF include\\p.h=header\nD lib\nF lib\\a12.lib=lib2012\n");
}

constexpr char kVcNotices[] =
    "Could not find visual studio 2008 C++ install path.\n"
    "Could not find visual studio 2010 C++ install path.\n"
    "Could not find visual studio 2012 C++ install path.\n";

constexpr char kDbpCopy[] =
    "\nCopying folder DBP from DBP to C:\\DBPro\n"
    "\nCopying folder Compiler from DBP\\Compiler to C:\\DBPro\\Compiler\n"
    "\nCopying folder plugins-user from DBP\\Compiler\\plugins-user to "
    "C:\\DBPro\\Compiler\\plugins-user\n"
    "\tCopied file p.dll\n";

TEST_F(InstallerTest, DarkBasicRunsToolInCompilerFolderAndRestores) {
  fake::AddFolder("C:\\DBPro\\Compiler");
  Register(kDbp, "INSTALL-PATH", "C:\\DBPro");
  fake::AddFolder("C:\\NETA");
  Register(kNet, nullptr, "C:\\NETA\\Public");
  EXPECT_EQ(RunInstaller(), 0);
  EXPECT_EQ(fake::Output(),
            std::string(kVcNotices) + kDbpCopy +
                "Executing 'C:\\DBPro\\Compiler\\TGCOnline.exe'\n"
                "\nCopying folder NET from NET to C:\\NETA\\Public\n"
                "\tCopied file p.dll\n"
                "\n\n\n"
                "Failed to install CPP files successfully\n"
                "Installed DBP files successfully\n"
                "Installed NET files successfully\n");
  EXPECT_EQ(fake::Commands(),
            (std::vector<std::string>{"TGCOnline.exe @ C:\\DBPro\\Compiler",
                                      "PAUSE @ C:\\work"}));
  EXPECT_EQ(fake::Content("C:\\NETA\\Public\\p.dll"), "assembly");
}

TEST_F(InstallerTest, ToolNotRunWhenItsFolderCannotBeEntered) {
  fake::AddFolder("C:\\DBPro");
  Register(kDbp, "INSTALL-PATH", "C:\\DBPro");
  fake::FailCall(fake::Op::kChangeFolder, 1, 5);
  EXPECT_EQ(RunInstaller(), 0);
  EXPECT_EQ(fake::Output(),
            std::string(kVcNotices) + kDbpCopy +
                "Executing 'C:\\DBPro\\Compiler\\TGCOnline.exe'\n"
                "Error whilst changing to the folder of TGCOnline.exe. Error "
                "code: 5\n"
                "Could not find visual studio .NET 2008 install path.\n"
                "\n\n\n"
                "Failed to install CPP files successfully\n"
                "Installed DBP files successfully\n"
                "Failed to install NET files successfully\n");
  EXPECT_EQ(fake::Commands(), std::vector<std::string>{"PAUSE @ C:\\work"});
  EXPECT_EQ(fake::CurrentFolder(), "C:\\work");
}

TEST_F(InstallerTest, MissingSourceFolderEndsRun) {
  fake::Reset();  // started from a folder without the product
  fake::AddFolder("C:\\VC9\\lib");
  Register(kVc7, "9.0", "C:\\VC9\\");
  EXPECT_EQ(fake::RunToExit([] { RunInstaller(); }), 1);
  EXPECT_EQ(fake::Output(),
            "\nCopying folder Lib VS2008 from CPP\\Lib VS2008 to C:\\VC9\\lib\n"
            "Error whilst finding files. Error code: 3\n");
  EXPECT_TRUE(fake::Commands().empty());
}

TEST_F(InstallerTest, NetFolderCreatedWhenOnlyParentExists) {
  fake::AddFolder("C:\\Assemblies");
  Register(kNet, nullptr, "C:\\Assemblies\\Public");
  RunInstaller();
  EXPECT_EQ(fake::Tree("C:\\Assemblies"),
            "D Public\nF Public\\p.dll=assembly\n");
}

TEST_F(InstallerTest, NetFolderWithoutParentEndsRun) {
  Register(kNet, nullptr, "C:\\NoSuch\\Public");
  EXPECT_EQ(fake::RunToExit([] { RunInstaller(); }), 1);
  EXPECT_EQ(fake::Output(),
            std::string(kVcNotices) +
                "Could not find DarkBASIC Pro install path.\n"
                "Error whilst creating directory, invalid path specified. "
                "Error code: 3\n");
}

}  // namespace
