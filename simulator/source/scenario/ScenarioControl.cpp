// SPDX-License-Identifier: Apache-2.0
#include "kelvo/simulator/scenario/ScenarioControl.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

#include "kelvo/simulator/scenario/ScenarioLoader.h"

namespace kelvo::simulator {
namespace {

// A card that answers like a plain contact card, for an "insert" that names no ATR.
const std::vector<uint8_t> kDefaultAtr = {0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};

std::vector<std::string> words(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> found;
  for (std::string word; stream >> word;) found.push_back(word);
  return found;
}

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool parseNumber(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
  value = std::stoi(text);
  return value >= low && value <= high;
}

bool parseHex(const std::string& text, std::vector<uint8_t>& bytes) {
  if (text.empty() || text.size() % 2 != 0 || !std::all_of(text.begin(), text.end(), ::isxdigit)) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return true;
}

bool parseDecimal(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

std::string error(const std::string& why) { return "error: " + why; }

}  // namespace

ScenarioControl::ScenarioControl(Scenario& scenario, Place place, Withdraw withdraw)
    : scenario(scenario), place(std::move(place)), withdraw(std::move(withdraw)) {}

std::string ScenarioControl::execute(const std::string& line) {
  std::lock_guard<std::mutex> guard(lock);
  const Arguments arguments = words(line);
  if (arguments.empty()) return error("empty command");
  const std::string& command = arguments.front();
  try {
    if (command == "insert") return insertCard(arguments);
    if (command == "remove") return removeCard(arguments);
    if (command == "battery") return battery(arguments);
    if (command == "usb") return usb(arguments);
    if (command == "drop") return drop(arguments);
    if (command == "settings") return settings(arguments);
    if (command == "random-faults") return randomFaults(arguments);
    if (command == "remove-reader") return removeReader(arguments);
    if (command == "piv-state") return pivState(arguments);
    if (command == "add-reader") {
      const size_t start = line.find("add-reader") + std::string("add-reader").size();
      return addReader(line.substr(start));
    }
  } catch (const std::exception& failure) {
    return error(failure.what());
  }
  return error("unknown command '" + command +
               "' (known: insert, remove, battery, usb, drop, settings, random-faults, add-reader, "
               "remove-reader, piv-state)");
}

std::shared_ptr<KelvoReaderEmulator> ScenarioControl::reader(const Arguments& arguments, size_t count,
                                                             std::string& why) const {
  if (arguments.size() != count) {
    why = "'" + arguments.front() + "' takes " + std::to_string(count - 1) + " argument(s)";
    return nullptr;
  }
  const std::string address = lowerCase(arguments[1]);
  std::shared_ptr<KelvoReaderEmulator> found = scenario.reader(address);
  if (!found) why = "no Kelvo reader " + address;
  return found;
}

namespace {

// Both families' emulators hold a card the same way.
template <typename Emulator>
void insertInto(Emulator& target, const std::vector<uint8_t>& atr, bool atrGiven) {
  // The person's own card comes back with its PIN state, so a test can take a token out and put it back.
  if (atrGiven || !target.insertOwnCard()) target.insertCard(atr);
}

}  // namespace

std::string ScenarioControl::insertCard(const Arguments& arguments) {
  std::vector<uint8_t> atr = kDefaultAtr;
  const bool atrGiven = arguments.size() == 3;
  if (arguments.size() != 2 && !atrGiven) return error("'insert' takes 1 or 2 argument(s)");
  if (atrGiven && !parseHex(arguments[2], atr)) return error("ATR must be hexadecimal bytes");
  const std::string address = lowerCase(arguments[1]);
  if (auto kelvo = scenario.reader(address)) {
    insertInto(*kelvo, atr, atrGiven);
  } else if (auto pentaloq = scenario.pentaloqReader(address)) {
    insertInto(*pentaloq, atr, atrGiven);
  } else {
    return error("no reader " + address);
  }
  return "ok";
}

std::string ScenarioControl::removeCard(const Arguments& arguments) {
  if (arguments.size() != 2) return error("'remove' takes 1 argument(s)");
  const std::string address = lowerCase(arguments[1]);
  if (auto kelvo = scenario.reader(address)) {
    kelvo->removeCard();
  } else if (auto pentaloq = scenario.pentaloqReader(address)) {
    pentaloq->removeCard();
  } else {
    return error("no reader " + address);
  }
  return "ok";
}

std::string ScenarioControl::battery(const Arguments& arguments) {
  std::string why;
  auto target = reader(arguments, 3, why);
  if (!target) return error(why);
  int level = 0;
  if (!parseNumber(arguments[2], 0, 100, level)) return error("battery level must be 0 to 100");
  target->setBatteryLevel(static_cast<uint8_t>(level));
  return "ok";
}

std::string ScenarioControl::usb(const Arguments& arguments) {
  std::string why;
  auto target = reader(arguments, 3, why);
  if (!target) return error(why);
  int connected = 0;
  if (!parseNumber(arguments[2], 0, 1, connected)) return error("usb takes 0 or 1");
  target->setUsbCable(static_cast<uint8_t>(connected));
  return "ok";
}

std::string ScenarioControl::drop(const Arguments& arguments) {
  std::string why;
  auto target = reader(arguments, 2, why);
  if (!target) return error(why);
  if (!target->isLinkUp()) return error("the link of " + target->address() + " is down already");
  target->setLinkUp(false);
  target->setLinkUp(true);
  return "ok";
}

// The reader's settings as it holds them, so that a test in another process can see what reached the reader.
std::string ScenarioControl::settings(const Arguments& arguments) {
  std::string why;
  auto target = reader(arguments, 2, why);
  if (!target) return error(why);
  std::string answer = "ok";
  for (const auto& [id, value] : target->state().settings) {
    answer += " " + std::to_string(id) + "=" + std::to_string(value);
  }
  return answer;
}

// "random-faults ADDR off", or "random-faults ADDR seed=N name=rate ..." with the names of scenario files.
std::string ScenarioControl::randomFaults(const Arguments& arguments) {
  std::string why;
  auto target = reader(arguments, std::max<size_t>(arguments.size(), 3), why);
  if (!target) return error(why.empty() ? "'random-faults' takes an address and 'off' or name=value pairs" : why);
  if (arguments.size() == 3 && arguments[2] == "off") {
    std::optional<KelvoReaderRandomFaults::Tally> tally = target->stopRandomFaults();
    if (!tally) return "ok";
    return "ok " + KelvoReaderRandomFaults::describe(*tally);
  }
  KelvoReaderRandomFaults::Rates rates;
  bool seeded = false;
  for (size_t i = 2; i < arguments.size(); ++i) {
    const size_t equals = arguments[i].find('=');
    if (equals == std::string::npos) return error("expected name=value, not '" + arguments[i] + "'");
    const std::string name = arguments[i].substr(0, equals);
    double value = 0;
    if (!parseDecimal(arguments[i].substr(equals + 1), value)) return error(name + ": expected a number");
    if (auto invalid = KelvoReaderRandomFaults::setField(rates, name, value)) return error(name + ": " + *invalid);
    seeded = seeded || name == "seed";
  }
  if (!seeded) return error("'random-faults' needs seed=N, so that a run can be repeated");
  target->startRandomFaults(rates);
  return "ok";
}

std::string ScenarioControl::addReader(const std::string& json) {
  ScenarioDevice device = ScenarioLoader::parseDevice(json);
  if (device.family == "bridge") return error("a Bridge is on USB, not on the radio (kelvo-sim-bridge)");
  if (scenario.peripheral(device.reader.address)) return error("address " + device.reader.address + " is in use");
  std::shared_ptr<trevalon::sim::EmulatedPeripheral> added = scenario.add(device);
  if (place) place(added);
  return "ok";
}

std::string ScenarioControl::removeReader(const Arguments& arguments) {
  if (arguments.size() != 2) return error("'remove-reader' takes 1 argument(s)");
  const std::string address = lowerCase(arguments[1]);
  if (!scenario.peripheral(address)) return error("no device " + address);
  if (withdraw) withdraw(address);
  scenario.remove(address);
  return "ok";
}

std::string ScenarioControl::pivState(const Arguments& arguments) {
  if (arguments.size() != 2) return error("'piv-state' takes 1 argument(s)");
  const std::string address = lowerCase(arguments[1]);
  std::optional<PivApplication::Status> status;
  if (auto kelvo = scenario.reader(address)) {
    status = kelvo->pivStatus();
  } else if (auto pentaloq = scenario.pentaloqReader(address)) {
    status = pentaloq->pivStatus();
  } else {
    return error("no reader " + address);
  }
  if (!status) return error("the card of " + address + " has no PIV application");
  auto yesNo = [](bool value) { return value ? "yes" : "no"; };
  return "ok tries " + std::to_string(status->pinTriesLeft) + " pin " + status->pin + " blocked " +
         yesNo(status->pinBlocked) + " puk-tries " + std::to_string(status->pukTriesLeft) + " verified " +
         yesNo(status->verified);
}

bool ScenarioControl::answerIsSecret(const std::string& line) {
  const Arguments arguments = words(line);
  return !arguments.empty() && arguments.front() == "piv-state";
}

}  // namespace kelvo::simulator
