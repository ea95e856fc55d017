// SPDX-License-Identifier: Apache-2.0
#include "PentaloqScenarioReader.h"

#include <algorithm>
#include <set>

#include "ScenarioFields.h"

namespace kelvo::simulator {
namespace {

using nlohmann::json;
using namespace scenario_fields;

// "major.minor", each 0 to 15: the reader sends it as one byte, a nibble each.
uint8_t version(const json& value, const std::string& where) {
  const std::string version = text(value, where);
  const size_t dot = version.find('.');
  auto nibble = [&](const std::string& part) {
    if (part.empty() || part.size() > 2 || !std::all_of(part.begin(), part.end(), ::isdigit) || std::stoi(part) > 15) {
      fail(where, "expected \"major.minor\" with numbers 0 to 15, got '" + version + "'");
    }
    return static_cast<uint8_t>(std::stoi(part));
  };
  if (dot == std::string::npos) nibble("");
  return static_cast<uint8_t>(nibble(version.substr(0, dot)) << 4 | nibble(version.substr(dot + 1)));
}

std::string joined(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

void readQuirks(const json& value, const std::string& where, PentaloqReaderConfig& reader) {
  if (!value.is_array()) fail(where, "expected an array of names");
  for (size_t i = 0; i < value.size(); ++i) {
    const std::string place = where + "[" + std::to_string(i) + "]";
    const std::string name = text(value[i], place);
    std::optional<PentaloqQuirk> quirk = parsePentaloqQuirk(name);
    if (!quirk) fail(place, "unknown quirk '" + name + "' (known: " + joined(pentaloqQuirkNames()) + ")");
    reader.quirks.insert(*quirk);
  }
}

PentaloqFault readFault(const json& value, const std::string& where) {
  onlyFields(value, where, {"kind", "function", "code", "packets", "ms", "times"});
  if (!value.contains("kind")) fail(where, "needs 'kind'");
  const std::string kindName = text(value["kind"], where + ".kind");
  std::optional<PentaloqFault::Kind> kind = parsePentaloqFaultKind(kindName);
  if (!kind)
    fail(where + ".kind", "unknown fault '" + kindName + "' (known: " + joined(pentaloqFaultKindNames()) + ")");
  PentaloqFault fault;
  fault.kind = *kind;
  if (value.contains("function"))
    fault.function = static_cast<uint8_t>(integer(value["function"], where + ".function", 0, 255));
  if (value.contains("times")) fault.times = static_cast<int>(integer(value["times"], where + ".times", 0, 1000000));
  const bool needsCode = fault.kind == PentaloqFault::Kind::resultCode;
  const bool needsPackets =
      fault.kind == PentaloqFault::Kind::dropPacket || fault.kind == PentaloqFault::Kind::badPacket;
  const bool needsMs = fault.kind == PentaloqFault::Kind::delay;
  auto field = [&](const char* name, bool needed) {
    if (needed && !value.contains(name)) fail(where, "'" + kindName + "' needs '" + name + "'");
    if (!needed && value.contains(name))
      fail(where, "'" + std::string(name) + "' does not apply to '" + kindName + "'");
    return needed;
  };
  if (field("code", needsCode)) fault.code = static_cast<uint8_t>(integer(value["code"], where + ".code", 0, 255));
  if (field("ms", needsMs)) fault.delayMs = static_cast<int>(integer(value["ms"], where + ".ms", 1, 60000));
  if (field("packets", needsPackets)) {
    const json& list = value["packets"];
    if (!list.is_array() || list.empty()) fail(where + ".packets", "expected a list of packet indices");
    for (size_t i = 0; i < list.size(); ++i) {
      fault.packets.push_back(
          static_cast<int>(integer(list[i], where + ".packets[" + std::to_string(i) + "]", 0, 258)));
    }
  }
  return fault;
}

}  // namespace

ScenarioDevice PentaloqScenarioReader::read(const json& value, const std::string& where) {
  onlyFields(
      value, where,
      {"family", "address", "name", "firmware", "hardware", "serial", "battery", "card", "quirks", "faults", "linked"});
  if (!value.contains("address")) fail(where, "needs 'address'");
  ScenarioDevice device;
  device.family = "pentaloq";
  PentaloqReaderConfig& reader = device.pentaloq;
  reader.address = address(value["address"], where + ".address");
  // The loader checks addresses for duplicates in the Kelvo part.
  device.reader.address = reader.address;
  device.reader.name = reader.name = value.contains("name") ? text(value["name"], where + ".name") : "Pentaloq";
  if (value.contains("firmware")) reader.firmware = version(value["firmware"], where + ".firmware");
  if (value.contains("hardware")) reader.hardware = version(value["hardware"], where + ".hardware");
  if (value.contains("serial")) {
    reader.serial = text(value["serial"], where + ".serial");
    if (reader.serial.size() != 6) fail(where + ".serial", "a serial number has 6 characters");
  }
  // Above 100 on purpose: a reader may report any byte.
  if (value.contains("battery"))
    reader.battery = static_cast<uint8_t>(integer(value["battery"], where + ".battery", 0, 255));
  if (value.contains("card")) {
    std::optional<CardFields> fields = card(value["card"], where + ".card");
    reader.cardAtr.reset();
    if (fields) {
      reader.cardAtr = std::move(fields->atr);
      reader.cardPiv = std::move(fields->piv);
    }
  }
  if (value.contains("quirks")) readQuirks(value["quirks"], where + ".quirks", reader);
  if (value.contains("faults")) {
    const json& list = value["faults"];
    if (!list.is_array()) fail(where + ".faults", "expected an array of faults");
    for (size_t i = 0; i < list.size(); ++i)
      reader.faults.push_back(readFault(list[i], where + ".faults[" + std::to_string(i) + "]"));
  }
  if (value.contains("linked")) {
    if (!value["linked"].is_boolean()) fail(where + ".linked", "expected true or false");
    reader.linkUp = value["linked"].get<bool>();
  }
  return device;
}

}  // namespace kelvo::simulator
