// The station's care of its disk: how much room is left where it writes,
// what that means (room, low: a warning, below the floor: the run stops
// cleanly rather than fill the disk), and the removal of the archive's
// oldest day files when a number of days is to be kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace voxa {

enum class DiskState { Ok, Low, BelowFloor };

// Free bytes for an unprivileged writer on the file system of path.
std::optional<int64_t> FreeBytes(const std::string& path);

DiskState JudgeDisk(int64_t freeBytes, int64_t warnBytes, int64_t floorBytes);
const char* DiskStateName(DiskState state);

// The day of an SDS day file's name ("XX.V015..EHZ.D.2026.341"), in days
// since 1970-01-01; nullopt for any other name.
std::optional<int64_t> SdsFileDay(const std::string& fileName);

// Removes the day files under root older than keepDays days before today
// (days since 1970-01-01, UTC); today's and later are never removed, nor is
// anything that is not a day file. Returns the paths removed.
std::vector<std::string> PruneArchive(const std::string& root, int32_t keepDays, int64_t today);

}  // namespace voxa
