// Bounds shared by the plot and the checks: how many channels and frames of
// the sample buffer may be read. Every read of SampleBuffer and SecondMarks
// goes through these, so a channel count or rate from a broken header, or a
// screen closed early by a zoom change, never reads outside what was stored.
#pragma once

#include <algorithm>
#include <cstdint>

#include "stream/acquisition.h"

namespace voxa::screen_frames {

// ChannelCount limited to the channels the state has room for.
inline int32_t Channels(const Acquisition& a) { return std::clamp(a.ChannelCount, int32_t{1}, kMaxChannels); }

// Frames whose slots all lie inside both buffers (and below kSampleSlots).
inline int64_t Capacity(const Acquisition& a) {
  const int64_t slots = std::min<int64_t>({static_cast<int64_t>(a.SampleBuffer.size()),
                                           static_cast<int64_t>(a.SecondMarks.size()), kSampleSlots});
  return slots / Channels(a);
}

// Frames the end-of-screen checks examine: the frames stored in this screen,
// at most one screen's worth. A screen closed early by a zoom change holds
// fewer than ScreenSeconds x SampleRate; the slots after them are not its own.
inline int64_t Stored(const Acquisition& a) {
  const int64_t stored = std::max<int64_t>(a.SampleIndex, 0) / Channels(a);
  const int64_t screen = std::max<int64_t>(static_cast<int64_t>(a.ScreenSeconds) * a.SampleRate, 0);
  return std::min({stored, screen, Capacity(a)});
}

}  // namespace voxa::screen_frames
