#pragma once
// A plain exchange over UDP on 127.0.0.1 without the Velkor control: each request goes out as
// one framed "SN" datagram to the simulated drive; a silent drive gets the request again after
// `resendAfter`, and the tenth silence ends the run with "Timeout", as the timer would.
#include <chrono>
#include <cstdint>
#include <string>

#include "quillon/requests/exchange.h"

namespace quillon_test {

class LoopbackExchange : public quillon::Exchange {
 public:
  explicit LoopbackExchange(std::uint16_t drivePort,
                            std::chrono::milliseconds resendAfter = std::chrono::milliseconds(200));
  ~LoopbackExchange() override;
  LoopbackExchange(const LoopbackExchange&) = delete;
  LoopbackExchange& operator=(const LoopbackExchange&) = delete;

  // Empty when the socket is open, otherwise why not.
  const std::string& openError() const { return openError_; }
  bool transact(std::string_view request, quillon::ReplyForm form) override;

 private:
  bool sendRequest();
  // The payload of the next reply datagram, or false after `resendAfter_` without one.
  bool awaitReply(std::string& payload);

  int socket_ = -1;
  std::chrono::milliseconds resendAfter_;
  std::string openError_;
};

}  // namespace quillon_test
