// The live exchange as the program opens it: the control from the registration store,
// configured and with its port open.
#include "quillon/live_exchange/velkor_exchange.h"

namespace quillon {

std::unique_ptr<VelkorExchange> OpenVelkorExchange(const std::string& destIp, std::uint16_t destPort,
                                                   std::uint16_t myPort, const platform::shell::CodePage& codePage,
                                                   std::string& error, int tickIntervalMs) {
  std::shared_ptr<platform::automation::Control> control = CreateVelkorControl(error);
  if (!control) return nullptr;
  auto exchange = std::make_unique<VelkorExchange>(std::move(control), codePage, tickIntervalMs);
  if (const std::string failure = exchange->configureAndOpen(destIp, destPort, myPort); !failure.empty()) {
    error = failure;
    return nullptr;
  }
  return exchange;
}

}  // namespace quillon
