// SPDX-License-Identifier: Apache-2.0
// A PKCS#11 module for tests, built as a loadable module: what it answers comes from a script file, what it was
// asked goes to a call log, so tests can reach every failure path of the application's PKCS#11 use and check the
// exact calls it made.
//
// Script ($KELVO_P11_SCRIPT), one entry per line:
//   slot=DESCRIPTION          a slot without token; the next lines may give it one
//   label=LABEL               the last slot holds a token with this label
//   certificate=PATH          a DER certificate object on the last slot's token ("unreadable": one that fails)
//   CALL=HEX                  the return value of CALL (C_GetFunctionList, C_Initialize, C_GetSlotList,
//                             C_GetSlotList2 for the second call, C_GetSlotInfo for the first slot only,
//                             C_OpenSession, C_Login, C_SetPIN, C_FindObjectsInit); C_GetFunctionList=null hands
//                             out no list
// Call log ($KELVO_P11_CALLS): one line per call, with its arguments (secrets as given: this is a test module).

#include <p11-kit/pkcs11.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Slot {
  std::string description;
  std::string label;
  bool token = false;
  std::vector<std::string> certificates;
};

struct Script {
  std::vector<Slot> slots;
  std::map<std::string, std::string> answers;
  CK_SLOT_ID sessionSlot = 0;
  size_t slotListCalls = 0;
  size_t foundCursor = 0;
};

Script script;
CK_FUNCTION_LIST functionList;

void logCall(const std::string& line) {
  const char* path = std::getenv("KELVO_P11_CALLS");
  if (path != nullptr) std::ofstream(path, std::ios::app) << line << "\n";
}

void readScript() {
  script = Script();
  const char* path = std::getenv("KELVO_P11_SCRIPT");
  if (path == nullptr) return;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "slot") {
      script.slots.push_back(Slot{value, "", false, {}});
    } else if (key == "label" && !script.slots.empty()) {
      script.slots.back().label = value;
      script.slots.back().token = true;
    } else if (key == "certificate" && !script.slots.empty()) {
      script.slots.back().certificates.push_back(value);
    } else {
      script.answers[key] = value;
    }
  }
}

CK_RV answer(const std::string& call) {
  const auto found = script.answers.find(call);
  return found == script.answers.end() ? CKR_OK : std::strtoul(found->second.c_str(), nullptr, 16);
}

// PKCS#11 text fields are blank-padded, not NUL-terminated.
void pad(unsigned char* field, size_t size, const std::string& text) {
  for (size_t index = 0; index < size; ++index) {
    field[index] = index < text.size() ? static_cast<unsigned char>(text[index]) : ' ';
  }
}

std::string text(const CK_UTF8CHAR* data, CK_ULONG length) {
  return data == nullptr ? std::string("(null)") : std::string(reinterpret_cast<const char*>(data), length);
}

const Slot* slotOf(CK_SLOT_ID id) { return id >= 1 && id <= script.slots.size() ? &script.slots[id - 1] : nullptr; }

CK_RV initialize(void*) {
  logCall("C_Initialize");
  return answer("C_Initialize");
}

CK_RV finalize(void*) {
  logCall("C_Finalize");
  return CKR_OK;
}

CK_RV getSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID* list, CK_ULONG* count) {
  ++script.slotListCalls;
  logCall(std::string("C_GetSlotList ") + (tokenPresent ? "present" : "all") + (list ? " list" : " NULL"));
  const CK_RV result = answer(script.slotListCalls == 1 ? "C_GetSlotList" : "C_GetSlotList2");
  if (result != CKR_OK) return result;
  if (list != nullptr) {
    if (*count < script.slots.size()) return CKR_BUFFER_TOO_SMALL;
    for (size_t index = 0; index < script.slots.size(); ++index) list[index] = index + 1;
  }
  *count = script.slots.size();
  return CKR_OK;
}

CK_RV getSlotInfo(CK_SLOT_ID id, CK_SLOT_INFO* info) {
  logCall("C_GetSlotInfo " + std::to_string(id));
  if (id == 1 && answer("C_GetSlotInfo") != CKR_OK) return answer("C_GetSlotInfo");
  const Slot* slot = slotOf(id);
  if (slot == nullptr) return CKR_SLOT_ID_INVALID;
  std::memset(info, 0, sizeof(*info));
  pad(info->slotDescription, sizeof(info->slotDescription), slot->description);
  pad(info->manufacturerID, sizeof(info->manufacturerID), "tests");
  info->flags = CKF_REMOVABLE_DEVICE | CKF_HW_SLOT | (slot->token ? CKF_TOKEN_PRESENT : 0);
  return CKR_OK;
}

CK_RV getTokenInfo(CK_SLOT_ID id, CK_TOKEN_INFO* info) {
  logCall("C_GetTokenInfo " + std::to_string(id));
  const Slot* slot = slotOf(id);
  if (slot == nullptr) return CKR_SLOT_ID_INVALID;
  if (!slot->token) return CKR_TOKEN_NOT_PRESENT;
  std::memset(info, 0, sizeof(*info));
  pad(info->label, sizeof(info->label), slot->label);
  return CKR_OK;
}

