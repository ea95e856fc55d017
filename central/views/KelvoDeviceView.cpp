// SPDX-License-Identifier: Apache-2.0
#include "KelvoDeviceView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QVariant>
#include <iterator>

#include "AdvertisingSettingPage.h"
#include "ApplicationSettings.h"
#include "Artwork.h"
#include "BacklightSettingPage.h"
#include "BatteryGauge.h"
#include "BatterySettingPage.h"
#include "BuzzerSettingPage.h"
#include "DescriptorTable.h"
#include "DeviceSymbols.h"
#include "DeviceThreadCall.h"
#include "DisplaySettingPage.h"
#include "SignalStrngSettingPage.h"
#include "UpdateDevicePage.h"
#include "WorkingTimeRangesPage.h"
#include "devices/KelvoDevice.h"

namespace {

const char kResourceProperty[] = "resource";
const char kButtonStyle[] = "background-color: rgb(240, 240, 240);";
const QColor kOwnBondingColor(0, 0, 255);
constexpr int kSymbolSize = 48;
constexpr int kBatteryOffsetX = -50;

// The descriptor keys that the reader sends, named here so that the translation tools collect them.
const char* const kDescriptorKeyTexts[] = {
    QT_TRANSLATE_NOOP("KelvoDeviceView", "Serial"),   QT_TRANSLATE_NOOP("KelvoDeviceView", "MAC"),
    QT_TRANSLATE_NOOP("KelvoDeviceView", "Hardware"), QT_TRANSLATE_NOOP("KelvoDeviceView", "Bootloader"),
    QT_TRANSLATE_NOOP("KelvoDeviceView", "Firmware"), QT_TRANSLATE_NOOP("KelvoDeviceView", "Build"),
    QT_TRANSLATE_NOOP("KelvoDeviceView", "Driver"),
};

// The resource name travels with the picture so that what a label shows can be told without comparing pixels.
void showSymbol(QLabel* label, const QString& resource) {
  label->setProperty(kResourceProperty, resource);
  if (resource.isEmpty()) {
    label->clear();
    label->hide();
    return;
  }
  label->setPixmap(Artwork::pixmap(resource));
  label->show();
}

QLabel* makeSymbol(QWidget* parent, const QString& name, int size = kSymbolSize) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setFixedSize(size, size);
  label->setScaledContents(true);
  // A symbol that comes and goes must not shift its neighbours.
  QSizePolicy policy = label->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  label->setSizePolicy(policy);
  return label;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setCursor(Qt::PointingHandCursor);
  button->setStyleSheet(QString::fromLatin1(kButtonStyle));
  return button;
}

