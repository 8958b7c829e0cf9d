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
    <message>
        <source>Your blocklist can&apos;t be saved: %1. Changes will be lost when Quellnet quits.</source>
        <translation>Ihre Sperrliste kann nicht gespeichert werden: %1. Änderungen gehen verloren, wenn Quellnet beendet wird.</translation>
    </message>
</context>
<context>
    <name>BlocklistStore</name>
    <message>
        <source>the file is a symbolic link</source>
        <translation>die Datei ist ein symbolischer Link</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>sie ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>the file is damaged and can&apos;t be moved aside</source>
        <translation>die Datei ist beschädigt und kann nicht beiseitegelegt werden</translation>
    </message>
    <message>
        <source>the file is damaged</source>
        <translation>die Datei ist beschädigt</translation>
    </message>
    <message>
        <source>its folder can&apos;t be created</source>
        <translation>ihr Ordner kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>it was saved by a newer version of Quellnet</source>
        <translation>sie wurde von einer neueren Version von Quellnet gespeichert</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>der Datenträger ist voll</translation>
    </message>
    <message>
        <source>another program is using it</source>
        <translation>ein anderes Programm verwendet sie</translation>
    </message>
    <message>
        <source>the file can&apos;t be read</source>
        <translation>die Datei ist nicht lesbar</translation>
    </message>
    <message>
        <source>the file is read-only</source>
        <translation>die Datei ist schreibgeschützt</translation>
    </message>
    <message>
        <source>the file belongs to another user</source>
        <translation>die Datei gehört einem anderen Benutzer</translation>
    </message>
    <message>
        <source>its folder is not writable</source>
        <translation>ihr Ordner ist nicht beschreibbar</translation>
    </message>
</context>
<context>
    <name>DeviceSettings</name>
    <message>
        <source>On</source>
        <translation>ein</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>1 name</source>
        <translation>1 Name</translation>
    </message>
    <message>
        <source>%1 names</source>
        <translation>%1 Namen</translation>
    </message>
    <message>
        <source>%1 of uid %2, app %3</source>
        <translation>%1 von UID %2, App %3</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>Evaluate connection</source>
        <translation>Verbindung prüfen</translation>
    </message>
    <message>
        <source>Ignore</source>
        <translation>Ignorieren</translation>
    </message>
    <message>
        <source>Any</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source>Ethernet</source>
        <translation>Ethernet</translation>
    </message>
    <message>
        <source>Wi-Fi</source>
        <translation>WLAN</translation>
    </message>
    <message>
        <source>Cellular</source>
        <translation>Mobilfunk</translation>
    </message>
    <message>
        <source>type %1</source>
        <translation>Typ %1</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>kein Befehl angegeben</translation>
    </message>
    <message>
        <source>dns clear takes nothing more</source>
        <translation>dns clear nimmt nichts weiter an</translation>
    </message>
    <message>
        <source>dns check needs exactly one NAME</source>
        <translation>dns check braucht genau einen NAME</translation>
    </message>
    <message>
        <source>unknown dns command &quot;%1&quot;</source>
        <translation>unbekannter dns-Befehl „%1“</translation>
    </message>
    <message>
        <source>dns %1 needs exactly one APP</source>
        <translation>dns %1 braucht genau eine APP</translation>
    </message>
    <message>
        <source>system needs one of install, uninstall, status</source>
        <translation>system braucht install, uninstall oder status</translation>
    </message>
    <message>
        <source>store needs one of offline, online, status</source>
        <translation>store braucht offline, online oder status</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>unbekannter Befehl „%1“</translation>
    </message>
    <message>
        <source>: warning: </source>
        <translation>: Warnung: </translation>
    </message>
    <message>
        <source>Unreadable file %1: it %2.
</source>
        <translation>Nicht lesbare Datei %1: %2.
