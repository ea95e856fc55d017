// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/peripheral/EmulatedCard.h"

namespace kelvo::simulator {
namespace {

constexpr uint8_t kInterindustryClass = 0x00;
constexpr uint8_t kChainedClass = 0x10;
constexpr uint8_t kSelectInstruction = 0xA4;
constexpr uint8_t kGetResponseInstruction = 0xC0;
constexpr uint8_t kSelectByName = 0x04;
constexpr uint8_t kSelectWithoutAnswer = 0x0C;

uint16_t moreDataStatus(size_t remaining) {
  return static_cast<uint16_t>(ResponseApdu::kMoreData | (remaining > 0xFF ? 0x00 : remaining));
}

}  // namespace

EmulatedCard::EmulatedCard(std::vector<uint8_t> atr) : EmulatedCard(std::move(atr), {defaultApplication()}) {}

EmulatedCard::EmulatedCard(std::vector<uint8_t> atr, std::vector<std::vector<uint8_t>> applications)
    : answerToReset(std::move(atr)), applications(std::move(applications)) {}

EmulatedCard::EmulatedCard(std::vector<uint8_t> atr, const PivConfig& piv)
    : answerToReset(std::move(atr)),
      applications({defaultApplication()}),
      pivApplication(std::make_unique<PivApplication>(piv)) {
  reset();
}

std::vector<uint8_t> EmulatedCard::defaultApplication() {
  // A proprietary application identifier (category F): "KELVO" and a version byte.
  return {0xF0, 0x4B, 0x45, 0x4C, 0x56, 0x4F, 0x01};
}

void EmulatedCard::reset() {
  selected = pivApplication ? PivApplication::identifier() : std::vector<uint8_t>{};
  pendingResponse.clear();
  chain.reset();
  if (pivApplication) pivApplication->reset();
}

std::vector<uint8_t> EmulatedCard::transmit(const std::vector<uint8_t>& bytes) {
  std::optional<CommandApdu> command = CommandApdu::parse(bytes);
  if (!command) {
    pendingResponse.clear();
    chain.reset();
    return ResponseApdu::of(ResponseApdu::kWrongLength).bytes();
  }
  if (command->cla == kInterindustryClass && command->ins == kGetResponseInstruction) return getResponse(*command);
  pendingResponse.clear();
  if (std::optional<ResponseApdu> partAnswered = joinChain(*command)) return partAnswered->bytes();
  return sendWithin(answer(*command), command->responseLimit());
}

ResponseApdu EmulatedCard::answer(const CommandApdu& command) {
  if (command.cla == kEchoClass) {
    return command.ins == kEchoInstruction ? echo(command) : ResponseApdu::of(ResponseApdu::kInstructionUnknown);
  }
  if (command.cla != kInterindustryClass) return ResponseApdu::of(ResponseApdu::kClassUnknown);
  if (command.ins == kSelectInstruction) return select(command);
  if (pivSelected()) {
    if (std::optional<ResponseApdu> answered = pivApplication->process(command)) return *answered;
  }
  return ResponseApdu::of(ResponseApdu::kInstructionUnknown);
}

ResponseApdu EmulatedCard::select(const CommandApdu& command) {
  if (command.p1 != kSelectByName) return ResponseApdu::of(ResponseApdu::kWrongParameters);
  const std::vector<uint8_t>& name = command.data;
  if (name.empty()) return ResponseApdu::of(ResponseApdu::kWrongLength);
  if (pivApplication && PivApplication::isNamedBy(name)) {
    // Selecting PIV again keeps a verified PIN: clients select it before nearly every operation.
    selected = PivApplication::identifier();
    if (command.p2 == kSelectWithoutAnswer) return ResponseApdu::of(ResponseApdu::kOk);
    return pivApplication->propertyTemplate();
  }
  for (const std::vector<uint8_t>& application : applications) {
    if (application != name) continue;
    if (pivApplication) pivApplication->reset();
    selected = name;
    return ResponseApdu::of(ResponseApdu::kOk);
  }
  return ResponseApdu::of(ResponseApdu::kNotFound);
}

ResponseApdu EmulatedCard::echo(const CommandApdu& command) const { return {command.data, ResponseApdu::kOk}; }

std::optional<ResponseApdu> EmulatedCard::joinChain(CommandApdu& command) {
  // Any other command ends an unfinished chain; ISO lets a card drop it.
  if (chain && (chain->ins != command.ins || chain->p1 != command.p1 || chain->p2 != command.p2)) chain.reset();
  const size_t joined = (chain ? chain->data.size() : 0) + command.data.size();
  if (joined > kMaxChainedData) {
    chain.reset();
    return ResponseApdu::of(ResponseApdu::kWrongLength);
  }
  if (command.cla != kChainedClass) {
    if (chain) {
      chain->data.insert(chain->data.end(), command.data.begin(), command.data.end());
      command.data = std::move(chain->data);
      chain.reset();
    }
    return std::nullopt;
  }
  if (!chain) {
    chain = command;
    chain->cla = kInterindustryClass;
    chain->data.clear();
  }
  chain->data.insert(chain->data.end(), command.data.begin(), command.data.end());
  return ResponseApdu::of(ResponseApdu::kOk);
}

std::vector<uint8_t> EmulatedCard::getResponse(const CommandApdu& command) {
  if (command.p1 != 0 || command.p2 != 0) return ResponseApdu::of(ResponseApdu::kWrongParameters).bytes();
  if (pendingResponse.empty()) return ResponseApdu::of(ResponseApdu::kConditionsNotSatisfied).bytes();
  ResponseApdu rest{std::move(pendingResponse), ResponseApdu::kOk};
  pendingResponse.clear();
  return sendWithin(std::move(rest), command.responseLimit());
}

std::vector<uint8_t> EmulatedCard::sendWithin(ResponseApdu response, size_t limit) {
  if (response.data.size() > limit) {
    pendingResponse.assign(response.data.begin() + static_cast<long>(limit), response.data.end());
    response.data.resize(limit);
    response.status = moreDataStatus(pendingResponse.size());
  }
  return response.bytes();
}

bool EmulatedCard::pivSelected() const { return pivApplication && selected == PivApplication::identifier(); }

}  // namespace kelvo::simulator
