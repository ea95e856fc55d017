#include "devices/InProcessReaders.h"

#include <exception>

#include "kelvo/simulator/ReaderBackend.h"

InProcessReaders::InProcessReaders() = default;

InProcessReaders::~InProcessReaders() {
  if (backend) backend->stop();
  provider.reset();
  backend.reset();
}

bool InProcessReaders::start() {
  try {
    backend = kelvo::simulator::ReaderBackend::fromEnvironment();
  } catch (const std::exception& error) {
    failureText = QString::fromLocal8Bit(error.what());
    return false;
  }
  if (!backend) {
    failureText = QStringLiteral("no radio");
    return false;
  }
  provider = trevalon::Reader::createDeviceProvider();
  provider->setMaster(backend->natives());
  backend->start(kPollPeriodMs);
  return true;
}

std::vector<std::shared_ptr<trevalon::Device>> InProcessReaders::devices() const {
  std::vector<std::shared_ptr<trevalon::Device>> found;
  if (!provider) return found;
  for (const std::shared_ptr<trevalon::Device>& device : provider->getProvided()) {
    if (device) found.push_back(device);
  }
  return found;
}
