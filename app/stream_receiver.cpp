// The stream separator behind the run controller's receiver interface.
#include "app/stream_receiver.h"

#include "stream/separator.h"

namespace voxa {
namespace {

class SeparatorReceiver final : public StreamReceiver {
 public:
  SeparatorReceiver(Acquisition& a, Host& host, Surface& surface) : separator_(a, host, surface) {}
  void Begin(uint8_t firstMarker) override { separator_.Begin(firstMarker); }
  size_t Feed(const uint8_t* data, size_t count) override { return separator_.Feed(data, count); }
  int PauseMilliseconds() const override { return separator_.PauseMilliseconds(); }
  std::string Finish() override { return separator_.Finish(); }
  void Abandon() override { separator_.Abandon(); }

 private:
  StreamSeparator separator_;
};

}  // namespace

std::unique_ptr<StreamReceiver> MakeSeparatorReceiver(Acquisition& a, Host& host, Surface& surface) {
  return std::make_unique<SeparatorReceiver>(a, host, surface);
}

}  // namespace voxa
