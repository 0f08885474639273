// The command interpreter on Linux: $COMSPEC or a cmd.exe along PATH when
// there is one, else a stand-in that knows PAUSE and runs programs by name
// the way cmd.exe finds them.
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_paths.h"
#include "platform/posix_streams.h"

namespace platform {
namespace {

bool IsRunnableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

bool IsWindowsProgram(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char magic[2] = {};
  return file.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

// A Windows program runs through Wine, which, like Windows, asks for no
// execute permission; anything else must be executable.
bool CanRun(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return IsWindowsProgram(path) || access(path.c_str(), X_OK) == 0;
}

// The Unix path of `name` in `folder`, matched without regard to case, or
// an empty string.
std::string FindIn(const std::string& folder, const std::string& name) {
  std::string exact = folder + "/" + name;
  struct stat info;
  if (stat(exact.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return exact;
  std::string match;
  posix::FindNameIgnoringCase(folder, name, &match);
  if (match.empty()) return std::string();
  exact = folder + "/" + match;
  return stat(exact.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? exact : "";
}

std::vector<std::string> SearchPath() {
  std::vector<std::string> folders;
  const char* path = std::getenv("PATH");
  std::string rest = path == nullptr ? "" : path;
  std::size_t start = 0;
  while (start <= rest.size()) {
    const std::size_t end = rest.find(':', start);
    const std::string folder =
        rest.substr(start, end == std::string::npos ? end : end - start);
    folders.push_back(folder.empty() ? "." : folder);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return folders;
}

std::string FindOnPath(const std::string& name) {
  for (const std::string& folder : SearchPath()) {
    const std::string found = FindIn(folder, name);
    if (!found.empty()) return found;
  }
  return std::string();
}

// Runs `arguments` (the program first) and waits for it.
int Run(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    // The child gets the signal defaults a shell would give it.
    std::signal(SIGPIPE, SIG_DFL);
    std::signal(SIGXFSZ, SIG_DFL);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The terminal's own modes while a key is awaited in single-key mode. A
// signal that ends the wait (Ctrl-C, Ctrl-\, a hang-up, kill) must not
// leave the user's terminal without echo and line editing, so the handler
// puts them back before the signal takes its earlier course.
constexpr int kEndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
termios gTerminalModes;
volatile sig_atomic_t gTerminalChanged = 0;
struct sigaction gEarlierActions[std::size(kEndingSignals)];

extern "C" void RestoreTerminalAndResend(int signal) {
  if (gTerminalChanged) tcsetattr(STDIN_FILENO, TCSANOW, &gTerminalModes);
  gTerminalChanged = 0;
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    if (kEndingSignals[i] == signal)
      sigaction(signal, &gEarlierActions[i], nullptr);
  }
  // Blocked until this handler returns, then handled as before the wait.
  raise(signal);
}

// Holds the terminal in single-key mode for its lifetime.
class SingleKeyMode {
 public:
  explicit SingleKeyMode(const termios& modes) {
    gTerminalModes = modes;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    gTerminalChanged = 1;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      struct sigaction restore = {};
      restore.sa_handler = RestoreTerminalAndResend;
      sigemptyset(&restore.sa_mask);
      sigaction(kEndingSignals[i], nullptr, &gEarlierActions[i]);
      // A signal the starter chose to ignore stays ignored.
      installed_[i] = gEarlierActions[i].sa_handler != SIG_IGN &&
                      sigaction(kEndingSignals[i], &restore, nullptr) == 0;
    }
    termios single = modes;
    single.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    single.c_cc[VMIN] = 1;
    single.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &single);
  }

  ~SingleKeyMode() {
    tcsetattr(STDIN_FILENO, TCSANOW, &gTerminalModes);
    gTerminalChanged = 0;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      if (installed_[i])
        sigaction(kEndingSignals[i], &gEarlierActions[i], nullptr);
    }
  }

  SingleKeyMode(const SingleKeyMode&) = delete;
  SingleKeyMode& operator=(const SingleKeyMode&) = delete;

 private:
  bool installed_[std::size(kEndingSignals)] = {};
};

// Waits for one key: on a terminal one key press without Enter and without
// echo, otherwise one byte of input; the end of input ends the wait.
void WaitForKey() {
  termios saved;
  if (isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved) == 0) {
    const SingleKeyMode mode(saved);
    posix::ReadInputByte();
    return;
  }
  posix::ReadInputByte();
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  return posix::FoldedName(a) == posix::FoldedName(b);
}

std::vector<std::string> SplitWords(const char* command) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, inWord = false;
  for (const char* c = command; *c != '\0'; ++c) {
    if (*c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((*c == ' ' || *c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += *c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

int StandInInterpreter(const char* command) {
  std::vector<std::string> words = SplitWords(command);
  if (words.empty()) return 0;
  if (words.size() == 1 && EqualsIgnoringCase(words[0], "PAUSE")) {
    WriteText("Press any key to continue . . . ");
    posix::FlushOutput();
    WaitForKey();
    WriteChar('\n');
    posix::FlushOutput();
    return 0;
  }
  const std::string& name = words[0];
  std::string program = name.find_first_of("/\\") == std::string::npos
                            ? FindIn(".", name)
                            : std::string();
  if (program.empty() && name.find_first_of("/\\") == std::string::npos) {
    program = FindOnPath(name);
  }
  if (program.empty() && name.find_first_of("/\\") != std::string::npos) {
    posix::SplitPath path;
    bool exists = false;
    if (posix::MapPath(name.c_str(), &path) == kErrorSuccess &&
        posix::ResolvePath(&path, &exists) == kErrorSuccess && exists) {
      program = posix::Joined(path);
    }
  }
  if (!program.empty()) {
    words[0] = program;
    if (IsWindowsProgram(program)) {
      const std::string wine = FindOnPath("wine");
      if (!wine.empty()) {
        words.insert(words.begin(), wine);
        return Run(words);
      }
    } else if (IsRunnableFile(program)) {
      return Run(words);
    }
  }
  std::fprintf(stderr,
               "'%s' is not recognized as an internal or external command,\n"
               "operable program or batch file.\n",
               name.c_str());
  std::fflush(stderr);
  return 9009;
}

// The interpreter named by COMSPEC, else cmd.exe along PATH; empty when
// neither can be run.
std::string Interpreter() {
  const char* comspec = std::getenv("COMSPEC");
  if (comspec != nullptr && *comspec != '\0') {
    posix::SplitPath path;
    bool exists = false;
    if (posix::MapPath(comspec, &path) == kErrorSuccess &&
        posix::ResolvePath(&path, &exists) == kErrorSuccess && exists &&
        CanRun(posix::Joined(path))) {
      return posix::Joined(path);
    }
  }
  const std::string cmd = FindOnPath("cmd.exe");
  return !cmd.empty() && CanRun(cmd) ? cmd : std::string();
}

}  // namespace

int System(const char* command) {
  posix::FlushOutput();
  const std::string interpreter = Interpreter();
  if (interpreter.empty()) return StandInInterpreter(command);
  std::vector<std::string> arguments = {interpreter, "/c", command};
  if (IsWindowsProgram(interpreter)) {
    const std::string wine = FindOnPath("wine");
    if (wine.empty()) return StandInInterpreter(command);
    arguments.insert(arguments.begin(), wine);
  }
  return Run(arguments);
}

}  // namespace platform
