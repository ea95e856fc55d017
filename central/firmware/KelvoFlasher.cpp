#include "firmware/KelvoFlasher.h"

#include <optional>
#include <vector>

#include "trevalon/firmware/OverTheAirWriter.h"

KelvoFlasher::KelvoFlasher(KelvoDevice* device, const QByteArray& image, QObject* parent)
    : QObject(parent), device(device), image(image) {}

bool KelvoFlasher::writeOverTheAir() {
  const trevalon::OverTheAirWriter::Exchange exchange = [this](const std::vector<uint8_t>& request) {
    QByteArray answer;
    if (!device ||
        !device->transmit(QByteArray(reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size())),
                          answer)) {
      return std::optional<std::vector<uint8_t>>();
    }
    return std::optional<std::vector<uint8_t>>(std::vector<uint8_t>(answer.begin(), answer.end()));
  };
  const std::vector<uint8_t> bytes(image.begin(), image.end());
  return trevalon::OverTheAirWriter::write(
      bytes, exchange,
      {[this](int percent) { emit flashUpdateStateTransited(percent); },
       [this](const std::string& message) { emit errorOccurred(QString::fromStdString(message)); }});
}
