#pragma once
// Request payload in, reply payload out: the drive's command vocabulary answered from one
// DriveProfile, with the misbehaviour a test or a person asks for.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "drivesim/drive_profile.h"

namespace drivesim {

inline constexpr std::uint8_t kNak = 0x15;
// Tool error codes of the drive's own refusals.
inline constexpr std::uint8_t kErrorUnknownCommand = 0x01;
inline constexpr std::uint8_t kErrorBadArgument = 0x02;

struct Misbehaviour {
  // Refuse with `nakCode`: every request of this command (letters such as "MX2"), and/or the
  // request with this number (1 = the first datagram received, re-sends counted).
  std::string nakCommand;
  int nakRequestNumber = 0;
  std::uint8_t nakCode = 0x1F;
  bool silent = false;     // never answer
  int silentFirst = 0;     // leave the first k datagrams unanswered
  int silentAfter = 0;     // k > 0: answer the first k datagrams, then fall silent
  int delayMs = 0;         // before each reply
  std::string shortCommand;   // replies of this command ("*": all) cut to half their length
  std::string nonHexCommand;  // text replies of this command ("*": all) with 'G' for every digit
  bool oversizedLayout = false;  // "MX1" with signal counts adding up to more than 255
  // Replies of this command ("*": all) without payload: the header alone, cut to
  // `headerOnlyBytes` (10 to 20) by the simulated drive.
  std::string headerOnlyCommand;
  int headerOnlyBytes = 20;
  // k > 0: a request is answered only once its k-th re-send (the same payload again) has
  // come in, and then to where its first sending came from; the re-sends get no reply.
  int answerAfterResends = 0;
  // The status byte of every positive reply instead of the acknowledge 06 (a drive may send
  // any byte but 21 there).
  std::optional<std::uint8_t> statusByte;
};

class CommandModel {
 public:
  explicit CommandModel(DriveProfile profile, Misbehaviour misbehaviour = {});

  const DriveProfile& profile() const { return profile_; }
  const Misbehaviour& misbehaviour() const { return misbehaviour_; }

  // The reply to one request, or nothing when the drive stays silent. Counts the request.
  std::optional<std::vector<std::uint8_t>> answer(std::span<const std::uint8_t> request);
  int requestsAnswered() const { return requestCount_; }

  // The command letters of a request ("MY51", "Lp"); empty when it is none of the vocabulary.
  static std::string commandOf(std::span<const std::uint8_t> request);

  // The drive records one more fault (DriveOptions::newFaults); returns the bank it went into.
  int recordNewFault();

  // The reply a well-behaved drive gives (no misbehaviour, no counting).
  std::vector<std::uint8_t> replyTo(std::span<const std::uint8_t> request) const;

 private:
  DriveProfile profile_;
  Misbehaviour misbehaviour_;
  int requestCount_ = 0;
};

}  // namespace drivesim