CK_RV openSession(CK_SLOT_ID id, CK_FLAGS flags, void*, CK_NOTIFY, CK_SESSION_HANDLE* session) {
  logCall("C_OpenSession " + std::to_string(id) + " " + std::to_string(flags));
  const CK_RV result = answer("C_OpenSession");
  if (result != CKR_OK) return result;
  if (slotOf(id) == nullptr) return CKR_SLOT_ID_INVALID;
  script.sessionSlot = id;
  *session = 100 + id;
  return CKR_OK;
}

CK_RV closeSession(CK_SESSION_HANDLE session) {
  logCall("C_CloseSession " + std::to_string(session));
  return CKR_OK;
}

CK_RV login(CK_SESSION_HANDLE, CK_USER_TYPE user, CK_UTF8CHAR* pin, CK_ULONG length) {
  logCall("C_Login " + std::to_string(user) + " " + text(pin, length));
  return answer("C_Login");
}

CK_RV logout(CK_SESSION_HANDLE) {
  logCall("C_Logout");
  return CKR_OK;
}

CK_RV setPin(CK_SESSION_HANDLE, CK_UTF8CHAR* oldPin, CK_ULONG oldLength, CK_UTF8CHAR* newPin, CK_ULONG newLength) {
  logCall("C_SetPIN " + text(oldPin, oldLength) + " " + text(newPin, newLength));
  return answer("C_SetPIN");
}

CK_RV findObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE* filter, CK_ULONG count) {
  const bool certificates = count == 1 && filter[0].type == CKA_CLASS &&
                            filter[0].ulValueLen == sizeof(CK_OBJECT_CLASS) &&
                            *static_cast<CK_OBJECT_CLASS*>(filter[0].pValue) == CKO_CERTIFICATE;
  logCall(std::string("C_FindObjectsInit ") + (certificates ? "certificates" : "other"));
  script.foundCursor = 0;
  return answer("C_FindObjectsInit");
}

// Object handles are the certificate's index on the session's token, plus one.
CK_RV findObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE* objects, CK_ULONG most, CK_ULONG* count) {
  const Slot* slot = slotOf(script.sessionSlot);
  *count = 0;
  while (slot != nullptr && script.foundCursor < slot->certificates.size() && *count < most) {
    objects[(*count)++] = ++script.foundCursor;
  }
  return CKR_OK;
}

CK_RV findObjectsFinal(CK_SESSION_HANDLE) {
  logCall("C_FindObjectsFinal");
  return CKR_OK;
}

CK_RV getAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE object, CK_ATTRIBUTE* attributes, CK_ULONG count) {
  logCall("C_GetAttributeValue " + std::to_string(object));
  const Slot* slot = slotOf(script.sessionSlot);
  if (slot == nullptr || object < 1 || object > slot->certificates.size()) return CKR_OBJECT_HANDLE_INVALID;
  const std::string& path = slot->certificates[object - 1];
  if (path == "unreadable") return CKR_DEVICE_ERROR;
  std::ifstream in(path, std::ios::binary);
  const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (CK_ULONG index = 0; index < count; ++index) {
    if (attributes[index].type != CKA_VALUE) return CKR_ATTRIBUTE_TYPE_INVALID;
    if (attributes[index].pValue != nullptr) {
      if (attributes[index].ulValueLen < der.size()) return CKR_BUFFER_TOO_SMALL;
      std::memcpy(attributes[index].pValue, der.data(), der.size());
    }
    attributes[index].ulValueLen = der.size();
  }
  return CKR_OK;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
  readScript();
  logCall("C_GetFunctionList");
  const auto found = script.answers.find("C_GetFunctionList");
  if (found != script.answers.end() && found->second == "null") {
    *list = nullptr;
    return CKR_OK;
  }
  const CK_RV result = answer("C_GetFunctionList");
  if (result != CKR_OK) return result;
  std::memset(&functionList, 0, sizeof(functionList));
  functionList.version = {2, 40};
  functionList.C_Initialize = initialize;
  functionList.C_Finalize = finalize;
  functionList.C_GetSlotList = getSlotList;
  functionList.C_GetSlotInfo = getSlotInfo;
  functionList.C_GetTokenInfo = getTokenInfo;
  functionList.C_OpenSession = openSession;
  functionList.C_CloseSession = closeSession;
  functionList.C_Login = login;
  functionList.C_Logout = logout;
  functionList.C_SetPIN = setPin;
  functionList.C_FindObjectsInit = findObjectsInit;
  functionList.C_FindObjects = findObjects;
  functionList.C_FindObjectsFinal = findObjectsFinal;
  functionList.C_GetAttributeValue = getAttributeValue;
  *list = &functionList;
  return CKR_OK;
}