</translation>
    </message>
    <message>
        <source>  Protocol: </source>
        <translation>  Protokoll: </translation>
    </message>
    <message>
        <source>  Servers: </source>
        <translation>  Server: </translation>
    </message>
    <message>
        <source>  Server URL: </source>
        <translation>  Server-URL: </translation>
    </message>
    <message>
        <source>not set</source>
        <translation>nicht gesetzt</translation>
    </message>
    <message>
        <source>  Server name: </source>
        <translation>  Servername: </translation>
    </message>
    <message>
        <source>  Match domains: </source>
        <translation>  Match-Domains: </translation>
    </message>
    <message>
        <source>all</source>
        <translation>alle</translation>
    </message>
    <message>
        <source>  On-demand rule %1: %2, interface %3</source>
        <translation>  Bei-Bedarf-Regel %1: %2, Schnittstelle %3</translation>
    </message>
    <message>
        <source>, SSIDs: </source>
        <translation>, SSIDs: </translation>
    </message>
    <message>
        <source>, search domains: </source>
        <translation>, Suchdomains: </translation>
    </message>
    <message>
        <source>, DNS servers: </source>
        <translation>, DNS-Server: </translation>
    </message>
    <message>
        <source>, probe URL: </source>
        <translation>, Test-URL: </translation>
    </message>
    <message>
        <source>  Enforced on this computer: </source>
        <translation>  Auf diesem Computer durchgesetzt: </translation>
    </message>
    <message>
        <source>  Left out of the enforced list: </source>
        <translation>  Nicht in der Systemsperrliste: </translation>
    </message>
    <message>
        <source>No DNS configurations are stored.
</source>
        <translation>Es sind keine DNS-Konfigurationen gespeichert.
</translation>
    </message>
    <message>
        <source>Enforced list that cannot be read: %1 %2.
</source>
        <translation>Nicht lesbare Systemsperrliste: %1 %2.
</translation>
    </message>
    <message>
        <source>Enforced list matching no switched-on configuration: %1 (%2).
</source>
        <translation>Systemsperrliste ohne passende eingeschaltete Konfiguration: %1 (%2).
</translation>
    </message>
    <message>
        <source>Enforced list of another account: %1 (%2).
</source>
        <translation>Systemsperrliste eines anderen Kontos: %1 (%2).
</translation>
    </message>
    <message>
        <source>  Clear it with: device-settings dns clear
</source>
        <translation>  Löschen mit: device-settings dns clear
</translation>
    </message>
    <message>
        <source>  Clear it with: sudo device-settings dns clear
</source>
        <translation>  Löschen mit: sudo device-settings dns clear
</translation>
    </message>
    <message>
        <source>1 stored DNS configuration cannot be read</source>
        <translation>1 gespeicherte DNS-Konfiguration ist nicht lesbar</translation>
    </message>
    <message>
        <source>%1 stored DNS configurations cannot be read</source>
        <translation>%1 gespeicherte DNS-Konfigurationen sind nicht lesbar</translation>
    </message>
    <message>
        <source>&quot;%1&quot; names several apps (%2); give the identifier</source>
        <translation>„%1“ bezeichnet mehrere Apps (%2); bitte die ID angeben</translation>
    </message>
    <message>
        <source>the DNS configuration of %1 cannot be switched: %2; it is left as it is</source>
        <translation>die DNS-Konfiguration von %1 kann nicht geschaltet werden: %2; sie bleibt, wie sie ist</translation>
    </message>
    <message>
        <source>no DNS configuration is stored for app &quot;%1&quot;</source>
        <translation>für die App „%1“ ist keine DNS-Konfiguration gespeichert</translation>
    </message>
    <message>
        <source>no, only a dead-end configuration (every server 0.0.0.0 or ::) is enforced here</source>
        <translation>nein, hier wird nur eine Konfiguration ins Leere (jeder Server 0.0.0.0 oder ::) durchgesetzt</translation>
    </message>
    <message>
        <source>no, it has no match domains, so it would block every name</source>
        <translation>nein, sie hat keine Match-Domains und würde daher jeden Namen sperren</translation>
    </message>
    <message>
        <source>no, no enforced list is in force; run: device-settings dns enable %1</source>
        <translation>nein, keine Systemsperrliste ist wirksam; ausführen: device-settings dns enable %1</translation>
    </message>
    <message>
        <source>no, the list in force cannot be read: it %1</source>
        <translation>nein, die wirksame Liste ist nicht lesbar: %1</translation>
    </message>
    <message>
        <source>no, another account&apos;s list is in force (uid %1, app %2)</source>
        <translation>nein, die Liste eines anderen Kontos ist wirksam (UID %1, App %2)</translation>
    </message>
    <message>
        <source>no, the list in force (%1) does not match this configuration; run: device-settings dns enable %2</source>
        <translation>nein, die wirksame Liste (%1) passt nicht zu dieser Konfiguration; ausführen: device-settings dns enable %2</translation>
    </message>
    <message>
        <source>no, </source>
        <translation>nein, </translation>
    </message>
    <message>
        <source>yes, %1 (list of uid %2, app %3)</source>
        <translation>ja, %1 (Liste von UID %2, App %3)</translation>
    </message>
    <message>
        <source>nothing changed: %1, and it may be switched on</source>
        <translation>nichts geändert: %1, und sie ist womöglich eingeschaltet</translation>
    </message>
    <message>
        <source>; it is left as it is</source>
        <translation>; sie bleibt, wie sie ist</translation>
    </message>
    <message>
        <source>DNS configuration of %1 stays %2: %3</source>
        <translation>DNS-Konfiguration von %1 bleibt %2: %3</translation>
    </message>
    <message>
        <source>the enforced list no longer matches the stored configurations: </source>
        <translation>die Systemsperrliste passt nicht mehr zu den gespeicherten Konfigurationen: </translation>
    </message>
    <message>
        <source>DNS configuration of %1 is already Off.
