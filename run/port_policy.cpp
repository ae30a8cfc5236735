// The monitor's port scan and port settings.

#include "run/port_policy.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace voxa {

std::vector<std::string> ComPortScanNames(const std::string& stableNames) {
  std::vector<std::string> names;
  names.reserve(60);
  for (const char* family : {"ttyS", "ttyUSB", "ttyACM"}) {
    for (int n = 0; n < 20; ++n) names.push_back(family + std::to_string(n));
  }
  std::vector<std::string> stable;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(stableNames, error), end; !error && entry != end;
       entry.increment(error)) {
    stable.push_back((std::filesystem::path(stableNames) / entry->path().filename()).string());
  }
  std::sort(stable.begin(), stable.end());
  names.insert(names.end(), stable.begin(), stable.end());
  return names;
}

void ApplyMonitorPortSettings(TCustomComPort& port) {
  port.SetBaudRate(br115200);
  port.Parity().SetBits(prNone);
  port.SetStopBits(sbOneStopBit);
  port.SetDataBits(dbEight);
  port.SetEvents(TComEvents{});
  port.FlowControl().SetOutCTSFlow(false);
  port.FlowControl().SetOutDSRFlow(false);
  port.FlowControl().SetControlDTR(dtrDisable);
  port.FlowControl().SetControlRTS(rtsDisable);
  port.FlowControl().SetXonXoffOut(false);
  port.FlowControl().SetXonXoffIn(false);
  port.SetStoredProps(TStoredProps{spBasic});
  port.SetTriggersOnRxChar(true);
}

}  // namespace voxa
