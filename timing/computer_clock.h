// The computer's local date and time as fields, as taken at START: what a
// recording is dated by when no GPS message came.
#pragma once

namespace voxa {

struct ClockFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

}  // namespace voxa
