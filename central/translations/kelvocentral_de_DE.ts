<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutView</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>3rd Party Libaries</source>
        <translation>Bibliotheken von Drittanbietern</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Lizenz</translation>
    </message>
    <message>
        <source>Copyright</source>
        <translation>Copyright</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Copyright © 2026 Kelvo. All rights reserved.&lt;br&gt;Kelvo and Kelvo Central are trademarks of Kelvo.&lt;br&gt;This program uses the libraries listed under &quot;3rd Party Libaries&quot; under their own licences.</source>
        <translation>Copyright © 2026 Kelvo. Alle Rechte vorbehalten.&lt;br&gt;Kelvo und Kelvo Central sind Marken von Kelvo.&lt;br&gt;Dieses Programm verwendet die unter „Bibliotheken von Drittanbietern“ genannten Bibliotheken unter deren eigenen Lizenzen.</translation>
    </message>
</context>
<context>
    <name>AdvertisingSettingPage</name>
    <message>
        <source>Advertising</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>
Choose between a permanent or temporary signal.
</source>
        <translation>
Wählen Sie zwischen dauerhaftem und zeitweisem Signal.
</translation>
    </message>
    <message>
        <source>Work Schedule</source>
        <translation>Arbeitszeiten</translation>
    </message>
    <message>
        <source>Temporary</source>
        <translation>Zeitweise</translation>
    </message>
    <message>
        <source>Permanent</source>
        <translation>Dauerhaft</translation>
    </message>
</context>
<context>
    <name>BacklightSettingPage</name>
    <message>
        <source>Backlight</source>
        <translation>Beleuchtung</translation>
    </message>
    <message>
        <source>
Toggle backlight on/off.
</source>
        <translation>
Beleuchtung ein- oder ausschalten.
</translation>
    </message>
    <message>
        <source>Backlight on</source>
        <translation>Beleuchtung an</translation>
    </message>
</context>
<context>
    <name>BatterySettingPage</name>
    <message>
        <source>Battery Warning</source>
        <translation>Batteriewarnung</translation>
    </message>
    <message>
        <source>
Define when you should be warned to charge your Kelvo.
</source>
        <translation>
Legen Sie fest, wann Sie ans Laden Ihres Kelvo erinnert werden.
</translation>
    </message>
    <message>
        <source>20%</source>
        <translation>20%</translation>
    </message>
    <message>
        <source>100%</source>
        <translation>100%</translation>
    </message>
</context>
<context>
    <name>BuzzerSettingPage</name>
    <message>
        <source>Buzzer</source>
        <translation>Summer</translation>
    </message>
    <message>
        <source>
Switch buzzer on/off.
</source>
        <translation>
Summer ein- oder ausschalten.
</translation>
    </message>
    <message>
        <source>Buzzer on</source>
        <translation>Summer an</translation>
    </message>
</context>
<context>
    <name>DevicesPage</name>
    <message>
        <source>Connected Devices</source>
        <translation>Verbundene Geräte</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Auswählen</translation>
    </message>
</context>
<context>
    <name>DisplaySettingPage</name>
    <message>
        <source>Display</source>
        <translation>Anzeige</translation>
    </message>
    <message>
        <source>
Choose between continuous and temporary display mode.
</source>
        <translation>
Wählen Sie zwischen dauerhafter und zeitweiser Anzeige.
</translation>
    </message>
    <message>
        <source>Always on</source>
        <translation>Immer an</translation>
    </message>
</context>
<context>
    <name>KelvoDevice</name>
    <message>
        <source>Kelvo Battery Warning</source>
        <translation>Kelvo-Akkuwarnung</translation>
    </message>
    <message>
        <source>The battery charge went below threshold of %1%! Plug in USB to charge your Kelvo.</source>
        <translation>Der Akkustand ist unter die Schwelle von %1% gefallen! Schließen Sie USB an, um Ihren Kelvo zu laden.</translation>
    </message>
    <message>
        <source>Kelvo Battery Information</source>
        <translation>Kelvo-Akkuinformation</translation>
    </message>
    <message>
        <source>Your Kelvo is fully charged now.</source>
        <translation>Ihr Kelvo ist jetzt vollständig geladen.</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
