// SPDX-License-Identifier: Apache-2.0
// The campaign's judge must call a wrong answer wrong and a right one right, also when a read overlaps a write
// whose answer was lost: otherwise the campaign's counts prove nothing.

#include <gtest/gtest.h>

#include <map>

#include "AnswerJudge.h"
#include "CampaignScenario.h"
#include "RequestMix.h"

namespace kelvo::campaign {
namespace {

using Kind = CampaignRequest::Kind;
using Outcome = DriverExchange::Outcome;

class AnswerJudgeTest : public ::testing::Test {
 protected:
  AnswerJudgeTest() {
    for (const auto& reader : scenario.readers()) {
      truths.push_back(std::make_unique<ReaderTruth>(reader, CampaignScenario::labelOf(reader)));
    }
  }

  static CampaignRequest request(Kind kind, std::vector<uint8_t> bytes) {
    CampaignRequest made;
    made.kind = kind;
    made.bytes = std::move(bytes);
    return made;
  }
  static CampaignRequest setSetting(uint8_t id, uint8_t value) {
    CampaignRequest made = request(Kind::setSetting, {3, id, value});
    made.settingId = id;
    made.value = {value};
    return made;
  }
  static DriverExchange answered(std::vector<uint8_t> bytes) {
    DriverExchange exchange;
    exchange.outcome = Outcome::answered;
    exchange.answer = std::move(bytes);
    return exchange;
  }
  // The first reader's GetSettings answer with the settings given replaced.
  std::vector<uint8_t> settingsAnswer(const std::map<uint8_t, uint8_t>& replaced) {
    std::vector<uint8_t> answer = truths[0]->oracle().answer({8});
    for (size_t at = 1; at + 1 < answer.size(); at += 2) {
      if (replaced.count(answer[at]) != 0) answer[at + 1] = replaced.at(answer[at]);
    }
    answer.insert(answer.begin(), 0);  // the driver's status
    return answer;
  }
  Verdict::Kind judged(const CampaignRequest& sent, const DriverExchange& exchange) {
    return judge.judge(sent, judge.prepare(sent), exchange).kind;
  }