</source>
        <translation>DNS-Konfiguration von %1 ist bereits aus.
</translation>
    </message>
    <message>
        <source>DNS configuration of %1 is now Off.
</source>
        <translation>DNS-Konfiguration von %1 ist jetzt aus.
</translation>
    </message>
    <message>
        <source>DNS configuration of %1 is already On.
</source>
        <translation>DNS-Konfiguration von %1 ist bereits ein.
</translation>
    </message>
    <message>
        <source>DNS configuration of %1 is now On.
</source>
        <translation>DNS-Konfiguration von %1 ist jetzt ein.
</translation>
    </message>
    <message>
        <source>Enforced on this computer: %1 blocked.
</source>
        <translation>Auf diesem Computer durchgesetzt: %1 gesperrt.
</translation>
    </message>
    <message>
        <source>Not enforced on this computer: %1.
</source>
        <translation>Auf diesem Computer nicht durchgesetzt: %1.
</translation>
    </message>
    <message>
        <source>Left out of the enforced list: %1
</source>
        <translation>Nicht in der Systemsperrliste: %1
</translation>
    </message>
    <message>
        <source>the DNS configurations kept changing; nothing was switched</source>
        <translation>die DNS-Konfigurationen änderten sich ständig; nichts wurde geschaltet</translation>
    </message>
    <message>
        <source>No enforced list is in force.
</source>
        <translation>Es ist keine Systemsperrliste wirksam.
</translation>
    </message>
    <message>
        <source>the enforced list belongs to the switched-on DNS configuration of %1; switch it off with: device-settings dns disable %2</source>
        <translation>die Systemsperrliste gehört zur eingeschalteten DNS-Konfiguration von %1; ausschalten mit: device-settings dns disable %2</translation>
    </message>
    <message>
        <source>cannot clear the enforced list: </source>
        <translation>Systemsperrliste kann nicht gelöscht werden: </translation>
    </message>
    <message>
        <source>Cleared the enforced list (%1).
</source>
        <translation>Systemsperrliste gelöscht (%1).
</translation>
    </message>
    <message>
        <source>Cleared the enforced list.
</source>
        <translation>Systemsperrliste gelöscht.
</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a DNS name (%2)</source>
        <translation>„%1“ ist kein DNS-Name (%2)</translation>
    </message>
    <message>
        <source>%1 is never blocked: localhost, names under it and this computer&apos;s own name always resolve.
