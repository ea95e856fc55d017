// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/scenario/ScenarioLoader.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "PentaloqScenarioReader.h"
#include "ScenarioFields.h"
#include "kelvo/simulator/kelvo/KelvoReaderPacketTransfer.h"

namespace kelvo::simulator {
namespace {

using nlohmann::json;
using namespace scenario_fields;

uint16_t characteristicId(const json& value, const std::string& where) {
  const std::string digits = text(value, where);
  if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), isHexDigit)) {
    fail(where, "expected 4 hexadecimal digits such as \"0006\"");
  }
  return static_cast<uint16_t>(std::stoi(digits, nullptr, 16));
}

void readDescriptor(const json& value, const std::string& where, KelvoReaderConfig& reader) {
  if (!value.is_object()) fail(where, "expected an object of texts");
  for (auto item = value.begin(); item != value.end(); ++item) {
    const std::string& key = item.key();
    if (key.empty() || key.size() > 32) fail(where, "key '" + key + "' must have 1 to 32 characters");
    const std::string entry = text(item.value(), where + "." + key);
    if (entry.size() > 64) fail(where + "." + key, "longer than 64 characters");
    reader.descriptor.emplace_back(key, entry);
  }
}

void readSettings(const json& value, const std::string& where, KelvoReaderConfig& reader) {
  if (!value.is_object()) fail(where, "expected an object from setting id to value");
  for (auto item = value.begin(); item != value.end(); ++item) {
    int id = 0;
    try {
      size_t used = 0;
      id = std::stoi(item.key(), &used);
      if (used != item.key().size()) id = 0;
    } catch (const std::exception&) {
      id = 0;
    }
    if (id < 1 || id > 15) fail(where, "setting id '" + item.key() + "' is not 1 to 15");
    reader.settings[static_cast<uint8_t>(id)] =
        static_cast<uint8_t>(integer(item.value(), where + "." + item.key(), -128, 255));
  }
}

void readRanges(const json& value, const std::string& where, KelvoReaderConfig& reader) {
  if (!value.is_array() || value.size() != 7) fail(where, "expected 7 pairs [start, end]");
  for (size_t day = 0; day < 7; ++day) {
    const std::string place = where + "[" + std::to_string(day) + "]";
    const json& pair = value[day];
    if (!pair.is_array() || pair.size() != 2) fail(place, "expected a pair [start, end]");
    reader.ranges[day] = {static_cast<int16_t>(integer(pair[0], place + "[0]", -1, 10079)),
                          static_cast<int16_t>(integer(pair[1], place + "[1]", -1, 10079))};
  }
}

void readBonds(const json& value, const std::string& where, KelvoReaderConfig& reader) {
  if (!value.is_array()) fail(where, "expected an array");
  std::set<int64_t> seen;
  for (size_t i = 0; i < value.size(); ++i) {
    const std::string place = where + "[" + std::to_string(i) + "]";
    onlyFields(value[i], place, {"index", "name"});
    if (!value[i].contains("index") || !value[i].contains("name")) fail(place, "needs 'index' and 'name'");
    ReaderBond bond;
    const int64_t index = integer(value[i]["index"], place + ".index", 0, 254);
    if (!seen.insert(index).second) fail(place + ".index", "index " + std::to_string(index) + " is used twice");
    bond.index = static_cast<uint8_t>(index);
    bond.name = text(value[i]["name"], place + ".name");
    if (bond.name.size() > 32) fail(place + ".name", "longer than 32 characters");
    reader.bonds.push_back(bond);
  }
}

void readCard(const json& value, const std::string& where, KelvoReaderConfig& reader) {
  std::optional<CardFields> fields = card(value, where);
  if (!fields) return;
  reader.cardAtr = std::move(fields->atr);
  reader.cardPiv = std::move(fields->piv);
}

void readQuirks(const json& value, const std::string& where, KelvoReaderConfig& reader) {
  if (!value.is_array()) fail(where, "expected an array of names");
  for (size_t i = 0; i < value.size(); ++i) {
    const std::string place = where + "[" + std::to_string(i) + "]";
    const std::string name = text(value[i], place);
    std::optional<KelvoReaderQuirk> quirk = parseReaderQuirk(name);
    if (!quirk) {
      std::string known;
      for (const std::string& candidate : readerQuirkNames()) known += (known.empty() ? "" : ", ") + candidate;
      fail(place, "unknown quirk '" + name + "' (known: " + known + ")");
    }
    reader.quirks.insert(*quirk);
  }
}

