// SPDX-License-Identifier: Apache-2.0
#include "trevalon/local/Facade.h"

namespace trevalon::local {

Facade& Facade::instance() {
  // Never destroyed: library threads may still reach it while the process exits.
  static Facade* facade = new Facade();
  return *facade;
}

void Facade::setSettings(std::shared_ptr<Settings> value) {
  std::lock_guard<std::mutex> guard(lock);
  settings = std::move(value);
}

std::shared_ptr<Settings> Facade::getSettings() const {
  std::lock_guard<std::mutex> guard(lock);
  return settings;
}

void Facade::setMachine(std::shared_ptr<Machine> value) {
  std::lock_guard<std::mutex> guard(lock);
  machine = std::move(value);
}

std::shared_ptr<Machine> Facade::getMachine() const {
  std::lock_guard<std::mutex> guard(lock);
  return machine;
}

}  // namespace trevalon::local