</source>
        <translation>%1 wird nie gesperrt: localhost, Namen darunter und der eigene Name dieses Computers werden immer aufgelöst.
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer: no enforced list is in force.
</source>
        <translation>%1 ist auf diesem Computer nicht gesperrt: keine Systemsperrliste ist wirksam.
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer: the list in force cannot be read (it %2).
</source>
        <translation>%1 ist auf diesem Computer nicht gesperrt: die wirksame Liste ist nicht lesbar (%2).
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer.
</source>
        <translation>%1 ist auf diesem Computer nicht gesperrt.
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer: the list in force has the entry &quot;%2&quot;, but the system part is not installed (%3).
</source>
        <translation>%1 ist auf diesem Computer nicht gesperrt: die wirksame Liste hat den Eintrag „%2“, aber der Systemteil ist nicht installiert (%3).
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer: the list in force has the entry &quot;%2&quot;, but %3.
</source>
        <translation>%1 ist auf diesem Computer nicht gesperrt: die wirksame Liste hat den Eintrag „%2“, aber: %3.
</translation>
    </message>
    <message>
        <source>%1 is blocked on this computer by the entry &quot;%2&quot; (list of uid %3, app %4).
</source>
        <translation>%1 ist auf diesem Computer durch den Eintrag „%2“ gesperrt (Liste von UID %3, App %4).
</translation>
    </message>
    <message>
        <source>App Store: </source>
        <translation>App Store: </translation>
    </message>
    <message>
        <source>online</source>
        <translation>online</translation>
    </message>
    <message>
        <source>offline</source>
        <translation>offline</translation>
    </message>
    <message>
        <source>unknown store command &quot;%1&quot;</source>
        <translation>unbekannter store-Befehl „%1“</translation>
    </message>
    <message>
        <source>cannot switch the app store %1: %2</source>
        <translation>App Store kann nicht %1 geschaltet werden: %2</translation>
    </message>
    <message>
        <source>App Store is now %1.
</source>
        <translation>App Store ist jetzt %1.
</translation>
    </message>
    <message>
        <source>system %1 changes %2 and must run as root: sudo device-settings system %1</source>
        <translation>system %1 ändert %2 und muss als root laufen: sudo device-settings system %1</translation>
    </message>
    <message>
        <source>unknown system command &quot;%1&quot;</source>
        <translation>unbekannter system-Befehl „%1“</translation>
    </message>
    <message>
        <source>the hosts module cannot be used: </source>
        <translation>das hosts-Modul ist nicht verwendbar: </translation>
    </message>
    <message>
        <source>the writer %1 is not installed; run: sudo cmake --install build</source>
        <translation>das Schreibprogramm %1 ist nicht installiert; ausführen: sudo cmake --install build</translation>
    </message>
    <message>
        <source>nothing was uninstalled</source>
        <translation>nichts wurde deinstalliert</translation>
    </message>
    <message>
        <source>cannot clear the enforced list: %1; nothing was uninstalled</source>
        <translation>Systemsperrliste kann nicht gelöscht werden: %1; nichts wurde deinstalliert</translation>
    </message>
    <message>
        <source>The hosts line of %1 already starts with %2.
</source>
        <translation>Die hosts-Zeile von %1 beginnt bereits mit %2.
</translation>
    </message>
    <message>
        <source>cannot install into %1: %2</source>
        <translation>Installation in %1 nicht möglich: %2</translation>
    </message>
    <message>
        <source>The hosts line of %1 has no %2; nothing to take out.
</source>
        <translation>Die hosts-Zeile von %1 enthält kein %2; nichts zu entfernen.
</translation>
    </message>
    <message>
        <source>Put %1 first on the hosts line of %2:
  %3
</source>
        <translation>%1 an den Anfang der hosts-Zeile von %2 gesetzt:
  %3
</translation>
    </message>
    <message>
        <source>Took %1 off the hosts line of %2:
  %3
</source>
        <translation>%1 aus der hosts-Zeile von %2 entfernt:
  %3
</translation>
    </message>
    <message>
        <source>System part: installed
</source>
        <translation>Systemteil: installiert
</translation>
    </message>
    <message>
        <source>System part: not installed (%1)
</source>
        <translation>Systemteil: nicht installiert (%1)
</translation>
    </message>
    <message>
        <source>  Hosts line of %1: %2
</source>
        <translation>  hosts-Zeile von %1: %2
</translation>
    </message>
    <message>
        <source>  Writer: %1
</source>
        <translation>  Schreibprogramm: %1
</translation>
    </message>
    <message>
        <source>  Enforced list: none
</source>
        <translation>  Systemsperrliste: keine
