#pragma once
// An ISO 7816 card in the emulated reader's slot: it answers its ATR on reset, selects its applications by
// name and echoes the data of a proprietary command, so that a host can run a real command/response cycle.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvo::simulator {

class EmulatedCard {
 public:
  // CLA 0x80, INS 0xEE: the command data comes back with 90 00.
  static constexpr uint8_t kEchoClass = 0x80;
  static constexpr uint8_t kEchoInstruction = 0xEE;

  explicit EmulatedCard(std::vector<uint8_t> atr);
  EmulatedCard(std::vector<uint8_t> atr, std::vector<std::vector<uint8_t>> applications);

  static std::vector<uint8_t> defaultApplication();

  const std::vector<uint8_t>& atr() const { return answerToReset; }
  // A response APDU: data followed by the two status bytes.
  std::vector<uint8_t> transmit(const std::vector<uint8_t>& command);

 private:
  std::vector<uint8_t> select(const std::vector<uint8_t>& command);
  std::vector<uint8_t> echo(const std::vector<uint8_t>& command) const;

  std::vector<uint8_t> answerToReset;
  std::vector<std::vector<uint8_t>> applications;
  std::vector<uint8_t> selected;
};

}  // namespace kelvo::simulator
