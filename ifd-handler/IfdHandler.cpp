// SPDX-License-Identifier: Apache-2.0
// The entry points pcscd finds in libkelvo-ifd.so: the IFD handler interface of pcsc-lite, one Lun per reader.
//
// pcscd is a C program running these on several threads; no exception may leave them, and nothing else of the
// module is exported (it is built with hidden visibility).

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#pragma GCC visibility push(default)
extern "C" {
#include <ifdhandler.h>
#include <reader.h>
}
#pragma GCC visibility pop

#include "IfdLog.h"
#include "IfdReader.h"

#define KELVO_IFD_EXPORT extern "C" __attribute__((visibility("default")))

using kelvo::ifd::IfdReader;
using kelvo::ifd::logFailure;

namespace {

// One handler serves at most pcscd's own limit of readers; a generous figure keeps it from being the limit.
constexpr unsigned char kSimultaneousReaders = 64;

std::mutex& readersMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<DWORD, std::shared_ptr<IfdReader>>& readers() {
  static std::map<DWORD, std::shared_ptr<IfdReader>> byLun;
  return byLun;
}

// The reader stays alive for a call in progress even when its channel is closed meanwhile.
std::shared_ptr<IfdReader> readerFor(DWORD lun) {
  const std::lock_guard<std::mutex> lock(readersMutex());
  const auto found = readers().find(lun);
  if (found != readers().end()) return found->second;
  logFailure("no channel open for Lun " + std::to_string(lun));
  return nullptr;
}

// Runs an entry point's body; an exception (in practice an allocation failing) becomes an error code.
template <typename Body>
RESPONSECODE guarded(const char* entryPoint, Body body) {
  try {
    return body();
  } catch (const std::exception& error) {
    logFailure(std::string(entryPoint) + ": " + error.what());
  } catch (...) {
    logFailure(std::string(entryPoint) + ": an unexpected failure");
  }
  return IFD_COMMUNICATION_ERROR;
}

RESPONSECODE pollForChange(DWORD lun, int timeoutMs) {
  return guarded("polling", [&] {
    const auto reader = readerFor(lun);
    return reader ? reader->waitForChange(timeoutMs) : IFD_COMMUNICATION_ERROR;
  });
}

RESPONSECODE stopPolling(DWORD lun) {
  return guarded("stop polling", [&] {
    const auto reader = readerFor(lun);
    if (reader) reader->stopWaiting();
    return reader ? IFD_SUCCESS : IFD_COMMUNICATION_ERROR;
  });
}

RESPONSECODE putByte(PDWORD length, PUCHAR value, unsigned char byte) {
  if (*length < 1) return IFD_ERROR_INSUFFICIENT_BUFFER;
  *length = 1;
  value[0] = byte;
  return IFD_SUCCESS;
}

template <typename Function>
RESPONSECODE putFunction(PDWORD length, PUCHAR value, Function function) {
  if (*length < sizeof(function)) return IFD_ERROR_INSUFFICIENT_BUFFER;
  *length = sizeof(function);
  std::memcpy(value, &function, sizeof(function));
  return IFD_SUCCESS;
}

RESPONSECODE putBytes(PDWORD length, PUCHAR value, const void* bytes, DWORD size) {
  if (*length < size) return IFD_ERROR_INSUFFICIENT_BUFFER;
  *length = size;
  std::memcpy(value, bytes, size);
  return IFD_SUCCESS;
}

RESPONSECODE capability(IfdReader& reader, DWORD tag, PDWORD length, PUCHAR value) {
  using PollFunction = RESPONSECODE (*)(DWORD, int);
  using StopFunction = RESPONSECODE (*)(DWORD);
  switch (tag) {
    case TAG_IFD_ATR:
    case SCARD_ATTR_ATR_STRING:
      return reader.copyAtr(value, length);
    // One slot per reader; readers may be used at once, the slot's calls come one at a time from pcscd.
    case TAG_IFD_SLOTS_NUMBER:
    case TAG_IFD_THREAD_SAFE:
      return putByte(length, value, 1);
    case TAG_IFD_SIMULTANEOUS_ACCESS:
      return putByte(length, value, kSimultaneousReaders);
    // The polling thread is stopped through the stop function, never killed.
    case TAG_IFD_SLOT_THREAD_SAFE:
    case TAG_IFD_POLLING_THREAD_KILLABLE:
      return putByte(length, value, 0);
    case TAG_IFD_POLLING_THREAD_WITH_TIMEOUT:
      return putFunction<PollFunction>(length, value, &pollForChange);
    case TAG_IFD_STOP_POLLING_THREAD:
      return putFunction<StopFunction>(length, value, &stopPolling);
    case SCARD_ATTR_ICC_PRESENCE: {
      // 0 no card, 2 a card in place (1 would be a card at the slot's mouth, which these readers cannot tell).
      const RESPONSECODE presence = reader.presence();
      if (presence != IFD_ICC_PRESENT && presence != IFD_ICC_NOT_PRESENT) return presence;
      return putByte(length, value, presence == IFD_ICC_PRESENT ? 2 : 0);
    }
    case SCARD_ATTR_VENDOR_NAME: {
      static const char kVendor[] = "Trevalon";
      return putBytes(length, value, kVendor, sizeof(kVendor));
    }
    case SCARD_ATTR_VENDOR_IFD_VERSION: {
      const DWORD version = (KELVO_IFD_VERSION_MAJOR << 24) | (KELVO_IFD_VERSION_MINOR << 16) | KELVO_IFD_VERSION_PATCH;
      return putBytes(length, value, &version, sizeof(version));
    }
    default:
      return IFD_ERROR_TAG;
  }
}

}  // namespace

