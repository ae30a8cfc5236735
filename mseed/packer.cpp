#include "mseed/packer.h"

#include <libmseed.h>

#include <algorithm>

#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>

namespace voxa {
namespace {

constexpr std::array<int8_t, 3> kEncodings = {DE_STEIM2, DE_STEIM1, DE_INT32};

// The header, blockette 1000 and blockette 1001 take the first 64 bytes; the
// rest are 64-byte Steim frames. More waiting samples than this fill a
// record whatever the encoding (a Steim-2 frame holds at most 105), which is
// when libmseed packs one without being told to flush.
constexpr size_t kSteim2FrameSamples = 105;
constexpr size_t kFullRecordSamples = (kRecordLength - 64) / 64 * kSteim2FrameSamples;

// libmseed reports a difference Steim-2 cannot hold as an error before the
// packer falls back to another encoding; that is not an error here.
void Quiet(char*) {}

void QuietLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { ms_loginit(nullptr, nullptr, &Quiet, nullptr); });
}

void CopyCode(char (&target)[11], const std::string& code) {
  std::memset(target, 0, sizeof target);
  std::memcpy(target, code.data(), std::min(code.size(), sizeof target - 1));
}

}  // namespace

ChannelPacker::ChannelPacker() = default;

ChannelPacker::~ChannelPacker() {
  if (msr_ != nullptr) {
    msr_->datasamples = nullptr;  // the buffer is ours
    msr_free(&msr_);
  }
}

void ChannelPacker::Open(const ChannelName& name, int32_t rate, bool timed, PackedRecordSink& sink, int32_t index) {
  QuietLibraryOnce();
  if (msr_ != nullptr) Close();
  name_ = name;
  sink_ = &sink;
  index_ = index;
  timed_ = timed;
  interval_ = SampleInterval(rate);
  stats_ = {};
  encodings_ = {};
  count_ = 0;
  // Room for a full record and the largest run the dater hands on at once
  // (two seconds of blocks); larger runs are taken in pieces.
  buffer_.assign(kFullRecordSamples + 2 * 800 + 1, 0);

  msr_ = msr_init(nullptr);
  CopyCode(msr_->network, name.network);
  CopyCode(msr_->station, name.station);
  CopyCode(msr_->location, name.location);
  CopyCode(msr_->channel, name.channel);
  msr_->reclen = kRecordLength;
  msr_->byteorder = 1;
  msr_->dataquality = 'D';
  msr_->samprate = rate;
  msr_->sampletype = 'i';
  // The flags live in the fixed header, which libmseed fills from the
  // template's own.
  msr_->fsdh = static_cast<fsdh_s*>(std::calloc(1, sizeof(fsdh_s)));
  blockette1001_ = nullptr;
  if (timed) {
    blkt_1001_s b1001{};
    BlktLink* link = msr_addblockette(msr_, reinterpret_cast<char*>(&b1001), sizeof b1001, 1001, 0);
    if (link != nullptr) blockette1001_ = link->blktdata;
  }
}

void ChannelPacker::Append(Micros start, const int32_t* samples, int32_t count, int32_t stride,
                           const TimeQuality& quality) {
  if (msr_ == nullptr || count <= 0) return;

  if (stats_.samples > 0) {
    const Micros step = start - stats_.end;
    if (step >= interval_ / 2 || step <= -interval_ / 2) {
      if (step > 0) {
        ++stats_.gaps;
      } else {
        ++stats_.overlaps;
      }
      if (stats_.discontinuities.size() < ChannelStats::kListedDiscontinuities) {
        stats_.discontinuities.push_back({stats_.end, step});
      }
    }
  }
  if (!stats_.first) stats_.first = start;
  stats_.samples += count;
  stats_.end = start + count * interval_;

  while (count > 0) {
    if (count_ > 0) {
      const Micros expected = bufferStart_ + static_cast<Micros>(count_) * interval_;
      const Micros step = start - expected;
      if (step >= interval_ / 2 || step <= -interval_ / 2 || !(quality == quality_)) Flush();
    }
    if (count_ == 0) {
      bufferStart_ = start;
      quality_ = quality;
      dayEnd_ = NextDayStart(start);
    }
    // Samples before midnight, and what the buffer holds.
    int64_t take = (dayEnd_ - start + interval_ - 1) / interval_;
    take = std::min<int64_t>({take, count, static_cast<int64_t>(buffer_.size() - count_)});
    for (int64_t i = 0; i < take; ++i) buffer_[count_ + static_cast<size_t>(i)] = samples[i * stride];
    count_ += static_cast<size_t>(take);
    start += take * interval_;
    samples += take * stride;
    count -= static_cast<int32_t>(take);

    if (count_ > kFullRecordSamples) Pack(false);
    if (count > 0 && start >= dayEnd_) Flush();
  }
  if (flushEachSecond_ && count_ > 0) {
    const Micros end = bufferStart_ + static_cast<Micros>(count_) * interval_;
    if (end / kMicrosPerSecond > bufferStart_ / kMicrosPerSecond) Flush();
  }
}

