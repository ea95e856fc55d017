// SPDX-License-Identifier: Apache-2.0
#include "AnswerJudge.h"

#include <cstdio>
#include <cstring>

namespace kelvo::campaign {
namespace {

using Kind = CampaignRequest::Kind;

constexpr uint8_t kStatusRefused = 6;
constexpr size_t kRecordSize = 44;
constexpr uint8_t kUnknownByte = 0xFF;
constexpr size_t kRangesSize = 28;

std::string hex(const std::vector<uint8_t>& bytes, size_t limit = 48) {
  std::string text;
  char digits[3];
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
    text += digits;
  }
  if (bytes.size() > limit) text += "...";
  return text;
}

std::string statusText(const char* name, uint8_t status) {
  return std::string(name) + ": status " + std::to_string(status);
}

// The RPC request's plain form: [method, payload...] behind the driver's code.
std::vector<uint8_t> rpcOf(const CampaignRequest& request) {
  return std::vector<uint8_t>(request.bytes.begin() + 1, request.bytes.end());
}

}  // namespace

AnswerJudge::AnswerJudge(std::vector<std::unique_ptr<ReaderTruth>>& truths, std::string driverVersion)
    : truths(truths), version(std::move(driverVersion)) {}

AnswerJudge::Pending AnswerJudge::prepare(const CampaignRequest& request) {
  ReaderTruth& truth = *truths.at(request.reader);
  Pending pending;
  switch (request.kind) {
    case Kind::setSetting:
      truth.setting(request.settingId).beginWrite(request.value);
      break;
    case Kind::setRanges:
      truth.ranges().beginWrite(request.value);
      break;
    case Kind::readSettings:
      pending.settings = truth.markSettings();
      break;
    case Kind::readRanges:
      pending.ranges = truth.ranges().mark();
      break;
    default:
      break;
  }
  return pending;
}

Verdict AnswerJudge::judge(const CampaignRequest& request, const Pending& pending, const DriverExchange& exchange) {
  const char* name = CampaignRequest::nameOf(request.kind);
  switch (exchange.outcome) {
    case DriverExchange::Outcome::notConnected:
      return Verdict::failed(std::string(name) + ": not connected (" + std::strerror(exchange.error) + ")");
    case DriverExchange::Outcome::closedEmpty:
      return Verdict::failed(std::string(name) + ": closed without an answer");
    case DriverExchange::Outcome::timedOut:
      return Verdict::unanswered(std::string(name) + ": no answer after " + std::to_string(exchange.took.count()) +
                                 " ms");
    case DriverExchange::Outcome::answered:
      break;
  }
  const uint8_t status = exchange.answer.front();
  const std::vector<uint8_t> payload(exchange.answer.begin() + 1, exchange.answer.end());
  Verdict verdict = judgeAnswer(request, pending, status, payload);
  if (verdict.kind == Verdict::Kind::wrong) verdict.what = std::string(name) + ": " + verdict.what;
  return verdict;
}

Verdict AnswerJudge::judgeAnswer(const CampaignRequest& request, const Pending& pending, uint8_t status,
                                 const std::vector<uint8_t>& payload) {
  const char* name = CampaignRequest::nameOf(request.kind);
  ReaderTruth& truth = *truths.at(request.reader);
  if (request.kind == Kind::smartCard) {
    // The driver hands no card traffic to the reader: a refusal is the only right answer.
    if (status == kStatusRefused && payload.empty()) return Verdict::correct();
    if (status == 0) return Verdict::wrong("served although the driver refuses SCard: " + hex(payload));
    return Verdict::failed(statusText(name, status));
  }
  if (status != 0) return Verdict::failed(statusText(name, status));
  switch (request.kind) {
    case Kind::descriptor: {
      std::vector<uint8_t> expected = truth.oracle().answer({1});
      expected.erase(expected.begin());
      return sameAs(expected, payload);
    }
    case Kind::deviceState:
      return judgeRecord(truth, payload);
    case Kind::setSetting:
    case Kind::setRanges:
      return judgeWrite(request, payload);
    case Kind::indicate:
      return payload.empty() ? Verdict::correct() : Verdict::wrong("answer with a payload: " + hex(payload));
    case Kind::driverVersion:
      return sameAs(std::vector<uint8_t>(version.begin(), version.end()), payload);
    default:
      return judgeRpc(request, pending, payload);
  }
}