  CampaignScenario scenario;
  std::vector<std::unique_ptr<ReaderTruth>> truths;
  AnswerJudge judge{truths, "1.0"};
};

TEST_F(AnswerJudgeTest, FixedAnswersAreComparedWithTheReadersOwn) {
  std::vector<uint8_t> descriptor = truths[0]->oracle().answer({1});
  descriptor[0] = 0;  // the driver's status in place of the reader's
  std::vector<uint8_t> tampered = descriptor;
  tampered.back() ^= 1;
  struct Case {
    CampaignRequest sent;
    DriverExchange exchange;
    Verdict::Kind expected;
  };
  const std::vector<Case> cases = {
      {request(Kind::descriptor, {1}), answered(descriptor), Verdict::Kind::correct},
      {request(Kind::descriptor, {1}), answered(tampered), Verdict::Kind::wrong},
      {request(Kind::descriptor, {1}), answered({1}), Verdict::Kind::failed},
      {request(Kind::batteryLevel, {5, 5}), answered({0, 0, 81}), Verdict::Kind::correct},
      {request(Kind::batteryLevel, {5, 5}), answered({0, 0, 62}), Verdict::Kind::wrong},
      {request(Kind::batteryLevel, {5, 5}), answered({0, 0x81}), Verdict::Kind::failed},
      {request(Kind::batteryLevel, {5, 5}), answered({0}), Verdict::Kind::wrong},
      {request(Kind::smartCard, {5, 2, 5, 0}), answered({6}), Verdict::Kind::correct},
      {request(Kind::smartCard, {5, 2, 5, 0}), answered({0, 0, 0x90, 0}), Verdict::Kind::wrong},
      {request(Kind::indicate, {6, 1, 0, 0}), answered({0, 7}), Verdict::Kind::wrong},
      {request(Kind::driverVersion, {16}), answered({0, '1', '.', '0'}), Verdict::Kind::correct},
      {request(Kind::driverVersion, {16}), answered({0, '0'}), Verdict::Kind::wrong},
      {request(Kind::descriptor, {1}), DriverExchange{Outcome::timedOut, {}, 0, {}}, Verdict::Kind::unanswered},
      {request(Kind::descriptor, {1}), DriverExchange{Outcome::notConnected, {}, 2, {}}, Verdict::Kind::failed},
      {request(Kind::descriptor, {1}), DriverExchange{Outcome::closedEmpty, {}, 0, {}}, Verdict::Kind::failed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(judged(c.sent, c.exchange), c.expected) << CampaignRequest::nameOf(c.sent.kind);
  }
}

TEST_F(AnswerJudgeTest, ReadsAcceptWhatAnUnfinishedWriteMayHaveLeftAndNothingElse) {
  const CampaignRequest read = request(Kind::readSettings, {5, 8});
  EXPECT_EQ(judged(read, answered(settingsAnswer({{9, 0}}))), Verdict::Kind::correct);
  EXPECT_EQ(judged(read, answered(settingsAnswer({{9, 42}}))), Verdict::Kind::wrong);

  // A write whose answer is lost: the reader may hold the old value or the new one, until a write succeeds.
  EXPECT_EQ(judged(setSetting(9, 42), answered({1})), Verdict::Kind::failed);
  EXPECT_EQ(judged(read, answered(settingsAnswer({{9, 42}}))), Verdict::Kind::correct);
  EXPECT_EQ(judged(read, answered(settingsAnswer({{9, 0}}))), Verdict::Kind::correct);
  EXPECT_EQ(judged(setSetting(9, 43), answered({0})), Verdict::Kind::correct);
  EXPECT_EQ(judged(read, answered(settingsAnswer({{9, 42}}))), Verdict::Kind::wrong);
  EXPECT_EQ(judged(read, answered(settingsAnswer({{9, 43}}))), Verdict::Kind::correct);
  EXPECT_EQ(judged(read, answered(settingsAnswer({{9, 43}, {10, 43}}))), Verdict::Kind::wrong)
      << "another thread's setting, never written";

  // A read that began before a write succeeded may still show the value before it.
  const AnswerJudge::Pending early = judge.prepare(read);
  EXPECT_EQ(judged(setSetting(9, 44), answered({0})), Verdict::Kind::correct);
  EXPECT_EQ(judge.judge(read, early, answered(settingsAnswer({{9, 43}}))).kind, Verdict::Kind::correct);
  EXPECT_EQ(judged(read, answered(settingsAnswer({{9, 43}}))), Verdict::Kind::wrong);
}

TEST_F(AnswerJudgeTest, SettingsAnswerMustListEverySettingOnce) {
  std::vector<uint8_t> missing = settingsAnswer({{9, 0}});
  missing.resize(missing.size() - 2);
  std::vector<uint8_t> twice = settingsAnswer({{9, 0}});
  twice.push_back(twice[2]);
  twice.push_back(twice[3]);
  const CampaignRequest read = request(Kind::readSettings, {5, 8});
  EXPECT_EQ(judged(read, answered(missing)), Verdict::Kind::wrong);
  EXPECT_EQ(judged(read, answered(twice)), Verdict::Kind::wrong);
}

TEST(RequestMixTest, ThreadsWriteOnlyWhatTheyOwnAndRepeatFromTheirSeed) {
  RequestMix first(11, 1, 4, 4);
  RequestMix again(11, 1, 4, 4);
  for (int i = 0; i < 2000; ++i) {
    const CampaignRequest drawn = first.next();
    EXPECT_EQ(drawn.bytes, again.next().bytes);
    if (drawn.kind == Kind::setSetting) {
      EXPECT_EQ(drawn.settingId, RequestMix::ownedSetting(1));
    }
    if (drawn.kind == Kind::setRanges) {
      EXPECT_EQ(drawn.reader % 4, 1u);
    }
  }
}

}  // namespace
}  // namespace kelvo::campaign