std::vector<int> packageList(const json& value, const std::string& where) {
  if (value.is_number_integer()) return {static_cast<int>(integer(value, where, 0, 254))};
  if (!value.is_array() || value.empty()) fail(where, "expected a package index or a list of them");
  std::vector<int> list;
  for (size_t i = 0; i < value.size(); ++i) {
    list.push_back(static_cast<int>(integer(value[i], where + "[" + std::to_string(i) + "]", 0, 254)));
  }
  return list;
}

KelvoReaderFault readFault(const json& value, const std::string& where) {
  onlyFields(value, where,
             {"kind", "method", "package", "packages", "order", "ms", "after-packages", "characteristic", "times"});
  if (!value.contains("kind")) fail(where, "needs 'kind'");
  const std::string kindName = text(value["kind"], where + ".kind");
  std::optional<KelvoReaderFault::Kind> kind = parseReaderFaultKind(kindName);
  if (!kind) {
    fail(where + ".kind", "unknown fault '" + kindName +
                              "' (known: drop-package, repeat-package, reorder-packages, corrupt-tag, delay, "
                              "drop-link, long-value)");
  }
  KelvoReaderFault fault;
  fault.kind = *kind;
  fault.times = fault.kind == KelvoReaderFault::Kind::longValue ? 0 : 1;
  if (value.contains("method"))
    fault.method = static_cast<uint8_t>(integer(value["method"], where + ".method", 0, 255));
  if (value.contains("times")) fault.times = static_cast<int>(integer(value["times"], where + ".times", 0, 1000000));
  auto needs = [&](const char* field) {
    if (!value.contains(field)) fail(where, "'" + kindName + "' needs '" + field + "'");
  };
  auto refuses = [&](std::initializer_list<const char*> fields) {
    for (const char* field : fields) {
      if (value.contains(field)) fail(where, "'" + std::string(field) + "' does not apply to '" + kindName + "'");
    }
  };
  switch (fault.kind) {
    case KelvoReaderFault::Kind::dropPackage:
    case KelvoReaderFault::Kind::repeatPackage: {
      refuses({"order", "ms", "after-packages", "characteristic"});
      if (value.contains("package") == value.contains("packages")) fail(where, "give one of 'package' or 'packages'");
      const char* field = value.contains("package") ? "package" : "packages";
      fault.packages = packageList(value[field], where + "." + field);
      break;
    }
    case KelvoReaderFault::Kind::reorderPackages:
      refuses({"package", "packages", "ms", "after-packages", "characteristic"});
      needs("order");
      fault.packages = packageList(value["order"], where + ".order");
      break;
    case KelvoReaderFault::Kind::corruptTag:
      refuses({"package", "packages", "order", "ms", "after-packages", "characteristic"});
      break;
    case KelvoReaderFault::Kind::delay:
      refuses({"package", "packages", "order", "after-packages", "characteristic"});
      needs("ms");
      fault.delayMs = static_cast<int>(integer(value["ms"], where + ".ms", 1, 60000));
      break;
    case KelvoReaderFault::Kind::dropLink:
      refuses({"package", "packages", "order", "ms", "characteristic"});
      if (value.contains("after-packages")) {
        fault.afterPackages = static_cast<int>(integer(value["after-packages"], where + ".after-packages", 0, 254));
      }
      break;
    case KelvoReaderFault::Kind::longValue:
      refuses({"package", "packages", "order", "ms", "after-packages", "method"});
      if (value.contains("characteristic")) {
        fault.characteristic = characteristicId(value["characteristic"], where + ".characteristic");
        if (fault.characteristic != 0x0003 && fault.characteristic != 0x0006) {
          fail(where + ".characteristic", "only the readable characteristics 0003 and 0006 can hold a value");
        }
      }
      break;
  }
  return fault;
}

void readFaults(const json& value, const std::string& where, KelvoReaderConfig& reader) {
  if (!value.is_array()) fail(where, "expected an array of faults");
  for (size_t i = 0; i < value.size(); ++i) {
    reader.faults.push_back(readFault(value[i], where + "[" + std::to_string(i) + "]"));
  }
}

void readRandomFaults(const json& value, const std::string& where, KelvoReaderConfig& reader) {
  if (!value.is_object()) fail(where, "expected an object such as { \"seed\": 7, \"drop-package\": 0.05 }");
  KelvoReaderRandomFaults::Rates rates;
  for (auto item = value.begin(); item != value.end(); ++item) {
    const std::string place = where + "." + item.key();
    if (!item.value().is_number()) fail(place, "expected a number");
    if (auto why = KelvoReaderRandomFaults::setField(rates, item.key(), item.value().get<double>())) fail(place, *why);
  }
  reader.randomFaults = rates;
}