Verdict AnswerJudge::judgeWrite(const CampaignRequest& request, const std::vector<uint8_t>& payload) {
  if (!payload.empty()) return Verdict::wrong("a write answered with a payload: " + hex(payload));
  ReaderTruth& truth = *truths.at(request.reader);
  ValueHistory& history = request.kind == Kind::setSetting ? truth.setting(request.settingId) : truth.ranges();
  history.confirmWrite(request.value);
  return Verdict::correct();
}

Verdict AnswerJudge::judgeRpc(const CampaignRequest& request, const Pending& pending,
                              const std::vector<uint8_t>& payload) {
  ReaderTruth& truth = *truths.at(request.reader);
  if (payload.empty()) return Verdict::wrong("status 0 without the reader's status byte");
  // The reader's own failure, passed on: a clear status inside the answer.
  if (payload[0] != 0)
    return Verdict::failed(statusText(CampaignRequest::nameOf(request.kind), payload[0]) + " (reader)");
  switch (request.kind) {
    case Kind::readSettings:
      return judgeSettings(truth, pending, payload);
    case Kind::readRanges: {
      const std::vector<uint8_t> ranges(payload.begin() + 1, payload.end());
      if (ranges.size() == kRangesSize && truth.ranges().wasPossible(ranges, pending.ranges)) return Verdict::correct();
      return Verdict::wrong("ranges " + hex(ranges, 64) + " were never written, possible " +
                            truth.ranges().describe(pending.ranges));
    }
    default:
      return sameAs(truth.oracle().answer(rpcOf(request)), payload);
  }
}

Verdict AnswerJudge::judgeSettings(ReaderTruth& truth, const Pending& pending, const std::vector<uint8_t>& payload) {
  if (payload.size() % 2 != 1) return Verdict::wrong("settings of odd length: " + hex(payload));
  std::map<uint8_t, uint8_t> read;
  for (size_t at = 1; at + 1 < payload.size(); at += 2) {
    if (!read.emplace(payload[at], payload[at + 1]).second) return Verdict::wrong("setting id twice: " + hex(payload));
  }
  for (const auto& [id, since] : pending.settings) {
    auto found = read.find(id);
    const ValueHistory::Value value = found == read.end() ? ValueHistory::Value{} : ValueHistory::Value{found->second};
    if (!truth.setting(id).wasPossible(value, since)) {
      return Verdict::wrong("setting " + std::to_string(id) + " read " + hex(value) + ", possible " +
                            truth.setting(id).describe(since) + " in " + hex(payload));
    }
    read.erase(id);
  }
  if (!read.empty()) return Verdict::wrong("settings the reader does not have: " + hex(payload));
  return Verdict::correct();
}

// The driver's record is the library's cache of the reader: only fields the campaign never changes are checked,
// and a byte the cache does not know (0xFF) is not a claim.
Verdict AnswerJudge::judgeRecord(ReaderTruth& truth, const std::vector<uint8_t>& record) {
  if (record.size() != kRecordSize) return Verdict::wrong("record of " + std::to_string(record.size()) + " bytes");
  const simulator::KelvoReaderState& held = truth.initialState();
  if (record[2] != held.battery && record[2] != kUnknownByte) {
    return Verdict::wrong("battery " + std::to_string(record[2]) + ", the reader has " + std::to_string(held.battery));
  }
  if (record[6] != held.usb && record[6] != kUnknownByte) {
    return Verdict::wrong("USB cable " + std::to_string(record[6]) + ", the reader has " + std::to_string(held.usb));
  }
  return Verdict::correct();
}

Verdict AnswerJudge::sameAs(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& got) {
  if (expected == got) return Verdict::correct();
  return Verdict::wrong("got " + hex(got) + ", the reader holds " + hex(expected));
}

}  // namespace kelvo::campaign
