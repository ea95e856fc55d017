// SPDX-License-Identifier: Apache-2.0
#include "trevalon/ble/Backend.h"

#include <cstdlib>

#include "trevalon/ble/BackendError.h"
#include "trevalon/ble/RadioRegistry.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"

namespace trevalon::ble {
namespace {

std::string environment(const std::string& name) {
  const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
  return value ? value : "";
}

std::string chosenRadio() {
  const std::string name = environment("KELVO_BLE_BACKEND");
  return name.empty() ? "bluez" : name;
}

RadioRegistry::Kind chosenKind(const std::string& radioName) {
  try {
    return RadioRegistry::instance().find(radioName);
  } catch (const BackendError& error) {
    throw BackendError("KELVO_BLE_BACKEND=" + radioName + ": " + error.what());
  }
}

// The argument the program gave, else the one its environment variable holds; refuses a radio left without one.
std::string argumentFor(const std::string& radioName, const RadioRegistry::Kind& kind, const std::string& given) {
  if (!given.empty() || kind.argumentVariable.empty()) return given;
  std::string fromEnvironment = environment(kind.argumentVariable);
  if (fromEnvironment.empty()) {
    throw BackendError("KELVO_BLE_BACKEND=" + radioName + " needs " + kind.argumentVariable + " to name " +
                       kind.argumentMeaning);
  }
  return fromEnvironment;
}

}  // namespace

std::unique_ptr<Backend> Backend::fromEnvironment(Options options) {
  const std::string radioName = chosenRadio();
  chosenKind(radioName);
  return create(radioName, "", std::move(options));
}

std::unique_ptr<Backend> Backend::create(const std::string& radioName, const std::string& argument, Options options) {
  const RadioRegistry::Kind kind = RadioRegistry::instance().find(radioName);
  const std::string effective = argumentFor(radioName, kind, argument);
  std::unique_ptr<Radio> radio;
  try {
    radio = kind.create(effective);
  } catch (const BackendError&) {
    throw;
  } catch (const std::exception& error) {
    throw BackendError(effective.empty() ? error.what() : "cannot use " + effective + ": " + error.what());
  }
  return std::make_unique<Backend>(std::move(radio), std::move(options));
}

void Backend::checkEnvironment() {
  const std::string radioName = chosenRadio();
  argumentFor(radioName, chosenKind(radioName), "");
}

Backend::Backend(std::unique_ptr<Radio> radio, Options chosen) : air(std::move(radio)), options(std::move(chosen)) {
  nativeSource = air->createNativeSource();
  for (const Uuid& service : options.services) {
    std::shared_ptr<DeviceEnumeration> enumeration = air->createEnumeration(service);
    enumeration->addObserver(nativeSource);
    enumerations.push_back(std::move(enumeration));
  }
}

Backend::~Backend() {
  stop();
  waitForNativeReaders();
  air.reset();
}

void Backend::start(std::chrono::milliseconds period) {
  std::lock_guard<std::mutex> guard(runLock);
  if (running) return;
  running = true;
  poller = std::thread(&Backend::run, this, period);
}

void Backend::stop() {
  {
    std::lock_guard<std::mutex> guard(runLock);
    running = false;
  }
  wake.notify_all();
  if (poller.joinable()) poller.join();
}

void Backend::run(std::chrono::milliseconds period) {
  common::setThreadName("DISCOVERY");
  std::unique_lock<std::mutex> guard(runLock);
  while (running) {
    guard.unlock();
    poll();
    guard.lock();
    wake.wait_for(guard, period, [this] { return !running; });
  }
}

void Backend::poll() {
  TREVALON_TRACE();
  std::lock_guard<std::mutex> guard(pollLock);
  for (const std::shared_ptr<DeviceEnumeration>& enumeration : enumerations) enumeration->pollWithLosses();
  if (options.bringUpLinks) bringUpLinks();
}

// Outside every notification: connecting may report the link at once, and the chain's locks must be free.
void Backend::bringUpLinks() {
  for (const std::shared_ptr<BLEReaderNative>& native : nativeSource->getProvided()) {
    if (native && !native->isConnected()) native->connect();
  }
}

void Backend::waitForNativeReaders() {
  // Library workers may hold a stack for the last moments of a notification: the radio goes only once every
  // native reader is gone (it goes last, with the stack above it), so no worker is left freeing link keys.
  std::vector<std::weak_ptr<BLEReaderNative>> bottoms;
  for (const auto& native : nativeSource->getProvided()) bottoms.push_back(native);
  enumerations.clear();
  nativeSource.reset();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (const auto& bottom : bottoms) {
    while (!bottom.expired() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

}  // namespace trevalon::ble