std::vector<std::string> addressList(const json& value, const std::string& where) {
  if (!value.is_array()) fail(where, "expected a list of addresses");
  std::vector<std::string> addresses;
  for (size_t i = 0; i < value.size(); ++i)
    addresses.push_back(address(value[i], where + "[" + std::to_string(i) + "]"));
  return addresses;
}

ScenarioDevice readBridge(const json& value, const std::string& where) {
  onlyFields(value, where, {"family", "name", "serial", "version", "paired", "readers", "passkey", "product"});
  ScenarioDevice device;
  device.family = "bridge";
  BridgeConfig& bridge = device.bridge;
  if (value.contains("name")) bridge.name = text(value["name"], where + ".name");
  if (bridge.name.empty() || bridge.name.size() > 16) fail(where + ".name", "a Bridge's name has 1 to 16 bytes");
  if (value.contains("serial")) bridge.serial = text(value["serial"], where + ".serial");
  if (bridge.serial.empty()) fail(where + ".serial", "a Bridge needs a serial number");
  if (value.contains("version")) bridge.version = text(value["version"], where + ".version");
  if (value.contains("paired")) bridge.paired = addressList(value["paired"], where + ".paired");
  if (value.contains("readers")) bridge.readers = addressList(value["readers"], where + ".readers");
  if (value.contains("passkey")) {
    bridge.passkey = static_cast<uint32_t>(integer(value["passkey"], where + ".passkey", 0, 999999));
  }
  if (value.contains("product")) {
    const std::string product = text(value["product"], where + ".product");
    if (product != "6666:42ea" && product != "2dff:1543")
      fail(where + ".product", "expected \"6666:42ea\" or \"2dff:1543\"");
    bridge.vendor = static_cast<uint16_t>(std::stoi(product.substr(0, 4), nullptr, 16));
    bridge.product = static_cast<uint16_t>(std::stoi(product.substr(5), nullptr, 16));
  }
  return device;
}

ScenarioDevice readDevice(const json& value, const std::string& where) {
  if (value.is_object() && value.contains("family") && value["family"] == "pentaloq") {
    return PentaloqScenarioReader::read(value, where);
  }
  if (value.is_object() && value.contains("family") && value["family"] == "bridge") return readBridge(value, where);
  onlyFields(value, where,
             {"family", "address", "name", "generation", "service", "descriptor", "battery", "usb", "settings",
              "ranges", "bonds", "preferred", "card", "quirks", "faults", "random-faults", "package-size", "linked"});
  if (!value.contains("family")) fail(where, "needs 'family'");
  if (!value.contains("address")) fail(where, "needs 'address'");
  ScenarioDevice device;
  device.family = text(value["family"], where + ".family");
  if (device.family != "kelvo" && device.family != "none") {
    fail(where + ".family", "unknown family '" + device.family + "' (known: kelvo, pentaloq, none, bridge)");
  }
  KelvoReaderConfig& reader = device.reader;
  reader.address = address(value["address"], where + ".address");
  reader.name = value.contains("name") ? text(value["name"], where + ".name") : "Kelvo";
  if (value.contains("battery"))
    reader.battery = static_cast<uint8_t>(integer(value["battery"], where + ".battery", 0, 100));
  if (device.family == "none") {
    for (const char* field : {"generation", "service", "descriptor", "usb", "settings", "ranges", "bonds", "preferred",
                              "card", "quirks", "faults", "random-faults", "package-size"}) {
      if (value.contains(field)) fail(where, "'" + std::string(field) + "' does not apply to family 'none'");
    }
    return device;
  }
  if (value.contains("generation"))
    reader.generation = static_cast<int>(integer(value["generation"], where + ".generation", 1, 2));
  if (value.contains("service")) {
    const std::string service = text(value["service"], where + ".service");
    if (service != "6803" && service != "6801") fail(where + ".service", "expected \"6803\" or \"6801\"");
    reader.service = static_cast<uint16_t>(std::stoi(service, nullptr, 16));
  }
  if (value.contains("descriptor")) readDescriptor(value["descriptor"], where + ".descriptor", reader);
  if (value.contains("usb")) reader.usb = static_cast<uint8_t>(integer(value["usb"], where + ".usb", 0, 1));
  if (value.contains("settings")) readSettings(value["settings"], where + ".settings", reader);
  if (value.contains("ranges")) readRanges(value["ranges"], where + ".ranges", reader);
  if (value.contains("bonds")) readBonds(value["bonds"], where + ".bonds", reader);
  if (value.contains("preferred")) {
    reader.preferred = static_cast<uint8_t>(integer(value["preferred"], where + ".preferred", 0, 255));
  }
  if (value.contains("card")) readCard(value["card"], where + ".card", reader);
  if (value.contains("quirks")) readQuirks(value["quirks"], where + ".quirks", reader);
  if (value.contains("faults")) readFaults(value["faults"], where + ".faults", reader);
  if (value.contains("package-size")) {
    reader.negotiatedPack = static_cast<size_t>(integer(value["package-size"], where + ".package-size", 1,
                                                        static_cast<int64_t>(KelvoReaderPacketTransfer::kMaxPack)));
  }
  if (value.contains("random-faults")) readRandomFaults(value["random-faults"], where + ".random-faults", reader);
  if (value.contains("linked")) {
    if (!value["linked"].is_boolean()) fail(where + ".linked", "expected true or false");
    reader.linkUp = value["linked"].get<bool>();
  }
  return device;
}

}  // namespace

