// The install targets: each finds one development environment in the
// registry and copies the product's folders for it from the current folder.
#ifndef INSTALLER_INSTALLER_INSTALLER_H_
#define INSTALLER_INSTALLER_INSTALLER_H_

/// Visual C++ of `year` ("2008"), registered under the value `valueName`
/// ("9.0"): copies "CPP\Lib VS" + year into its lib folder and
/// "CPP\Include" into its include folder. False when it is not registered.
bool InstallCpp(const char* year, const char* valueName);

/// DarkBASIC Pro: merges "DBP" into its folder, then runs TGCOnline.exe in
/// its Compiler folder. False when it is not registered.
bool InstallDbp();

/// The .NET 2.0 public-assemblies folder of Visual Studio 2008: copies
/// "NET" into it. False when it is not registered.
bool InstallNet();

/// The whole run: the five targets in order, the summary, and a pause.
/// Returns the process's exit status, 0.
int RunInstaller();

#endif  // INSTALLER_INSTALLER_INSTALLER_H_
