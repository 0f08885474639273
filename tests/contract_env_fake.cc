#include <sstream>

#include "contract_env.h"
#include "fake_platform.h"

namespace contract {

std::string NewScratchFolder() {
  fake::Reset();
  fake::AddFolder("C:\\scratch");
  return "C:\\scratch";
}

void WriteFile(const std::string& path, const std::string& content) {
  const int64_t time = fake::Exists(path) ? fake::WriteTime(path) : 0;
  fake::AddFile(path, content, time);
}

void MakeFolder(const std::string& path) { fake::AddFolder(path); }

std::string ReadFile(const std::string& path) { return fake::Content(path); }

bool Exists(const std::string& path) { return fake::Exists(path); }

void SetReadOnly(const std::string& path, bool readOnly) {
  fake::SetReadOnly(path, readOnly);
}

void SetWriteTime(const std::string& path, int64_t seconds) {
  fake::AddFile(path, fake::Content(path), seconds);
}

int64_t WriteTime(const std::string& path) { return fake::WriteTime(path); }

std::vector<std::string> Names(const std::string& folder) {
  // The fake's tree listing, top level only.
  std::vector<std::string> names;
  std::istringstream lines(fake::Tree(folder));
  std::string line;
  while (std::getline(lines, line)) {
    std::string name = line.substr(2);
    if (line[0] == 'F') name = name.substr(0, name.find('='));
    if (name.find('\\') == std::string::npos) names.push_back(name);
  }
  return names;
}

}  // namespace contract
