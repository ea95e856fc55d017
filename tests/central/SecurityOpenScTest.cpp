// SPDX-License-Identifier: Apache-2.0
// The application's PIN change, unblock and certificate authorisation against OpenSC's PKCS#11 module, with the
// emulated PIV cards of tests/integration/scenarios/pcsc-readers.json reached through a private pcscd and
// kelvo-driver. Runs inside scripts/with-pcscd, which provides pcscd, the driver and the control FIFO.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "security/CertificateAuthorizer.h"
#include "security/OpenScConfiguration.h"
#include "security/PinSetter.h"

namespace {

using Outcome = PinSetter::Outcome;

const QString kModule = QStringLiteral("opensc-pkcs11.so");
const QString kKelvo = QStringLiteral("001A7DDA7113");
const QString kPentaloq = QStringLiteral("5E0A1C000001");
const QString kPin = QStringLiteral("123456");
const QString kPuk = QStringLiteral("12345678");

// The emulated card's own account of its PIN: "pin <PIN> tries <N> ... blocked yes|no".
std::string pivState(const char* address) {
  const char* fifo = std::getenv("KELVO_SIM_CONTROL");
  if (fifo == nullptr) return std::string();
  const std::string command =
      std::string(KELVO_SOURCE_DIR) + "/scripts/demo-control " + fifo + " piv-state " + address + " 2>&1";
  std::string answer;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) answer += buffer.data();
    ::pclose(pipe);
  }
  return answer;
}

class SecurityOpenScTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { OpenScConfiguration::apply(QStringLiteral(KELVO_CENTRAL_BINARY_DIR)); }

  PinSetter setter() {
    return PinSetter(kModule, [this](const QString& error) { errors.append(error); });
  }
  bool authorize(const QString& address, const QString& user) {
    CertificateAuthorizer authorizer(
        kModule, [this](const QString& error) { errors.append(error); },
        [this](const QString& message) { messages.append(message); });
    return authorizer.authorizeViaReader(address, user);
  }

  QStringList errors;
  QStringList messages;
};

TEST_F(SecurityOpenScTest, TheHoldersCardAuthorisesItsReaderAndNoOther) {
  EXPECT_TRUE(authorize(kKelvo, QStringLiteral("Erika Mustermann")));
  EXPECT_TRUE(messages.filter(QStringLiteral("Authorized via the reader: Kelvo 001a7dda7113")).size() == 1)
      << messages.join('\n').toStdString();
  EXPECT_TRUE(authorize(kPentaloq, QStringLiteral("Max Mustermann")));
  EXPECT_FALSE(authorize(kKelvo, QStringLiteral("Max Mustermann")));
  EXPECT_FALSE(authorize(kPentaloq, QStringLiteral("Erika Mustermann")));
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// One story, in order: the card's PIN changes, a wrong PIN is refused, the PIN blocks, the PUK unblocks it.
TEST_F(SecurityOpenScTest, ChangeRefuseBlockAndUnblockReachTheCard) {
  ASSERT_EQ(setter().change(kKelvo, kPin, QStringLiteral("24681357")), Outcome::kSuccess)
      << errors.join('\n').toStdString();
  EXPECT_NE(pivState("001a7dda7113").find("pin 24681357 "), std::string::npos) << pivState("001a7dda7113");
  // The new PIN logs in: changing it back needs it.
  ASSERT_EQ(setter().change(kKelvo, QStringLiteral("24681357"), kPin), Outcome::kSuccess);

  EXPECT_EQ(setter().change(kKelvo, QStringLiteral("999999"), QStringLiteral("24681357")), Outcome::kIncorrect);
  EXPECT_NE(pivState("001a7dda7113").find("tries 2 "), std::string::npos) << pivState("001a7dda7113");

  Outcome outcome = Outcome::kIncorrect;
  for (int attempt = 0; attempt < 3 && outcome == Outcome::kIncorrect; ++attempt) {
    outcome = setter().change(kKelvo, QStringLiteral("999999"), QStringLiteral("24681357"));
  }
  EXPECT_EQ(outcome, Outcome::kBlocked);
  EXPECT_EQ(setter().change(kKelvo, kPin, QStringLiteral("24681357")), Outcome::kBlocked);

  EXPECT_EQ(setter().unblock(kKelvo, QStringLiteral("87654321"), kPin), Outcome::kFailed);
  EXPECT_TRUE(errors.filter(QStringLiteral("C_SetPIN failed 0x")).size() == 1) << errors.join('\n').toStdString();
  ASSERT_EQ(setter().unblock(kKelvo, kPuk, QStringLiteral("13572468")), Outcome::kSuccess)
      << errors.join('\n').toStdString();
  EXPECT_NE(pivState("001a7dda7113").find("tries 3 pin 13572468 "), std::string::npos) << pivState("001a7dda7113");
  EXPECT_EQ(setter().change(kKelvo, QStringLiteral("13572468"), kPin), Outcome::kSuccess);
}

TEST_F(SecurityOpenScTest, ANewPinTheCardRefusesIsInvalid) {
  // The PIV application takes 6 to 8 digits.
  EXPECT_EQ(setter().change(kKelvo, kPin, QStringLiteral("12")), Outcome::kInvalid) << errors.join('\n').toStdString();
}

}  // namespace
