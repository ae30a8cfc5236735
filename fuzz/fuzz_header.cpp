// The header parser on arbitrary header records: a record either replaces
// the header in force and leaves usable parameters, or changes nothing.
//
// Input: one byte choosing the parameters in force, then the record's text.
#include <algorithm>
#include <string>

#include "device/device_settings.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace voxa;
  using namespace voxa::fuzz;
  Input in(data, size);
  const uint8_t choice = in.Byte();
  const std::vector<uint8_t> text = in.Rest();

  DeviceSettings device;
  device.SetParameters({kDeviceRates[choice % kDeviceRates.size()], (choice & 0x08) ? 3 : 1, 1 << ((choice >> 4) % 7)});
  device.StartRun();
  device.BuildDefaultHeader();
  const std::string before = device.HeaderText();
  const DeviceParameters old = device.Parameters();

  Notes notes;
  // The separator hands on at most 512 bytes, none of them a marker; the
  // parser must stand more than that anyway.
  const bool replaced = device.ReplaceHeader(Bytes(text.data(), text.size()), notes);
  const DeviceParameters& p = device.Parameters();
  Check(device.HeaderBytes().size() <= static_cast<size_t>(DeviceSettings::kHeaderCapacity), "the header fits");
  Check(device.HeaderText().size() == device.HeaderBytes().size(), "text and bytes of the header agree");
  Check(IsDeviceRate(p.rate), "the rate is one of the device's");
  Check(p.channels == 1 || p.channels == 3, "one or three channels");
  Check(p.gain >= 1, "a usable gain");
  Check(device.DeviceNumber().size() <= 3, "the device number has at most 3 characters");
  Check(device.FirmwareVersion().size() <= 10, "the version has at most 10 characters");
  if (replaced) {
    const size_t length = std::min(text.size(), static_cast<size_t>(DeviceSettings::kHeaderCapacity));
    Check(std::equal(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), device.HeaderBytes().begin(),
                     device.HeaderBytes().end()),
          "a header record replaces the header as received");
    Check(device.DeviceHeaderReceived(), "a replaced header counts as the device's");
  } else {
    Check(device.HeaderText() == before, "an ignored record leaves the header");
    Check(p.rate == old.rate && p.channels == old.channels && p.gain == old.gain, "and the parameters");
    Check(!device.DeviceHeaderReceived() && device.DeviceNumber() == "000", "and the device unknown");
    Check(notes.size() == 1, "an ignored record gets one note");
  }
  return 0;
}
