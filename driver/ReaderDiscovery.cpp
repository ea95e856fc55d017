// SPDX-License-Identifier: Apache-2.0
#include "ReaderDiscovery.h"

#include "trevalon/ble/ReaderServiceUuids.h"

namespace kelvo::driver {

trevalon::ble::Backend::Options ReaderDiscovery::backendOptions() {
  trevalon::ble::Backend::Options options;
  options.services = trevalon::ble::allReaderServices();
  options.bringUpLinks = true;
  return options;
}

ReaderDiscovery::ReaderDiscovery(std::unique_ptr<trevalon::ble::Backend> backend, std::chrono::milliseconds pollPeriod)
    : backend(std::move(backend)), pollPeriod(pollPeriod) {
  provider = trevalon::Reader::createDeviceProvider();
  provider->setMaster(this->backend->natives());
}

ReaderDiscovery::~ReaderDiscovery() {
  stop();
  provider.reset();
  backend.reset();
}

void ReaderDiscovery::start() { backend->start(pollPeriod); }

void ReaderDiscovery::stop() { backend->stop(); }

void ReaderDiscovery::poll() { backend->poll(); }

}  // namespace kelvo::driver
