// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "trevalon/common/Translator.h"

using trevalon::common::createTranslator;
using trevalon::common::Observee;
using trevalon::common::Shareable;
using trevalon::common::Translator;

namespace {

// A two-layer toy stack: a Wire (bottom) carries bytes; a Line above it turns them into text lines.
class WireObserver : public virtual Shareable {
 public:
  virtual void onReceived(int byte) = 0;
};
class Wire : public Observee<WireObserver> {
 public:
  using Observer = WireObserver;
  virtual int send(int byte) = 0;
};
class LineObserver : public virtual Shareable {
 public:
  virtual void onLine(const std::string& text) = 0;
};
class Line : public Observee<LineObserver> {
 public:
  using Observer = LineObserver;
  virtual int write(const std::string& text) = 0;
};

class LoopWire : public Wire {
 public:
  int send(int byte) override {
    sent.push_back(byte);
    notifyObservers(&WireObserver::onReceived, byte);
    return 1;
  }
  std::vector<int> sent;
};

class LineWireTranslator : public Translator<Line, Wire> {
 public:
  int write(const std::string& text) override {
    std::shared_ptr<Wire> wire = getMaster();
    if (!wire) return 0;
    int total = 0;
    for (char c : text) total += wire->send(c);
    return total;
  }
  void onReceived(int byte) override {
    notifyObservers(&LineObserver::onLine, std::string(1, static_cast<char>(byte)));
  }
};

class LineRecorder : public LineObserver {
 public:
  void onLine(const std::string& text) override { received += text; }
  std::string received;
};

TEST(Translator, FactoryBuildsAStackThatPassesCallsDownAndEventsUp) {
  auto wire = std::make_shared<LoopWire>();
  std::shared_ptr<Line> line = createTranslator<LineWireTranslator>(std::shared_ptr<Wire>(wire));
  ASSERT_TRUE(line);
  auto recorder = std::make_shared<LineRecorder>();
  line->addObserver(recorder);
  EXPECT_EQ(line->write("ok"), 2);
  EXPECT_EQ(wire->sent, (std::vector<int>{'o', 'k'}));
  EXPECT_EQ(recorder->received, "ok");
}

TEST(Translator, FactoryOfAnEmptyLowerIsEmpty) {
  EXPECT_FALSE(createTranslator<LineWireTranslator>(std::shared_ptr<Wire>()));
}

TEST(Translator, TheStackIsOwnedDownwardsOnly) {
  auto wire = std::make_shared<LoopWire>();
  std::weak_ptr<Wire> weakWire = wire;
  std::shared_ptr<Line> line = createTranslator<LineWireTranslator>(std::shared_ptr<Wire>(wire));
  std::weak_ptr<Line> weakLine = line;
  wire.reset();
  EXPECT_FALSE(weakWire.expired()) << "the translator keeps its lower alive";
  line.reset();
  EXPECT_TRUE(weakLine.expired()) << "the lower must not keep its upper alive";
  EXPECT_TRUE(weakWire.expired()) << "releasing the top releases the stack";
}

TEST(Translator, SetMasterRegistersOnceAndMovesBetweenLowers) {
  auto first = std::make_shared<LoopWire>();
  auto second = std::make_shared<LoopWire>();
  auto translator = std::make_shared<LineWireTranslator>();
  translator->setMaster(first);
  translator->setMaster(first);
  EXPECT_EQ(first->observerCount(), 1u);
  translator->setMaster(second);
  EXPECT_EQ(first->observerCount(), 0u);
  EXPECT_EQ(second->observerCount(), 1u);
  EXPECT_EQ(translator->getMaster(), second);
  translator->setMaster(nullptr);
  EXPECT_EQ(second->observerCount(), 0u);
  EXPECT_FALSE(translator->getMaster());
  EXPECT_EQ(translator->write("x"), 0);
}

TEST(Translator, ADestroyedTranslatorIsSkippedByItsLower) {
  auto wire = std::make_shared<LoopWire>();
  { std::shared_ptr<Line> line = createTranslator<LineWireTranslator>(std::shared_ptr<Wire>(wire)); }
  EXPECT_EQ(wire->send('z'), 1);
}

}  // namespace
