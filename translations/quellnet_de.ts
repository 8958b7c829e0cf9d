<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>AppView</name>
    <message>
        <source>Tabs</source>
        <translation>Tabs</translation>
    </message>
    <message>
        <source>Instructions</source>
        <translation>Anleitung</translation>
    </message>
    <message>
        <source>Domains</source>
        <translation>Domains</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
</context>
<context>
    <name>DomainRow</name>
    <message>
        <source>Delete %1</source>
        <translation>%1 löschen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
</context>
<context>
    <name>DomainsView</name>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Domains</source>
        <translation>Domains</translation>
    </message>
    <message>
        <source>More Options</source>
        <translation>Weitere Optionen</translation>
    </message>
    <message>
        <source>Type here to add a new domain</source>
        <translation>Neue Domain hier eingeben</translation>
    </message>
</context>
<context>
    <name>InstructionsView</name>
    <message>
        <source>Instructions</source>
        <translation>Anleitung</translation>
    </message>
    <message>
        <source>Add domains to the list</source>
        <translation>Domains zur Liste hinzufügen</translation>
    </message>
    <message>
        <source>Save your preferences</source>
        <translation>Einstellungen speichern</translation>
    </message>
    <message>
        <source>Open Settings</source>
        <translation>Einstellungen öffnen</translation>
    </message>
    <message>
        <source>Go to General &gt; VPN &gt; DNS</source>
        <translation>Allgemein &gt; VPN &gt; DNS wählen</translation>
    </message>
    <message>
        <source>Enable the app</source>
        <translation>App aktivieren</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Turn off Wi-Fi to reset settings</source>
        <translation>Zurücksetzen: WLAN ausschalten</translation>
    </message>
</context>
<context>
    <name>PreferencesController</name>
    <message>
        <source>Blocklist is empty</source>
        <translation>Sperrliste ist leer</translation>
    </message>
    <message>
        <source>Blocklist is full</source>
        <translation>Sperrliste ist voll</translation>
    </message>
    <message>
        <source>Preferences already up to date</source>
        <translation>Einstellungen sind bereits aktuell</translation>
    </message>
    <message>
        <source>Error updating preferences</source>
        <translation>Fehler beim Aktualisieren</translation>
    </message>
    <message>
        <source>Error saving preferences</source>
        <translation>Fehler beim Speichern</translation>
    </message>
    <message>
        <source>Preferences updated!</source>
        <translation>Einstellungen aktualisiert!</translation>
    </message>
    <message>
        <source>Preferences saved!</source>
        <translation>Einstellungen gespeichert!</translation>
    </message>
    <message>
        <source>No preferences to remove</source>
        <translation>Keine Einstellungen zu entfernen</translation>
    </message>
    <message>
        <source>Error removing preferences</source>
        <translation>Fehler beim Entfernen</translation>
    </message>
    <message>
        <source>Preferences removed!</source>
        <translation>Einstellungen entfernt!</translation>
    </message>
</context>
<context>
    <name>ScreenRow</name>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Update preferences</source>
        <translation>Einstellungen aktualisieren</translation>
    </message>
    <message>
        <source>Save preferences</source>
        <translation>Einstellungen speichern</translation>
    </message>
    <message>
        <source>Remove preferences</source>
        <translation>Einstellungen entfernen</translation>
    </message>
    <message>
        <source>Network Settings</source>
        <translation>Netzwerkeinstellungen</translation>
    </message>
    <message>
        <source>More Apps</source>
        <translation>Weitere Apps</translation>
    </message>
</context>
<context>
    <name>SheetStack</name>
    <message>
        <source>App Store</source>
        <translation>App Store</translation>
    </message>
    <message numerus="yes">
        <source>%n star(s)</source>
        <translation>
            <numerusform>%n Stern</numerusform>
            <numerusform>%n Sterne</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StatusView</name>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>DNS protection is enabled</source>
        <translation>DNS-Schutz ist aktiviert</translation>
    </message>
    <message>
        <source>DNS protection is disabled</source>
        <translation>DNS-Schutz ist deaktiviert</translation>
    </message>
    <message>
        <source>Network Status</source>
        <translation>Netzwerkstatus</translation>
    </message>
    <message>
        <source>More Apps</source>
        <translation>Weitere Apps</translation>
    </message>
</context>
<context>
    <name>StoreKit</name>
    <message>
        <source>Enjoying this app?</source>
        <translation>Gefällt Ihnen diese App?</translation>
    </message>
    <message>
        <source>Enjoying %1?</source>
        <translation>Gefällt Ihnen %1?</translation>
    </message>
    <message>
        <source>Tap a star to rate it on the App Store.</source>
        <translation>Tippen Sie auf einen Stern, um die App im App Store zu bewerten.</translation>
    </message>
    <message>
        <source>Not Now</source>
        <translation>Nicht jetzt</translation>
    </message>
    <message>
        <source>Cannot connect to the store</source>
        <translation>Keine Verbindung zum Store</translation>
    </message>
    <message>
        <source>Product not available</source>
        <translation>Produkt nicht verfügbar</translation>
    </message>
    <message>
        <source>App %1</source>
        <translation>App %1</translation>
    </message>
</context>
<context>
    <name>UIViewController</name>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
</context>
</TS>
