// SPDX-License-Identifier: Apache-2.0
#include "security/Pkcs11Module.h"

#include <dlfcn.h>

Pkcs11Module::Pkcs11Module(const QString& moduleName) : hold(processLock()), name(moduleName) {}

Pkcs11Module::~Pkcs11Module() {
  // A module that was already initialised belongs to someone else in this process: it is left as it is.
  if (initialized) list->C_Finalize(nullptr);
  if (handle != nullptr) dlclose(handle);
}

std::mutex& Pkcs11Module::processLock() {
  static std::mutex lock;
  return lock;
}

bool Pkcs11Module::open() { return loadFunctionList() && initialize() && readSlotList(); }

bool Pkcs11Module::fail(const QString& message) {
  lastError = message;
  return false;
}

bool Pkcs11Module::loadFunctionList() {
  handle = dlopen(name.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return fail(QStringLiteral("Failed to load pkcs11 module"));
  auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(handle, "C_GetFunctionList"));
  if (getFunctionList == nullptr) return fail(QStringLiteral("Module has no C_GetFunctionList method"));
  const CK_RV result = getFunctionList(&list);
  if (result != CKR_OK) {
    list = nullptr;
    return fail(QStringLiteral("C_GetFunctionList failed 0x%1").arg(hex(result)));
  }
  if (list == nullptr) return fail(QStringLiteral("C_GetFunctionList returned NULL list"));
  return true;
}

bool Pkcs11Module::initialize() {
  const CK_RV result = list->C_Initialize(nullptr);
  if (result == CKR_OK) {
    initialized = true;
    return true;
  }
  if (result == CKR_CRYPTOKI_ALREADY_INITIALIZED) return true;
  return fail(QStringLiteral("C_Initialize failed 0x%1").arg(hex(result)));
}

bool Pkcs11Module::readSlotList() {
  CK_ULONG count = 0;
  CK_RV result = list->C_GetSlotList(CK_FALSE, nullptr, &count);
  if (result != CKR_OK) return fail(QStringLiteral("C_GetSlotList(NULL) failed 0x%1").arg(hex(result)));
  if (count == 0) return fail(QStringLiteral("C_GetSlotList(NULL) returned empty list"));
  slotIds.assign(count, 0);
  result = list->C_GetSlotList(CK_FALSE, slotIds.data(), &count);
  if (result != CKR_OK) {
    slotIds.clear();
    return fail(QStringLiteral("C_GetSlotList failed 0x%1").arg(hex(result)));
  }
  // A slot that went between the two calls shortens the list; one that came makes the module answer
  // CKR_BUFFER_TOO_SMALL above.
  slotIds.resize(count);
  return true;
}

bool Pkcs11Module::slotInfo(CK_SLOT_ID slot, SlotInfo& info) {
  CK_SLOT_INFO raw{};
  const CK_RV result = list->C_GetSlotInfo(slot, &raw);
  if (result != CKR_OK) return fail(QStringLiteral("C_GetSlotInfo failed 0x%1").arg(hex(result)));
  info.description = paddedText(raw.slotDescription, sizeof(raw.slotDescription));
  info.tokenPresent = (raw.flags & CKF_TOKEN_PRESENT) != 0;
  return true;
}

QString Pkcs11Module::tokenLabel(CK_SLOT_ID slot) {
  CK_TOKEN_INFO raw{};
  if (list->C_GetTokenInfo(slot, &raw) != CKR_OK) return QString();
  return paddedText(raw.label, sizeof(raw.label));
}

QString Pkcs11Module::hex(CK_RV value) { return QString::number(static_cast<qulonglong>(value), 16); }

// PKCS#11 pads with blanks; a module that ends the text with a NUL instead is read up to it.
QString Pkcs11Module::paddedText(const unsigned char* text, size_t size) {
  size_t length = 0;
  while (length < size && text[length] != '\0') ++length;
  while (length > 0 && text[length - 1] == ' ') --length;
  return QString::fromUtf8(reinterpret_cast<const char*>(text), static_cast<int>(length));
}
