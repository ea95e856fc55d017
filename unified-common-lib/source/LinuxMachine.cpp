// SPDX-License-Identifier: Apache-2.0
#include "trevalon/local/LinuxMachine.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <fstream>
#include <map>

#include "trevalon/common/Log.h"
#include "trevalon/common/ScopeTrace.h"
#include "trevalon/local/Facade.h"
#include "trevalon/local/Paths.h"

namespace trevalon::local {

const MachineKey LinuxMachine::kKeyConstant = {0x6b, 0x3e, 0xa1, 0x57, 0x0c, 0xd4, 0x92, 0x18, 0xe5, 0x7a, 0x33,
                                               0xbf, 0x41, 0x08, 0xc6, 0x9d, 0x24, 0x71, 0xfa, 0x5e, 0x83, 0x1b,
                                               0x66, 0xd9, 0x0f, 0xac, 0x37, 0x52, 0xe8, 0x95, 0x2d, 0xc0};

const std::array<uint8_t, 16> LinuxMachine::kMachineIdPositions = {4,  22, 13, 30, 9,  20, 8, 14,
                                                                   24, 2,  0,  17, 27, 1,  7, 5};

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The 32 hex digits of a machine id as 16 bytes in text order; false for anything else.
bool parseMachineId(const std::string& text, std::array<uint8_t, 16>& bytes) {
  std::string digits;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == ' ' || c == '\t') continue;
    digits += c;
  }
  if (digits.size() != 32) return false;
  for (size_t i = 0; i < 16; ++i) {
    const int high = hexValue(digits[2 * i]);
    const int low = hexValue(digits[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

std::map<std::string, std::string> readOsRelease(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t equals = line.find('=');
    if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    values[line.substr(0, equals)] = value;
  }
  return values;
}

}  // namespace

LinuxMachine::LinuxMachine(std::string machineIdPath, std::string osReleasePath)
    : machineIdPath(std::move(machineIdPath)), osReleasePath(std::move(osReleasePath)) {
  TREVALON_TRACE();
  const std::string logPath = Paths::dataDirectory();
  std::shared_ptr<Settings> settings = Facade::instance().getSettings();
  if (settings && !settings->isset("logpath")) {
    writeTextSetting("logpath", logPath, false);
  }
  logSystemInformation();
}

void LinuxMachine::logSystemInformation() const {
  TREVALON_LOG(info, "+++ LINUX VERSION INFORMATION +++");
  const std::map<std::string, std::string> release = readOsRelease(osReleasePath);
  for (const char* field :
       {"NAME", "VERSION", "VERSION_ID", "ID", "ID_LIKE", "PRETTY_NAME", "BUILD_ID", "VARIANT_ID"}) {
    auto value = release.find(field);
    TREVALON_LOG(info, "%s: %s", field, value == release.end() ? "unknown" : value->second.c_str());
  }
  struct utsname system {};
  TREVALON_LOG(info, "KernelRelease: %s", ::uname(&system) == 0 ? system.release : "unknown");
}

std::string LinuxMachine::getName() {
  TREVALON_TRACE();
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) {
    TREVALON_LOG(error, "gethostname failed with %i", errno);
    return std::string();
  }
  return std::string(name);
}

std::vector<uint8_t> LinuxMachine::query(const std::string& /*what*/) {
  TREVALON_TRACE();
  return {};
}

MachineKey LinuxMachine::key() {
  TREVALON_TRACE();
  MachineKey key = kKeyConstant;
  std::ifstream in(machineIdPath);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::array<uint8_t, 16> id{};
  if (!in.good() && !in.eof()) text.clear();
  if (!parseMachineId(text, id)) {
    TREVALON_LOG(warning, "Could not read MachineGuid");
    return key;
  }
  for (size_t i = 0; i < id.size(); ++i) {
    key[kMachineIdPositions[i]] = id[i];
  }
  return key;
}

}  // namespace trevalon::local
