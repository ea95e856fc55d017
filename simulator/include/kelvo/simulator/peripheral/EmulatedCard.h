// SPDX-License-Identifier: Apache-2.0
#pragma once
// An ISO 7816 card in the emulated reader's slot: it answers its ATR on reset, selects its applications by
// name and echoes the data of a proprietary command, so that a host can run a real command/response cycle.
// A card made with a PivConfig also carries a PIV application, selected at every reset as on most PIV tokens,
// and is then a token that smart-card software recognises.
//
// Short and extended APDUs are both read. An answer longer than the command's Le (or, without Le, than its
// form allows) goes out in parts: the first with 61 xx, the rest by GET RESPONSE. Interindustry commands may be
// chained (CLA 10) up to kMaxChainedData bytes; the parts are answered 90 00 and the last one carries the
// joined data to the application. Not thread-safe: the reader holding the card serialises every call.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "kelvo/simulator/peripheral/CommandApdu.h"
#include "kelvo/simulator/peripheral/PivApplication.h"
#include "kelvo/simulator/peripheral/ResponseApdu.h"

namespace kelvo::simulator {

class EmulatedCard {
 public:
  // CLA 0x80, INS 0xEE: the command data comes back with 90 00.
  static constexpr uint8_t kEchoClass = 0x80;
  static constexpr uint8_t kEchoInstruction = 0xEE;
  static constexpr size_t kMaxChainedData = 65535;

  explicit EmulatedCard(std::vector<uint8_t> atr);
  EmulatedCard(std::vector<uint8_t> atr, std::vector<std::vector<uint8_t>> applications);
  // Makes the PIV application's key, which takes a moment; throws as PivApplication does.
  EmulatedCard(std::vector<uint8_t> atr, const PivConfig& piv);

  static std::vector<uint8_t> defaultApplication();

  const std::vector<uint8_t>& atr() const { return answerToReset; }
  // The card is powered up (again): selection, a half-sent answer, a half-received chain and a verified PIN
  // are gone.
  void reset();
  // A response APDU: data followed by the two status bytes.
  std::vector<uint8_t> transmit(const std::vector<uint8_t>& command);

  // Null for a card without PIV; for tests and control commands that look at the card's state.
  const PivApplication* piv() const { return pivApplication.get(); }

 private:
  ResponseApdu answer(const CommandApdu& command);
  ResponseApdu select(const CommandApdu& command);
  ResponseApdu echo(const CommandApdu& command) const;
  // Keeps one part of a chain; the joined command when the part was the last, otherwise the answer to the part.
  std::optional<ResponseApdu> joinChain(CommandApdu& command);
  std::vector<uint8_t> getResponse(const CommandApdu& command);
  // Sends what the command may take and keeps the rest for GET RESPONSE.
  std::vector<uint8_t> sendWithin(ResponseApdu response, size_t limit);
  bool pivSelected() const;

  std::vector<uint8_t> answerToReset;
  std::vector<std::vector<uint8_t>> applications;
  std::unique_ptr<PivApplication> pivApplication;
  std::vector<uint8_t> selected;
  std::vector<uint8_t> pendingResponse;
  std::optional<CommandApdu> chain;  // header of the chain under way and the data so far
};

}  // namespace kelvo::simulator
