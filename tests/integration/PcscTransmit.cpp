// SPDX-License-Identifier: Apache-2.0
// pcsc-transmit READER HEX: sends one APDU through pcsc-lite to the first reader whose name contains READER and
// prints the response in hexadecimal, or the PC/SC error's name. The OpenSC tools cut APDUs to what they believe a
// reader takes; this sends exactly the bytes given, extended APDUs included.

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool parseHex(const std::string& text, std::vector<BYTE>& bytes) {
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(text.c_str() + i, "%2x", &value) != 1) return false;
    bytes.push_back(static_cast<BYTE>(value));
  }
  return true;
}

int fail(const char* step, LONG result) {
  std::printf("error %s: %s\n", step, pcsc_stringify_error(result));
  return 2;
}

std::string readerNamed(SCARDCONTEXT context, const std::string& part) {
  DWORD size = 0;
  if (SCardListReaders(context, nullptr, nullptr, &size) != SCARD_S_SUCCESS) return {};
  std::vector<char> names(size);
  if (SCardListReaders(context, nullptr, names.data(), &size) != SCARD_S_SUCCESS) return {};
  for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1) {
    if (std::strstr(name, part.c_str()) != nullptr) return name;
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<BYTE> command;
  if (argc != 3 || !parseHex(argv[2], command)) {
    std::fprintf(stderr, "usage: pcsc-transmit READER HEX\n");
    return 1;
  }
  SCARDCONTEXT context = 0;
  LONG result = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
  if (result != SCARD_S_SUCCESS) return fail("establishing a context", result);
  const std::string reader = readerNamed(context, argv[1]);
  if (reader.empty()) return fail("finding the reader", SCARD_E_UNKNOWN_READER);
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  result = SCardConnect(context, reader.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card,
                        &protocol);
  if (result != SCARD_S_SUCCESS) return fail("connecting", result);
  std::vector<BYTE> response(MAX_BUFFER_SIZE_EXTENDED);
  DWORD responseSize = static_cast<DWORD>(response.size());
  const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
  result = SCardTransmit(card, pci, command.data(), static_cast<DWORD>(command.size()), nullptr, response.data(),
                         &responseSize);
  SCardDisconnect(card, SCARD_LEAVE_CARD);
  SCardReleaseContext(context);
  if (result != SCARD_S_SUCCESS) return fail("transmitting", result);
  for (DWORD i = 0; i < responseSize; ++i) std::printf("%02x", response[i]);
  std::printf("\n");
  return 0;
}
