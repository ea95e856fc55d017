// SPDX-License-Identifier: Apache-2.0
#include "devices/InProcessReaders.h"

#include <exception>
#include <set>

#include "devices/DriverServedFilter.h"

#include "trevalon/ble/Backend.h"
#ifdef KELVO_WITH_SIMULATOR
#include "kelvo/simulator/scenario/ScenarioRadio.h"
#endif

void InProcessReaders::registerRadios() {
#ifdef KELVO_WITH_SIMULATOR
  kelvo::simulator::ScenarioRadio::registerAsSim();
#endif
}

InProcessReaders::InProcessReaders() = default;

namespace {

std::set<std::string> addressSet(const QSet<QString>& addresses) {
  std::set<std::string> keys;
  for (const QString& address : addresses) keys.insert(DriverServedFilter::addressKey(address.toStdString()));
  return keys;
}

}  // namespace

// The filter keeps the native readers it has seen, and the backend waits for those to go before it ends.
InProcessReaders::~InProcessReaders() {
  if (backend) backend->stop();
  provider.reset();
  filter.reset();
  backend.reset();
}

bool InProcessReaders::start(const QSet<QString>& driverAddresses) {
  registerRadios();
  try {
    backend = trevalon::ble::Backend::fromEnvironment();
  } catch (const std::exception& error) {
    failureText = QString::fromLocal8Bit(error.what());
    return false;
  }
  filter = std::make_shared<DriverServedFilter>();
  filter->setHeldBack(addressSet(driverAddresses));
  filter->setMaster(backend->natives());
  provider = trevalon::Reader::createDeviceProvider();
  provider->setMaster(filter);
  backend->start(std::chrono::milliseconds(kPollPeriodMs));
  return true;
}

void InProcessReaders::holdBack(const QSet<QString>& driverAddresses) {
  if (filter) filter->setHeldBack(addressSet(driverAddresses));
}

std::vector<std::shared_ptr<trevalon::Device>> InProcessReaders::devices() const {
  std::vector<std::shared_ptr<trevalon::Device>> found;
  if (!provider) return found;
  for (const std::shared_ptr<trevalon::Device>& device : provider->getProvided()) {
    if (device) found.push_back(device);
  }
  return found;
}