QLabel* makeHtmlColumn(QWidget* parent, const QString& name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::RichText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

KelvoDeviceView::KelvoDeviceView(QObject* deviceManager, KelvoDevice* device, QWidget* parent)
    : QWidget(parent),
      manager(deviceManager),
      kelvoDevice(device),
      frontPicture(DeviceSymbols::frontPicture(device->modelName())),
      backPicture(DeviceSymbols::backPicture(device->modelName())),
      hasBacklight(DeviceSymbols::hasBacklight(device->serial())) {
  createForm();
  connectDevice();
  applyCurrentValues();
  fillDescriptorTable(QString());
  loadDriverVersion();
  titleButton->setText(device->displayName());
  pictureSwitched(false);
  eraseButton->setEnabled(false);
  if (!hasBacklight) {
    // Hidden for good, so the other power-saving symbols close up.
    QSizePolicy policy = backlightLabel->sizePolicy();
    policy.setRetainSizeWhenHidden(false);
    backlightLabel->setSizePolicy(policy);
    backlightLabel->hide();
    backlightButton->hide();
  }
}

// Everything fits the window's page area (982 x 580) without scrolling: title, picture and status columns, the
// shadow line and the power-saving panel.
void KelvoDeviceView::createForm() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 6, 20, 6);
  layout->setSpacing(4);

  titleButton = new QPushButton(this);
  titleButton->setObjectName(QStringLiteral("titleButton"));
  titleButton->setFlat(true);
  QFont titleFont = titleButton->font();
  titleFont.setPointSize(16);
  titleFont.setBold(true);
  titleButton->setFont(titleFont);
  layout->addWidget(titleButton, 0, Qt::AlignHCenter);

  mainArea = new QWidget(this);
  mainArea->setObjectName(QStringLiteral("mainArea"));
  auto* columns = new QHBoxLayout(mainArea);
  columns->setContentsMargins(0, 0, 0, 0);
  columns->setSpacing(24);
  columns->addWidget(createPictureColumn(), 0, Qt::AlignTop);
  columns->addWidget(createStatusColumn(), 0, Qt::AlignTop);
  columns->addWidget(createInfoStack(), 1);
  layout->addWidget(mainArea, 1);

  auto* shadow = new QLabel(this);
  shadow->setObjectName(QStringLiteral("shadowBottom"));
  shadow->setFixedHeight(12);
  // The shadow is drawn for the whole window's width; it must not ask for that width on top of the margins.
  shadow->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  shadow->setScaledContents(true);
  shadow->setPixmap(Artwork::pixmap(QStringLiteral(":/res/gui/shadow-bottom.png")));
  layout->addWidget(shadow);
  layout->addWidget(createEcoPanel(), 0, Qt::AlignHCenter);
  setFocusOrder();
}

// Reading order: the title, the picture and its turn arrow, the battery, the reader's information (front or
// back), then the power-saving settings from left to right.
void KelvoDeviceView::setFocusOrder() {
  QWidget* const order[] = {titleButton,       pictureButton, turnButton,      batteryButton,
                            updateButton,      bondList,      eraseButton,     signalButton,
                            advertisingButton, displayButton, backlightButton, buzzerButton};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

// The turn arrow sits on the picture's lower corner, so it is plainly a control of the picture.
QWidget* KelvoDeviceView::createPictureColumn() {
  pictureButton = new QPushButton(mainArea);
  pictureButton->setObjectName(QStringLiteral("pictureButton"));
  pictureButton->setCheckable(true);
  pictureButton->setFlat(true);
  pictureButton->setCursor(Qt::PointingHandCursor);
  pictureButton->setStyleSheet(QStringLiteral("border: none;"));
  pictureButton->setIconSize(QSize(240, 360));
  pictureButton->setFixedSize(240, 360);

  turnButton = new QPushButton(pictureButton);
  turnButton->setObjectName(QStringLiteral("turnButton"));
  turnButton->setFlat(true);
  turnButton->setCursor(Qt::PointingHandCursor);
  turnButton->setStyleSheet(QStringLiteral("border: none;"));
  turnButton->setIcon(QIcon(QStringLiteral(":/res/gui/arrow_turn.png")));
  turnButton->setIconSize(QSize(40, 40));
  turnButton->setGeometry(196, 316, 40, 40);

  // Picture-only controls: screen readers need their words.
  pictureButton->setAccessibleName(tr("Reader picture"));
  pictureButton->setAccessibleDescription(tr("Shows the reader's front or back; activate it to turn the reader"));
  turnButton->setAccessibleName(tr("Turn the reader"));
  turnButton->setAccessibleDescription(tr("Shows the other side of the reader and its paired devices"));

  connect(pictureButton, &QPushButton::toggled, this, &KelvoDeviceView::pictureSwitched);
  connect(turnButton, &QPushButton::clicked, pictureButton, &QPushButton::click);
  return pictureButton;
}

QWidget* KelvoDeviceView::createStatusColumn() {
  auto* column = new QWidget(mainArea);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);

  cardLabel = makeSymbol(column, QStringLiteral("cardLabel"));
  cardLabel->setFixedSize(120, 80);
  layout->addWidget(cardLabel, 0, Qt::AlignLeft);

  auto* batteryRow = new QHBoxLayout();
  batteryRow->setSpacing(16);
  auto* battery = new QLabel(column);
  battery->setObjectName(QStringLiteral("batteryBody"));
  battery->setFixedSize(60, 222);
  battery->setPixmap(Artwork::pixmap(QStringLiteral(":/res/gui/Battery-Body.png")));
  batteryBar = new QLabel(battery);
  batteryBar->setObjectName(QStringLiteral("batteryBar"));
  batteryMarker = new QLabel(battery);
  batteryMarker->setObjectName(QStringLiteral("batteryMarker"));
  batteryMarker->setStyleSheet(BatteryGauge::markerStyle());
  batteryRow->addWidget(battery);

  auto* symbols = new QVBoxLayout();
  symbols->setSpacing(12);
  chargingLabel = makeSymbol(column, QStringLiteral("chargingLabel"));
  showSymbol(chargingLabel, DeviceSymbols::chargingSymbol());
  encryptionLabel = makeSymbol(column, QStringLiteral("encryptionLabel"));
  coverageLabel = makeSymbol(column, QStringLiteral("coverageLabel"));
  symbols->addStretch(1);
  symbols->addWidget(chargingLabel);
  symbols->addWidget(encryptionLabel);
  symbols->addWidget(coverageLabel);
  batteryRow->addLayout(symbols);
  batteryRow->addStretch(1);
  layout->addLayout(batteryRow);

  batteryLevelLabel = new QLabel(column);
  batteryLevelLabel->setObjectName(QStringLiteral("batteryLevelLabel"));
  QFont levelFont = batteryLevelLabel->font();
  levelFont.setPointSize(14);
  batteryLevelLabel->setFont(levelFont);
  layout->addWidget(batteryLevelLabel);
  batteryButton = makeButton(column, QStringLiteral("batteryButton"), tr("Modify battery warning level"));
  layout->addWidget(batteryButton, 0, Qt::AlignLeft);

  cardLabel->setAccessibleName(tr("Card"));
  battery->setAccessibleName(tr("Battery"));
  chargingLabel->setAccessibleName(tr("Charging"));
  chargingLabel->setAccessibleDescription(tr("The reader is on its USB cable"));
  encryptionLabel->setAccessibleName(tr("Link encryption"));
  coverageLabel->setAccessibleName(tr("Coverage"));
  batteryBody = battery;

  connect(batteryButton, &QPushButton::clicked, this, &KelvoDeviceView::batteryClicked);
  return column;
}

