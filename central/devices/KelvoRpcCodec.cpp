// SPDX-License-Identifier: Apache-2.0
#include "devices/KelvoRpcCodec.h"

#include <initializer_list>

namespace {

constexpr char kRpcGetBondIdxPrefnameList = 14;
constexpr char kRpcEraseBondPrefnameByIndex = 15;
constexpr char kRpcWriteExternalFlash = 20;
constexpr char kRpcGotoBootloader = 22;
constexpr uint8_t kRpcStatusOk = 0;
constexpr uint8_t kRpcStatusNotSupported = 2;
constexpr uint8_t kRpcStatusEraseError = 3;

void appendLittleEndian(QByteArray& bytes, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

int byteAt(const QByteArray& bytes, int position) { return static_cast<uint8_t>(bytes[position]); }

QByteArray rpcRequest(char method, std::initializer_list<char> arguments = {}) {
  QByteArray bytes(1, method);
  for (char argument : arguments) bytes.append(argument);
  return bytes;
}

}  // namespace

QByteArray KelvoRpcCodec::bondListRequest() { return rpcRequest(kRpcGetBondIdxPrefnameList); }

// [status][own index] then entries of [index][name length][name]; a lone byte after the last entry is ignored.
bool KelvoRpcCodec::readBondList(const QByteArray& answer, QMap<int, QString>& names, int& ownIndex, QString& problem) {
  if (answer.isEmpty()) {
    problem = QStringLiteral("Empty transmit response of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST");
    return false;
  }
  if (byteAt(answer, 0) != kRpcStatusOk) return false;
  if (answer.size() < 2) {
    problem = QStringLiteral("Invalid response size of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST");
    return false;
  }
  ownIndex = byteAt(answer, 1);
  const int size = answer.size();
  int position = 2;
  while (position + 2 <= size) {
    const int index = byteAt(answer, position);
    const int nameLength = byteAt(answer, position + 1);
    if (position + 2 + nameLength > size) {
      problem = QStringLiteral("Invalid response data of RPC_METHOD_GET_BOND_IDX_PREFNAME_LIST");
      return false;
    }
    names[index] = QString::fromLocal8Bit(answer.constData() + position + 2, nameLength);
    position += 2 + nameLength;
  }
  return true;
}

QByteArray KelvoRpcCodec::eraseBondRequest(int index) {
  return rpcRequest(kRpcEraseBondPrefnameByIndex, {static_cast<char>(index)});
}

bool KelvoRpcCodec::readEraseBond(const QByteArray& answer, QString& problem) {
  if (answer.isEmpty()) {
    problem = QStringLiteral("Invalid response size of RPC_METHOD_ERASE_BOND_PREFNAME_BY_INDEX");
    return false;
  }
  const int status = byteAt(answer, 0);
  if (status == kRpcStatusOk) return true;
  if (status == kRpcStatusEraseError) {
    const int error = answer.size() > 1 ? byteAt(answer, 1) : 0;
    problem = QStringLiteral("Error (%1) of RPC_METHOD_ERASE_BOND_PREFNAME_BY_INDEX").arg(error);
  }
  return false;
}

// [method][offset: 4 bytes][length: 2 bytes][data]
bool KelvoRpcCodec::externalFlashWriteRequest(const QByteArray& data, int offset, int length, QByteArray& request,
                                              QString& problem) {
  if (length >= kExternalFlashLengthLimit || length < 0 || offset < 0) {
    problem = QStringLiteral("Invalid offset/length of RPC_METHOD_WRITE_EXTERNAL_FLASH");
    return false;
  }
  if (static_cast<qint64>(offset) + length > data.size()) {
    problem = QStringLiteral("Invalid data size of RPC_METHOD_WRITE_EXTERNAL_FLASH");
    return false;
  }
  request = QByteArray(1, kRpcWriteExternalFlash);
  appendLittleEndian(request, static_cast<uint32_t>(offset), 4);
  appendLittleEndian(request, static_cast<uint32_t>(length), 2);
  request.append(data.constData() + offset, length);
  return true;
}

bool KelvoRpcCodec::readExternalFlashWrite(const QByteArray& answer, QString& problem) {
  if (answer.isEmpty()) {
    problem = QStringLiteral("RPC_METHOD_WRITE_EXTERNAL_FLASH invalid result length");
    return false;
  }
  const int status = byteAt(answer, 0);
  if (status == kRpcStatusOk) return true;
  problem = QStringLiteral("RPC error %1 of RPC_METHOD_WRITE_EXTERNAL_FLASH").arg(status);
  return false;
}

QByteArray KelvoRpcCodec::bootloaderRequest(uint8_t mode) {
  return rpcRequest(kRpcGotoBootloader, {static_cast<char>(mode)});
}

bool KelvoRpcCodec::bootloaderNotSupported(const QByteArray& answer) {
  return answer.size() == 1 && byteAt(answer, 0) == kRpcStatusNotSupported;
}
