#include "trevalon/token/TokenFunctions.h"

#include <cstring>

namespace trevalon::token {

const char* TokenFunctions::name(uint8_t code) {
  switch (code) {
    case kSetTime: return "SetTime";
    case kSendApdu: return "SendApdu";
    case kGetFirmware: return "GetFirmware";
    case kGetHardware: return "GetHardware";
    case kGetSerial: return "GetSerial";
    case kGetBatteryLevel: return "GetBatteryLevel";
    case kPowerOff: return "PowerOff";
    case kInitializeCard: return "InitializeCard";
    case kFinalizeCard: return "FinalizeCard";
    case kSetProtocol: return "SetProtocol";
    case kWriteVariable: return "WriteVariable";
    case kSyncronize: return "Syncronize";
    case kOpenFile: return "OpenFile";
    case kCloseFile: return "CloseFile";
    case kReadFile: return "ReadFile";
    case kWriteFile: return "WriteFile";
    case kDeleteFile: return "DeleteFile";
    case kOpenDirectory: return "OpenDirectory";
    case kReadDirectory: return "ReadDirectory";
    case kMountDisk: return "MountDisk";
    case kReadVariable: return "ReadVariable";
    default: return "Unknown";
  }
}

bool TokenFunctions::isKnown(uint8_t code) {
  return std::strcmp(name(code), "Unknown") != 0;
}

}  // namespace trevalon::token