QWidget* KelvoDeviceView::createInfoStack() {
  infoStack = new QStackedWidget(mainArea);
  infoStack->setObjectName(QStringLiteral("infoStack"));
  // The reader's descriptor decides how long its values are; a long one is cut off rather than widen the window.
  infoStack->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

  auto* front = new QWidget(infoStack);
  auto* frontLayout = new QVBoxLayout(front);
  frontLayout->setContentsMargins(0, 0, 0, 0);
  auto* table = new QHBoxLayout();
  table->setSpacing(0);
  descriptorKeys = makeHtmlColumn(front, QStringLiteral("descriptorKeys"));
  descriptorSeparators = makeHtmlColumn(front, QStringLiteral("descriptorSeparators"));
  descriptorValues = makeHtmlColumn(front, QStringLiteral("descriptorValues"));
  descriptorValues->setTextInteractionFlags(Qt::TextSelectableByMouse);
  table->addWidget(descriptorKeys);
  table->addWidget(descriptorSeparators);
  table->addWidget(descriptorValues);
  table->addStretch(1);
  frontLayout->addLayout(table);
  updateButton = makeButton(front, QStringLiteral("updateButton"), tr("Update"));
  frontLayout->addWidget(updateButton, 0, Qt::AlignLeft);
  frontLayout->addStretch(1);
  infoStack->addWidget(front);

  bondingArea = new QWidget(infoStack);
  bondingArea->setObjectName(QStringLiteral("bondingArea"));
  auto* backLayout = new QVBoxLayout(bondingArea);
  backLayout->setContentsMargins(0, 0, 0, 0);
  backLayout->addWidget(new QLabel(tr("Paired Devices:"), bondingArea));
  bondList = new QListWidget(bondingArea);
  bondList->setObjectName(QStringLiteral("bondList"));
  bondList->setMaximumHeight(200);
  backLayout->addWidget(bondList);
  eraseButton = makeButton(bondingArea, QStringLiteral("eraseButton"), tr("Erase"));
  backLayout->addWidget(eraseButton, 0, Qt::AlignLeft);
  backLayout->addStretch(1);
  infoStack->addWidget(bondingArea);

  connect(updateButton, &QPushButton::clicked, this, &KelvoDeviceView::updateClicked);
  connect(bondList, &QListWidget::currentItemChanged, this, &KelvoDeviceView::bondingSelected);
  connect(eraseButton, &QPushButton::clicked, this, &KelvoDeviceView::eraseClicked);
  return infoStack;
}

