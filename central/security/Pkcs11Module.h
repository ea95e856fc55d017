// SPDX-License-Identifier: Apache-2.0
#pragma once
// A PKCS#11 module loaded for one piece of work: dlopen, C_GetFunctionList, C_Initialize and the slot list, then
// C_Finalize (only when this object initialised it) and dlclose when the object goes. Nothing is kept between uses,
// so a card-middleware update or a restarted pcscd is picked up by the next request.
//
// A module is process-wide state (one C_Initialize per process), so only one Pkcs11Module exists at a time in the
// process: the constructor waits for the one before it to go. The device manager's requests and the lock task's
// search for the logon reader run in different threads and would otherwise finalise each other's module.

#include <p11-kit/pkcs11.h>

#include <QString>
#include <mutex>
#include <vector>

class Pkcs11Module {
 public:
  // The module's file name (found on the normal library path) or a path.
  explicit Pkcs11Module(const QString& moduleName);
  ~Pkcs11Module();
  Pkcs11Module(const Pkcs11Module&) = delete;
  Pkcs11Module& operator=(const Pkcs11Module&) = delete;

  // Loads and initialises the module and reads the slot list; on failure error() holds the reason.
  bool open();
  QString error() const { return lastError; }

  CK_FUNCTION_LIST* functions() const { return list; }
  const std::vector<CK_SLOT_ID>& slotList() const { return slotIds; }

  struct SlotInfo {
    QString description;
    bool tokenPresent = false;
  };
  // C_GetSlotInfo; on failure error() holds the reason.
  bool slotInfo(CK_SLOT_ID slot, SlotInfo& info);
  // The token's label (C_GetTokenInfo), trailing blanks removed; empty when there is no token or it cannot be read.
  QString tokenLabel(CK_SLOT_ID slot);

  // A return value as the messages write it: lower-case hexadecimal without leading zeros.
  static QString hex(CK_RV value);
  // A blank-padded PKCS#11 text field without its padding.
  static QString paddedText(const unsigned char* text, size_t size);

 private:
  bool fail(const QString& message);
  bool loadFunctionList();
  bool initialize();
  bool readSlotList();

  static std::mutex& processLock();

  std::unique_lock<std::mutex> hold;
  QString name;
  void* handle = nullptr;
  CK_FUNCTION_LIST* list = nullptr;
  bool initialized = false;
  std::vector<CK_SLOT_ID> slotIds;
  QString lastError;
};
