// SPDX-License-Identifier: Apache-2.0
#pragma once
// The observer registry of a layer. Observers are held weakly: a released observer is skipped, never an error.
// Observers are called without the registry lock held, so they may add or remove observers from inside.

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "trevalon/common/Log.h"
#include "trevalon/common/Shareable.h"

namespace trevalon::common {

template <typename Obs>
class Observee : public virtual Shareable {
 public:
  virtual void addObserver(std::shared_ptr<Obs> observer) {
    if (!observer) return;
    {
      std::lock_guard<std::mutex> guard(observersLock);
      observers.insert(std::weak_ptr<Obs>(observer));
    }
    observerAdded.notify_all();
  }

  virtual void removeObserver(std::shared_ptr<Obs> observer) {
    if (!observer) return;
    std::lock_guard<std::mutex> guard(observersLock);
    observers.erase(std::weak_ptr<Obs>(observer));
  }

  ~Observee() override = default;

  size_t observerCount() const {
    std::lock_guard<std::mutex> guard(observersLock);
    return observers.size();
  }

 protected:
  // Calls the member on every live observer, in registration-set order. Exceptions reach the caller.
  template <typename Member, typename... Args>
  void notifyObservers(Member member, Args&&... args) {
    for (const std::shared_ptr<Obs>& observer : liveObservers()) {
      ((*observer).*member)(args...);
    }
  }

  // Asks the observers in turn; the first one that answers gives the result. An observer refuses by throwing.
  template <typename Member, typename... Args>
  auto callObserver(Member member, Args&&... args) -> decltype((std::declval<Obs&>().*member)(args...)) {
    for (const std::shared_ptr<Obs>& observer : liveObservers()) {
      try {
        return ((*observer).*member)(args...);
      } catch (const std::exception& refusal) {
        TREVALON_LOG(warning, "observer refused call: %s", refusal.what());
      }
    }
    TREVALON_LOG(info, "throw std::exception()");
    throw std::exception();
  }

 private:
  std::vector<std::shared_ptr<Obs>> liveObservers() const {
    std::vector<std::shared_ptr<Obs>> live;
    std::lock_guard<std::mutex> guard(observersLock);
    for (const std::weak_ptr<Obs>& entry : observers) {
      if (std::shared_ptr<Obs> observer = entry.lock()) {
        live.push_back(std::move(observer));
      }
    }
    return live;
  }

  // Ordered by control block, so one object is registered at most once.
  std::set<std::weak_ptr<Obs>, std::owner_less<std::weak_ptr<Obs>>> observers;
  mutable std::mutex observersLock;
  std::condition_variable observerAdded;
};

}  // namespace trevalon::common
