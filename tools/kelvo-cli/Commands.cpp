// SPDX-License-Identifier: Apache-2.0
#include "Commands.h"

#include <chrono>

#include "FirmwareReport.h"
#include "FlashCommand.h"
#include "Output.h"
#include "TextFormat.h"
#include "trevalon/Slot.h"
#include "trevalon/classic/DevicePipe.h"

namespace kelvo::cli {
namespace {

using trevalon::classic::DevicePipe;

std::string orDash(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

int Commands::fail(const std::string& message) {
  Output::error(message);
  return 1;
}

int Commands::reportCode(const char* request, uint8_t code) {
  Output::field("code", std::to_string(code), code);
  if (code != DevicePipe::kSuccess) {
    return fail(std::string(request) + " failed with code " + std::to_string(code));
  }
  return 0;
}

std::shared_ptr<trevalon::Device> Commands::reader(const std::vector<std::string>& args, size_t argumentCount) {
  if (args.size() != argumentCount) {
    fail("expected " + std::to_string(argumentCount) + " argument(s), got " + std::to_string(args.size()));
    return nullptr;
  }
  std::optional<std::string> address = TextFormat::parseAddress(args[0]);
  if (!address) {
    fail("'" + args[0] + "' is not a reader address (12 hexadecimal digits)");
    return nullptr;
  }
  std::shared_ptr<trevalon::Device> device = session.find(*address);
  if (!device) {
    fail("no reader with address " + *address);
    return nullptr;
  }
  if (!session.waitAvailable(device, ReaderSession::kAvailabilityWait)) {
    fail("reader " + *address + " did not become available within " +
         std::to_string(ReaderSession::kAvailabilityWait.count()) + " s");
    return nullptr;
  }
  return device;
}

int Commands::list() {
  for (const std::shared_ptr<trevalon::Device>& device : session.devices()) {
    // The serial may only be known once the reader has been reached.
    session.waitAvailable(device, ReaderSession::kAvailabilityWait);
    Output::row("readers",
                device->getAddress() + '\t' + orDash(device->getName()) + '\t' + orDash(device->getModel()) + '\t' +
                    orDash(device->getSerial()),
                {{"address", device->getAddress()},
                 {"name", device->getName()},
                 {"model", device->getModel()},
                 {"serial", device->getSerial()}});
  }
  return 0;
}

std::optional<TextFormat::DescriptorItems> Commands::readDescriptor(const std::vector<std::string>& args) {
  std::shared_ptr<trevalon::Device> device = reader(args, 1);
  if (!device) return std::nullopt;
  std::vector<uint8_t> bytes;
  const uint8_t code = DevicePipe::InvokeGetDeviceDescriptor(device, bytes);
  if (code != DevicePipe::kSuccess) {
    fail("GetDeviceDescriptor failed with code " + std::to_string(code));
    return std::nullopt;
  }
  auto items = TextFormat::descriptorItems(bytes);
  if (!items) fail("the reader's descriptor is malformed: " + TextFormat::hex(bytes));
  return items;
}

std::optional<TextFormat::DescriptorItems> Commands::readDescriptorQuietly(const std::string& address) {
  std::optional<std::string> parsed = TextFormat::parseAddress(address);
  std::shared_ptr<trevalon::Device> device = parsed ? session.find(*parsed) : nullptr;
  if (!device || !session.waitAvailable(device, std::chrono::seconds(1))) return std::nullopt;
  std::vector<uint8_t> bytes;
  if (DevicePipe::InvokeGetDeviceDescriptor(device, bytes) != DevicePipe::kSuccess) return std::nullopt;
  return TextFormat::descriptorItems(bytes);
}

int Commands::descriptor(const std::vector<std::string>& args) {
  const auto items = readDescriptor(args);
  if (!items) return 1;
  Output::items("descriptor", *items);
  return 0;
}

int Commands::firmware(const std::vector<std::string>& args) {
  if (args.empty()) return fail("firmware needs ADDR");
  std::vector<std::string> folders;
  if (!FirmwareReport::parseFolders(std::vector<std::string>(args.begin() + 1, args.end()), folders)) return 2;
  if (folders.empty()) folders = FirmwareReport::defaultFolders();
  const auto items = readDescriptor({args[0]});
  if (!items) return 1;
  return FirmwareReport::print(*items, folders);
}

int Commands::flash(const std::vector<std::string>& args) {
  const bool usb = args.size() == 3 && args[2] == "--usb";
  if (args.size() != 2 && !usb) return fail("flash needs ADDR IMAGE [--usb]");
  std::shared_ptr<trevalon::Device> device = reader({args[0]}, 1);
  if (!device) return 1;
  const FlashCommand::DescriptorReader descriptor = [this, &args] { return readDescriptorQuietly(args[0]); };
  return usb ? FlashCommand::runUsb(device, args[1], descriptor) : FlashCommand::run(device, args[1], descriptor);
}

int Commands::state(const std::vector<std::string>& args) {
  std::shared_ptr<trevalon::Device> device = reader(args, 1);
  if (!device) return 1;
  std::vector<uint8_t> record;
  const uint8_t code = DevicePipe::InvokeGetDeviceState(device, record);
  if (code != DevicePipe::kSuccess) {
    return fail("GetDeviceState failed with code " + std::to_string(code));
  }
  for (const TextFormat::Field& field : TextFormat::stateFields(record))
    Output::field(field.key, field.text, field.value);
  return 0;
}

int Commands::setSetting(const std::vector<std::string>& args) {
  if (args.size() != 3) return fail("set-setting needs ADDR ID VALUE");
  std::optional<long> id = TextFormat::parseNumber(args[1], 0, 255);
  std::optional<long> value = TextFormat::parseNumber(args[2], -128, 255);
  if (!id) return fail("'" + args[1] + "' is not a setting id (0 to 255)");
  if (!value) return fail("'" + args[2] + "' is not a setting value (-128 to 255)");
  std::shared_ptr<trevalon::Device> device = reader({args[0]}, 1);
  if (!device) return 1;
  const std::vector<uint8_t> request = {static_cast<uint8_t>(*id), static_cast<uint8_t>(*value)};
  return reportCode("SetSetting", DevicePipe::InvokeSetSetting(device, request));
}

int Commands::setRanges(const std::vector<std::string>& args) {
  if (args.size() != 8) return fail("set-ranges needs ADDR and seven START,END pairs");
  std::vector<uint8_t> request;
  for (size_t i = 1; i < args.size(); ++i) {
    auto range = TextFormat::parseRange(args[i]);
    if (!range) return fail("'" + args[i] + "' is not a START,END pair");
    for (int16_t value : {range->first, range->second}) {
      const auto bits = static_cast<uint16_t>(value);
      request.push_back(static_cast<uint8_t>(bits & 0xFF));
      request.push_back(static_cast<uint8_t>(bits >> 8));
    }
  }
  std::shared_ptr<trevalon::Device> device = reader({args[0]}, 1);
  if (!device) return 1;
  return reportCode("SetWorkingTimeRanges", DevicePipe::InvokeSetWorkingTimeRanges(device, request));
}

int Commands::indicate(const std::vector<std::string>& args) {
  if (args.size() != 2) return fail("indicate needs ADDR HEX");
  auto request = TextFormat::parseHex(args[1]);
  if (!request) return fail("'" + args[1] + "' is not hexadecimal bytes");
  std::shared_ptr<trevalon::Device> device = reader({args[0]}, 1);
  if (!device) return 1;
  return reportCode("Indicate", DevicePipe::InvokeIndicate(device, *request));
}

int Commands::rpc(const std::vector<std::string>& args) {
  if (args.size() != 2) return fail("rpc needs ADDR HEX");
  auto request = TextFormat::parseHex(args[1]);
  if (!request) return fail("'" + args[1] + "' is not hexadecimal bytes");
  std::shared_ptr<trevalon::Device> device = reader({args[0]}, 1);
  if (!device) return 1;
  std::vector<uint8_t> response;
  const uint8_t code = DevicePipe::InvokeTransmitRpc(device, *request, response);
  if (code == DevicePipe::kSuccess) {
    Output::field("code", "0", 0);
    Output::field("response", TextFormat::hex(response));
    return 0;
  }
  return reportCode("TransmitRpc", code);
}

int Commands::apdu(const std::vector<std::string>& args) {
  if (args.size() != 2) return fail("apdu needs ADDR HEX");
  auto command = TextFormat::parseHex(args[1]);
  if (!command) return fail("'" + args[1] + "' is not hexadecimal bytes");
  std::shared_ptr<trevalon::Device> device = reader({args[0]}, 1);
  if (!device) return 1;
  const std::list<std::shared_ptr<trevalon::Slot>> slots = device->getSlots();
  std::shared_ptr<trevalon::Slot> slot = slots.empty() ? nullptr : slots.front();
  std::shared_ptr<trevalon::Card> card = slot ? slot->getCard() : nullptr;
  if (!card) return fail("no card in reader " + device->getAddress());
  const trevalon::CardState state = slot->getState();
  if ((state == trevalon::kCardPresent || state == trevalon::kCardSwallowed) && card->getAtr().empty()) {
    return fail("the card in reader " + device->getAddress() + " could not be powered");
  }
  const std::vector<uint8_t> response = card->sendAPDU(*command);
  if (response.empty()) return fail("the card did not answer the APDU");
  Output::field("response", TextFormat::hex(response));
  return 0;
}

}  // namespace kelvo::cli