</translation>
    </message>
    <message>
        <source>  Enforced list: %1 cannot be read: it %2
</source>
        <translation>  Systemsperrliste: %1 ist nicht lesbar: %2
</translation>
    </message>
    <message>
        <source>  Enforced list: %1 (%2)
</source>
        <translation>  Systemsperrliste: %1 (%2)
</translation>
    </message>
    <message>
        <source>cannot find the home folder of uid %1; nothing was uninstalled</source>
        <translation>Home-Ordner von UID %1 nicht gefunden; nichts wurde deinstalliert</translation>
    </message>
    <message>
        <source>the writer is at %1</source>
        <translation>der Schreiber liegt unter %1</translation>
    </message>
    <message>
        <source>the hosts module is at %1</source>
        <translation>das hosts-Modul liegt unter %1</translation>
    </message>
    <message>
        <source>the polkit action names %1</source>
        <translation>die polkit-Aktion nennt %1</translation>
    </message>
    <message>
        <source>this device-settings was configured for the prefix %1: it looks for the writer at %2 and the hosts module in %3, but %4. The prefix is chosen when configuring, not when installing: cmake -B build -DCMAKE_INSTALL_PREFIX=%5, then build and install again</source>
        <translation>dieses device-settings wurde für das Präfix %1 konfiguriert: es sucht den Schreiber unter %2 und das hosts-Modul in %3, aber %4. Das Präfix wird beim Konfigurieren gewählt, nicht beim Installieren: cmake -B build -DCMAKE_INSTALL_PREFIX=%5, dann erneut bauen und installieren</translation>
    </message>
    <message>
        <source>%1 belongs to uid %2; root leaves it alone</source>
        <translation>%1 gehört UID %2; root lässt es unverändert</translation>
    </message>
    <message>
        <source>the writer %1, which edits %2, is not installed</source>
        <translation>der Schreiber %1, der %2 bearbeitet, ist nicht installiert</translation>
    </message>
    <message>
        <source>the writer failed</source>
        <translation>der Schreiber ist gescheitert</translation>
    </message>
    <message>
        <source>the writer did not finish in time</source>
        <translation>der Schreiber ist nicht rechtzeitig fertig geworden</translation>
    </message>
    <message>
        <source>cannot take %1 out of %2: %3</source>
        <translation>%1 kann nicht aus %2 entfernt werden: %3</translation>
    </message>
    <message>
        <source>The hosts line of %1 keeps %2: it was there before Quellnet was installed.
</source>
        <translation>Die hosts-Zeile von %1 behält %2: es stand dort schon, bevor Quellnet installiert wurde.
</translation>
    </message>
    <message>
        <source>system %1 is not for root</source>
        <translation>system %1 ist nicht für root</translation>
    </message>
    <message>
        <source>cannot read the groups of %1; nothing was uninstalled</source>
        <translation>die Gruppen von %1 können nicht gelesen werden; nichts wurde deinstalliert</translation>
    </message>
    <message>
        <source>it did not finish in time</source>
        <translation>der Vorgang wurde nicht rechtzeitig fertig</translation>
    </message>
    <message>
        <source>it stopped unexpectedly</source>
        <translation>der Vorgang wurde unerwartet beendet</translation>
    </message>
    <message>
        <source>it could not run as that account</source>
        <translation>der Vorgang konnte nicht als dieses Konto laufen</translation>
    </message>
    <message>
        <source>it failed</source>
        <translation>der Vorgang ist gescheitert</translation>
    </message>
    <message>
        <source>cannot switch off the configurations of %1: %2; nothing was uninstalled</source>
        <translation>die Konfigurationen von %1 können nicht ausgeschaltet werden: %2; nichts wurde deinstalliert</translation>
    </message>
    <message>
        <source>it could not be started: %1</source>
        <translation>der Vorgang konnte nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>Usage: device-settings dns [enable|disable APP | check NAME | clear | export APP FORMAT [FILE]] | system install|uninstall|status | store offline|online|status | --help</source>
        <translation>Aufruf: device-settings dns [enable|disable APP | check NAME | clear | export APP FORMAT [FILE]] | system install|uninstall|status | store offline|online|status | --help</translation>
    </message>
    <message>
        <source>browsers keep their own DNS-over-HTTPS off while this name does not exist, so their look-ups stay with this computer&apos;s resolver and its blocklist</source>
        <translation>Browser lassen ihr eigenes DNS-over-HTTPS aus, solange es diesen Namen nicht gibt, und ihre Abfragen bleiben so beim Resolver dieses Computers und seiner Sperrliste</translation>
    </message>
    <message>
        <source>It is held while protection is on: %1.