</context>
<context>
    <name>KelvoDeviceManager</name>
    <message>
        <source>Device not found</source>
        <translation>Gerät nicht gefunden</translation>
    </message>
</context>
<context>
    <name>KelvoDeviceView</name>
    <message>
        <source>Modify battery warning level</source>
        <translation>Batterie-Warnschwelle ändern</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Paired Devices:</source>
        <translation>Gekoppelte Geräte:</translation>
    </message>
    <message>
        <source>Erase</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Signal Strength</source>
        <translation>Signalstärke</translation>
    </message>
    <message>
        <source>Advertising Mode</source>
        <translation>Sendemodus</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>Anzeige</translation>
    </message>
    <message>
        <source>Backlight</source>
        <translation>Beleuchtung</translation>
    </message>
    <message>
        <source>Buzzer</source>
        <translation>Summer</translation>
    </message>
    <message>
        <source>Serial</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>MAC</source>
        <translation>MAC</translation>
    </message>
    <message>
        <source>Hardware</source>
        <translation>Hardware</translation>
    </message>
    <message>
        <source>Bootloader</source>
        <translation>Bootloader</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Build</source>
        <translation>Build</translation>
    </message>
    <message>
        <source>Driver</source>
        <translation>Treiber</translation>
    </message>
    <message>
        <source>Reader picture</source>
        <translation>Bild des Lesers</translation>
    </message>
    <message>
        <source>Shows the reader&apos;s front or back; activate it to turn the reader</source>
        <translation>Zeigt die Vorder- oder Rückseite des Lesers; aktivieren, um den Leser zu drehen</translation>
    </message>
    <message>
        <source>Turn the reader</source>
        <translation>Leser drehen</translation>
    </message>
    <message>
        <source>Shows the other side of the reader and its paired devices</source>
        <translation>Zeigt die andere Seite des Lesers und seine gekoppelten Geräte</translation>
    </message>
    <message>
        <source>Card</source>
        <translation>Karte</translation>
    </message>
    <message>
        <source>Battery</source>
        <translation>Akku</translation>
    </message>
    <message>
        <source>Charging</source>
        <translation>Lädt</translation>
    </message>
    <message>
        <source>The reader is on its USB cable</source>
        <translation>Der Leser hängt am USB-Kabel</translation>
    </message>
    <message>
        <source>Link encryption</source>
        <translation>Verbindungsverschlüsselung</translation>
    </message>
    <message>
        <source>Coverage</source>
        <translation>Reichweite</translation>
    </message>
    <message>
        <source>A card is in the reader</source>
        <translation>Eine Karte steckt im Leser</translation>
    </message>
    <message>
        <source>The card is not identified</source>
        <translation>Die Karte ist nicht erkannt</translation>
    </message>
    <message>
        <source>No card in the reader</source>
        <translation>Keine Karte im Leser</translation>
    </message>
    <message>
        <source>%1 charged; a warning comes at %2</source>
        <translation>%1 geladen; eine Warnung kommt bei %2</translation>
    </message>
    <message>
        <source>The link to the reader is encrypted</source>
        <translation>Die Verbindung zum Leser ist verschlüsselt</translation>
    </message>
    <message>
        <source>The link to the reader is not encrypted</source>
        <translation>Die Verbindung zum Leser ist nicht verschlüsselt</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>Level %1 of %2</source>
        <translation>Stufe %1 von %2</translation>
    </message>
    <message>
        <source>Power saving</source>
        <translation>Energiesparend</translation>
    </message>
    <message>
        <source>Always on</source>
        <translation>Immer an</translation>
    </message>
    <message>
        <source>Coverage limit off</source>
        <translation>Reichweitengrenze aus</translation>
    </message>
    <message>
        <source>Coverage limit on</source>
        <translation>Reichweitengrenze an</translation>
    </message>
