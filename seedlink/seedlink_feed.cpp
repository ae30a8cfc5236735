#include "seedlink/seedlink_feed.h"

#include <memory>

namespace voxa {
namespace {

// The feed's "files": every record into the ring, whatever day it belongs to.
class RingFiles final : public ArchiveFiles {
 public:
  explicit RingFiles(PacketRing& ring) : ring_(ring) {}
  // The ring holds nothing of a run before it starts: every record goes to it.
  void ReadHeld(const std::string&, const Reader&) override {}
  void Append(size_t, const std::string&, const uint8_t* data, size_t length) override { ring_.Append(data, length); }
  void CloseAll() override {}
  const std::vector<std::string>& Written() const override { return none_; }

 private:
  PacketRing& ring_;
  std::vector<std::string> none_;
};

}  // namespace

void SeedLinkFeed::StartRun(const DeviceSettings& device, const CodeChoices& codes, bool readingRecording,
                            Micros computerClock) {
  if (stream_.Running()) Finish();
  MseedSettings settings;
  settings.codes = codes;
  settings.readingRecording = readingRecording;
  settings.flushEachRecord = false;
  settings.flushEachSecond = true;
  PacketRing& ring = ring_;
  settings.openFiles = [&ring] { return std::make_unique<RingFiles>(ring); };
  stream_.StartRun(settings, device, computerClock);
}

void SeedLinkFeed::Finish() {
  if (stream_.Running()) stream_.Finish();
}

}  // namespace voxa
