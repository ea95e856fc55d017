// SPDX-License-Identifier: Apache-2.0
#include "tutorial/TutorialPage.h"

#include <QDesktopServices>
#include <QUrl>

bool TutorialPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  if (url.scheme() == QLatin1String("qrc")) return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
  QDesktopServices::openUrl(url);
  return false;
}

// A link meant for a new window ("target=_blank") navigates a page of the same kind, which hands it to the browser
// in turn; it lives as long as the tutorial's page.
QWebEnginePage* TutorialPage::createWindow(WebWindowType type) {
  Q_UNUSED(type)
  return new TutorialPage(this);
}
