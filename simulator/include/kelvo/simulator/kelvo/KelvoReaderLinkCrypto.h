// SPDX-License-Identifier: Apache-2.0
#pragma once
// The reader's half of the link encryption: the X25519 agreement of a long-term key (kept only once the host
// asks to save it), the session derived from it per connection, and the sealing and opening of frames in
// AES-CCM (one counter for both directions: n for a request, n + 1 for its answer) or, without a session,
// AES-ECB under the long-term key.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "kelvo/simulator/peripheral/ReaderCipher.h"

namespace kelvo::simulator {

class KelvoReaderLinkCrypto {
 public:
  enum class Mode { plain, session, longTerm };

  // Key-state statuses of answers.
  static constexpr uint8_t kStatusNoKey = 4;       // an encrypted request, but no key to open it with
  static constexpr uint8_t kStatusBadRequest = 5;  // the request did not open under the key in use
  static constexpr uint8_t kStatusNoLongTerm = 6;  // a session asked for without a long-term key

  struct Opened {
    Mode mode = Mode::plain;
    std::vector<uint8_t> request;  // the plain request; empty when it could not be opened
    uint8_t failure = 0;           // the key-state status to answer when it could not be opened
  };

  // ExchangeKey: the host's point Y and P = X25519(X, Y). Fills `answer` with X25519(x, Y); the key
  // X25519(x, P) waits for saveKey(). False when the payload is malformed or a random number is missing.
  enum class AgreementResult { done, malformed, noRandom };
  AgreementResult exchangeKey(const std::vector<uint8_t>& payload, std::vector<uint8_t>& answer);
  bool saveKey();
  // ExchangeSessionKey: the host's 20 random bytes and the version byte; `answer` gets the reader's 20.
  enum class SessionResult { done, malformed, noRandom, noLongTermKey };
  SessionResult exchangeSessionKey(const std::vector<uint8_t>& payload, std::vector<uint8_t>& answer);

  // A frame whose first byte is the encryption marker.
  Opened open(const std::vector<uint8_t>& frame);
  // The answer in the form of the request's mode.
  std::vector<uint8_t> seal(const std::vector<uint8_t>& response, Mode mode);

  void endSession();
  void forgetLongTermKey();
  bool hasSession() const { return session.has_value(); }
  const std::optional<ReaderCipher::Key>& longTermKey() const { return longTerm; }
  std::optional<uint32_t> sessionCounter() const;

 private:
  struct Session {
    ReaderCipher::Key key{};
    std::array<uint8_t, 8> tail{};
    uint32_t counter = 0;
  };

  std::array<uint8_t, ReaderCipher::kNonceLength> nextNonce();
  Opened openSession(const std::vector<uint8_t>& frame);
  Opened openLongTerm(const std::vector<uint8_t>& frame);

  std::optional<ReaderCipher::Key> longTerm;
  std::optional<ReaderCipher::Key> pending;
  std::optional<Session> session;
};

}  // namespace kelvo::simulator
