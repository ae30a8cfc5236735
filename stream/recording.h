// The stream recording: bytes collected in RawBuffer and written to
// streamdat.bin, the header and placeholder records at its start, and the
// steps that finish it at STOP (end-time record, end byte, start fixes,
// header rewrite, final name).
//
// File layout: 0xF0 and the header; the 80 placeholder bytes when the first
// screen ended before any GPS message; the recorded stream (every byte after
// the first marker except header and boot-message records); the end-time
// record when a GPS message was seen; 0xEF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/acquisition.h"

namespace voxa {

inline constexpr const char* kWorkingRecordingName = "streamdat.bin";

// Makes room in RawBuffer when it is full: before the recording's first write
// the buffer grows (the placeholder decision at the end of the first screen
// is still to come); afterwards, or once it is very large, it is flushed.
void MakeRawRoom(Acquisition& a);

// Appends one received byte to the recording buffer. Never overflows.
inline void AppendRaw(Acquisition& a, uint8_t byte) {
  if (a.RawCount >= static_cast<int32_t>(a.RawBuffer.size())) MakeRawRoom(a);
  a.RawBuffer[static_cast<size_t>(a.RawCount++)] = byte;
}

// Takes the last byte appended out again (a marker that turned out to begin a
// record that is not recorded).
inline void TakeBackRaw(Acquisition& a) {
  if (a.RawCount > 0) --a.RawCount;
}

// Writes the collected bytes to the recording; the first call writes the
// header (and the placeholder records when GpsPlaceholder is set) first.
void FlushRecording(Acquisition& a);

// The header as it is written at the start of the file: the header in force,
// fitted to the length the first write gave it, so it never overlaps the
// records after it. A shorter header is padded with blanks; a longer one keeps
// the whole items that fit and is padded likewise.
std::vector<uint8_t> FittedHeader(const Acquisition& a, int32_t length);

// The finishing steps at STOP. Returns the file name the recording got.
std::string FinishRecording(Acquisition& a);

// After a failure: writes what is still buffered if it can, then closes the
// file under its working name.
void AbandonRecording(Acquisition& a);

// A name in directory that does not exist yet: name itself, or with "-2",
// "-3", ... before its extension.
std::string UnusedFileName(const std::string& directory, const std::string& name);

// Before a new recording is created: a non-empty streamdat.bin left by a run
// that could not finish or rename it is moved aside so it is never overwritten.
// Returns the name it was moved to, or "" when there was nothing to keep.
std::string KeepUnfinishedRecording(const std::string& directory);

}  // namespace voxa
