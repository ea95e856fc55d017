// SPDX-License-Identifier: Apache-2.0
#include "security/CertificateAuthorizer.h"

#include <gtest/gtest.h>

#include <QStringList>

#include "ScriptedPkcs11.h"

namespace {

const QString kAddress = QStringLiteral("001A7DDA7113");
const QString kUser = QStringLiteral("Erika Mustermann");

class CertificateAuthorizerTest : public ::testing::Test {
 protected:
  bool authorize(const QString& user = kUser, const QString& address = kAddress) {
    CertificateAuthorizer authorizer(
        kelvo::test::ScriptedPkcs11::modulePath(), [this](const QString& error) { errors.append(error); },
        [this](const QString& message) { messages.append(message); });
    return authorizer.authorizeViaReader(address, user);
  }
  void addReader(const std::string& address, const std::string& holder) {
    module.add("slot=Kelvo " + address + " 00 00");
    module.add("label=" + holder);
    module.add("certificate=" + module.certificateFor(holder));
  }

  kelvo::test::ScriptedPkcs11 module;
  QStringList errors;
  QStringList messages;
};

TEST_F(CertificateAuthorizerTest, TheUsersCertificateInTheReadersSlotAuthorisesIt) {
  addReader("5e0a1c000001", "Max Mustermann");
  addReader("001a7dda7113", "Erika Mustermann");
  EXPECT_TRUE(authorize());
  EXPECT_TRUE(messages.contains("Authorized via the reader: Kelvo 001a7dda7113 00 00"))
      << messages.join('\n').toStdString();
  EXPECT_TRUE(errors.isEmpty());
  // Only the reader's own slot is opened, and everything opened is closed again.
  EXPECT_EQ(module.callsStartingWith("C_OpenSession"), QStringList{"C_OpenSession 2 4"});
  EXPECT_EQ(module.callsStartingWith("C_CloseSession").size(), 1);
  EXPECT_EQ(module.callsStartingWith("C_Finalize").size(), 1);
}

TEST_F(CertificateAuthorizerTest, AnotherPersonsCardOrTheUsersCardInAnotherReaderDoesNot) {
  addReader("001a7dda7113", "Max Mustermann");
  addReader("5e0a1c000001", "Erika Mustermann");
  EXPECT_FALSE(authorize());
  EXPECT_FALSE(authorize(kUser, QStringLiteral("")));
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(CertificateAuthorizerTest, AnUnreadableCertificateIsPassedOverForTheNext) {
  module.add("slot=Kelvo 001a7dda7113 00 00");
  module.add("label=Erika Mustermann");
  module.add("certificate=unreadable");
  module.add("certificate=" + module.certificateFor("Erika Mustermann"));
  EXPECT_TRUE(authorize());
  EXPECT_TRUE(messages.contains("Failed C_GetAttributeValue with error 00000030")) << messages.join('\n').toStdString();
}

TEST_F(CertificateAuthorizerTest, NamesCompareExactlyAsUnicodeText) {
  addReader("001a7dda7113", "Jürgen Müller");
  EXPECT_TRUE(authorize(QString::fromUtf8("Jürgen Müller")));
  EXPECT_FALSE(authorize(QString::fromUtf8("jürgen müller")));
  EXPECT_FALSE(authorize(QString::fromUtf8("Jürgen")));
}

TEST_F(CertificateAuthorizerTest, SlotsWithoutTokenAreNotOpened) {
  module.add("slot=Kelvo 001a7dda7113 00 00");
  EXPECT_FALSE(authorize());
  EXPECT_TRUE(module.callsStartingWith("C_OpenSession").isEmpty());
}

TEST_F(CertificateAuthorizerTest, FailuresAreReportedAndLeaveTheReaderUnauthorised) {
  addReader("001a7dda7113", "Erika Mustermann");
  module.add("C_OpenSession=e0");
  EXPECT_FALSE(authorize());
  EXPECT_EQ(messages, QStringList{"Failed C_OpenSession with error 000000e0"});

  messages.clear();
  module.add("C_OpenSession=0");
  module.add("C_FindObjectsInit=54");
  EXPECT_FALSE(authorize());
  EXPECT_EQ(messages, QStringList{"Failed C_FindObjectsInit with error 00000054"});

  module.add("C_Initialize=5");
  EXPECT_FALSE(authorize());
  EXPECT_EQ(errors, QStringList{"C_Initialize failed 0x5"});
}

TEST(CertificateSubject, CommonNamesOfGarbageAreNone) {
  EXPECT_TRUE(CertificateAuthorizer::subjectCommonNames(QByteArray("\x30\x03\x02\x01", 4)).isEmpty());
  EXPECT_TRUE(CertificateAuthorizer::subjectCommonNames(QByteArray()).isEmpty());
}

}  // namespace