</source>
        <translation>Solange der Schutz eingeschaltet ist, wird er zurückgehalten: %1.
</translation>
    </message>
    <message>
        <source>%1 is held on this computer while protection is on (list of uid %2, app %3), though it is not in the blocklist: %4.
</source>
        <translation>%1 wird auf diesem Computer zurückgehalten, solange der Schutz eingeschaltet ist (Liste von UID %2, App %3), obwohl er nicht in der Sperrliste steht: %4.
</translation>
    </message>
    <message>
        <source>dns export needs APP, FORMAT and optionally FILE</source>
        <translation>dns export braucht APP, FORMAT und wahlweise FILE</translation>
    </message>
    <message>
        <source>unknown export format &quot;%1&quot;; use one of %2</source>
        <translation>unbekanntes Exportformat „%1“; erlaubt sind %2</translation>
    </message>
    <message>
        <source>dns export needs a FILE name, or none for standard output</source>
        <translation>dns export braucht einen Dateinamen FILE, oder keinen für die Standardausgabe</translation>
    </message>
    <message>
        <source>the DNS configuration of %1 is not a dead end (every server 0.0.0.0 or ::), so its match domains are not blocked names</source>
        <translation>die DNS-Konfiguration von %1 führt nicht ins Leere (jeder Server 0.0.0.0 oder ::), ihre Match-Domains sind also keine gesperrten Namen</translation>
    </message>
    <message>
        <source>the DNS configuration of %1 has no match domains, so it would block every name; nothing to export</source>
        <translation>die DNS-Konfiguration von %1 hat keine Match-Domains und würde so jeden Namen sperren; nichts zu exportieren</translation>
    </message>
    <message>
        <source>left out of the export: </source>
        <translation>beim Export ausgelassen: </translation>
    </message>
    <message>
        <source>cannot write the export to standard output</source>
        <translation>der Export kann nicht auf die Standardausgabe geschrieben werden</translation>
    </message>
    <message>
        <source>cannot write the export: %1</source>
        <translation>der Export kann nicht geschrieben werden: %1</translation>
    </message>
    <message>
        <source>Wrote %1 of %2 to %3 (%4).
</source>
        <translation>%1 von %2 in %3 geschrieben (%4).
</translation>
    </message>
    <message>
        <source>no, the system part is not installed: %1; run: sudo device-settings system install</source>
        <translation>nein, der Systemteil ist nicht installiert: %1; ausführen: sudo device-settings system install</translation>
    </message>
    <message>
        <source>Off, but its list (%1) is still in force on this computer; run: device-settings dns disable %2</source>
        <translation>aus, aber ihre Sperrliste (%1) ist auf diesem Computer noch wirksam; ausführen: device-settings dns disable %2</translation>
    </message>
    <message>
        <source>It is left as it is.</source>
        <translation>Sie bleibt, wie sie ist.</translation>
    </message>
    <message>
        <source>Off; if switched on, enforced on this computer: %1</source>
        <translation>aus; wenn eingeschaltet, auf diesem Computer durchgesetzt: %1</translation>
    </message>
    <message>
        <source>On; enforced on this computer: %1</source>
        <translation>ein; auf diesem Computer durchgesetzt: %1</translation>
    </message>
    <message>
        <source>; left out: %1</source>
        <translation>; ausgelassen: %1</translation>
    </message>
    <message>
        <source>Usage: device-settings COMMAND
