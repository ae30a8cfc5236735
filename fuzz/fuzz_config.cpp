// The config.txt reader on arbitrary files: the header it builds always fits,
// keeps its start-time items, carries the gain, channel count and rate the
// run uses right after the fixed prefix, and holds no marker byte.
//
// Input: one byte choosing the parameters in force, then the file.
#include <fstream>
#include <string>

#include "device/device_settings.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace voxa;
  using namespace voxa::fuzz;
  static const ScratchDir scratch;
  static const std::string path = scratch.File("config.txt");
  Input in(data, size);
  const uint8_t choice = in.Byte();
  const std::vector<uint8_t> file = in.Rest();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }

  DeviceSettings device;
  device.SetParameters({kDeviceRates[choice % kDeviceRates.size()], (choice & 0x08) ? 3 : 1, 1 << ((choice >> 4) % 7)});
  device.StartRun();
  Notes notes;
  Check(device.LoadConfiguration(path, true, notes), "the file is read");

  const std::string& header = device.HeaderText();
  const DeviceParameters& p = device.Parameters();
  Check(header.size() <= static_cast<size_t>(DeviceSettings::kHeaderCapacity), "the header fits");
  Check(device.HeaderBytes().size() == header.size(), "text and bytes of the header agree");
  Check(header.ends_with("S_TIME=11:11:00;S_DATE=11/11/11;D_VOLT=0;E_VOLT=0;B_VOLT=0;DAT_NO=000"),
        "the start-time items close the header");
  Check(IsDeviceRate(p.rate), "the rate is one of the device's");
  Check(p.channels == 1 || p.channels == 3, "one or three channels");
  Check(p.gain >= 1, "a usable gain");
  const std::string parameters = "ZELK_V=V0.0xxx;DEV_NO=000;E_NAME=N/A;P_AMPL=" + std::to_string(p.gain) +
                                 ";CH_NUM=" + std::to_string(p.channels) + ";S_RATE=" + std::to_string(p.rate) + ";";
  // Readers take a key's first item; a file's line may hold anything after
  // its own key, ";P_AMPL=" included.
  Check(header.starts_with(parameters), "the parameters in use follow the prefix");
  for (const uint8_t byte : device.HeaderBytes()) {
    Check(byte < 0x80, "no byte of the header reads as a record marker");
  }
  return 0;
}