</context>
<context>
    <name>KelvoDongleView</name>
    <message>
        <source>Bridge</source>
        <translation>Bridge</translation>
    </message>
    <message>
        <source>Bridge not found</source>
        <translation>Keine Bridge gefunden</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Advanced settings</source>
        <translation>Erweiterte Einstellungen</translation>
    </message>
    <message>
        <source>Enter pairing code:</source>
        <translation>Kopplungscode eingeben:</translation>
    </message>
    <message>
        <source>Pair</source>
        <translation>Koppeln</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Change Bridge name</source>
        <translation>Bridge-Namen ändern</translation>
    </message>
    <message>
        <source>Reset Bridge</source>
        <translation>Bridge zurücksetzen</translation>
    </message>
    <message>
        <source>Show paired devices</source>
        <translation>Gekoppelte Geräte anzeigen</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Paired devices:</source>
        <translation>Gekoppelte Geräte:</translation>
    </message>
    <message>
        <source>Firmware version: </source>
        <translation>Firmware-Version: </translation>
    </message>
    <message>
        <source>Scanning...</source>
        <translation>Suche läuft...</translation>
    </message>
    <message>
        <source>Connecting...</source>
        <translation>Verbindung wird hergestellt...</translation>
    </message>
    <message>
        <source>Changing...</source>
        <translation>Wird geändert...</translation>
    </message>
    <message>
        <source>Resetting...</source>
        <translation>Wird zurückgesetzt...</translation>
    </message>
    <message>
        <source>Querying...</source>
        <translation>Wird abgefragt...</translation>
    </message>
    <message>
        <source>Successfully connected</source>
        <translation>Erfolgreich verbunden</translation>
    </message>
    <message>
        <source>Successfully paired</source>
        <translation>Erfolgreich gekoppelt</translation>
    </message>
    <message>
        <source>Connection failed</source>
        <translation>Verbindung fehlgeschlagen</translation>
    </message>
    <message>
        <source>Pairing failed</source>
        <translation>Kopplung fehlgeschlagen</translation>
    </message>
    <message>
        <source>Pairing cancelled</source>
        <translation>Kopplung abgebrochen</translation>
    </message>
    <message>
        <source>Dongle name cannot be empty</source>
        <translation>Der Name der Bridge darf nicht leer sein</translation>
    </message>
    <message>
        <source>This name already set</source>
        <translation>Dieser Name ist bereits gesetzt</translation>
    </message>
    <message>
        <source>Confirm reset by pressing button again</source>
        <translation>Zum Bestätigen die Schaltfläche erneut drücken</translation>
    </message>
    <message>
        <source>Successfully changed name</source>
        <translation>Name erfolgreich geändert</translation>
    </message>
    <message>
        <source>Name change failed</source>
        <translation>Namensänderung fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>LogView</name>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>Driver Logging</source>
        <translation>Treiberprotokollierung</translation>
    </message>
    <message>
        <source>Export Logs</source>
        <translation>Protokolle exportieren</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Changes will take effect after system reboot</source>
        <translation>Die Änderungen werden nach einem Neustart des Systems wirksam</translation>
    </message>
    <message>
        <source>The driver&apos;s logging cannot be switched: %1 (%2).

Only root and members of the group kelvo may change it, for example with: sudo usermod -aG kelvo $USER</source>
        <translation>Die Protokollierung des Treibers kann nicht umgeschaltet werden: %1 (%2).

Nur root und Mitglieder der Gruppe kelvo dürfen sie ändern, zum Beispiel mit: sudo usermod -aG kelvo $USER</translation>
    </message>