QWidget* KelvoDeviceView::createEcoPanel() {
  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("ecoPanel"));
  panel->setAttribute(Qt::WA_StyledBackground);
  panel->setStyleSheet(QStringLiteral(
      "QWidget#ecoPanel { border-image: url(:/res/gui/EcoMode-Grafik_background.png) 0 0 0 0 stretch stretch; }"));
  panel->setFixedSize(720, 110);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(20, 8, 20, 8);
  grid->setHorizontalSpacing(12);

  struct Column {
    QLabel** symbol;
    QPushButton** button;
    const char* name;
    QString caption;
    void (KelvoDeviceView::*clicked)();
  };
  const Column columns[] = {
      {&signalLabel, &signalButton, "signal", tr("Signal Strength"), &KelvoDeviceView::signalStrengthClicked},
      {&advertisingLabel, &advertisingButton, "advertising", tr("Advertising Mode"),
       &KelvoDeviceView::advertisingClicked},
      {&displayLabel, &displayButton, "display", tr("Display"), &KelvoDeviceView::displayClicked},
      {&backlightLabel, &backlightButton, "backlight", tr("Backlight"), &KelvoDeviceView::backlightClicked},
      {&buzzerLabel, &buzzerButton, "buzzer", tr("Buzzer"), &KelvoDeviceView::buzzerClicked},
  };
  int index = 0;
  for (const Column& column : columns) {
    const QString name = QString::fromLatin1(column.name);
    *column.symbol = makeSymbol(panel, name + QStringLiteral("Label"));
    (*column.symbol)->setAccessibleName(column.caption);
    *column.button = makeButton(panel, name + QStringLiteral("Button"), column.caption);
    grid->addWidget(*column.symbol, 0, index, Qt::AlignHCenter);
    grid->addWidget(*column.button, 1, index, Qt::AlignHCenter);
    connect(*column.button, &QPushButton::clicked, this, column.clicked);
    ++index;
  }
  return panel;
}

void KelvoDeviceView::connectDevice() {
  KelvoDevice* d = kelvoDevice;
  connect(d, &KelvoDevice::cardStatusChanged, this, &KelvoDeviceView::cardStatusChanged);
  connect(d, &KelvoDevice::batteryLevelChanged, this, &KelvoDeviceView::batteryLevelChanged);
  connect(d, &KelvoDevice::cardAtrNumberChanged, this, &KelvoDeviceView::cardAtrNumberChanged);
  connect(d, &KelvoDevice::usbCableStatusChanged, this, &KelvoDeviceView::usbCableStatusChanged);
  connect(d, &KelvoDevice::encryptionUsedChanged, this, &KelvoDeviceView::encryptionUsedChanged);
  connect(d, &KelvoDevice::signalStrengthChanged, this, &KelvoDeviceView::signalStrengthChanged);
  connect(d, &KelvoDevice::advertisingModeChanged, this, &KelvoDeviceView::advertisingModeChanged);
  connect(d, &KelvoDevice::displayAlwaysEnabledChanged, this, &KelvoDeviceView::displayAlwaysEnabledChanged);
  connect(d, &KelvoDevice::backlightEnabledChanged, this, &KelvoDeviceView::backlightEnabledChanged);
  connect(d, &KelvoDevice::buzzerEnabledChanged, this, &KelvoDeviceView::buzzerEnabledChanged);
  connect(d, &KelvoDevice::coverageRssiMinValueChanged, this, &KelvoDeviceView::coverageRssiMinValueChanged);
  connect(d, &KelvoDevice::deviceOutdated, this, &KelvoDeviceView::deviceOutdated);
  // A reader that was flashed names its new firmware.
  connect(d, &KelvoDevice::descriptorChanged, this, [this] {
    fillDescriptorTable(QString());
    loadDriverVersion();
  });
}

