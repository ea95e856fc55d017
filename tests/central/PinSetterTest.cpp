// SPDX-License-Identifier: Apache-2.0
#include "security/PinSetter.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStringList>

#include "ScriptedPkcs11.h"
#include "devices/KelvoDeviceManager.h"

namespace {

using Outcome = PinSetter::Outcome;

const char kReader[] = "slot=Kelvo 001a7dda7113 00 00";
const char kOtherReader[] = "slot=Kelvo 5e0a1c000001 00 00";
const QString kIdentifier = QStringLiteral("001A7DDA7113");

class PinSetterTest : public ::testing::Test {
 protected:
  Outcome change(const QString& current = QStringLiteral("123456"), const QString& fresh = QStringLiteral("654321")) {
    return setter().change(kIdentifier, current, fresh);
  }
  Outcome unblock(const QString& puk = QStringLiteral("12345678"), const QString& fresh = QStringLiteral("654321")) {
    return setter().unblock(kIdentifier, puk, fresh);
  }
  PinSetter setter(const QString& module = kelvo::test::ScriptedPkcs11::modulePath()) {
    return PinSetter(module, [this](const QString& error) { errors.append(error); });
  }

  kelvo::test::ScriptedPkcs11 module;
  QStringList errors;
};

TEST_F(PinSetterTest, ChangeLogsInAndSetsThePinInTheReadersSlotThenCleansUp) {
  module.add(kOtherReader);
  module.add(kReader);
  EXPECT_EQ(change(), Outcome::kSuccess);
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_EQ(module.calls(),
            (QStringList{"C_GetFunctionList", "C_Initialize", "C_GetSlotList all NULL", "C_GetSlotList all list",
                         "C_GetSlotInfo 1", "C_GetSlotInfo 2", "C_OpenSession 2 6", "C_Login 1 123456",
                         "C_SetPIN 123456 654321", "C_CloseSession 102", "C_Finalize"}));
}

TEST_F(PinSetterTest, UnblockSetsThePinWithThePukWithoutLoggingIn) {
  module.add(kReader);
  EXPECT_EQ(unblock(), Outcome::kSuccess);
  EXPECT_TRUE(module.callsStartingWith("C_Login").isEmpty());
  EXPECT_EQ(module.callsStartingWith("C_SetPIN"), QStringList{"C_SetPIN 12345678 654321"});
  EXPECT_EQ(module.callsStartingWith("C_Finalize").size(), 1);
}

// The module's answers, and what each request makes of them.
struct AnswerCase {
  const char* name;
  std::vector<std::string> script;
  bool unblock;
  Outcome outcome;
  QString error;  // empty: no message
  bool setPinCalled;
};

class PinSetterAnswers : public PinSetterTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(PinSetterAnswers, EndInOneOutcomeAndAlwaysCleanUp) {
  const AnswerCase& given = GetParam();
  for (const std::string& line : given.script) module.add(line);
  EXPECT_EQ(given.unblock ? unblock() : change(), given.outcome);
  EXPECT_EQ(errors, given.error.isEmpty() ? QStringList() : QStringList{given.error});
  EXPECT_EQ(module.callsStartingWith("C_SetPIN").size(), given.setPinCalled ? 1 : 0);
  // Whatever was opened is closed: each session, and the module when this request initialised it.
  EXPECT_EQ(module.callsStartingWith("C_CloseSession").size(),
            module.callsStartingWith("C_OpenSession").size() - (given.error.startsWith("C_OpenSession") ? 1 : 0));
  const bool initialised =
      module.calls().contains("C_Initialize") && !given.error.startsWith("C_Initialize") &&
      std::find(given.script.begin(), given.script.end(), "C_Initialize=191") == given.script.end();
  EXPECT_EQ(module.callsStartingWith("C_Finalize").size(), initialised ? 1 : 0);
}

const std::string kSlot = kReader;

INSTANTIATE_TEST_SUITE_P(
    Cases, PinSetterAnswers,
    ::testing::Values(
        AnswerCase{
            "AlreadyInitialisedIsUsedAndNotFinalised", {"C_Initialize=191", kSlot}, false, Outcome::kSuccess, "", true},
        AnswerCase{
            "InitialiseFails", {"C_Initialize=5", kSlot}, false, Outcome::kFailed, "C_Initialize failed 0x5", false},
        AnswerCase{"FunctionListFails",
                   {"C_GetFunctionList=6", kSlot},
                   false,
                   Outcome::kFailed,
                   "C_GetFunctionList failed 0x6",
                   false},
        AnswerCase{"FunctionListNull",
                   {"C_GetFunctionList=null", kSlot},
                   false,
                   Outcome::kFailed,
                   "C_GetFunctionList returned NULL list",
                   false},
        AnswerCase{"SlotCountFails",
                   {"C_GetSlotList=30", kSlot},
                   false,
                   Outcome::kFailed,
                   "C_GetSlotList(NULL) failed 0x30",
                   false},
        AnswerCase{"NoSlots", {}, false, Outcome::kFailed, "C_GetSlotList(NULL) returned empty list", false},
        AnswerCase{"SlotListFails",
                   {"C_GetSlotList2=150", kSlot},
                   false,
                   Outcome::kFailed,
                   "C_GetSlotList failed 0x150",
                   false},
        AnswerCase{"NoSlotForTheReader", {kOtherReader}, false, Outcome::kFailed, "", false},
        AnswerCase{"UnreadableSlotIsReportedAndPassedOver",
                   {"C_GetSlotInfo=e0", kSlot, kSlot},
                   false,
                   Outcome::kSuccess,
                   "C_GetSlotInfo failed 0xe0",
                   true},
        AnswerCase{"OpenSessionFails",
                   {"C_OpenSession=e0", kSlot},
                   false,
                   Outcome::kFailed,
                   "C_OpenSession failed 0xe0",
                   false},
        AnswerCase{"LoginPinIncorrect", {"C_Login=a0", kSlot}, false, Outcome::kIncorrect, "", false},
        AnswerCase{"LoginPinInvalid", {"C_Login=a1", kSlot}, false, Outcome::kIncorrect, "", false},
        AnswerCase{"LoginPinLengthRange", {"C_Login=a2", kSlot}, false, Outcome::kIncorrect, "", false},
        AnswerCase{"LoginPinExpired", {"C_Login=a3", kSlot}, false, Outcome::kIncorrect, "", false},
        AnswerCase{"LoginPinLocked", {"C_Login=a4", kSlot}, false, Outcome::kBlocked, "", false},
        AnswerCase{"LoginOtherFailure", {"C_Login=30", kSlot}, false, Outcome::kFailed, "C_Login failed 0x30", false},
        AnswerCase{"NewPinInvalid", {"C_SetPIN=a1", kSlot}, false, Outcome::kInvalid, "", true},
        AnswerCase{"NewPinLengthRange", {"C_SetPIN=a2", kSlot}, false, Outcome::kInvalid, "", true},
        AnswerCase{"SetPinOtherFailure", {"C_SetPIN=a0", kSlot}, false, Outcome::kFailed, "C_SetPIN failed 0xa0", true},
        AnswerCase{
            "WrongPukFailsThroughSetPin", {"C_SetPIN=a0", kSlot}, true, Outcome::kFailed, "C_SetPIN failed 0xa0", true},
        AnswerCase{"UnblockLengthRange", {"C_SetPIN=a2", kSlot}, true, Outcome::kInvalid, "", true}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(PinSetterTest, ModulesThatCannotBeUsedAreNamed) {
  module.add(kReader);
  EXPECT_EQ(setter(QStringLiteral("/nonexistent/module.so")).change(kIdentifier, "1", "2"), Outcome::kFailed);
  EXPECT_EQ(setter(QStringLiteral("libm.so.6")).change(kIdentifier, "1", "2"), Outcome::kFailed);
  EXPECT_EQ(errors, (QStringList{"Failed to load pkcs11 module", "Module has no C_GetFunctionList method"}));
}

TEST_F(PinSetterTest, TheFirstMatchingSlotInTheModulesOrderIsUsedIgnoringCase) {
  module.add("slot=kelvo 001a7dda7113 01 00");
  module.add(kReader);
  EXPECT_EQ(change(), Outcome::kSuccess);
  EXPECT_EQ(module.callsStartingWith("C_OpenSession"), QStringList{"C_OpenSession 1 6"});
}

// The module gets the secret's bytes and their number, not the number of characters.
TEST_F(PinSetterTest, SecretsAreSentAsUtf8WithTheirByteLength) {
  module.add(kReader);
  EXPECT_EQ(change(QString::fromUtf8("ä1"), QString::fromUtf8("€2")), Outcome::kSuccess);
  EXPECT_EQ(module.callsStartingWith("C_SetPIN"), QStringList{QString::fromUtf8("C_SetPIN ä1 €2")});
}

TEST_F(PinSetterTest, ManagerAnswersARequestForAnUnknownReaderWithFailure) {
  KelvoDeviceManager manager(nullptr, false);
  QSignalSpy failed(&manager, &KelvoDeviceManager::pinSetFailed);
  QSignalSpy reported(&manager, &KelvoDeviceManager::errorOccurred);
  manager.pinChangeRequested(QStringLiteral("Kelvo 4711"), QStringLiteral("1"), QStringLiteral("2"));
  manager.pinUnblockRequested(QStringLiteral("Kelvo 4711"), QStringLiteral("1"), QStringLiteral("2"));
  EXPECT_EQ(failed.count(), 2);
  ASSERT_EQ(reported.count(), 2);
  EXPECT_EQ(reported.at(0).at(0).toString(), QStringLiteral("Device Kelvo 4711 not found"));
  EXPECT_TRUE(module.calls().isEmpty());
}

}  // namespace
