// Console reporting: progress text through a rate-limiting throttle, and the
// two ways of reporting a failed step.
#ifndef INSTALLER_REPORT_REPORT_H_
#define INSTALLER_REPORT_REPORT_H_

#include <cstdint>
#include <string>

/// Decides whether progress pieces are written. Each install target owns one
/// and hands it by reference through the whole copy recursion.
struct ProgressThrottle {
  /// Least time, in milliseconds, after a line end before the next piece.
  int32_t interval;
  /// Clock reading taken just after the most recent written line end.
  int32_t lastLineTime;
};

/// True when the next piece may be written: `interval` has passed since the
/// last line end, or the process is still within its first `interval` ms.
/// Differences and comparisons are signed 32-bit.
bool ThrottleAllows(const ProgressThrottle& throttle);

/// Writes `piece` when the throttle allows it. A written piece that ends with
/// a line feed counts as a line end and moves `lastLineTime`.
void ThrottledWrite(ProgressThrottle& throttle, const char* piece);
void ThrottledWrite(ProgressThrottle& throttle, const std::string& piece);

/// Writes one line feed when the throttle allows it and moves `lastLineTime`.
void ThrottledEndLine(ProgressThrottle& throttle);

/// Reports a failed step and ends the process: writes "Error whilst ACTION.
/// Error code: N" with the last-error value read before anything is
/// written, waits for one integer on standard input (any outcome ends the
/// wait), then exits with status 1 so whoever started the run sees that it
/// failed. Files copied before the failure stay.
[[noreturn]] void FatalError(const char* action);

/// Writes the error line for a failed step that the run goes on after,
/// without waiting.
void ReportError(const char* action);

/// When `failed`, writes the same error line as FatalError, runs "PAUSE" and
/// returns to the caller; otherwise does nothing.
void CheckStep(bool failed, std::string action);

#endif  // INSTALLER_REPORT_REPORT_H_
