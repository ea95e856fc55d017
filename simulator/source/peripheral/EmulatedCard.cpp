#include "kelvo/simulator/peripheral/EmulatedCard.h"

namespace kelvo::simulator {
namespace {

const std::vector<uint8_t> kSuccess = {0x90, 0x00};
const std::vector<uint8_t> kWrongLength = {0x67, 0x00};
const std::vector<uint8_t> kNotFound = {0x6A, 0x82};
const std::vector<uint8_t> kWrongParameters = {0x6A, 0x86};
const std::vector<uint8_t> kInstructionUnknown = {0x6D, 0x00};
const std::vector<uint8_t> kClassUnknown = {0x6E, 0x00};

constexpr uint8_t kSelectInstruction = 0xA4;
constexpr uint8_t kSelectByName = 0x04;
constexpr size_t kHeaderLength = 4;

// The command data of a short APDU of case 3 or 4; false when the length byte does not match the APDU.
bool commandData(const std::vector<uint8_t>& command, std::vector<uint8_t>& data) {
  if (command.size() <= kHeaderLength) {
    data.clear();
    return command.size() == kHeaderLength;
  }
  const size_t lc = command[kHeaderLength];
  const size_t rest = command.size() - kHeaderLength - 1;
  // Lc may be followed by one Le byte.
  if (lc == 0 || (rest != lc && rest != lc + 1)) return false;
  data.assign(command.begin() + kHeaderLength + 1, command.begin() + static_cast<long>(kHeaderLength + 1 + lc));
  return true;
}

}  // namespace

EmulatedCard::EmulatedCard(std::vector<uint8_t> atr) : EmulatedCard(std::move(atr), {defaultApplication()}) {}

EmulatedCard::EmulatedCard(std::vector<uint8_t> atr, std::vector<std::vector<uint8_t>> applications)
    : answerToReset(std::move(atr)), applications(std::move(applications)) {}

std::vector<uint8_t> EmulatedCard::defaultApplication() {
  // A proprietary application identifier (category F): "KELVO" and a version byte.
  return {0xF0, 0x4B, 0x45, 0x4C, 0x56, 0x4F, 0x01};
}

std::vector<uint8_t> EmulatedCard::transmit(const std::vector<uint8_t>& command) {
  if (command.size() < kHeaderLength) return kWrongLength;
  const uint8_t cla = command[0];
  const uint8_t ins = command[1];
  if (cla == 0x00 && ins == kSelectInstruction) return select(command);
  if (cla == kEchoClass && ins == kEchoInstruction) return echo(command);
  if (cla != 0x00 && cla != kEchoClass) return kClassUnknown;
  return kInstructionUnknown;
}

std::vector<uint8_t> EmulatedCard::select(const std::vector<uint8_t>& command) {
  if (command[2] != kSelectByName) return kWrongParameters;
  std::vector<uint8_t> name;
  if (!commandData(command, name) || name.empty()) return kWrongLength;
  for (const std::vector<uint8_t>& application : applications) {
    if (application == name) {
      selected = name;
      return kSuccess;
    }
  }
  return kNotFound;
}

std::vector<uint8_t> EmulatedCard::echo(const std::vector<uint8_t>& command) const {
  std::vector<uint8_t> data;
  if (!commandData(command, data)) return kWrongLength;
  data.insert(data.end(), kSuccess.begin(), kSuccess.end());
  return data;
}

}  // namespace kelvo::simulator
