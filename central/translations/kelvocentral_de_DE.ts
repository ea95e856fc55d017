<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
    <name>Window</name>
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
</context>
<context>
    <name>main</name>
    <message>
        <source>I couldn&apos;t detect any system tray on this system.</source>
        <translation>Auf diesem System wurde kein Infobereich (System Tray) gefunden.</translation>
    </message>
</context>
</TS>
