#include "platform/posix_streams.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace posix {
namespace {

// Standard output as the Windows C runtime keeps it: written through at
// once on a console, gathered in a 4 KiB buffer when it goes to a file or a
// pipe. A failed write (a closed pipe, a full disk) ends all output for the
// run but never the run itself.
class Output {
 public:
  Output() {
    // A reader that went away must not kill the copy.
    std::signal(SIGPIPE, SIG_IGN);
    console_ = isatty(STDOUT_FILENO) == 1;
    std::atexit([] { Instance().Flush(); });
  }

  static Output& Instance() {
    static Output output;
    return output;
  }

  void Write(const char* data, std::size_t size) {
    if (broken_) return;
    if (console_) {
      WriteAll(data, size);
      return;
    }
    if (used_ + size > sizeof buffer_) {
      Flush();
      if (size >= sizeof buffer_) {
        WriteAll(data, size);
        return;
      }
    }
    std::memcpy(buffer_ + used_, data, size);
    used_ += size;
  }

  void Flush() {
    if (used_ == 0) return;
    WriteAll(buffer_, used_);
    used_ = 0;
  }

 private:
  void WriteAll(const char* data, std::size_t size) {
    while (size > 0 && !broken_) {
      const ssize_t written = write(STDOUT_FILENO, data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        broken_ = true;
        return;
      }
      data += written;
      size -= static_cast<std::size_t>(written);
    }
  }

  char buffer_[4096];
  std::size_t used_ = 0;
  bool console_ = false;
  bool broken_ = false;
};

}  // namespace

void FlushOutput() { Output::Instance().Flush(); }

int ReadInputByte() {
  unsigned char byte;
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, &byte, 1);
    if (got == 1) return byte;
    if (got < 0 && errno == EINTR) continue;
    return -1;
  }
}

}  // namespace posix

void WriteText(const char* text) {
  posix::Output::Instance().Write(text, std::strlen(text));
}

void WriteText(const std::string& text) {
  posix::Output::Instance().Write(text.data(), text.size());
}

void WriteChar(char c) { posix::Output::Instance().Write(&c, 1); }

void WriteUnsigned(uint32_t number) {
  const std::string digits = std::to_string(number);
  posix::Output::Instance().Write(digits.data(), digits.size());
}

bool ReadInteger(long* number) {
  posix::FlushOutput();
  int c;
  do {
    c = posix::ReadInputByte();
  } while (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
           c == '\r');
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = posix::ReadInputByte();
  }
  if (c < '0' || c > '9') return false;
  // A number too large for the type saturates; the caller ignores it.
  long value = 0;
  for (; c >= '0' && c <= '9'; c = posix::ReadInputByte()) {
    if (value <= (std::numeric_limits<long>::max() - 9) / 10) {
      value = value * 10 + (c - '0');
    }
  }
  *number = negative ? -value : value;
  return true;
}

}  // namespace platform
