// The exit status of the programs that run a run (the window and the
// station). When several things went wrong, the highest code: a file that
// lost data outweighs one that was never created, which outweighs a port.
#pragma once

namespace voxa {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;           // a bad command line or station file; nothing was started
inline constexpr int kExitPortNotOpened = 3;   // the port could not be opened
inline constexpr int kExitDeviceLost = 4;      // the device went away during a run
inline constexpr int kExitFileNotCreated = 5;  // a file asked for could not be created (or Save Stream was refused)
inline constexpr int kExitFileNotSaved = 6;    // a file could not be written whole, finished or named
inline constexpr int kExitReplayUnusable = 7;  // the file to replay is not a usable recording

}  // namespace voxa