void KelvoDeviceView::applyCurrentValues() {
  KelvoDevice* d = kelvoDevice;
  cardStatusChanged(d->cardStatus());
  batteryLevelChanged(d->batteryLevel());
  cardAtrNumberChanged(d->cardAtrNumber());
  usbCableStatusChanged(d->usbCableStatus());
  encryptionUsedChanged(d->encryptionUsed());
  const DeviceSettings settings = d->settings();
  signalStrengthChanged(settings.signalStrength);
  advertisingModeChanged(settings.advertisingMode);
  displayAlwaysEnabledChanged(settings.displayAlwaysEnabled);
  backlightEnabledChanged(settings.backlightEnabled);
  buzzerEnabledChanged(settings.buzzerEnabled);
  coverageRssiMinValueChanged(settings.coverageRssiMinValue);
}

// The driver's version is asked through the driver's socket, so it arrives later and completes the table.
void KelvoDeviceView::loadDriverVersion() {
  KelvoDevice* device = kelvoDevice;
  DeviceThreadCall::run<QString>(
      device, this, [device] { return device->driverVersion(); },
      [this](const QString& version) {
        if (!version.isEmpty()) fillDescriptorTable(version);
      });
}

void KelvoDeviceView::fillDescriptorTable(const QString& driverVersion) {
  Q_UNUSED(kDescriptorKeyTexts);
  const DescriptorTable table(kelvoDevice->descriptor(), driverVersion);
  descriptorKeys->setText(table.keyColumn([](const QString& key) { return tr(key.toUtf8().constData()); }));
  descriptorSeparators->setText(table.separatorColumn());
  descriptorValues->setText(table.valueColumn());
}

void KelvoDeviceView::cardStatusChanged(int status) {
  showSymbol(cardLabel, DeviceSymbols::cardSymbol(status));
  cardLabel->setAccessibleDescription(status == DeviceSymbols::kCardReady           ? tr("A card is in the reader")
                                      : status == DeviceSymbols::kCardNotIdentified ? tr("The card is not identified")
                                                                                    : tr("No card in the reader"));
  if (kelvoDevice->descriptor().value(QStringLiteral("NOSCARD")) == QLatin1String("1")) cardLabel->hide();
}

void KelvoDeviceView::batteryLevelChanged(int level) {
  const int threshold = ApplicationSettings::batteryWarningThreshhold();
  batteryBar->setGeometry(BatteryGauge::barGeometry(level));
  batteryBar->setStyleSheet(BatteryGauge::barStyle(level, threshold));
  batteryMarker->setGeometry(BatteryGauge::markerGeometry(threshold));
  batteryLevelLabel->setText(BatteryGauge::levelText(level));
  batteryBody->setAccessibleDescription(
      tr("%1 charged; a warning comes at %2").arg(BatteryGauge::levelText(level), BatteryGauge::levelText(threshold)));
}

// The card type is kept for other pages; this one does not show it.
void KelvoDeviceView::cardAtrNumberChanged(int number) { cardAtrNumber = number; }

