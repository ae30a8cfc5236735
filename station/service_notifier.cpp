// sd_notify through libsystemd.
#include "station/service_notifier.h"

#include <systemd/sd-daemon.h>

#include <string>

namespace voxa {

void SystemdNotifier::Notify(std::string_view state) {
  // Without NOTIFY_SOCKET (not under systemd) this does nothing.
  sd_notify(0, std::string(state).c_str());
}

std::optional<int64_t> SystemdNotifier::WatchdogMicros() const {
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return std::nullopt;
  return static_cast<int64_t>(usec);
}

}  // namespace voxa
