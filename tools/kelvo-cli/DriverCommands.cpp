// SPDX-License-Identifier: Apache-2.0
#include "DriverCommands.h"

#include "Commands.h"
#include "FirmwareReport.h"
#include "Output.h"
#include "TextFormat.h"

namespace kelvo::cli {
namespace {

enum Request : uint8_t {
  kGetDeviceDescriptor = 1,
  kGetDeviceState = 2,
  kSetSetting = 3,
  kSetWorkingTimeRanges = 4,
  kTransmitRpc = 5,
  kIndicate = 6,
  kGetDriverVersion = 16,
};
constexpr uint8_t kStatusAccessRefused = 250;
constexpr uint8_t kStatusDeviceRemoved = 253;

// The driver's own answers about the connection rather than the reader.
std::string statusText(int code) {
  switch (code) {
    case kStatusAccessRefused:
      return std::to_string(code) + " (the driver refused this user: not root, not in group kelvo, not at a seat)";
    case 251:
      return std::to_string(code) + " (busy)";
    case 252:
      return std::to_string(code) + " (timed out)";
    default:
      return std::to_string(code);
  }
}

}  // namespace

int DriverCommands::run(const std::string& command, const std::vector<std::string>& args) {
  if (command == "list") return args.empty() ? list() : Commands::fail("list takes no arguments");
  if (command == "descriptor") return descriptor(args);
  if (command == "state") return state(args);
  if (command == "set-setting") return setSetting(args);
  if (command == "set-ranges") return setRanges(args);
  if (command == "indicate") return indicate(args);
  if (command == "rpc") return rpc(args);
  if (command == "apdu") return Commands::fail("apdu is not a driver request; run it without --driver");
  if (command == "firmware") return firmware(args);
  Commands::fail("unknown command '" + command + "' (kelvo-cli --help lists the commands)");
  return 2;
}

std::optional<std::vector<uint8_t>> DriverCommands::ask(const std::string& addressText, uint8_t code,
                                                        const std::vector<uint8_t>& payload) {
  std::optional<std::string> address = TextFormat::parseAddress(addressText);
  if (!address) {
    Commands::fail("'" + addressText + "' is not a reader address (12 hexadecimal digits)");
    return std::nullopt;
  }
  std::optional<std::vector<uint8_t>> answer = session.exchange(*address, code, payload);
  if (answer && answer->front() == kStatusDeviceRemoved) {
    Commands::fail("the driver lost reader " + *address + " while serving the request");
    return std::nullopt;
  }
  return answer;
}

std::optional<std::string> DriverCommands::driverVersion(const std::string& address) const {
  auto answer = session.exchangeQuietly(address, kGetDriverVersion, {});
  if (!answer || answer->front() != 0) return std::nullopt;
  return std::string(answer->begin() + 1, answer->end());
}

std::optional<TextFormat::DescriptorItems> DriverCommands::descriptorQuietly(const std::string& address) const {
  auto answer = session.exchangeQuietly(address, kGetDeviceDescriptor, {});
  if (!answer || answer->front() != 0) return std::nullopt;
  return TextFormat::descriptorItems(std::vector<uint8_t>(answer->begin() + 1, answer->end()));
}

std::optional<std::vector<TextFormat::Field>> DriverCommands::stateQuietly(const std::string& address) const {
  auto answer = session.exchangeQuietly(address, kGetDeviceState, {});
  if (!answer || answer->front() != 0 || answer->size() != 45) return std::nullopt;
  return TextFormat::stateFields(std::vector<uint8_t>(answer->begin() + 1, answer->end()));
}

int DriverCommands::reportCode(const char* request, const std::vector<uint8_t>& answer) {
  const int code = answer.front();
  Output::field("code", std::to_string(code), code);
  if (code != 0) return Commands::fail(std::string(request) + " failed with code " + statusText(code));
  return 0;
}

int DriverCommands::list() {
  for (const std::string& address : session.addresses()) {
    // The driver tells only what the descriptor holds: the name and model stay with the in-process path.
    std::string serial;
    std::optional<std::vector<uint8_t>> answer = session.exchange(address, kGetDeviceDescriptor, {});
    if (answer && answer->front() == kStatusAccessRefused)
      return Commands::fail("the driver refused this user: not root, not in group kelvo, not at a seat");
    if (answer && answer->front() == 0) {
      auto items = TextFormat::descriptorItems(std::vector<uint8_t>(answer->begin() + 1, answer->end()));
      for (const auto& item : items.value_or(decltype(items)::value_type{})) {
        if (item.first == "Serial") serial = item.second;
      }
    }
    Output::row("readers", address + "\t-\t-\t" + (serial.empty() ? "-" : serial),
                {{"address", address}, {"name", nullptr}, {"model", nullptr}, {"serial", serial}});
  }
  return 0;
}

std::optional<TextFormat::DescriptorItems> DriverCommands::readDescriptor(const std::string& address) {
  auto answer = ask(address, kGetDeviceDescriptor, {});
  if (!answer) return std::nullopt;
  if (answer->front() != 0) {
    Commands::fail("GetDeviceDescriptor failed with code " + statusText(answer->front()));
    return std::nullopt;
  }
  const std::vector<uint8_t> bytes(answer->begin() + 1, answer->end());
  auto items = TextFormat::descriptorItems(bytes);
  if (!items) Commands::fail("the reader's descriptor is malformed: " + TextFormat::hex(bytes));
  return items;
}

int DriverCommands::descriptor(const std::vector<std::string>& args) {
  if (args.size() != 1) return Commands::fail("descriptor needs ADDR");
  const auto items = readDescriptor(args[0]);
  if (!items) return 1;
  Output::items("descriptor", *items);
  return 0;
}

int DriverCommands::firmware(const std::vector<std::string>& args) {
  if (args.empty()) return Commands::fail("firmware needs ADDR");
  std::vector<std::string> folders;
  if (!FirmwareReport::parseFolders(std::vector<std::string>(args.begin() + 1, args.end()), folders)) return 2;
  if (folders.empty()) folders = FirmwareReport::defaultFolders();
  const auto items = readDescriptor(args[0]);
  if (!items) return 1;
  return FirmwareReport::print(*items, folders);
}

int DriverCommands::state(const std::vector<std::string>& args) {
  if (args.size() != 1) return Commands::fail("state needs ADDR");
  auto answer = ask(args[0], kGetDeviceState, {});
  if (!answer) return 1;
  if (answer->front() != 0) return Commands::fail("GetDeviceState failed with code " + statusText(answer->front()));
  const std::vector<uint8_t> record(answer->begin() + 1, answer->end());
  if (record.size() != 44)
    return Commands::fail("the driver's state record has " + std::to_string(record.size()) + " bytes");
  for (const TextFormat::Field& field : TextFormat::stateFields(record))
    Output::field(field.key, field.text, field.value);
  return 0;
}

int DriverCommands::setSetting(const std::vector<std::string>& args) {
  if (args.size() != 3) return Commands::fail("set-setting needs ADDR ID VALUE");
  std::optional<long> id = TextFormat::parseNumber(args[1], 0, 255);
  std::optional<long> value = TextFormat::parseNumber(args[2], -128, 255);
  if (!id) return Commands::fail("'" + args[1] + "' is not a setting id (0 to 255)");
  if (!value) return Commands::fail("'" + args[2] + "' is not a setting value (-128 to 255)");
  auto answer = ask(args[0], kSetSetting, {static_cast<uint8_t>(*id), static_cast<uint8_t>(*value)});
  return answer ? reportCode("SetSetting", *answer) : 1;
}

int DriverCommands::setRanges(const std::vector<std::string>& args) {
  if (args.size() != 8) return Commands::fail("set-ranges needs ADDR and seven START,END pairs");
  std::vector<uint8_t> record;
  for (size_t i = 1; i < args.size(); ++i) {
    auto range = TextFormat::parseRange(args[i]);
    if (!range) return Commands::fail("'" + args[i] + "' is not a START,END pair");
    for (int16_t bound : {range->first, range->second}) {
      const auto bits = static_cast<uint16_t>(bound);
      record.push_back(static_cast<uint8_t>(bits & 0xFF));
      record.push_back(static_cast<uint8_t>(bits >> 8));
    }
  }
  auto answer = ask(args[0], kSetWorkingTimeRanges, record);
  return answer ? reportCode("SetWorkingTimeRanges", *answer) : 1;
}

int DriverCommands::indicate(const std::vector<std::string>& args) {
  if (args.size() != 2) return Commands::fail("indicate needs ADDR HEX");
  auto request = TextFormat::parseHex(args[1]);
  if (!request) return Commands::fail("'" + args[1] + "' is not hexadecimal bytes");
  // The driver takes the indication with both its parameters; missing ones are zero.
  request->resize(3, 0);
  auto answer = ask(args[0], kIndicate, *request);
  return answer ? reportCode("Indicate", *answer) : 1;
}

int DriverCommands::rpc(const std::vector<std::string>& args) {
  if (args.size() != 2) return Commands::fail("rpc needs ADDR HEX");
  auto request = TextFormat::parseHex(args[1]);
  if (!request) return Commands::fail("'" + args[1] + "' is not hexadecimal bytes");
  auto answer = ask(args[0], kTransmitRpc, *request);
  if (!answer) return 1;
  if (answer->front() != 0) return reportCode("TransmitRpc", *answer);
  Output::field("code", "0", 0);
  Output::field("response", TextFormat::hex(std::vector<uint8_t>(answer->begin() + 1, answer->end())));
  return 0;
}

}  // namespace kelvo::cli
