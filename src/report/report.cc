#include "report/report.h"

#include "platform/platform.h"

namespace {

// The line both reports share. The caller reads the code first, because
// writing could change the last-error value.
void WriteErrorLine(const char* action, uint32_t code) {
  platform::WriteText("Error whilst ");
  platform::WriteText(action);
  platform::WriteText(". Error code: ");
  platform::WriteUnsigned(code);
  platform::WriteChar('\n');
}

}  // namespace

bool ThrottleAllows(const ProgressThrottle& throttle) {
  // Wrapping 32-bit arithmetic, compared as signed, as the clock readings
  // are; the unsigned detour keeps the subtraction well defined.
  const int32_t now = platform::Clock();
  const int32_t elapsed =
      static_cast<int32_t>(static_cast<uint32_t>(now) -
                           static_cast<uint32_t>(throttle.lastLineTime));
  if (elapsed >= throttle.interval) return true;
  // Everything passes during the first `interval` ms of the process.
  return platform::Clock() < throttle.interval;
}

void ThrottledWrite(ProgressThrottle& throttle, const char* piece) {
  if (!ThrottleAllows(throttle)) return;
  platform::WriteText(piece);
  const std::size_t length = std::char_traits<char>::length(piece);
  if (length != 0 && piece[length - 1] == '\n') {
    throttle.lastLineTime = platform::Clock();
  }
}

void ThrottledWrite(ProgressThrottle& throttle, const std::string& piece) {
  ThrottledWrite(throttle, piece.c_str());
}

void ThrottledEndLine(ProgressThrottle& throttle) {
  if (!ThrottleAllows(throttle)) return;
  platform::WriteChar('\n');
  throttle.lastLineTime = platform::Clock();
}

void FatalError(const char* action) {
  const uint32_t code = platform::GetLastError();
  WriteErrorLine(action, code);
  long ignored = 0;
  platform::ReadInteger(&ignored);
  platform::Exit(1);
}

void CheckStep(bool failed, std::string action) {
  if (!failed) return;
  const uint32_t code = platform::GetLastError();
  WriteErrorLine(action.c_str(), code);
  platform::System("PAUSE");
}

void ReportError(const char* action) {
  const uint32_t code = platform::GetLastError();
  WriteErrorLine(action, code);
}