std::vector<ScenarioDevice> ScenarioLoader::parse(const std::string& content) {
  json document;
  try {
    document = json::parse(content);
  } catch (const json::parse_error& error) {
    throw ScenarioError(std::string("not valid JSON: ") + error.what());
  }
  // "usb" lists the devices scripts/with-usb emulates on the USB bus; the radio has nothing to do with them.
  onlyFields(document, "scenario", {"devices", "usb", "link"});
  if (!document.contains("devices") || !document["devices"].is_array()) fail("scenario", "needs an array 'devices'");
  std::vector<ScenarioDevice> devices;
  std::set<std::string> addresses;
  for (size_t i = 0; i < document["devices"].size(); ++i) {
    const std::string where = "devices[" + std::to_string(i) + "]";
    ScenarioDevice device = readDevice(document["devices"][i], where);
    if (device.family != "bridge" && !addresses.insert(device.reader.address).second) {
      fail(where + ".address", "address " + device.reader.address + " is used twice");
    }
    devices.push_back(std::move(device));
  }
  // A Bridge reaches only devices of the scenario.
  for (size_t i = 0; i < devices.size(); ++i) {
    for (const std::string& reader : devices[i].bridge.readers) {
      if (addresses.count(reader) == 0) {
        fail("devices[" + std::to_string(i) + "].readers", "no device has the address " + reader);
      }
    }
  }
  return devices;
}

ScenarioDevice ScenarioLoader::parseDevice(const std::string& content) {
  json document;
  try {
    document = json::parse(content);
  } catch (const json::parse_error& error) {
    throw ScenarioError(std::string("not valid JSON: ") + error.what());
  }
  return readDevice(document, "device");
}

namespace {

std::string readScenarioFile(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw ScenarioError(path + ": cannot be read");
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

json parseDocument(const std::string& content) {
  try {
    return json::parse(content);
  } catch (const json::parse_error& error) {
    throw ScenarioError(std::string("not valid JSON: ") + error.what());
  }
}

}  // namespace

std::vector<ScenarioDevice> ScenarioLoader::load(const std::string& path) {
  const std::string content = readScenarioFile(path);
  try {
    return parse(content);
  } catch (const ScenarioError& error) {
    throw ScenarioError(path + ": " + error.what());
  }
}

std::optional<trevalon::sim::LinkModel::Parameters> ScenarioLoader::parseLink(const std::string& content) {
  const json document = parseDocument(content);
  if (!document.is_object() || !document.contains("link")) return std::nullopt;
  const json& link = document["link"];
  onlyFields(link, "link", {"interval-us", "packets-per-interval", "mtu"});
  trevalon::sim::LinkModel::Parameters parameters;
  // The limits Bluetooth LE allows: a connection interval of 7.5 ms to 4 s, an ATT MTU of 23 to 517.
  if (link.contains("interval-us")) {
    parameters.interval = std::chrono::microseconds(integer(link["interval-us"], "link.interval-us", 7500, 4000000));
  }
  if (link.contains("packets-per-interval")) {
    parameters.packetsPerInterval =
        static_cast<int>(integer(link["packets-per-interval"], "link.packets-per-interval", 1, 64));
  }
  if (link.contains("mtu")) parameters.mtu = static_cast<size_t>(integer(link["mtu"], "link.mtu", 23, 517));
  return parameters;
}

std::optional<trevalon::sim::LinkModel::Parameters> ScenarioLoader::loadLink(const std::string& path) {
  const std::string content = readScenarioFile(path);
  try {
    return parseLink(content);
  } catch (const ScenarioError& error) {
    throw ScenarioError(path + ": " + error.what());
  }
}

}  // namespace kelvo::simulator
