// SPDX-License-Identifier: Apache-2.0
#pragma once
// The provider translator: a link of the discovery chain that turns each item of the provider below into an
// item of its own kind, once per item however often the item is reported. Note the argument order of the
// specialisation: the lower provider comes first.

#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "trevalon/common/Log.h"
#include "trevalon/common/Provider.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/common/Translator.h"

namespace trevalon::common {

// How items are told apart: shared-pointer items by object address, other items by value (types without an
// order specialise this).
template <typename T>
struct ProviderKey {
  using Type = T;
  static const T& of(const T& item) { return item; }
};

template <typename U>
struct ProviderKey<std::shared_ptr<U>> {
  using Type = const void*;
  static const void* of(const std::shared_ptr<U>& item) { return item.get(); }
};

template <typename T>
bool isEmptyProviderItem(const T&) {
  return false;
}
template <typename U>
bool isEmptyProviderItem(const std::shared_ptr<U>& item) {
  return !item;
}
inline bool isEmptyProviderItem(const std::string& item) { return item.empty(); }

template <typename From, typename To>
class Translator<trevalon::Provider<From>, trevalon::Provider<To>> : public trevalon::Provider<To>,
                                                                     public Master<trevalon::Provider<From>> {
 public:
  using UpperInterface = trevalon::Provider<To>;
  using LowerInterface = trevalon::Provider<From>;

  ~Translator() override = default;

  virtual std::list<To> getProvided() {
    std::lock_guard<std::mutex> guard(itemsLock);
    std::list<To> provided;
    for (const auto& entry : items) {
      provided.push_back(entry.second.translated);
    }
    return provided;
  }

  virtual To translate(const From& item) = 0;

  void onFound(const From& item) override {
    TREVALON_TRACE();
    std::lock_guard<std::mutex> guard(itemsLock);
    const auto key = ProviderKey<From>::of(item);
    if (items.count(key) != 0) {
      return;
    }
    To translated = translate(item);
    // An item that cannot be translated is not remembered, so a later report of it is tried again.
    if (isEmptyProviderItem(translated)) {
      TREVALON_LOG(info, "found item could not be translated; ignored");
      return;
    }
    items.emplace(key, Entry{item, translated});
    this->notifyObservers(&trevalon::ProviderObserver<To>::onFound, translated);
  }

  void onLost(const From& item) override {
    TREVALON_TRACE();
    std::lock_guard<std::mutex> guard(itemsLock);
    auto entry = items.find(ProviderKey<From>::of(item));
    if (entry == items.end()) {
      return;
    }
    const To translated = entry->second.translated;
    // Erase first: an observer that throws must not leave a lost item behind as present.
    items.erase(entry);
    this->notifyObservers(&trevalon::ProviderObserver<To>::onLost, translated);
  }

 private:
  struct Entry {
    From item;
    To translated;
  };
  std::map<typename ProviderKey<From>::Type, Entry> items;
  std::mutex itemsLock;
};

}  // namespace trevalon::common
