#include "installer/installer.h"

#include <string>

#include "copier/copier.h"
#include "installer/registry.h"
#include "platform/platform.h"
#include "report/report.h"

namespace {

constexpr char kVisualCppKey[] = "SOFTWARE\\Microsoft\\VisualStudio\\SxS\\VC7";
constexpr char kDarkBasicKey[] = "software\\dark basic\\dark basic pro";
constexpr char kNetKey[] =
    "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727\\AssemblyFoldersEx\\"
    "Public Assemblies 9";
constexpr char kTool[] = "TGCOnline.exe";

// Runs the DarkBASIC Pro tool with its own folder as the current folder and
// restores the current folder afterwards. A tool named bare must only ever
// run from its own folder, so when that folder cannot be entered the tool
// is not started at all.
void RunTool(const std::string& toolFolder) {
  std::string saved;
  const bool haveSaved = platform::GetCurrentFolder(&saved);
  if (!platform::ChangeFolder(toolFolder.c_str())) {
    ReportError("changing to the folder of TGCOnline.exe");
    return;
  }
  platform::System(kTool);
  if (haveSaved) platform::ChangeFolder(saved.c_str());
}

}  // namespace

bool InstallCpp(const char* year, const char* valueName) {
  ProgressThrottle throttle = {0, 0};
  Valid filter;
  std::string folder;
  if (!ReadRegistryString(kVisualCppKey, valueName, folder)) {
    platform::WriteText("Could not find visual studio ");
    platform::WriteText(year);
    platform::WriteText(" C++ install path.\n");
    return false;
  }
  const std::string librarySource = std::string("CPP\\Lib VS") + year;
  CopyFolderContents(throttle, filter, librarySource.c_str(),
                     (folder + "lib").c_str());
  // The include copy decides the result; with the accept-all filter both
  // copies return true or end the run.
  return CopyFolder(throttle, filter, "CPP\\Include",
                    (folder + "include").c_str());
}

bool InstallDbp() {
  ProgressThrottle throttle = {0, 0};
  Valid filter;
  std::string folder;
  bool success = true;
  if (!ReadRegistryString(kDarkBasicKey, "INSTALL-PATH", folder)) {
    platform::WriteText("Could not find DarkBASIC Pro install path.\n");
    return false;
  }
  if (!CopyFolderContents(throttle, filter, "DBP", folder.c_str())) {
    success = false;
  }
  const std::string toolFolder = folder + "\\Compiler";
  platform::WriteText("Executing '");
  platform::WriteText(toolFolder);
  platform::WriteText("\\");
  platform::WriteText(kTool);
  platform::WriteText("'\n");
  RunTool(toolFolder);
  return success;
}

bool InstallNet() {
  ProgressThrottle throttle = {0, 0};
  Valid filter;
  std::string folder;
  if (!ReadRegistryString(kNetKey, nullptr, folder)) {
    platform::WriteText(
        "Could not find visual studio .NET 2008 install path.\n");
    return false;
  }
  return CopyFolder(throttle, filter, "NET", folder.c_str());
}

int RunInstaller() {
  bool cpp = false;
  if (InstallCpp("2008", "9.0")) cpp = true;
  if (InstallCpp("2010", "10.0")) cpp = true;
  if (InstallCpp("2012", "11.0")) cpp = true;
  const bool dbp = InstallDbp();
  const bool net = InstallNet();
  platform::WriteText("\n\n\n");
  platform::WriteText(cpp ? "Installed CPP files successfully\n"
                          : "Failed to install CPP files successfully\n");
  platform::WriteText(dbp ? "Installed DBP files successfully\n"
                          : "Failed to install DBP files successfully\n");
  platform::WriteText(net ? "Installed NET files successfully\n"
                          : "Failed to install NET files successfully\n");
  platform::System("PAUSE");
  return 0;
}
