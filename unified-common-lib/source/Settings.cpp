// SPDX-License-Identifier: Apache-2.0
#include "trevalon/local/Settings.h"

#include <algorithm>
#include <mutex>

#include "trevalon/EncryptorAES.h"
#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/local/Facade.h"

namespace trevalon::local {
namespace {

// Built once, from the machine key, on the first private access after a machine is known.
std::shared_ptr<Encryptor> settingsEncryptor() {
  static std::mutex lock;
  static std::shared_ptr<Encryptor> encryptor;
  std::lock_guard<std::mutex> guard(lock);
  if (!encryptor) {
    std::shared_ptr<Machine> machine = Facade::instance().getMachine();
    if (!machine) {
      TREVALON_LOG(error, "No machine is set; private settings are not available");
      return nullptr;
    }
    const MachineKey key = machine->key();
    encryptor = std::make_shared<EncryptorAES>(std::vector<uint8_t>(key.begin(), key.end()));
  }
  return encryptor;
}

std::shared_ptr<Settings> facadeSettings() {
  std::shared_ptr<Settings> settings = Facade::instance().getSettings();
  if (!settings) {
    TREVALON_LOG(error, "No settings store is set");
  }
  return settings;
}

}  // namespace

std::string settingStorageName(const std::string& name, bool isPrivate) { return isPrivate ? name + "_private" : name; }

std::string readTextSetting(const std::string& name, const std::string& defaultText, bool isPrivate) {
  TREVALON_TRACE();
  std::shared_ptr<Settings> settings = facadeSettings();
  if (!settings) {
    return defaultText;
  }
  std::shared_ptr<std::vector<uint8_t>> stored = settings->get_raw(settingStorageName(name, isPrivate));
  if (!stored) {
    return defaultText;
  }
  std::vector<uint8_t> bytes = *stored;
  if (isPrivate) {
    std::shared_ptr<Encryptor> encryptor = settingsEncryptor();
    if (!encryptor) {
      return defaultText;
    }
    std::optional<std::vector<uint8_t>> plain = encryptor->decrypt(bytes);
    if (!plain) {
      TREVALON_LOG(warning, "private setting %s could not be decrypted", name.c_str());
      return defaultText;
    }
    bytes = std::move(*plain);
  }
  return std::string(bytes.begin(), bytes.end());
}

bool writeTextSetting(const std::string& name, const std::string& text, bool isPrivate) {
  TREVALON_TRACE();
  std::shared_ptr<Settings> settings = facadeSettings();
  if (!settings) {
    return false;
  }
  const size_t kept = std::min(text.size(), kMaxTextSettingSize);
  std::vector<uint8_t> bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(kept));
  if (isPrivate) {
    std::shared_ptr<Encryptor> encryptor = settingsEncryptor();
    if (!encryptor) {
      return false;
    }
    bytes = encryptor->encrypt(bytes);
    if (bytes.empty()) {
      return false;
    }
  }
  return settings->set_raw(settingStorageName(name, isPrivate), bytes);
}

}  // namespace trevalon::local
