// SPDX-License-Identifier: Apache-2.0
// The tutorial page: its texts in English and German, which slide shows, and the connection to the program's view
// (the web channel object "controller", handed over by qt.js).
(function () {
  'use strict';

  var texts = {
    en: {
      'welcome.title': 'Welcome to Kelvo Central',
      'welcome.body': 'Kelvo Central keeps an eye on your Kelvo readers. Each reader has its page: the card in it, ' +
          'its battery, its USB cable, whether its link is encrypted and how strong its signal is.',
      'welcome.hint': 'Several readers? "Change Kelvo" at the top right switches between them.',
      'settings.title': 'Settings and working times',
      'settings.body': 'The buttons below the reader change its signal strength, advertising, display, backlight ' +
          'and buzzer; the reader takes the change at once.',
      'settings.hint': 'Set the days and hours your reader works: outside them it stays quiet and saves its battery.',
      'battery.title': 'Battery warnings',
      'battery.body': 'When a reader\'s battery runs low, a notice appears on your desktop. "Modify battery ' +
          'warning level" on the reader\'s page sets when.',
      'lock.title': 'Locked when your card leaves',
      'lock.body': 'Did you log on with your smart card? Then Kelvo Central locks your session as soon as the card ' +
          'leaves its reader.',
      'lock.hint': 'Put the card back and log on again as usual.',
      'firmware.title': 'Firmware updates',
      'firmware.body': 'When there is a newer firmware for your reader, its page says so. "Update" installs it over ' +
          'the air or through the reader\'s USB cable; the program tells you when to plug it in.',
      'firmware.hint': 'Your workstation may be locked while the reader restarts.',
      'bridge.title': 'The Kelvo Bridge',
      'bridge.body': 'No Bluetooth in your computer? Plug in the Kelvo Bridge, open "Bridge" from the tray icon, ' +
          'scan and connect your reader. The first time, enter the six-digit pairing code.',
      'pin.title': 'Your card\'s PIN',
      'pin.body': 'Right-click the reader\'s page to change the PIN of the card in it, or to unblock a blocked PIN ' +
          'with its PUK.',
      'ready.title': 'You are ready',
      'ready.body': 'Kelvo Central waits in the tray. Click its icon to see your readers; open this tutorial again ' +
          'from the tray menu or with the logo.',
      'ready.manual': 'Read the manual',
      'ready.checkbox': 'Do not show this tutorial at start',
      'ready.restart': 'Start again',
      'ready.close': 'Close'
    },
    de: {
      'welcome.title': 'Willkommen bei Kelvo Central',
      'welcome.body': 'Kelvo Central behält Ihre Kelvo-Leser im Blick. Jeder Leser hat seine Seite: die Karte ' +
          'darin, seine Batterie, sein USB-Kabel, ob seine Verbindung verschlüsselt ist und wie stark sein Signal ist.',
      'welcome.hint': 'Mehrere Leser? Mit „Kelvo wechseln“ oben rechts wechseln Sie zwischen ihnen.',
      'settings.title': 'Einstellungen und Arbeitszeiten',
      'settings.body': 'Die Schaltflächen unter dem Leser ändern Signalstärke, Advertising, Display, ' +
          'Hintergrundbeleuchtung und Summer; der Leser übernimmt die Änderung sofort.',
      'settings.hint': 'Legen Sie Tage und Stunden fest, an denen Ihr Leser arbeitet: außerhalb bleibt er still ' +
          'und schont seine Batterie.',
      'battery.title': 'Batteriewarnungen',
      'battery.body': 'Wird die Batterie eines Lesers schwach, erscheint ein Hinweis auf Ihrem Desktop. ' +
          '„Batterie-Warnschwelle ändern“ auf der Seite des Lesers legt fest, wann.',
      'lock.title': 'Gesperrt, wenn Ihre Karte geht',
      'lock.body': 'Haben Sie sich mit Ihrer Smartcard angemeldet? Dann sperrt Kelvo Central Ihre Sitzung, sobald ' +
          'die Karte ihren Leser verlässt.',
      'lock.hint': 'Stecken Sie die Karte wieder ein und melden Sie sich wie gewohnt an.',
      'firmware.title': 'Firmware-Updates',
      'firmware.body': 'Gibt es eine neuere Firmware für Ihren Leser, zeigt seine Seite es an. „Aktualisieren“ ' +
          'installiert sie per Funk oder über das USB-Kabel des Lesers; das Programm sagt Ihnen, wann Sie ihn ' +
          'anschließen sollen.',
      'firmware.hint': 'Während der Leser neu startet, kann Ihr Arbeitsplatz gesperrt werden.',
      'bridge.title': 'Die Kelvo Bridge',
      'bridge.body': 'Kein Bluetooth in Ihrem Computer? Stecken Sie die Kelvo Bridge ein, öffnen Sie „Bridge“ über ' +
          'das Symbol in der Taskleiste, suchen und verbinden Sie Ihren Leser. Beim ersten Mal geben Sie den ' +
          'sechsstelligen Kopplungscode ein.',
      'pin.title': 'Die PIN Ihrer Karte',
      'pin.body': 'Mit einem Rechtsklick auf die Seite des Lesers ändern Sie die PIN der Karte darin oder ' +
          'entsperren eine gesperrte PIN mit ihrer PUK.',
      'ready.title': 'Sie sind bereit',
      'ready.body': 'Kelvo Central wartet in der Taskleiste. Ein Klick auf sein Symbol zeigt Ihre Leser; dieses ' +
          'Tutorial öffnen Sie wieder über das Menü des Symbols oder mit dem Logo.',
      'ready.manual': 'Handbuch lesen',
      'ready.checkbox': 'Dieses Tutorial beim Start nicht mehr zeigen',
      'ready.restart': 'Von vorn',
      'ready.close': 'Schließen'
    }
  };

  var slides = document.querySelectorAll('.slide');
  var controller = null;

  function setLocale(name) {
    var language = String(name || '').toLowerCase().indexOf('de') === 0 ? 'de' : 'en';
    document.documentElement.lang = language;
    document.querySelectorAll('[data-text]').forEach(function (element) {
      element.textContent = texts[language][element.getAttribute('data-text')];
    });
  }

  function showSlide(index) {
    slides.forEach(function (slide, at) {
      slide.classList.toggle('current', at === index);
    });
  }

  function setCheckbox(checked) {
    document.getElementById('dontShow').checked = !!checked;
  }

  // The keys that move between slides belong to the view; the page hands them over instead of scrolling.
  function onKey(event) {
    if (!controller) return;
    var forward = [' ', 'Enter', 'ArrowRight'];
    var back = ['ArrowLeft', 'Delete'];
    if (forward.indexOf(event.key) >= 0 && event.target.tagName !== 'BUTTON' && event.target.tagName !== 'INPUT') {
      controller.on_rightButton_clicked();
      event.preventDefault();
    } else if (back.indexOf(event.key) >= 0) {
      controller.on_leftButton_clicked();
      event.preventDefault();
    }
  }

  window.kelvoTutorial = {
    attach: function (view) {
      if (controller) return;
      controller = view;
      controller.setPage.connect(showSlide);
      controller.updateLocale.connect(setLocale);
      controller.setCheckbox.connect(setCheckbox);
      document.getElementById('dontShow').addEventListener('change', function (event) {
        controller.msgCheckBox(event.target.checked);
      });
      document.getElementById('restart').addEventListener('click', function () { controller.msgRestart(); });
      document.getElementById('close').addEventListener('click', function () { controller.msgClose(); });
      document.addEventListener('keydown', onKey);
      controller.msgMaxSlideCount(slides.length);
    }
  };

  setLocale(navigator.language);
  showSlide(0);
})();
