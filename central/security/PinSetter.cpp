// SPDX-License-Identifier: Apache-2.0
#include "security/PinSetter.h"

#include <openssl/crypto.h>

#include <utility>
#include <vector>

#include "security/Pkcs11Module.h"

namespace {

// A secret as the module takes it (UTF-8 bytes, their count as the length), wiped when it goes.
class SecretBuffer {
 public:
  explicit SecretBuffer(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    bytes.assign(utf8.begin(), utf8.end());
    OPENSSL_cleanse(utf8.data(), static_cast<size_t>(utf8.size()));
  }
  ~SecretBuffer() {
    if (!bytes.empty()) OPENSSL_cleanse(bytes.data(), bytes.size());
  }
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  CK_UTF8CHAR* data() { return bytes.empty() ? nullptr : bytes.data(); }
  CK_ULONG size() const { return static_cast<CK_ULONG>(bytes.size()); }

 private:
  std::vector<CK_UTF8CHAR> bytes;
};

class Session {
 public:
  Session(CK_FUNCTION_LIST* functions, CK_SESSION_HANDLE handle) : functions(functions), handle(handle) {}
  ~Session() { functions->C_CloseSession(handle); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

 private:
  CK_FUNCTION_LIST* functions;
  CK_SESSION_HANDLE handle;
};

bool isIncorrectPin(CK_RV result) { return result >= CKR_PIN_INCORRECT && result <= CKR_PIN_EXPIRED; }

}  // namespace

PinSetter::PinSetter(QString moduleName, MessageSink errorSink)
    : moduleName(std::move(moduleName)), errorSink(std::move(errorSink)) {}

PinSetter::Outcome PinSetter::change(const QString& identifier, const QString& currentPin, const QString& newPin) {
  return run(identifier, currentPin, newPin, true);
}

PinSetter::Outcome PinSetter::unblock(const QString& identifier, const QString& puk, const QString& newPin) {
  return run(identifier, puk, newPin, false);
}

PinSetter::Outcome PinSetter::fail(const QString& message) {
  errorSink(message);
  return Outcome::kFailed;
}

PinSetter::Outcome PinSetter::run(const QString& identifier, const QString& oldSecret, const QString& newPin,
                                  bool loginFirst) {
  Pkcs11Module module(moduleName);
  if (!module.open()) return fail(module.error());
  CK_SLOT_ID slot = 0;
  if (!findSlot(module, identifier, slot)) return Outcome::kFailed;

  CK_FUNCTION_LIST* functions = module.functions();
  CK_SESSION_HANDLE handle = 0;
  const CK_RV opened = functions->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &handle);
  if (opened != CKR_OK) return fail(QStringLiteral("C_OpenSession failed 0x%1").arg(Pkcs11Module::hex(opened)));
  const Session session(functions, handle);

  SecretBuffer old(oldSecret);
  SecretBuffer fresh(newPin);
  if (loginFirst) {
    const CK_RV login = functions->C_Login(handle, CKU_USER, old.data(), old.size());
    if (login == CKR_PIN_LOCKED) return Outcome::kBlocked;
    if (isIncorrectPin(login)) return Outcome::kIncorrect;
    if (login != CKR_OK) return fail(QStringLiteral("C_Login failed 0x%1").arg(Pkcs11Module::hex(login)));
  }
  const CK_RV set = functions->C_SetPIN(handle, old.data(), old.size(), fresh.data(), fresh.size());
  if (set == CKR_OK) return Outcome::kSuccess;
  if (set == CKR_PIN_INVALID || set == CKR_PIN_LEN_RANGE) return Outcome::kInvalid;
  return fail(QStringLiteral("C_SetPIN failed 0x%1").arg(Pkcs11Module::hex(set)));
}

// The first slot in the module's order whose description holds the identifier; a slot that cannot be read is
// reported and passed over.
bool PinSetter::findSlot(Pkcs11Module& module, const QString& identifier, CK_SLOT_ID& slot) {
  if (identifier.isEmpty()) return false;
  for (const CK_SLOT_ID candidate : module.slotList()) {
    Pkcs11Module::SlotInfo info;
    if (!module.slotInfo(candidate, info)) {
      errorSink(module.error());
      continue;
    }
    if (info.description.contains(identifier, Qt::CaseInsensitive)) {
      slot = candidate;
      return true;
    }
  }
  return false;
}
