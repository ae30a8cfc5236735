// How the station tells the service manager how it is: READY=1 once it can
// do its job, STATUS= one line, WATCHDOG=1 from the event loop that does the
// work, so that a loop that hangs stops the pings and is restarted. The
// systemd notifier is the program's; tests count what is sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace voxa {

class ServiceNotifier {
 public:
  virtual ~ServiceNotifier() = default;
  // One state assignment, such as "READY=1" or "STATUS=receiving".
  virtual void Notify(std::string_view state) = 0;
  // How often the manager expects a watchdog ping, if it wants them.
  virtual std::optional<int64_t> WatchdogMicros() const = 0;
};

// sd_notify through libsystemd; silent when not started by systemd.
class SystemdNotifier : public ServiceNotifier {
 public:
  void Notify(std::string_view state) override;
  std::optional<int64_t> WatchdogMicros() const override;
};

}  // namespace voxa
