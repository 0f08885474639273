// Standard output and input for the POSIX platform layer. Internal to it.
#ifndef INSTALLER_PLATFORM_POSIX_STREAMS_H_
#define INSTALLER_PLATFORM_POSIX_STREAMS_H_

namespace platform::posix {

/// Writes out what standard output holds. Errors are dropped.
void FlushOutput();

/// Reads one byte of standard input, unbuffered, so that nothing is taken
/// from input that a child process should see. -1 at the end of input.
int ReadInputByte();

}  // namespace platform::posix

#endif  // INSTALLER_PLATFORM_POSIX_STREAMS_H_