Switches the DNS configurations that apps store on this computer on and off; the names
of the one switched on are blocked for every program here. The command line of the
Settings window, for scripts.

  dns                  list every stored DNS configuration
  dns enable APP       switch APP&apos;s DNS configuration on and every other one off
  dns disable APP      switch APP&apos;s DNS configuration off
  dns check NAME       tell whether NAME is blocked on this computer, and by what
  dns clear            delete an enforced list no switched-on configuration matches
  dns export APP FORMAT [FILE]
                       write APP&apos;s blocked names for a home network&apos;s resolver, to FILE
                       or standard output; FORMAT: rpz, unbound, dnsmasq, adblock, hosts
  system install       put the Quellnet hosts module first in nsswitch.conf (root)
  system uninstall     switch every configuration off and take the module out (root)
  system status        tell whether this computer can enforce a configuration
  store offline        make the app store unreachable
  store online         make the app store reachable again
  store status         tell whether the app store is reachable
  --help               show this text

APP is an app&apos;s display name (any letter case) or its bundle identifier.
A switched-on dead-end configuration (every server 0.0.0.0 or ::) is enforced on this
computer: look-ups of its match domains, and of names under them, fail.
</source>
        <translation>Aufruf: device-settings BEFEHL
Schaltet die DNS-Konfigurationen, die Apps auf diesem Computer speichern, ein und aus; die
Namen der eingeschalteten werden für jedes Programm hier gesperrt. Die Befehlszeile des
Einstellungen-Fensters, für Skripte.

  dns                  alle gespeicherten DNS-Konfigurationen auflisten
  dns enable APP       DNS-Konfiguration von APP einschalten, alle anderen ausschalten
  dns disable APP      DNS-Konfiguration von APP ausschalten
  dns check NAME       zeigen, ob NAME auf diesem Computer gesperrt ist, und wodurch
  dns clear            eine Systemsperrliste löschen, die zu keiner eingeschalteten
                       Konfiguration passt
  dns export APP FORMAT [FILE]
                       die gesperrten Namen von APP für den Resolver eines Heimnetzes
                       in FILE oder auf die Standardausgabe schreiben; FORMAT: rpz,
                       unbound, dnsmasq, adblock, hosts
  system install       das hosts-Modul von Quellnet in nsswitch.conf voranstellen (root)
  system uninstall     alle Konfigurationen ausschalten und das Modul entfernen (root)
  system status        zeigen, ob dieser Computer eine Konfiguration durchsetzen kann
  store offline        den App Store unerreichbar machen
  store online         den App Store wieder erreichbar machen
  store status         zeigen, ob der App Store erreichbar ist
  --help               diesen Text anzeigen

APP ist der Anzeigename einer App (Groß-/Kleinschreibung egal) oder ihre Bundle-ID.
Eine eingeschaltete Konfiguration ins Leere (jeder Server 0.0.0.0 oder ::) wird auf
diesem Computer durchgesetzt: Abfragen ihrer Match-Domains und der Namen darunter
schlagen fehl.
</translation>
    </message>
    <message>
        <source>; use-application-dns.net is held too: %1</source>
        <translation>; use-application-dns.net wird ebenfalls zurückgehalten: %1</translation>
    </message>
</context>
<context>
    <name>DnsPage</name>
    <message>
        <source>DNS</source>
        <translation>DNS</translation>
    </message>
    <message>
        <source>The DNS configurations cannot be read</source>
        <translation>Die DNS-Konfigurationen können nicht gelesen werden</translation>
    </message>
    <message>
        <source>No app has stored a DNS configuration.</source>
        <translation>Keine App hat eine DNS-Konfiguration gespeichert.</translation>
    </message>
    <message>
        <source>Switching on…</source>
        <translation>Wird eingeschaltet …</translation>
    </message>
    <message>
        <source>Switching off…</source>
        <translation>Wird ausgeschaltet …</translation>
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
    <message>
        <source>built-in tracker</source>
        <translation>integrierter Tracker</translation>
    </message>
    <message>
        <source>added by you</source>
        <translation>von Ihnen hinzugefügt</translation>
    </message>
    <message>
        <source>add</source>
        <translation>hinzufügen</translation>
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
    <name>RowSwipe</name>
    <message>
        <source>Delete %1</source>
        <translation>%1 löschen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>RowTextField</name>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
</context>
<context>
    <name>SettingsNavigator</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>VPN</source>
        <translation>VPN</translation>
    </message>
    <message>
        <source>DNS</source>
        <translation>DNS</translation>
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
    <name>SettingsWindow</name>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
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
