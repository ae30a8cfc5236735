// Where the ring's next sequence number survives a restart: one line of
// decimal text in the data directory, replaced whole (written beside it,
// then renamed over it), so a crash leaves the old number or the new one.
#pragma once

#include <cstdint>
#include <string>

namespace voxa {

inline constexpr const char* kSequenceFileName = "seedlink.sequence";

// The number kept in path; 0 when there is none. A file that is there but
// unreadable gives 0 too, with message saying why.
uint64_t LoadSequence(const std::string& path, std::string& message);
// False with message when it cannot be written.
bool SaveSequence(const std::string& path, uint64_t next, std::string& message);

}  // namespace voxa
