// SPDX-License-Identifier: Apache-2.0
#pragma once
// The tutorial's web page. It only ever shows the program's own resources: a link to anything else (the maker's web
// site, a manual) is refused here and opened in the desktop's browser instead, so no outside page is loaded next to
// the web channel that reaches the program.

#include <QWebEnginePage>

class TutorialPage : public QWebEnginePage {
  Q_OBJECT

 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  QWebEnginePage* createWindow(WebWindowType type) override;
};
