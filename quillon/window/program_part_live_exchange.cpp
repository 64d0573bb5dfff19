// The live exchange: the control `Velkor1` created from the registration store (the module
// registered first when the store lacks it), configured as start-up does and with its port open.
#include "quillon/live_exchange/velkor_exchange.h"
#include "quillon/window/program_parts.h"

namespace quillon {

std::unique_ptr<Exchange> OpenLiveExchange(const std::string& destIp, std::uint16_t destPort, std::uint16_t myPort,
                                           std::string& error) {
  std::shared_ptr<automation::Control> control = CreateVelkorControl(error);
  if (!control) return nullptr;
  auto exchange = std::make_unique<VelkorExchange>(std::move(control));
  if (const std::string failure = exchange->configureAndOpen(destIp, destPort, myPort); !failure.empty()) {
    error = failure;
    return nullptr;
  }
  return exchange;
}

}  // namespace quillon
