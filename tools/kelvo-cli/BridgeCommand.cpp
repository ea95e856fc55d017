// SPDX-License-Identifier: Apache-2.0
#include "BridgeCommand.h"

#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "Commands.h"
#include "Output.h"
#include "bridge/kelvoctl/kelvoctl.h"

namespace kelvo::cli {

namespace {

using Handle = std::unique_ptr<kelvoctl_handle, void (*)(kelvoctl_handle*)>;

constexpr size_t kAddressBytes = 6;
constexpr size_t kTextBuffer = 64;

std::string addressText(const uint8_t* bytes) {
  char text[13];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", bytes[5], bytes[4], bytes[3], bytes[2], bytes[1],
                bytes[0]);
  return text;
}

bool addressBytes(const std::string& text, uint8_t* bytes) {
  if (text.size() != 2 * kAddressBytes || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return false;
  }
  for (size_t i = 0; i < kAddressBytes; ++i) {
    bytes[kAddressBytes - 1 - i] = static_cast<uint8_t>(std::stoi(text.substr(2 * i, 2), nullptr, 16));
  }
  return true;
}

int outcome(const char* function, int code) {
  Output::field("result", std::to_string(code), code);
  if (code == KELVOCTL_OK || code == KELVOCTL_PAIRING_REQUIRED) return 0;
  return Commands::fail(std::string(function) + " failed with " + std::to_string(code));
}

int info(kelvoctl_handle* bridge) {
  char name[kTextBuffer] = {};
  char serial[kTextBuffer] = {};
  char version[kTextBuffer] = {};
  uint16_t status = 0;
  uint16_t connection = 0;
  const int statusResult = kelvoctl_get_status(bridge, &status, &connection);
  if (kelvoctl_get_device_name(bridge, name, sizeof name) != 0 || kelvoctl_get_serial(bridge, serial, sizeof serial) ||
      kelvoctl_get_version(bridge, version, sizeof version) != 0 || statusResult != 0) {
    return Commands::fail("the Bridge did not answer");
  }
  char statusText[7];
  std::snprintf(statusText, sizeof statusText, "0x%04X", status);
  Output::field("name", name);
  Output::field("serial", serial);
  Output::field("version", version);
  Output::field("status", statusText, status);
  Output::field("connection", std::to_string(connection), connection);
  return 0;
}

// One line per Kelvo reader, in address order: its address and the name it advertised last.
int scan(kelvoctl_handle* bridge) {
  struct Seen {
    std::string name;
    bool kelvo = false;
  };
  std::map<std::string, Seen> seen;
  kelvoctl_search(
      bridge,
      [](const kelvoctl_search_record* record, void* context) {
        Seen& entry = (*static_cast<std::map<std::string, Seen>*>(context))[addressText(record->address)];
        if (record->has_name) entry.name = record->name;
        entry.kelvo = entry.kelvo || record->has_kelvo_service;
      },
      &seen);
  for (const auto& [address, entry] : seen) {
    if (entry.kelvo) Output::row("readers", address + " " + entry.name, {{"address", address}, {"name", entry.name}});
  }
  return 0;
}

int paired(kelvoctl_handle* bridge) {
  const int result = kelvoctl_get_paired_devs(
      bridge,
      [](const uint8_t address[6], void*) {
        const std::string text = addressText(address);
        Output::row("paired", text, text);
      },
      nullptr);
  return result == 0 ? 0 : Commands::fail("kelvoctl_get_paired_devs failed with " + std::to_string(result));
}

// The connected reader's RPC through the Bridge: "response = HEX".
int rpc(kelvoctl_handle* bridge, const std::string& hex) {
  std::vector<uint8_t> request;
  if (hex.empty() || hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return Commands::fail("an RPC request is an even number of hexadecimal digits");
  }
  for (size_t at = 0; at < hex.size(); at += 2)
    request.push_back(static_cast<uint8_t>(std::stoi(hex.substr(at, 2), nullptr, 16)));
  uint8_t response[1024];
  size_t length = sizeof response;
  const int result = kelvoctl_send_rpc(bridge, request.data(), request.size(), response, &length);
  if (result != 0) return Commands::fail("kelvoctl_send_rpc failed with " + std::to_string(result));
  std::string text;
  char digits[3];
  for (size_t i = 0; i < length; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", response[i]);
    text += digits;
  }
  Output::field("response", text);
  return 0;
}

int withBridge(kelvoctl_handle* bridge, const std::vector<std::string>& args) {
  const std::string& command = args.front();
  const size_t count = args.size() - 1;
  if (command == "info" && count == 0) return info(bridge);
  if (command == "scan" && count == 0) return scan(bridge);
  if (command == "paired" && count == 0) return paired(bridge);
  if (command == "abort" && count == 0) return outcome("kelvoctl_abort_pair", kelvoctl_abort_pair(bridge));
  if (command == "reset" && count == 0) return outcome("kelvoctl_hard_reset", kelvoctl_hard_reset(bridge));
  if (command == "rename" && count == 1) {
    return outcome("kelvoctl_store_device_name", kelvoctl_store_device_name(bridge, args[1].c_str()));
  }
  if (command == "connect" && count == 1) {
    uint8_t address[kAddressBytes];
    if (!addressBytes(args[1], address)) return Commands::fail("an address is 12 hexadecimal digits");
    return outcome("kelvoctl_select_device", kelvoctl_select_device(bridge, address));
  }
  if (command == "rpc" && count == 1) return rpc(bridge, args[1]);
  if (command == "pair" && count == 1) {
    if (args[1].size() != 6 || args[1].find_first_not_of("0123456789") != std::string::npos) {
      return Commands::fail("a pairing code is 6 digits");
    }
    return outcome("kelvoctl_send_passkey", kelvoctl_send_passkey(bridge, static_cast<uint32_t>(std::stoul(args[1]))));
  }
  return Commands::fail(
      "bridge takes info, scan, connect ADDR, pair CODE, abort, paired, rename NAME, rpc HEX or reset");
}

}  // namespace

int BridgeCommand::run(const std::vector<std::string>& args) {
  if (args.empty()) return withBridge(nullptr, {""});
  Handle bridge(kelvoctl_open(), kelvoctl_close);
  if (!bridge) return Commands::fail("no Bridge found");
  return withBridge(bridge.get(), args);
}

}  // namespace kelvo::cli
