#pragma once
// A stand-in for the drive exchange: replies come from a queue or from a responder that
// answers each request, and every request sent is logged.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "quillon/requests/exchange.h"

namespace records_test {

struct ScriptedReply {
  std::string text;
  std::vector<std::uint8_t> bytes;
  std::optional<std::string> abortText;  // the wait ends by abort (NAK, timeout, Cancel)
};

class ScriptedExchange : public quillon::Exchange {
 public:
  std::deque<ScriptedReply> replies;
  std::function<ScriptedReply(const std::string& request)> responder;  // used when the queue is empty
  std::vector<std::string> sent;
  std::vector<quillon::ReplyForm> forms;

  bool transact(std::string_view request, quillon::ReplyForm form) override {
    if (state_.AbortFlag) return false;
    sent.emplace_back(request);
    forms.push_back(form);
    ++sendCount_;
    state_.RequestBuf.assign(request.begin(), request.end());
    state_.BinaryReplyFlag = form == quillon::ReplyForm::Binary;
    ScriptedReply reply;
    if (!replies.empty()) {
      reply = std::move(replies.front());
      replies.pop_front();
    } else if (responder) {
      reply = responder(sent.back());
    } else {
      reply.abortText = "Timeout";
    }
    if (reply.abortText) {
      state_.abortWith(*reply.abortText);
      return false;
    }
    if (form == quillon::ReplyForm::Binary) state_.ReplyBytes = std::move(reply.bytes);
    else state_.ReplyText = std::move(reply.text);
    state_.ReplyFlag = false;
    return true;
  }
};

}  // namespace records_test