KELVO_IFD_EXPORT RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
  return guarded("create channel", [&]() -> RESPONSECODE {
    if (DeviceName == nullptr || DeviceName[0] == '\0') {
      logFailure("create channel: no device name");
      return IFD_NO_SUCH_DEVICE;
    }
    {
      const std::lock_guard<std::mutex> lock(readersMutex());
      if (readers().count(Lun) != 0) {
        logFailure("create channel: Lun " + std::to_string(Lun) + " is already open");
        return IFD_COMMUNICATION_ERROR;
      }
    }
    auto reader = std::make_shared<IfdReader>(DeviceName);
    const RESPONSECODE opened = reader->open();
    if (opened != IFD_SUCCESS) return opened;
    const std::lock_guard<std::mutex> lock(readersMutex());
    if (!readers().emplace(Lun, std::move(reader)).second) return IFD_COMMUNICATION_ERROR;
    return IFD_SUCCESS;
  });
}

KELVO_IFD_EXPORT RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel) {
  // The card socket's path is all the handler needs, and only DEVICENAME carries one.
  logFailure("create channel: a reader needs DEVICENAME, the path of its card socket");
  return IFD_NOT_SUPPORTED;
}

KELVO_IFD_EXPORT RESPONSECODE IFDHCloseChannel(DWORD Lun) {
  return guarded("close channel", [&]() -> RESPONSECODE {
    std::shared_ptr<IfdReader> reader;
    {
      const std::lock_guard<std::mutex> lock(readersMutex());
      const auto found = readers().find(Lun);
      if (found == readers().end()) return IFD_SUCCESS;
      reader = std::move(found->second);
      readers().erase(found);
    }
    reader->stopWaiting();
    return IFD_SUCCESS;
  });
}

KELVO_IFD_EXPORT RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
  return guarded("get capabilities", [&]() -> RESPONSECODE {
    if (Length == nullptr || (Value == nullptr && *Length > 0)) return IFD_COMMUNICATION_ERROR;
    const auto reader = readerFor(Lun);
    if (!reader) return IFD_COMMUNICATION_ERROR;
    return capability(*reader, Tag, Length, Value);
  });
}

KELVO_IFD_EXPORT RESPONSECODE IFDHSetCapabilities(DWORD Lun, DWORD Tag, DWORD Length, PUCHAR Value) {
  return IFD_NOT_SUPPORTED;
}

KELVO_IFD_EXPORT RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR Flags, UCHAR PTS1, UCHAR PTS2,
                                                        UCHAR PTS3) {
  return guarded("set protocol", [&]() -> RESPONSECODE {
    const auto reader = readerFor(Lun);
    return reader ? reader->selectProtocol(Protocol) : IFD_COMMUNICATION_ERROR;
  });
}

KELVO_IFD_EXPORT RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
  return guarded("power", [&]() -> RESPONSECODE {
    const auto reader = readerFor(Lun);
    if (!reader) return IFD_COMMUNICATION_ERROR;
    DWORD ignoredLength = 0;
    PDWORD length = AtrLength != nullptr ? AtrLength : &ignoredLength;
    switch (Action) {
      case IFD_POWER_UP:
        return reader->powerUp(Atr, length);
      case IFD_RESET:
        return reader->reset(Atr, length);
      case IFD_POWER_DOWN:
        *length = 0;
        return reader->powerDown();
      default:
        logFailure("power: action " + std::to_string(Action) + " is not supported");
        return IFD_NOT_SUPPORTED;
    }
  });
}

KELVO_IFD_EXPORT RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER SendPci, PUCHAR TxBuffer, DWORD TxLength,
                                                PUCHAR RxBuffer, PDWORD RxLength, PSCARD_IO_HEADER RecvPci) {
  return guarded("transmit", [&]() -> RESPONSECODE {
    if (RxLength == nullptr) return IFD_COMMUNICATION_ERROR;
    const auto reader = readerFor(Lun);
    if (!reader) {
      *RxLength = 0;
      return IFD_COMMUNICATION_ERROR;
    }
    const RESPONSECODE result = reader->transmit(TxBuffer, TxLength, RxBuffer, RxLength);
    if (RecvPci != nullptr) RecvPci->Protocol = SendPci.Protocol;
    return result;
  });
}

KELVO_IFD_EXPORT RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer, DWORD TxLength,
                                          PUCHAR RxBuffer, DWORD RxLength, LPDWORD pdwBytesReturned) {
  if (pdwBytesReturned != nullptr) *pdwBytesReturned = 0;
  // No PIN pad and no other reader features: the list of features is empty.
  if (dwControlCode == CM_IOCTL_GET_FEATURE_REQUEST) return IFD_SUCCESS;
  return IFD_ERROR_NOT_SUPPORTED;
}

KELVO_IFD_EXPORT RESPONSECODE IFDHICCPresence(DWORD Lun) {
  return guarded("presence", [&]() -> RESPONSECODE {
    const auto reader = readerFor(Lun);
    return reader ? reader->presence() : IFD_COMMUNICATION_ERROR;
  });
}
