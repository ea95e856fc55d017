// SPDX-License-Identifier: Apache-2.0
#include "ReaderSession.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "trevalon/common/NamedLock.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/FileSettings.h"
#include "trevalon/local/LinuxMachine.h"

namespace kelvo::cli {
namespace {

// Wakes a waiting command when the reader reports itself available and connected. A Kelvo reader announces
// both; a Pentaloq reader is always listed as available and announces, as its connection, that it came into
// reach with its link key set up.
class AvailabilityWatch : public trevalon::DeviceObserver {
 public:
  AvailabilityWatch(bool available, bool connected) : available(available), connected(connected) {}
  void onAvailableChanged(bool value) override { set(available, value); }
  void onConnectedChanged(bool value) override { set(connected, value); }
  bool ready() {
    std::lock_guard<std::mutex> guard(lock);
    return available && connected;
  }
  bool waitFor(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, limit, [this] { return available && connected; });
  }
  void onBatteryLevelChanged(uint8_t) override {}
  void onUsbCableStatusChanged(uint8_t) override {}
  void onEncryptionChanged(uint8_t) override {}
  void onAdvertisingModeChanged(uint8_t) override {}
  void onBuzzerModeChanged(uint8_t) override {}
  void onSignalStrengthChanged(uint8_t) override {}
  void onBackLightChanged(uint8_t) override {}
  void onDisplayModeChanged(uint8_t) override {}
  void onRssiMinValueChanged(uint8_t) override {}
  void onPairedChanged(bool) override {}
  std::vector<uint8_t> onKeyRequested() override { throw std::runtime_error("no key"); }
  void onEvent(uint32_t) override {}

 private:
  void set(bool& flag, bool value) {
    {
      std::lock_guard<std::mutex> guard(lock);
      flag = value;
    }
    changed.notify_all();
  }

  std::mutex lock;
  std::condition_variable changed;
  bool available;
  bool connected;
};

}  // namespace

ReaderSession::ReaderSession(const std::string& scenarioPath, const std::string& keptSettingsDirectory) {
  // The radio first: a refused one leaves no settings directory behind.
  try {
    backend = scenarioPath.empty()
                  ? trevalon::ble::Backend::fromEnvironment()
                  : trevalon::ble::Backend::create("sim", scenarioPath, trevalon::ble::Backend::Options());
  } catch (const std::exception& error) {
    throw std::runtime_error(std::string("cannot reach readers: ") + error.what());
  }
  if (keptSettingsDirectory.empty()) {
    prepareThrowAwaySettings();
  } else {
    prepareKeptSettings(keptSettingsDirectory);
  }
  trevalon::local::Facade::instance().setSettings(std::make_shared<trevalon::local::FileSettings>(settingsDirectory));
  trevalon::local::Facade::instance().setMachine(std::make_shared<trevalon::local::LinuxMachine>());
  provider = trevalon::Reader::createDeviceProvider();
  provider->setMaster(backend->natives());
  // One enumeration on this thread is all a short-lived tool needs.
  backend->poll();
}

ReaderSession::~ReaderSession() {
  // The backend waits for the native readers, which go with the stacks above them.
  provider.reset();
  backend.reset();
  trevalon::local::Facade::instance().setSettings(nullptr);
  if (throwAway) {
    std::error_code ignored;
    std::filesystem::remove_all(settingsDirectory, ignored);
  }
}

void ReaderSession::prepareThrowAwaySettings() {
  // Emulated readers live for one run only: their keys and serials go to a private directory of this run.
  std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-cli-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a settings directory in " +
                             std::filesystem::temp_directory_path().string());
  }
  settingsDirectory = pattern;
  throwAway = true;
}

void ReaderSession::prepareKeptSettings(const std::string& directory) {
  // The files the store writes are as private as the driver's.
  ::umask(0077);
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot create " + directory + ", where the readers' link keys are kept (" +
                             std::strerror(errno) + "); run kelvo-cli as the driver's user, for example " +
                             "sudo -u kelvo kelvo-cli ...");
  }
  struct stat status {};
  if (::lstat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    throw std::runtime_error(directory + " is not a directory; the readers' link keys cannot be kept there");
  }
  if (status.st_uid != ::geteuid()) {
    const passwd* owner = ::getpwuid(status.st_uid);
    const std::string name = owner != nullptr ? owner->pw_name : std::to_string(status.st_uid);
    throw std::runtime_error("the readers' link keys are kept in " + directory + ", which belongs to " + name +
                             ": run kelvo-cli as that user (sudo -u " + name +
                             " kelvo-cli ...), so that the reader keeps the key kelvo-driver holds");
  }
  if ((status.st_mode & 077) != 0) {
    throw std::runtime_error(directory + " is open to other users; the readers' link keys are not kept there (" +
                             "chmod 0700 it)");
  }
  settingsDirectory = directory;
  throwAway = false;
}

std::vector<std::shared_ptr<trevalon::Device>> ReaderSession::devices() {
  std::map<std::string, std::shared_ptr<trevalon::Device>> byAddress;
  for (const std::shared_ptr<trevalon::Device>& device : provider->getProvided()) {
    if (device) byAddress[device->getAddress()] = device;
  }
  std::vector<std::shared_ptr<trevalon::Device>> found;
  for (auto& entry : byAddress) found.push_back(entry.second);
  return found;
}

std::shared_ptr<trevalon::Device> ReaderSession::find(const std::string& address) {
  for (const std::shared_ptr<trevalon::Device>& device : devices()) {
    if (device->getAddress() == address) return device;
  }
  return nullptr;
}

std::shared_ptr<trevalon::ble::BLEReaderNative> ReaderSession::nativeOf(const std::string& address) {
  for (const std::shared_ptr<trevalon::ble::BLEReaderNative>& native : backend->natives()->getProvided()) {
    if (native && native->getAddress() == address) return native;
  }
  return nullptr;
}

bool ReaderSession::waitAvailable(const std::shared_ptr<trevalon::Device>& device, std::chrono::milliseconds limit) {
  auto watch = std::make_shared<AvailabilityWatch>(device->isAvailable(), device->isConnected());
  device->addObserver(watch);
  bool available = watch->ready();
  if (!available) {
    std::shared_ptr<trevalon::ble::BLEReaderNative> native = nativeOf(device->getAddress());
    if (native) native->connect();
    available = watch->waitFor(limit);
  }
  device->removeObserver(watch);
  if (available) {
    // A reader's coming into reach is told to its stack under the reader's named lock (the in-process device
    // requests take it too): once it is ours, that news has been told whole, the card's state included.
    TREVALON_NAMED_LOCK(settled, device->getAddress());
  }
  return available;
}

}  // namespace kelvo::cli