void KelvoDeviceView::usbCableStatusChanged(int status) { chargingLabel->setVisible(status != 0); }

void KelvoDeviceView::encryptionUsedChanged(bool used) {
  showSymbol(encryptionLabel, used ? DeviceSymbols::encryptionSymbol() : QString());
  encryptionLabel->setAccessibleDescription(used ? tr("The link to the reader is encrypted")
                                                 : tr("The link to the reader is not encrypted"));
}

void KelvoDeviceView::signalStrengthChanged(int value) {
  const QString symbol = DeviceSymbols::signalSymbol(value, DeviceSymbols::signalLevels(kelvoDevice->serial()));
  showSymbol(signalLabel, symbol);
  signalButton->setEnabled(!symbol.isEmpty());
  signalLabel->setAccessibleDescription(
      symbol.isEmpty() ? tr("Unknown")
                       : tr("Level %1 of %2").arg(value + 1).arg(DeviceSymbols::signalLevels(kelvoDevice->serial())));
}

// Both modes draw the same symbol; the setting page tells them apart.
void KelvoDeviceView::advertisingModeChanged(int value) {
  Q_UNUSED(value);
  showSymbol(advertisingLabel, DeviceSymbols::advertisingSymbol());
}

void KelvoDeviceView::displayAlwaysEnabledChanged(int value) {
  showSymbol(displayLabel, DeviceSymbols::ecoSymbol(DeviceSymbols::EcoSetting::Display, value));
  describeEco(displayLabel, value);
  displayButton->setEnabled(DeviceSymbols::hasEcoSymbol(value));
}

void KelvoDeviceView::backlightEnabledChanged(int value) {
  if (!hasBacklight) return;
  showSymbol(backlightLabel, DeviceSymbols::ecoSymbol(DeviceSymbols::EcoSetting::Backlight, value));
  describeEco(backlightLabel, value);
  backlightButton->setEnabled(DeviceSymbols::hasEcoSymbol(value));
}

void KelvoDeviceView::buzzerEnabledChanged(int value) {
  showSymbol(buzzerLabel, DeviceSymbols::ecoSymbol(DeviceSymbols::EcoSetting::Buzzer, value));
  describeEco(buzzerLabel, value);
  buzzerButton->setEnabled(DeviceSymbols::hasEcoSymbol(value));
}

void KelvoDeviceView::describeEco(QLabel* symbol, int value) {
  symbol->setAccessibleDescription(!DeviceSymbols::hasEcoSymbol(value) ? tr("Unknown")
                                   : value == 0                        ? tr("Power saving")
                                                                       : tr("Always on"));
}

void KelvoDeviceView::coverageRssiMinValueChanged(int value) {
  showSymbol(coverageLabel, DeviceSymbols::coverageSymbol(value));
  coverageLabel->setAccessibleDescription(value == DeviceSymbols::kCoverageOff ? tr("Coverage limit off")
                                                                               : tr("Coverage limit on"));
}

// A second-generation reader's update was offered by the updater's own dialog already; a first-generation reader's
// is offered here.
void KelvoDeviceView::deviceOutdated() {
  emit deviceViewFocused();
  if (kelvoDevice->isSecondGeneration()) {
    if (manager != nullptr) {
      QMetaObject::invokeMethod(manager, "prepareFirmwareUpdateRequested", Qt::DirectConnection,
                                Q_ARG(KelvoDevice*, kelvoDevice));
    }
  } else {
    emit popupOpened(mainArea, new UpdateDevicePage(kelvoDevice), false, true, QPoint(0, 0));
  }
}

void KelvoDeviceView::workingTimeRangesClicked() {
  emit popupOpened(mainArea, new WorkingTimeRangesPage(kelvoDevice), false, true, QPoint(0, 0));
}

void KelvoDeviceView::pictureSwitched(bool showBack) {
  const QString picture = showBack ? backPicture : frontPicture;
  pictureButton->setIcon(QIcon(picture));
  pictureButton->setProperty(kResourceProperty, picture);
  infoStack->setCurrentWidget(showBack ? bondingArea : infoStack->widget(0));
  if (showBack && !bondingsLoaded) {
    bondingsLoaded = true;
    loadBondings();
  }
}

