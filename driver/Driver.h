#pragma once
// The driver's readers and their sockets: a socket appears in the runtime directory when the discovery chain
// finds a reader and disappears when the reader is lost or the driver stops. The socket's name is what the
// application scans for, so it carries the reader's address in lower case.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "PeerPolicy.h"
#include "ReaderSocket.h"
#include "trevalon/Device.h"
#include "trevalon/common/Provider.h"

namespace kelvo::driver {

class Driver : public trevalon::ProviderObserver<std::shared_ptr<trevalon::Device>> {
 public:
  static constexpr const char* kSocketPrefix = "omnivex#ipc#ver6#kelvo_";

  Driver(std::string runtimeDirectory, std::shared_ptr<const PeerPolicy> policy,
         ReaderSocketLimits limits = ReaderSocketLimits());
  ~Driver() override;

  // Creates the runtime directory if needed, or takes the existing one if it is the driver's own and nobody else
  // may write to it; refuses a symbolic link. Readable and searchable by every local user, so that the desktop
  // user's application can reach the sockets inside.
  bool prepareRuntimeDirectory();
  std::string socketPathOf(const std::string& address) const;

  void onFound(const std::shared_ptr<trevalon::Device>& device) override;
  void onLost(const std::shared_ptr<trevalon::Device>& device) override;
  // Removes every socket; call after discovery has stopped.
  void stopAll();

  std::vector<std::string> servedAddresses();

 private:
  const std::string runtimeDirectory;
  const std::shared_ptr<const PeerPolicy> policy;
  const ReaderSocketLimits limits;
  std::mutex socketsLock;
  std::map<std::string, std::unique_ptr<ReaderSocket>> sockets;
};

}  // namespace kelvo::driver