</context>
<context>
    <name>PinChangeView</name>
    <message>
        <source>Change PIN</source>
        <translation>PIN ändern</translation>
    </message>
    <message>
        <source>Current PIN:</source>
        <translation>Aktuelle PIN:</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Ändern</translation>
    </message>
    <message>
        <source>Please enter current PIN</source>
        <translation>Bitte geben Sie die aktuelle PIN ein</translation>
    </message>
    <message>
        <source>Changing...</source>
        <translation>Wird geändert...</translation>
    </message>
    <message>
        <source>PIN successfully changed</source>
        <translation>PIN erfolgreich geändert</translation>
    </message>
    <message>
        <source>Incorrect PIN</source>
        <translation>Falsche PIN</translation>
    </message>
    <message>
        <source>Failed to change PIN</source>
        <translation>PIN konnte nicht geändert werden</translation>
    </message>
    <message>
        <source>PIN blocked</source>
        <translation>PIN gesperrt</translation>
    </message>
    <message>
        <source>Invalid new PIN</source>
        <translation>Ungültige neue PIN</translation>
    </message>
</context>
<context>
    <name>PinUnblockView</name>
    <message>
        <source>Unblock PIN</source>
        <translation>PIN entsperren</translation>
    </message>
    <message>
        <source>PUK:</source>
        <translation>PUK:</translation>
    </message>
    <message>
        <source>Unblock</source>
        <translation>Entsperren</translation>
    </message>
    <message>
        <source>Please enter PUK</source>
        <translation>Bitte geben Sie die PUK ein</translation>
    </message>
    <message>
        <source>Unblocking...</source>
        <translation>Wird entsperrt...</translation>
    </message>
    <message>
        <source>PIN successfully unblocked</source>
        <translation>PIN erfolgreich entsperrt</translation>
    </message>
    <message>
        <source>Incorrect PUK</source>
        <translation>Falsche PUK</translation>
    </message>
    <message>
        <source>Failed to unblock PIN</source>
        <translation>PIN konnte nicht entsperrt werden</translation>
    </message>
</context>
<context>
    <name>PinView</name>
    <message>
        <source>New PIN:</source>
        <translation>Neue PIN:</translation>
    </message>
    <message>
        <source>Confirm PIN:</source>
        <translation>PIN bestätigen:</translation>
    </message>
    <message>
        <source>Please enter new PIN</source>
        <translation>Bitte geben Sie die neue PIN ein</translation>
    </message>
    <message>
        <source>New PINs do not match</source>
        <translation>Die neuen PINs stimmen nicht überein</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>KEM Server URL: </source>
        <translation>KEM-Server-URL: </translation>
    </message>
    <message>
        <source>Locking workstation upon card removal</source>
        <translation>Arbeitsplatz beim Entfernen der Karte sperren</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>SignalStrngSettingPage</name>
    <message>
        <source>Signal Strength</source>
        <translation>Signalstärke</translation>
    </message>
    <message>
        <source>
Choose signal strength.
</source>
        <translation>
Wählen Sie die Signalstärke.
</translation>
    </message>
</context>
<context>
    <name>UpdateDevicePage</name>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>There is a newer firmware %1
available for device %2

Description: %3</source>
        <translation>Es gibt eine neuere Firmware %1
für das Gerät %2

Beschreibung: %3</translation>
    </message>
</context>
<context>
    <name>UpdateDialog</name>
    <message>
        <source>Firmware update</source>
        <translation>Firmware-Aktualisierung</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Installieren</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Überspringen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Release notes:</source>
        <translation>Versionshinweise:</translation>
    </message>
    <message>
        <source>Firmware %1 is available for your reader. The installed firmware is %2.</source>
        <translation>Firmware %1 ist für Ihren Leser verfügbar. Installiert ist die Firmware %2.</translation>
    </message>
    <message>
        <source>Firmware %1 is available for %3. The installed firmware is %2.</source>
        <translation>Firmware %1 ist für %3 verfügbar. Installiert ist die Firmware %2.</translation>
    </message>
    <message>
        <source>No release notes were given.</source>
        <translation>Es wurden keine Versionshinweise angegeben.</translation>
    </message>
    <message>
        <source>Read the release notes</source>
        <translation>Versionshinweise lesen</translation>
    </message>
    <message>
        <source>Downloading firmware %1...</source>
        <translation>Firmware %1 wird heruntergeladen...</translation>
    </message>
    <message>
        <source>Checking and unpacking firmware %1...</source>
        <translation>Firmware %1 wird geprüft und entpackt...</translation>
    </message>
