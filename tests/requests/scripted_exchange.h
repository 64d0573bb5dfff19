#pragma once
// The one stand-in for the drive exchange in the tests: every request is logged, then answered
// from a queue of replies or by a responder (a hand-written one, or the simulated drive's
// command model through AnswersOf). A reply can end the wait as an abort would (timeout,
// Cancel) or come only after re-sends; a reply whose first byte is 21 is a refusal, taken as
// the receive handler takes it, and an empty one (a header without payload) is malformed.
// A responder may act during the wait (press Cancel): the wait then ends by the abort.
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "drivesim/command_model.h"
#include "quillon/requests/exchange.h"
#include "quillon/requests/reply_decoder.h"

namespace quillon_test {

using Bytes = std::vector<std::uint8_t>;

// Appends `value` in `width` bytes, high byte first, as the drive sends numbers.
inline void PushBig(Bytes& bytes, std::uint32_t value, int width) {
  for (int byte = width - 1; byte >= 0; --byte) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * byte)));
}

struct ScriptedReply {
  std::string text;
  std::vector<std::uint8_t> bytes;
  std::optional<std::string> abortText;  // the wait ends by abort with this message
  int resentFirst = 0;                    // the request went unanswered this many times first
  bool textIsDriveBytes = false;          // `text` as sent, to be read in the code page as Input does

  static ScriptedReply Text(std::string text) { return {std::move(text), {}, {}}; }
  static ScriptedReply Bytes(std::vector<std::uint8_t> bytes) { return {{}, std::move(bytes), {}}; }
  static ScriptedReply Abort(std::string message) { return {{}, {}, std::move(message)}; }
  // A drive that never answers: the timeout's message as the timer gives it.
  static ScriptedReply Silence(const std::string& request) {
    return Abort(quillon::TimeoutText("the drive", request, quillon::kSendsBeforeTimeout));
  }
  // The drive's refusal with a tool error code.
  static ScriptedReply Nak(std::uint8_t code) { return {std::string{char(21), char(code)}, {21, code}, {}}; }
};

using Responder = std::function<ScriptedReply(const std::string& request)>;

class ScriptedExchange : public quillon::Exchange {
 public:
  std::deque<ScriptedReply> replies;
  Responder responder;  // used when the queue is empty; without one the drive is silent
  std::vector<std::string> sent;
  std::vector<quillon::ReplyForm> forms;
  std::vector<std::string> aimedAt;  // destinations given to aimAt

  std::string aimAt(const std::string& destination) override {
    aimedAt.push_back(destination);
    return {};
  }

  bool transact(std::string_view request, quillon::ReplyForm form) override {
    if (state_.AbortFlag) return false;
    sent.emplace_back(request);
    forms.push_back(form);
    ++sendCount_;
    state_.RequestBuf.assign(request.begin(), request.end());
    state_.BinaryReplyFlag = form == quillon::ReplyForm::Binary;
    ScriptedReply reply = nextReply();
    for (int resend = 1; resend <= reply.resentFirst; ++resend) {
      ++sendCount_;
      reportResend(resend, kResends);
    }
    if (reply.abortText) state_.abortWith(*reply.abortText);
    if (state_.AbortFlag) return false;  // also a Cancel pressed while waiting
    if (reply.resentFirst > 0) reportAnswered();
    state_.RetryCount = 0;
    const bool binary = form == quillon::ReplyForm::Binary;
    const std::string_view payload = binary ? std::string_view(reinterpret_cast<const char*>(reply.bytes.data()), reply.bytes.size())
                                            : std::string_view(reply.text);
    if (payload.empty()) {
      // As the live exchange takes a datagram that ends within its header: no status, no reply.
      state_.abortWith(quillon::MalformedReplyText(request, "the reply holds no status byte"));
      return false;
    }
    if (static_cast<std::uint8_t>(payload[0]) == kNak) {
      std::optional<std::uint8_t> code;
      if (payload.size() > 1) code = static_cast<std::uint8_t>(payload[1]);
      state_.abortWith(quillon::RefusalText(code, request, destination()));
      return false;
    }
    if (binary) state_.ReplyBytes = std::move(reply.bytes);
    else state_.ReplyText = reply.textIsDriveBytes ? codePage_.fromAnsi(reply.text) : std::move(reply.text);
    state_.ReplyFlag = false;
    return true;
  }

  // The drive's code page, as the program would give it the exchange (replies are scripted as
  // the control's Input gives them: text).
  void useCodePage(const std::string& name) { codePage_ = platform::shell::CodePage::Named(name).value(); }

  std::size_t countOf(std::string_view prefix) const {
    std::size_t n = 0;
    for (const std::string& request : sent) n += request.starts_with(prefix);
    return n;
  }

 private:
  static constexpr std::uint8_t kNak = 21;
  static constexpr int kResends = 9;  // the tenth silent tick ends the wait

  ScriptedReply nextReply() {
    if (!replies.empty()) {
      ScriptedReply reply = std::move(replies.front());
      replies.pop_front();
      return reply;
    }
    if (responder) return responder(sent.back());
    return ScriptedReply::Silence(sent.back());
  }
};

// Every request answered by `model` as the simulated drive would (its misbehaviour included):
// silence ends the wait like the timeout.
inline Responder AnswersOf(drivesim::CommandModel& model) {
  return [&model](const std::string& request) {
    const auto bytes = model.answer(std::span(reinterpret_cast<const std::uint8_t*>(request.data()), request.size()));
    if (!bytes) return ScriptedReply::Silence(request);
    ScriptedReply reply{std::string(bytes->begin(), bytes->end()), *bytes, {}};
    reply.textIsDriveBytes = true;
    return reply;
  };
}

// A scripted exchange answered by the simulated drive's command model.
struct SimulatedExchange {
  explicit SimulatedExchange(drivesim::DriveProfile profile, drivesim::Misbehaviour misbehaviour = {})
      : model(std::move(profile), misbehaviour) {
    exchange.responder = AnswersOf(model);
  }
  SimulatedExchange(const SimulatedExchange&) = delete;
  SimulatedExchange& operator=(const SimulatedExchange&) = delete;
  drivesim::CommandModel model;
  ScriptedExchange exchange;
};

}  // namespace quillon_test
