// SPDX-License-Identifier: Apache-2.0
#pragma once
// The built handler as pcscd sees it: loaded with dlopen, its entry points found by name, the polling functions
// found through its capabilities. Loaded once per test program and never unloaded.

#include <dlfcn.h>

#include <cstring>
#include <stdexcept>
#include <string>

extern "C" {
#include <ifdhandler.h>
#include <reader.h>
}

namespace kelvo::test {

class IfdModule {
 public:
  using CreateChannelByName = RESPONSECODE (*)(DWORD, LPSTR);
  using CreateChannel = RESPONSECODE (*)(DWORD, DWORD);
  using CloseChannel = RESPONSECODE (*)(DWORD);
  using GetCapabilities = RESPONSECODE (*)(DWORD, DWORD, PDWORD, PUCHAR);
  using SetCapabilities = RESPONSECODE (*)(DWORD, DWORD, DWORD, PUCHAR);
  using SetProtocolParameters = RESPONSECODE (*)(DWORD, DWORD, UCHAR, UCHAR, UCHAR, UCHAR);
  using PowerIcc = RESPONSECODE (*)(DWORD, DWORD, PUCHAR, PDWORD);
  using TransmitToIcc = RESPONSECODE (*)(DWORD, SCARD_IO_HEADER, PUCHAR, DWORD, PUCHAR, PDWORD, PSCARD_IO_HEADER);
  using Control = RESPONSECODE (*)(DWORD, DWORD, PUCHAR, DWORD, PUCHAR, DWORD, LPDWORD);
  using IccPresence = RESPONSECODE (*)(DWORD);
  using Poll = RESPONSECODE (*)(DWORD, int);
  using StopPoll = RESPONSECODE (*)(DWORD);

  static const IfdModule& instance() {
    static const IfdModule module(KELVO_IFD_MODULE_PATH);
    return module;
  }

  void* handle = nullptr;
  CreateChannelByName createChannelByName = nullptr;
  CreateChannel createChannel = nullptr;
  CloseChannel closeChannel = nullptr;
  GetCapabilities getCapabilities = nullptr;
  SetCapabilities setCapabilities = nullptr;
  SetProtocolParameters setProtocolParameters = nullptr;
  PowerIcc powerIcc = nullptr;
  TransmitToIcc transmitToIcc = nullptr;
  Control control = nullptr;
  IccPresence iccPresence = nullptr;

  // The functions pcscd's polling thread uses, asked of an open Lun as pcscd asks.
  template <typename Function>
  Function capabilityFunction(DWORD lun, DWORD tag) const {
    Function function = nullptr;
    DWORD length = sizeof(function);
    unsigned char value[sizeof(function)] = {};
    if (getCapabilities(lun, tag, &length, value) != IFD_SUCCESS || length != sizeof(function)) return nullptr;
    std::memcpy(&function, value, sizeof(function));
    return function;
  }

 private:
  explicit IfdModule(const char* path) {
    handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
    find(createChannelByName, "IFDHCreateChannelByName");
    find(createChannel, "IFDHCreateChannel");
    find(closeChannel, "IFDHCloseChannel");
    find(getCapabilities, "IFDHGetCapabilities");
    find(setCapabilities, "IFDHSetCapabilities");
    find(setProtocolParameters, "IFDHSetProtocolParameters");
    find(powerIcc, "IFDHPowerICC");
    find(transmitToIcc, "IFDHTransmitToICC");
    find(control, "IFDHControl");
    find(iccPresence, "IFDHICCPresence");
  }

  template <typename Function>
  void find(Function& function, const char* name) {
    void* symbol = ::dlsym(handle, name);
    if (symbol == nullptr) throw std::runtime_error(std::string("the handler does not export ") + name);
    function = reinterpret_cast<Function>(symbol);
  }
};

}  // namespace kelvo::test
