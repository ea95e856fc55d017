// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <stdexcept>

#include "LogCapture.h"
#include "trevalon/common/Observee.h"

using trevalon::common::Observee;
using trevalon::common::Shareable;

namespace {

class EventObserver : public virtual Shareable {
 public:
  virtual void onEvent(int value) = 0;
  virtual int answer(int question) = 0;
};

class Recorder : public EventObserver {
 public:
  explicit Recorder(int reply = 0, bool refuse = false) : reply(reply), refuse(refuse) {}
  void onEvent(int value) override { seen.push_back(value); }
  int answer(int question) override {
    ++asked;
    if (refuse) throw std::runtime_error("not mine");
    return reply + question;
  }
  std::vector<int> seen;
  int asked = 0;
  int reply;
  bool refuse;
};

class Subject : public Observee<EventObserver> {
 public:
  void emit(int value) { notifyObservers(&EventObserver::onEvent, value); }
  int ask(int question) { return callObserver(&EventObserver::answer, question); }
};

TEST(Observee, AnObserverIsRegisteredOnceAndRemovedByOneRemove) {
  auto subject = std::make_shared<Subject>();
  auto observer = std::make_shared<Recorder>();
  subject->addObserver(observer);
  subject->addObserver(observer);
  subject->emit(1);
  EXPECT_EQ(observer->seen, std::vector<int>{1});
  subject->removeObserver(observer);
  subject->emit(2);
  EXPECT_EQ(observer->seen, std::vector<int>{1});
  subject->addObserver(nullptr);
  subject->removeObserver(nullptr);
  EXPECT_EQ(subject->observerCount(), 0u);
}

TEST(Observee, AReleasedObserverIsSkipped) {
  auto subject = std::make_shared<Subject>();
  auto kept = std::make_shared<Recorder>();
  auto released = std::make_shared<Recorder>();
  subject->addObserver(released);
  subject->addObserver(kept);
  released.reset();
  subject->emit(5);
  EXPECT_EQ(kept->seen, std::vector<int>{5});
}

TEST(Observee, ObserversMayChangeTheRegistryDuringANotification) {
  auto subject = std::make_shared<Subject>();
  struct SelfRemover : Recorder {
    std::weak_ptr<Subject> subject;
    void onEvent(int value) override {
      Recorder::onEvent(value);
      subject.lock()->removeObserver(std::dynamic_pointer_cast<EventObserver>(shared_from_this()));
    }
  };
  auto remover = std::make_shared<SelfRemover>();
  remover->subject = subject;
  subject->addObserver(remover);
  subject->emit(1);
  subject->emit(2);
  EXPECT_EQ(remover->seen, std::vector<int>{1});
}

TEST(Observee, CallObserverSkipsARefusingObserverAndTakesTheNextAnswer) {
  kelvo::test::LogCapture capture;
  auto subject = std::make_shared<Subject>();
  auto a = std::make_shared<Recorder>(100);
  auto b = std::make_shared<Recorder>(100);
  // The registry walks in object order: make whichever comes first the one that refuses.
  const bool aFirst = std::owner_less<std::shared_ptr<Recorder>>()(a, b);
  Recorder& refusing = aFirst ? *a : *b;
  Recorder& answering = aFirst ? *b : *a;
  refusing.refuse = true;
  subject->addObserver(a);
  subject->addObserver(b);
  EXPECT_EQ(subject->ask(5), 105);
  EXPECT_EQ(refusing.asked, 1);
  EXPECT_EQ(answering.asked, 1);
  EXPECT_EQ(capture.countAt("Warning", "observer refused call: not mine @ Observee.h:"), 1u);
  EXPECT_EQ(capture.count("throw std::exception()"), 0u);
}

TEST(Observee, CallObserverWithoutAnAnswerThrows) {
  kelvo::test::LogCapture capture;
  auto subject = std::make_shared<Subject>();
  EXPECT_THROW(subject->ask(1), std::exception);
  EXPECT_TRUE(capture.containsAt("Info", "throw std::exception() @ Observee.h:"));

  auto refusing = std::make_shared<Recorder>(0, true);
  subject->addObserver(refusing);
  capture.clear();
  EXPECT_THROW(subject->ask(1), std::exception);
  EXPECT_EQ(capture.count("observer refused call: not mine"), 1u);
  EXPECT_EQ(capture.count("throw std::exception()"), 1u);
}

TEST(Observee, ExceptionsOfNotifiedObserversReachTheNotifier) {
  struct Thrower : Recorder {
    void onEvent(int) override { throw std::runtime_error("boom"); }
  };
  auto subject = std::make_shared<Subject>();
  subject->addObserver(std::make_shared<Thrower>());
  auto keep = std::dynamic_pointer_cast<EventObserver>(std::make_shared<Thrower>());
  subject->addObserver(keep);
  EXPECT_THROW(subject->emit(1), std::runtime_error);
}

}  // namespace
