// SPDX-License-Identifier: Apache-2.0
// Run by the program's view once the page has loaded, after qwebchannel.js: opens the web channel and hands the
// view's object to the page.
new QWebChannel(qt.webChannelTransport, function (channel) {
  window.kelvoTutorial.attach(channel.objects.controller);
});
