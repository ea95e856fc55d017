// SPDX-License-Identifier: Apache-2.0
#pragma once
// The process-wide place where the program puts its settings store and machine object at start-up.

#include <memory>
#include <mutex>

#include "trevalon/local/Machine.h"
#include "trevalon/local/Settings.h"

namespace trevalon::local {

class Facade {
 public:
  static Facade& instance();

  void setSettings(std::shared_ptr<Settings> settings);
  std::shared_ptr<Settings> getSettings() const;
  void setMachine(std::shared_ptr<Machine> machine);
  std::shared_ptr<Machine> getMachine() const;

 private:
  Facade() = default;
  mutable std::mutex lock;
  std::shared_ptr<Settings> settings;
  std::shared_ptr<Machine> machine;
};

}  // namespace trevalon::local