void KelvoDeviceView::loadBondings() {
  KelvoDevice* device = kelvoDevice;
  DeviceThreadCall::run<Bondings>(
      device, this,
      [device] {
        Bondings bondings;
        bondings.ok = device->getBondedDevices(bondings.names, bondings.ownIndex);
        return bondings;
      },
      [this](const Bondings& bondings) { showBondings(bondings); });
}

void KelvoDeviceView::showBondings(const Bondings& bondings) {
  bondList->clear();
  if (!bondings.ok) {
    emit debugMessageLogged(
        QStringLiteral("Failed to query bonding list for device %1").arg(kelvoDevice->displayName()));
    bondingArea->hide();
    return;
  }
  for (auto it = bondings.names.cbegin(); it != bondings.names.cend(); ++it) {
    auto* item = new QListWidgetItem(it.value(), bondList);
    item->setData(Qt::UserRole, it.key());
    if (it.key() == bondings.ownIndex) item->setForeground(kOwnBondingColor);
  }
  bondList->setCurrentItem(nullptr);
  eraseButton->setEnabled(false);
}

void KelvoDeviceView::bondingSelected(QListWidgetItem* current) { eraseButton->setEnabled(current != nullptr); }

void KelvoDeviceView::eraseClicked() {
  QListWidgetItem* item = bondList->currentItem();
  if (item == nullptr) return;
  const int index = item->data(Qt::UserRole).toInt();
  KelvoDevice* device = kelvoDevice;
  // One erase at a time: the button comes back with the next selection.
  eraseButton->setEnabled(false);
  DeviceThreadCall::run<bool>(
      device, this, [device, index] { return device->eraseBond(index); },
      [this, index](bool ok) { erasedBonding(index, ok); });
}

void KelvoDeviceView::erasedBonding(int index, bool ok) {
  if (!ok) {
    emit debugMessageLogged(QStringLiteral("Failed to erase bonding with index %1").arg(index));
    eraseButton->setEnabled(bondList->currentItem() != nullptr);
    return;
  }
  for (int row = 0; row < bondList->count(); ++row) {
    if (bondList->item(row)->data(Qt::UserRole).toInt() == index) {
      delete bondList->takeItem(row);
      break;
    }
  }
  bondList->setCurrentItem(nullptr);
  eraseButton->setEnabled(false);
}

void KelvoDeviceView::updateClicked() { emit kelvoDevice->deviceUpdateChecking(kelvoDevice); }

void KelvoDeviceView::openSettingPage(QPushButton* anchor, QWidget* page, QPoint offset) {
  emit popupOpened(anchor, page, true, true, offset);
}

void KelvoDeviceView::signalStrengthClicked() {
  openSettingPage(signalButton, new SignalStrngSettingPage(kelvoDevice));
}

void KelvoDeviceView::advertisingClicked() {
  auto* page = new AdvertisingSettingPage(kelvoDevice);
  connect(page, &AdvertisingSettingPage::workingTimeRangesClicked, this, &KelvoDeviceView::workingTimeRangesClicked);
  openSettingPage(advertisingButton, page);
}

void KelvoDeviceView::displayClicked() { openSettingPage(displayButton, new DisplaySettingPage(kelvoDevice)); }

void KelvoDeviceView::backlightClicked() {
  if (!hasBacklight) return;
  openSettingPage(backlightButton, new BacklightSettingPage(kelvoDevice));
}

void KelvoDeviceView::buzzerClicked() { openSettingPage(buzzerButton, new BuzzerSettingPage(kelvoDevice)); }

void KelvoDeviceView::batteryClicked() {
  openSettingPage(batteryButton, new BatterySettingPage(kelvoDevice), QPoint(kBatteryOffsetX, 0));
}
