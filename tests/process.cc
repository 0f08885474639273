#include "process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace testing_process {

Result Run(const Options& options) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) std::abort();
  const pid_t child = fork();
  if (child == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (options.closedInput) close(0);
    for (const std::string& setting : options.environment) {
      const std::size_t equals = setting.find('=');
      if (equals == std::string::npos) {
        unsetenv(setting.c_str());
      } else {
        setenv(setting.substr(0, equals).c_str(),
               setting.substr(equals + 1).c_str(), 1);
      }
    }
    if (!options.folder.empty() && chdir(options.folder.c_str()) != 0)
      _exit(126);
    std::vector<char*> argv;
    for (const std::string& a : options.arguments) {
      argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  Result result;
  std::size_t written = 0;
  if (options.input.empty()) {
    close(in[1]);
    in[1] = -1;
  }
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  fcntl(err[0], F_SETFL, O_NONBLOCK);
  if (in[1] >= 0) fcntl(in[1], F_SETFL, O_NONBLOCK);
  bool outOpen = true, errOpen = true;
  char buffer[65536];
  while (outOpen || errOpen) {
    pollfd fds[3] = {
        {out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    poll(fds, in[1] >= 0 ? 3 : 2, -1);
    for (int i = 0; i < 2; ++i) {
      if (!(i == 0 ? outOpen : errOpen)) continue;
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? result.output : result.error).append(buffer, got);
      } else if (got == 0 || errno != EAGAIN) {
        (i == 0 ? outOpen : errOpen) = false;
      }
    }
    if (in[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t put = write(in[1], options.input.data() + written,
                                options.input.size() - written);
      if (put > 0) written += put;
      if (put < 0 || written == options.input.size()) {
        close(in[1]);
        in[1] = -1;
      }
    }
  }
  if (in[1] >= 0) close(in[1]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(child, &status, 0);
  result.status =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string NewTempFolder(const std::string& label) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr ? base : "/tmp") + "/" + label + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

void MakeFolders(const std::string& path) {
  for (std::size_t at = 1; at <= path.size(); ++at) {
    if (at == path.size() || path[at] == '/') {
      mkdir(path.substr(0, at).c_str(), 0777);
    }
  }
}

void WriteFile(const std::string& path, const std::string& content) {
  MakeFolders(path.substr(0, path.rfind('/')));
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

namespace {

void Describe(const std::string& folder, const std::string& prefix,
              std::vector<std::string>* lines) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    struct stat info;
    lstat(path.c_str(), &info);
    if (S_ISLNK(info.st_mode)) {
      char target[4096];
      const ssize_t length = readlink(path.c_str(), target, sizeof target);
      lines->push_back("L " + prefix + name + " -> " +
                       std::string(target, length > 0 ? length : 0));
    } else if (S_ISDIR(info.st_mode)) {
      lines->push_back("D " + prefix + name);
      Describe(path, prefix + name + "/", lines);
    } else {
      lines->push_back("F " + prefix + name + "=" + ReadFile(path));
    }
  }
}

}  // namespace

std::string DescribeTree(const std::string& folder) {
  std::vector<std::string> lines;
  Describe(folder, "", &lines);
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace testing_process
