#include "wine_registry_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/platform.h"

namespace registry_test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote <= 0) return;
    done += static_cast<std::size_t>(wrote);
  }
}

std::string ReadAll(int fd) {
  std::string bytes;
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) return bytes;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

// Answers travel from the child as "<length>:<bytes>" each.
std::string Packed(const Answers& answers) {
  std::string packed;
  for (const std::string& answer : answers) {
    packed += std::to_string(answer.size()) + ':' + answer;
  }
  return packed;
}

Answers Unpacked(const std::string& packed) {
  Answers answers;
  std::size_t at = 0;
  while (at < packed.size()) {
    const std::size_t colon = packed.find(':', at);
    if (colon == std::string::npos) break;
    const std::size_t length = std::stoul(packed.substr(at, colon - at));
    answers.push_back(packed.substr(colon + 1, length));
    at = colon + 1 + length;
  }
  return answers;
}

std::string Hex(const unsigned char* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

}  // namespace

std::string Fixture(const std::string& name) {
  return ReadFile(std::string(REGISTRY_FIXTURES) + "/" + name);
}

ScratchPrefix::ScratchPrefix(const std::string& contents) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr ? base : "/tmp") + "/wine-registry-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
  WriteFile(systemReg(), contents);
}

ScratchPrefix::~ScratchPrefix() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ChildResult InFreshProcess(const std::function<Answers()>& body) {
  ChildResult result;
  std::FILE* output = std::tmpfile();
  int channel[2];
  if (output == nullptr || pipe(channel) != 0) std::abort();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    dup2(fileno(output), STDOUT_FILENO);
    dup2(fileno(output), STDERR_FILENO);
    const std::string packed = Packed(body());
    WriteAll(channel[1], packed);
    std::fflush(nullptr);
    _exit(0);
  }
  close(channel[1]);
  result.answers = Unpacked(ReadAll(channel[0]));
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  result.exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::rewind(output);
  result.output = ReadAll(fileno(output));
  std::fclose(output);
  EXPECT_TRUE(result.exitedCleanly) << "child status " << status << "\n"
                                    << result.output;
  return result;
}

std::string Read(const char* key, const char* value) {
  platform::RegKey handle = nullptr;
  long status = platform::RegOpenKeyExA(key, &handle);
  if (status != 0) return "<key: " + std::to_string(status) + ">";
  uint32_t size = 0;
  std::string bytes;
  status = platform::RegQueryValueExA(handle, value, nullptr, &size);
  if (status == 0) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size) + 1);
    status = platform::RegQueryValueExA(handle, value, buffer.data(), &size);
    bytes.assign(reinterpret_cast<const char*>(buffer.data()), size);
  }
  platform::RegCloseKey(handle);
  if (status != 0) return "<value: " + std::to_string(status) + ">";
  return bytes;
}

std::string Probe(const char* key, const char* value, uint32_t size,
                  bool withData) {
  platform::RegKey handle = nullptr;
  const long opened = platform::RegOpenKeyExA(key, &handle);
  if (opened != 0) return "<key: " + std::to_string(opened) + ">";
  std::vector<unsigned char> buffer(static_cast<std::size_t>(size) + 1, 0xCC);
  const std::size_t shown = buffer.size();
  platform::SetLastError(0);
  const long status = platform::RegQueryValueExA(
      handle, value, withData ? buffer.data() : nullptr, &size);
  const uint32_t lastError = platform::GetLastError();
  platform::RegCloseKey(handle);
  std::string text = std::to_string(status) + " size=" + std::to_string(size);
  if (withData) text += " buf=" + Hex(buffer.data(), shown);
  if (status != 0) text += " last=" + std::to_string(lastError);
  return text;
}

}  // namespace registry_test
