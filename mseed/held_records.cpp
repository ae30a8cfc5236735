#include "mseed/held_records.h"

#include <libmseed.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace voxa {
namespace {

constexpr size_t kLargestRecord = 1 << 16;  // miniSEED 2 records are 2^8 to 2^16 bytes
constexpr size_t kFixedHeader = 48;

// Two times are the same sample's when they differ by less than half a period
// (libmseed's own tolerance for joining records); a record at no rate needs
// them equal to the microsecond.
Micros Tolerance(Micros period) { return period / 2; }

}  // namespace

bool HeldRecords::Parse(const uint8_t* record, size_t length, Span& span) {
  MSRecord* msr = nullptr;
  // libmseed reads the buffer only; dataflag 0 leaves the samples packed.
  const int parsed = msr_parse(reinterpret_cast<char*>(const_cast<uint8_t*>(record)), static_cast<int>(length), &msr,
                               static_cast<int>(length), 0, 0);
  if (parsed != MS_NOERROR || msr == nullptr) {
    msr_free(&msr);
    return false;
  }
  char name[64];
  msr_srcname(msr, name, 1);
  span.channel = name;
  span.first = msr->starttime;
  span.last = msr->samplecnt > 0 ? msr_endtime(msr) : msr->starttime;
  span.period = msr->samprate > 0 ? static_cast<Micros>(1e6 / msr->samprate + 0.5) : 0;
  msr_free(&msr);
  return true;
}

void HeldRecords::Take(const uint8_t* data, size_t count) {
  // Whole records are parsed where they lie; only a record cut by the end of
  // a piece is copied, into carry_.
  while (count > 0) {
    const uint8_t* at = data;
    size_t available = count;
    if (!carry_.empty()) {
      const size_t want = std::min(count, kLargestRecord - carry_.size());
      carry_.insert(carry_.end(), data, data + want);
      at = carry_.data();
      available = carry_.size();
      data += want;
      count -= want;
    }
    size_t used = 0;
    while (available - used >= kFixedHeader) {
      const int length = ms_detect(reinterpret_cast<const char*>(at + used), static_cast<int>(available - used));
      if (length == 0 || (length > 0 && static_cast<size_t>(length) > available - used)) break;  // further on
      Span span;
      if (length < 0 || !Parse(at + used, static_cast<size_t>(length), span)) {
        // Not a record here: a record cut short (a write the system never
        // finished) with others added after it. Its header claimed bytes that
        // belong to the next record, so the record read just before may not
        // hold what it says: step on byte by byte to the next record and
        // forget that one (writing it again is safe, skipping samples the
        // file lacks is not).
        pendingCut_ = pending_.has_value();
        ++used;
        continue;
      }
      if (pending_ && !pendingCut_) Add(std::move(*pending_));
      pending_ = std::move(span);
      pendingCut_ = false;
      used += static_cast<size_t>(length);
    }
    if (!carry_.empty()) {
      carry_.erase(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(used));
      if (carry_.size() >= kLargestRecord) carry_.clear();  // no record in a full buffer
      if (count == 0) return;
      continue;
    }
    carry_.assign(at + used, at + available);
    return;
  }
}

void HeldRecords::Finish() {
  // The last record is whole: its bytes are all there, whatever follows.
  if (pending_) Add(std::move(*pending_));
  pending_.reset();
  pendingCut_ = false;
  carry_.clear();
  // Records of a file written by several runs may lie in any order: sort and
  // merge once more.
  std::sort(spans_.begin(), spans_.end(), [](const Span& a, const Span& b) {
    return a.channel != b.channel ? a.channel < b.channel : a.first < b.first;
  });
  std::vector<Span> merged;
  for (Span& span : spans_) {
    if (!merged.empty()) {
      Span& previous = merged.back();
      if (previous.channel == span.channel && previous.period == span.period &&
          span.first <= previous.last + previous.period + Tolerance(previous.period)) {
        previous.last = std::max(previous.last, span.last);
        continue;
      }
    }
    merged.push_back(std::move(span));
  }
  spans_ = std::move(merged);
}

void HeldRecords::Add(Span span) {
  // A day file is mostly written in time order: a record that follows the
  // last span on (within a period and a half) lengthens it.
  if (!spans_.empty()) {
    Span& last = spans_.back();
    if (last.channel == span.channel && last.period == span.period && span.first >= last.first &&
        span.first <= last.last + last.period + Tolerance(last.period)) {
      last.last = std::max(last.last, span.last);
      return;
    }
  }
  spans_.push_back(std::move(span));
}

HeldRecords::Verdict HeldRecords::Judge(const uint8_t* record, size_t length) const {
  if (spans_.empty()) return Verdict::New;
  Span span;
  if (!Parse(record, length, span)) return Verdict::New;
  const Micros tolerance = Tolerance(span.period);
  bool overlaps = false;
  for (const Span& held : spans_) {
    if (held.channel != span.channel) continue;
    if (span.first >= held.first - tolerance && span.last <= held.last + tolerance) return Verdict::Held;
    if (span.first <= held.last + tolerance && span.last >= held.first - tolerance) overlaps = true;
  }
  return overlaps ? Verdict::Overlaps : Verdict::New;
}

}  // namespace voxa