void ChannelPacker::Flush() {
  if (msr_ == nullptr || count_ == 0) return;
  Pack(true);
}

void ChannelPacker::Close() {
  if (msr_ == nullptr) return;
  // The channel is let go even when its last records cannot be written.
  struct Release {
    ChannelPacker& packer;
    ~Release() {
      packer.msr_->datasamples = nullptr;
      msr_free(&packer.msr_);
      packer.msr_ = nullptr;
      packer.blockette1001_ = nullptr;
      packer.count_ = 0;
    }
  } release{*this};
  Flush();
}

void ChannelPacker::ApplyQuality() {
  if (!timed_) return;
  msr_->fsdh->io_flags = quality_.clockLocked ? 0x20 : 0x00;
  msr_->fsdh->dq_flags = quality_.questionable ? 0x80 : 0x00;
  if (blockette1001_ != nullptr) static_cast<blkt_1001_s*>(blockette1001_)->timing_qual = quality_.timingQuality;
}

void ChannelPacker::Pack(bool flush) {
  ApplyQuality();
  size_t done = 0;
  while (done < count_) {
    msr_->datasamples = buffer_.data() + done;
    msr_->numsamples = static_cast<int64_t>(count_ - done);
    msr_->starttime = bufferStart_ + static_cast<Micros>(done) * interval_;
    msr_->encoding = kEncodings[static_cast<size_t>(encodingIndex_)];
    int64_t packed = 0;
    const int result = msr_pack(msr_, &ChannelPacker::Handler, this, &packed, flush ? 1 : 0, 0);
    done += static_cast<size_t>(packed);
    if (failure_) break;
    if (result >= 0) {
      encodingIndex_ = 0;
      break;
    }
    // A difference the encoding cannot hold: the record is tried with the
    // next one. Plain integers hold every sample.
    if (encodingIndex_ + 1 >= static_cast<int>(kEncodings.size())) break;
    ++encodingIndex_;
  }
  encodingIndex_ = 0;
  msr_->datasamples = nullptr;
  msr_->numsamples = 0;
  if (flush) done = count_;
  if (done > 0) {
    std::memmove(buffer_.data(), buffer_.data() + done, (count_ - done) * sizeof(int32_t));
    count_ -= done;
    bufferStart_ += static_cast<Micros>(done) * interval_;
  }
  if (failure_) {
    // Thrown here, never through libmseed's C frames.
    const std::exception_ptr failure = failure_;
    failure_ = nullptr;
    std::rethrow_exception(failure);
  }
}

void ChannelPacker::Handler(char* record, int length, void* self) {
  auto* packer = static_cast<ChannelPacker*>(self);
  if (packer->failure_) return;
  ++packer->stats_.records;
  ++packer->encodings_[static_cast<size_t>(packer->encodingIndex_)];
  try {
    packer->sink_->OnPackedRecord(packer->index_, DayStart(packer->bufferStart_), reinterpret_cast<uint8_t*>(record),
                                  static_cast<size_t>(length));
  } catch (...) {
    packer->failure_ = std::current_exception();
  }
}

}  // namespace voxa