</context>
<context>
    <name>UpdateFirmwareView</name>
    <message>
        <source>Updating Kelvo</source>
        <translation>Kelvo wird aktualisiert</translation>
    </message>
    <message>
        <source>New firmware: %1

Description: %2</source>
        <translation>Neue Firmware: %1

Beschreibung: %2</translation>
    </message>
    <message>
        <source>Please connect your Kelvo via USB</source>
        <translation>Bitte schließen Sie Ihren Kelvo über USB an</translation>
    </message>
    <message>
        <source>Your Kelvo will be updated

In case you are logged in with Kelvo your workstation will be locked</source>
        <translation>Ihr Kelvo wird aktualisiert

Falls Sie mit dem Kelvo angemeldet sind, wird Ihr Arbeitsplatz gesperrt</translation>
    </message>
    <message>
        <source>After update you can login again</source>
        <translation>Nach der Aktualisierung können Sie sich wieder anmelden</translation>
    </message>
    <message>
        <source>Kelvo connected</source>
        <translation>Kelvo verbunden</translation>
    </message>
    <message>
        <source>Done!

You can safely remove your Kelvo from USB</source>
        <translation>Fertig!

Sie können Ihren Kelvo jetzt sicher von USB trennen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Update in progress... %1%

Your workstation may be locked</source>
        <translation>Aktualisierung läuft... %1%

Ihr Arbeitsplatz wird möglicherweise gesperrt</translation>
    </message>
</context>
<context>
    <name>Window</name>
    <message>
        <source>Bridge</source>
        <translation>Bridge</translation>
    </message>
    <message>
        <source>Change Kelvo</source>
        <translation>Kelvo wechseln</translation>
    </message>
    <message>
        <source>No Device</source>
        <translation>Kein Gerät</translation>
    </message>
    <message>
        <source>&amp;Restore</source>
        <translation>&amp;Wiederherstellen</translation>
    </message>
    <message>
        <source>&amp;Settings</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>&amp;Log</source>
        <translation>&amp;Protokoll</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>&amp;Check for update</source>
        <translation>Nach &amp;Aktualisierung suchen</translation>
    </message>
    <message>
        <source>&amp;Bridge</source>
        <translation>&amp;Bridge</translation>
    </message>
    <message>
        <source>&amp;Tutorial</source>
        <translation>&amp;Einführung</translation>
    </message>
    <message>
        <source>&amp;Change PIN</source>
        <translation>PIN ä&amp;ndern</translation>
    </message>
    <message>
        <source>&amp;Unblock PIN</source>
        <translation>PIN en&amp;tsperren</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <source>Log, Bridge, Tutorial, Check for update, About and Quit</source>
        <translation>Protokoll, Bridge, Tutorial, Nach Updates suchen, Über und Beenden</translation>
    </message>
    <message>
        <source>This desktop has no system tray, so Kelvo Central runs as a window and ends when the window is closed. A tray extension for the desktop lets it keep running in the background.</source>
        <translation>Dieser Desktop hat keinen Infobereich, daher läuft Kelvo Central als Fenster und endet, wenn das Fenster geschlossen wird. Mit einer Erweiterung für den Infobereich kann es im Hintergrund weiterlaufen.</translation>
    </message>
    <message>
        <source>Tutorial</source>
        <translation>Tutorial</translation>
    </message>
    <message>
        <source>Opens the tutorial</source>
        <translation>Öffnet das Tutorial</translation>
    </message>
</context>
<context>
    <name>WorkingTimeRangesPage</name>
    <message>
        <source>Work Schedule</source>
        <translation>Arbeitszeiten</translation>
    </message>
    <message>
        <source>Begin</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
</context>
</TS>
