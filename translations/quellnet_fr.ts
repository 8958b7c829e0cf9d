<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>AppView</name>
    <message>
        <source>Tabs</source>
        <translation>Onglets</translation>
    </message>
    <message>
        <source>Instructions</source>
        <translation>Instructions</translation>
    </message>
    <message>
        <source>Domains</source>
        <translation>Domaines</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>État</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Réglages</translation>
    </message>
    <message>
        <source>Your blocklist can&apos;t be saved: %1. Changes will be lost when Quellnet quits.</source>
        <translation>Impossible d’enregistrer votre liste de blocage&#xa0;: %1. Les modifications seront perdues à la fermeture de Quellnet.</translation>
    </message>
</context>
<context>
    <name>BlocklistStore</name>
    <message>
        <source>the file is a symbolic link</source>
        <translation>le fichier est un lien symbolique</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>ce n’est pas un fichier ordinaire</translation>
    </message>
    <message>
        <source>the file is damaged and can&apos;t be moved aside</source>
        <translation>le fichier est endommagé et ne peut pas être mis de côté</translation>
    </message>
    <message>
        <source>the file is damaged</source>
        <translation>le fichier est endommagé</translation>
    </message>
    <message>
        <source>its folder can&apos;t be created</source>
        <translation>son dossier ne peut pas être créé</translation>
    </message>
    <message>
        <source>it was saved by a newer version of Quellnet</source>
        <translation>il a été enregistré par une version plus récente de Quellnet</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>le disque est plein</translation>
    </message>
    <message>
        <source>another program is using it</source>
        <translation>un autre programme l’utilise</translation>
    </message>
    <message>
        <source>the file can&apos;t be read</source>
        <translation>le fichier est illisible</translation>
    </message>
    <message>
        <source>the file is read-only</source>
        <translation>le fichier est en lecture seule</translation>
    </message>
    <message>
        <source>the file belongs to another user</source>
        <translation>le fichier appartient à un autre utilisateur</translation>
    </message>
    <message>
        <source>its folder is not writable</source>
        <translation>son dossier n’est pas accessible en écriture</translation>
    </message>
</context>
<context>
    <name>DeviceSettings</name>
    <message>
        <source>On</source>
        <translation>activée</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>désactivée</translation>
    </message>
    <message>
        <source>1 name</source>
        <translation>1 nom</translation>
    </message>
    <message>
        <source>%1 names</source>
        <translation>%1 noms</translation>
    </message>
    <message>
        <source>%1 of uid %2, app %3</source>
        <translation>%1 de l’UID %2, app %3</translation>
    </message>
    <message>
        <source>none</source>
        <translation>aucun</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Se connecter</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Se déconnecter</translation>
    </message>
    <message>
        <source>Evaluate connection</source>
        <translation>Évaluer la connexion</translation>
    </message>
    <message>
        <source>Ignore</source>
        <translation>Ignorer</translation>
    </message>
    <message>
        <source>Any</source>
        <translation>Toutes</translation>
    </message>
    <message>
        <source>Ethernet</source>
        <translation>Ethernet</translation>
    </message>
    <message>
        <source>Wi-Fi</source>
        <translation>Wi-Fi</translation>
    </message>
    <message>
        <source>Cellular</source>
        <translation>Cellulaire</translation>
    </message>
    <message>
        <source>type %1</source>
        <translation>type %1</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>aucune commande indiquée</translation>
    </message>
    <message>
        <source>dns clear takes nothing more</source>
        <translation>dns clear n’accepte rien de plus</translation>
    </message>
    <message>
        <source>dns check needs exactly one NAME</source>
        <translation>dns check demande exactement un NAME</translation>
    </message>
    <message>
        <source>unknown dns command &quot;%1&quot;</source>
        <translation>commande dns inconnue «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>dns %1 needs exactly one APP</source>
        <translation>dns %1 demande exactement une APP</translation>
    </message>
    <message>
        <source>system needs one of install, uninstall, status</source>
        <translation>system demande install, uninstall ou status</translation>
    </message>
    <message>
        <source>store needs one of offline, online, status</source>
        <translation>store demande offline, online ou status</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>commande inconnue «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>: warning: </source>
        <translation>: avertissement&#xa0;: </translation>
    </message>
    <message>
        <source>Unreadable file %1: it %2.
</source>
        <translation>Fichier illisible %1&#xa0;: %2.
</translation>
    </message>
    <message>
        <source>  Protocol: </source>
        <translation>  Protocole&#xa0;: </translation>
    </message>
    <message>
        <source>  Servers: </source>
        <translation>  Serveurs&#xa0;: </translation>
    </message>
    <message>
        <source>  Server URL: </source>
        <translation>  URL du serveur&#xa0;: </translation>
    </message>
    <message>
        <source>not set</source>
        <translation>non défini</translation>
    </message>
    <message>
        <source>  Server name: </source>
        <translation>  Nom du serveur&#xa0;: </translation>
    </message>
    <message>
        <source>  Match domains: </source>
        <translation>  Domaines concernés&#xa0;: </translation>
    </message>
    <message>
        <source>all</source>
        <translation>tous</translation>
    </message>
    <message>
        <source>  On-demand rule %1: %2, interface %3</source>
        <translation>  Règle à la demande %1&#xa0;: %2, interface %3</translation>
    </message>
    <message>
        <source>, SSIDs: </source>
        <translation>, SSID&#xa0;: </translation>
    </message>
    <message>
        <source>, search domains: </source>
        <translation>, domaines de recherche&#xa0;: </translation>
    </message>
    <message>
        <source>, DNS servers: </source>
        <translation>, serveurs DNS&#xa0;: </translation>
    </message>
    <message>
        <source>, probe URL: </source>
        <translation>, URL de test&#xa0;: </translation>
    </message>
    <message>
        <source>  Enforced on this computer: </source>
        <translation>  Appliquée sur cet ordinateur&#xa0;: </translation>
    </message>
    <message>
        <source>  Left out of the enforced list: </source>
        <translation>  Exclus de la liste appliquée&#xa0;: </translation>
    </message>
    <message>
        <source>No DNS configurations are stored.
</source>
        <translation>Aucune configuration DNS n’est enregistrée.
</translation>
    </message>
    <message>
        <source>Enforced list that cannot be read: %1 %2.
</source>
        <translation>Liste appliquée illisible&#xa0;: %1 %2.
</translation>
    </message>
    <message>
        <source>Enforced list matching no switched-on configuration: %1 (%2).
</source>
        <translation>Liste appliquée sans configuration activée correspondante&#xa0;: %1 (%2).
</translation>
    </message>
    <message>
        <source>Enforced list of another account: %1 (%2).
</source>
        <translation>Liste appliquée d’un autre compte&#xa0;: %1 (%2).
</translation>
    </message>
    <message>
        <source>  Clear it with: device-settings dns clear
</source>
        <translation>  Pour la supprimer&#xa0;: device-settings dns clear
</translation>
    </message>
    <message>
        <source>  Clear it with: sudo device-settings dns clear
</source>
        <translation>  Pour la supprimer&#xa0;: sudo device-settings dns clear
</translation>
    </message>
    <message>
        <source>1 stored DNS configuration cannot be read</source>
        <translation>1 configuration DNS enregistrée est illisible</translation>
    </message>
    <message>
        <source>%1 stored DNS configurations cannot be read</source>
        <translation>%1 configurations DNS enregistrées sont illisibles</translation>
    </message>
    <message>
        <source>&quot;%1&quot; names several apps (%2); give the identifier</source>
        <translation>«&#xa0;%1&#xa0;» désigne plusieurs apps (%2)&#x202f;; indiquez l’identifiant</translation>
    </message>
    <message>
        <source>the DNS configuration of %1 cannot be switched: %2; it is left as it is</source>
        <translation>la configuration DNS de %1 ne peut pas être basculée&#xa0;: %2&#x202f;; elle reste telle quelle</translation>
    </message>
    <message>
        <source>no DNS configuration is stored for app &quot;%1&quot;</source>
        <translation>aucune configuration DNS n’est enregistrée pour l’app «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>no, only a dead-end configuration (every server 0.0.0.0 or ::) is enforced here</source>
        <translation>non, seule une configuration sans issue (tous les serveurs à 0.0.0.0 ou ::) est appliquée ici</translation>
    </message>
    <message>
        <source>no, it has no match domains, so it would block every name</source>
        <translation>non, elle n’a aucun domaine concerné et bloquerait donc tous les noms</translation>
    </message>
    <message>
        <source>no, no enforced list is in force; run: device-settings dns enable %1</source>
        <translation>non, aucune liste appliquée n’est en vigueur&#x202f;; lancez&#xa0;: device-settings dns enable %1</translation>
    </message>
    <message>
        <source>no, the list in force cannot be read: it %1</source>
        <translation>non, la liste en vigueur est illisible&#xa0;: %1</translation>
    </message>
    <message>
        <source>no, another account&apos;s list is in force (uid %1, app %2)</source>
        <translation>non, la liste d’un autre compte est en vigueur (UID %1, app %2)</translation>
    </message>
    <message>
        <source>no, the list in force (%1) does not match this configuration; run: device-settings dns enable %2</source>
        <translation>non, la liste en vigueur (%1) ne correspond pas à cette configuration&#x202f;; lancez&#xa0;: device-settings dns enable %2</translation>
    </message>
    <message>
        <source>no, </source>
        <translation>non, </translation>
    </message>
    <message>
        <source>yes, %1 (list of uid %2, app %3)</source>
        <translation>oui, %1 (liste de l’UID %2, app %3)</translation>
    </message>
    <message>
        <source>nothing changed: %1, and it may be switched on</source>
        <translation>rien n’a changé&#xa0;: %1, et elle est peut-être activée</translation>
    </message>
    <message>
        <source>; it is left as it is</source>
        <translation>&#x202f;; elle reste telle quelle</translation>
    </message>
    <message>
        <source>DNS configuration of %1 stays %2: %3</source>
        <translation>La configuration DNS de %1 reste %2&#xa0;: %3</translation>
    </message>
    <message>
        <source>the enforced list no longer matches the stored configurations: </source>
        <translation>la liste appliquée ne correspond plus aux configurations enregistrées&#xa0;: </translation>
    </message>
    <message>
        <source>DNS configuration of %1 is already Off.
</source>
        <translation>La configuration DNS de %1 est déjà désactivée.
</translation>
    </message>
    <message>
        <source>DNS configuration of %1 is now Off.
</source>
        <translation>La configuration DNS de %1 est maintenant désactivée.
</translation>
    </message>
    <message>
        <source>DNS configuration of %1 is already On.
</source>
        <translation>La configuration DNS de %1 est déjà activée.
</translation>
    </message>
    <message>
        <source>DNS configuration of %1 is now On.
</source>
        <translation>La configuration DNS de %1 est maintenant activée.
</translation>
    </message>
    <message>
        <source>Enforced on this computer: %1 blocked.
</source>
        <translation>Appliquée sur cet ordinateur&#xa0;: blocage de %1.
</translation>
    </message>
    <message>
        <source>Not enforced on this computer: %1.
</source>
        <translation>Non appliquée sur cet ordinateur&#xa0;: %1.
</translation>
    </message>
    <message>
        <source>Left out of the enforced list: %1
</source>
        <translation>Exclus de la liste appliquée&#xa0;: %1
</translation>
    </message>
    <message>
        <source>the DNS configurations kept changing; nothing was switched</source>
        <translation>les configurations DNS changeaient sans cesse&#x202f;; rien n’a été basculé</translation>
    </message>
    <message>
        <source>No enforced list is in force.
</source>
        <translation>Aucune liste appliquée n’est en vigueur.
</translation>
    </message>
    <message>
        <source>the enforced list belongs to the switched-on DNS configuration of %1; switch it off with: device-settings dns disable %2</source>
        <translation>la liste appliquée appartient à la configuration DNS activée de %1&#x202f;; désactivez-la avec&#xa0;: device-settings dns disable %2</translation>
    </message>
    <message>
        <source>cannot clear the enforced list: </source>
        <translation>impossible de supprimer la liste appliquée&#xa0;: </translation>
    </message>
    <message>
        <source>Cleared the enforced list (%1).
</source>
        <translation>Liste appliquée supprimée (%1).
</translation>
    </message>
    <message>
        <source>Cleared the enforced list.
</source>
        <translation>Liste appliquée supprimée.
</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a DNS name (%2)</source>
        <translation>«&#xa0;%1&#xa0;» n’est pas un nom DNS (%2)</translation>
    </message>
    <message>
        <source>%1 is never blocked: localhost, names under it and this computer&apos;s own name always resolve.
</source>
        <translation>%1 n’est jamais bloqué&#xa0;: localhost, les noms situés sous lui et le nom de cet ordinateur sont toujours résolus.
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer: no enforced list is in force.
</source>
        <translation>%1 n’est pas bloqué sur cet ordinateur&#xa0;: aucune liste appliquée n’est en vigueur.
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer: the list in force cannot be read (it %2).
</source>
        <translation>%1 n’est pas bloqué sur cet ordinateur&#xa0;: la liste en vigueur est illisible (%2).
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer.
</source>
        <translation>%1 n’est pas bloqué sur cet ordinateur.
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer: the list in force has the entry &quot;%2&quot;, but the system part is not installed (%3).
</source>
        <translation>%1 n’est pas bloqué sur cet ordinateur&#xa0;: la liste en vigueur contient l’entrée «&#xa0;%2&#xa0;», mais la partie système n’est pas installée (%3).
</translation>
    </message>
    <message>
        <source>%1 is not blocked on this computer: the list in force has the entry &quot;%2&quot;, but %3.
</source>
        <translation>%1 n’est pas bloqué sur cet ordinateur&#xa0;: la liste en vigueur contient l’entrée «&#xa0;%2&#xa0;», mais&#xa0;: %3.
</translation>
    </message>
    <message>
        <source>%1 is blocked on this computer by the entry &quot;%2&quot; (list of uid %3, app %4).
</source>
        <translation>%1 est bloqué sur cet ordinateur par l’entrée «&#xa0;%2&#xa0;» (liste de l’UID %3, app %4).
</translation>
    </message>
    <message>
        <source>App Store: </source>
        <translation>App Store&#xa0;: </translation>
    </message>
    <message>
        <source>online</source>
        <translation>en ligne</translation>
    </message>
    <message>
        <source>offline</source>
        <translation>hors ligne</translation>
    </message>
    <message>
        <source>unknown store command &quot;%1&quot;</source>
        <translation>commande store inconnue «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>cannot switch the app store %1: %2</source>
        <translation>impossible de mettre l’App Store %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>App Store is now %1.
</source>
        <translation>L’App Store est maintenant %1.
</translation>
    </message>
    <message>
        <source>system %1 changes %2 and must run as root: sudo device-settings system %1</source>
        <translation>system %1 modifie %2 et doit s’exécuter en root&#xa0;: sudo device-settings system %1</translation>
    </message>
    <message>
        <source>unknown system command &quot;%1&quot;</source>
        <translation>commande system inconnue «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>the hosts module cannot be used: </source>
        <translation>le module hosts est inutilisable&#xa0;: </translation>
    </message>
    <message>
        <source>the writer %1 is not installed; run: sudo cmake --install build</source>
        <translation>le programme d’écriture %1 n’est pas installé&#x202f;; lancez&#xa0;: sudo cmake --install build</translation>
    </message>
    <message>
        <source>nothing was uninstalled</source>
        <translation>rien n’a été désinstallé</translation>
    </message>
    <message>
        <source>cannot clear the enforced list: %1; nothing was uninstalled</source>
        <translation>impossible de supprimer la liste appliquée&#xa0;: %1&#x202f;; rien n’a été désinstallé</translation>
    </message>
    <message>
        <source>The hosts line of %1 already starts with %2.
</source>
        <translation>La ligne hosts de %1 commence déjà par %2.
</translation>
    </message>
    <message>
        <source>cannot install into %1: %2</source>
        <translation>impossible d’installer dans %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>The hosts line of %1 has no %2; nothing to take out.
</source>
        <translation>La ligne hosts de %1 ne contient pas %2&#x202f;; rien à retirer.
</translation>
    </message>
    <message>
        <source>Put %1 first on the hosts line of %2:
  %3
</source>
        <translation>%1 placé en tête de la ligne hosts de %2&#xa0;:
  %3
</translation>
    </message>
    <message>
        <source>Took %1 off the hosts line of %2:
  %3
</source>
        <translation>%1 retiré de la ligne hosts de %2&#xa0;:
  %3
</translation>
    </message>
    <message>
        <source>System part: installed
</source>
        <translation>Partie système&#xa0;: installée
</translation>
    </message>
    <message>
        <source>System part: not installed (%1)
</source>
        <translation>Partie système&#xa0;: non installée (%1)
</translation>
    </message>
    <message>
        <source>  Hosts line of %1: %2
</source>
        <translation>  Ligne hosts de %1&#xa0;: %2
</translation>
    </message>
    <message>
        <source>  Writer: %1
</source>
        <translation>  Programme d’écriture&#xa0;: %1
</translation>
    </message>
    <message>
        <source>  Enforced list: none
</source>
        <translation>  Liste appliquée&#xa0;: aucune
</translation>
    </message>
    <message>
        <source>  Enforced list: %1 cannot be read: it %2
</source>
        <translation>  Liste appliquée&#xa0;: %1 est illisible&#xa0;: %2
</translation>
    </message>
    <message>
        <source>  Enforced list: %1 (%2)
</source>
        <translation>  Liste appliquée&#xa0;: %1 (%2)
</translation>
    </message>
    <message>
        <source>cannot find the home folder of uid %1; nothing was uninstalled</source>
        <translation>dossier personnel de l’UID %1 introuvable&#x202f;; rien n’a été désinstallé</translation>
    </message>
    <message>
        <source>the writer is at %1</source>
        <translation>le programme d’écriture se trouve à %1</translation>
    </message>
    <message>
        <source>the hosts module is at %1</source>
        <translation>le module hosts se trouve à %1</translation>
    </message>
    <message>
        <source>the polkit action names %1</source>
        <translation>l’action polkit désigne %1</translation>
    </message>
    <message>
        <source>this device-settings was configured for the prefix %1: it looks for the writer at %2 and the hosts module in %3, but %4. The prefix is chosen when configuring, not when installing: cmake -B build -DCMAKE_INSTALL_PREFIX=%5, then build and install again</source>
        <translation>ce device-settings a été configuré pour le préfixe %1 : il cherche le programme d’écriture à %2 et le module hosts dans %3, mais %4. Le préfixe se choisit à la configuration, pas à l’installation : cmake -B build -DCMAKE_INSTALL_PREFIX=%5, puis compiler et installer à nouveau</translation>
    </message>
    <message>
        <source>%1 belongs to uid %2; root leaves it alone</source>
        <translation>%1 appartient à l’UID %2 ; root n’y touche pas</translation>
    </message>
    <message>
        <source>the writer %1, which edits %2, is not installed</source>
        <translation>le programme d’écriture %1, qui modifie %2, n’est pas installé</translation>
    </message>
    <message>
        <source>the writer failed</source>
        <translation>le programme d’écriture a échoué</translation>
    </message>
    <message>
        <source>the writer did not finish in time</source>
        <translation>le programme d’écriture n’a pas terminé à temps</translation>
    </message>
    <message>
        <source>cannot take %1 out of %2: %3</source>
        <translation>impossible de retirer %1 de %2 : %3</translation>
    </message>
    <message>
        <source>The hosts line of %1 keeps %2: it was there before Quellnet was installed.
</source>
        <translation>La ligne hosts de %1 garde %2 : il s’y trouvait avant l’installation de Quellnet.
</translation>
    </message>
    <message>
        <source>system %1 is not for root</source>
        <translation>system %1 n’est pas pour root</translation>
    </message>
    <message>
        <source>cannot read the groups of %1; nothing was uninstalled</source>
        <translation>impossible de lire les groupes de %1 ; rien n’a été désinstallé</translation>
    </message>
    <message>
        <source>it did not finish in time</source>
        <translation>il n’a pas terminé à temps</translation>
    </message>
    <message>
        <source>it stopped unexpectedly</source>
        <translation>il s’est arrêté de façon inattendue</translation>
    </message>
    <message>
        <source>it could not run as that account</source>
        <translation>il n’a pas pu s’exécuter sous ce compte</translation>
    </message>
    <message>
        <source>it failed</source>
        <translation>il a échoué</translation>
    </message>
    <message>
        <source>cannot switch off the configurations of %1: %2; nothing was uninstalled</source>
        <translation>impossible de désactiver les configurations de %1 : %2 ; rien n’a été désinstallé</translation>
    </message>
    <message>
        <source>it could not be started: %1</source>
        <translation>il n’a pas pu être lancé : %1</translation>
    </message>
    <message>
        <source>Usage: device-settings dns [enable|disable APP | check NAME | clear | export APP FORMAT [FILE]] | system install|uninstall|status | store offline|online|status | --help</source>
        <translation>Usage&#xa0;: device-settings dns [enable|disable APP | check NAME | clear | export APP FORMAT [FILE]] | system install|uninstall|status | store offline|online|status | --help</translation>
    </message>
    <message>
        <source>browsers keep their own DNS-over-HTTPS off while this name does not exist, so their look-ups stay with this computer&apos;s resolver and its blocklist</source>
        <translation>les navigateurs laissent leur propre DNS-over-HTTPS désactivé tant que ce nom n’existe pas, et leurs résolutions restent ainsi au résolveur de cet ordinateur et à sa liste de blocage</translation>
    </message>
    <message>
        <source>It is held while protection is on: %1.
</source>
        <translation>Il est retenu tant que la protection est activée&#xa0;: %1.
</translation>
    </message>
    <message>
        <source>%1 is held on this computer while protection is on (list of uid %2, app %3), though it is not in the blocklist: %4.
</source>
        <translation>%1 est retenu sur cet ordinateur tant que la protection est activée (liste de l’UID %2, app %3), bien qu’il ne figure pas dans la liste de blocage&#xa0;: %4.
</translation>
    </message>
    <message>
        <source>dns export needs APP, FORMAT and optionally FILE</source>
        <translation>dns export demande APP, FORMAT et, au choix, FILE</translation>
    </message>
    <message>
        <source>unknown export format &quot;%1&quot;; use one of %2</source>
        <translation>format d’export «&#xa0;%1&#xa0;» inconnu&#xa0;; utilisez l’un de %2</translation>
    </message>
    <message>
        <source>dns export needs a FILE name, or none for standard output</source>
        <translation>dns export demande un nom de fichier FILE, ou aucun pour la sortie standard</translation>
    </message>
    <message>
        <source>the DNS configuration of %1 is not a dead end (every server 0.0.0.0 or ::), so its match domains are not blocked names</source>
        <translation>la configuration DNS de %1 n’est pas sans issue (tous les serveurs à 0.0.0.0 ou ::), ses domaines concernés ne sont donc pas des noms bloqués</translation>
    </message>
    <message>
        <source>the DNS configuration of %1 has no match domains, so it would block every name; nothing to export</source>
        <translation>la configuration DNS de %1 n’a pas de domaines concernés et bloquerait donc tous les noms&#xa0;; rien à exporter</translation>
    </message>
    <message>
        <source>left out of the export: </source>
        <translation>omis de l’export&#xa0;: </translation>
    </message>
    <message>
        <source>cannot write the export to standard output</source>
        <translation>impossible d’écrire l’export sur la sortie standard</translation>
    </message>
    <message>
        <source>cannot write the export: %1</source>
        <translation>impossible d’écrire l’export&#xa0;: %1</translation>
    </message>
    <message>
        <source>Wrote %1 of %2 to %3 (%4).
</source>
        <translation>%1 de %2 écrits dans %3 (%4).
</translation>
    </message>
    <message>
        <source>no, the system part is not installed: %1; run: sudo device-settings system install</source>
        <translation>non, la partie système n’est pas installée&#xa0;: %1&#x202f;; exécuter&#xa0;: sudo device-settings system install</translation>
    </message>
    <message>
        <source>Off, but its list (%1) is still in force on this computer; run: device-settings dns disable %2</source>
        <translation>désactivée, mais sa liste (%1) est encore appliquée sur cet ordinateur&#x202f;; exécuter&#xa0;: device-settings dns disable %2</translation>
    </message>
    <message>
        <source>It is left as it is.</source>
        <translation>Il reste tel quel.</translation>
    </message>
    <message>
        <source>Off; if switched on, enforced on this computer: %1</source>
        <translation>désactivée&#x202f;; une fois activée, appliquée sur cet ordinateur&#xa0;: %1</translation>
    </message>
    <message>
        <source>On; enforced on this computer: %1</source>
        <translation>activée&#x202f;; appliquée sur cet ordinateur&#xa0;: %1</translation>
    </message>
    <message>
        <source>; left out: %1</source>
        <translation>&#x202f;; omis&#xa0;: %1</translation>
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
        <translation>Usage&#xa0;: device-settings COMMANDE
Active et désactive les configurations DNS que les apps enregistrent sur cet ordinateur&#x202f;;
les noms de celle qui est activée sont bloqués pour tous les programmes ici. La ligne de
commande de la fenêtre Réglages, pour les scripts.

  dns                  lister toutes les configurations DNS enregistrées
  dns enable APP       activer la configuration DNS d’APP et désactiver toutes les autres
  dns disable APP      désactiver la configuration DNS d’APP
  dns check NAME       dire si NAME est bloqué sur cet ordinateur, et par quoi
  dns clear            supprimer une liste appliquée qui ne correspond à aucune
                       configuration activée
  dns export APP FORMAT [FILE]
                       écrire les noms bloqués d’APP pour le résolveur d’un réseau
                       domestique, dans FILE ou sur la sortie standard&#xa0;; FORMAT&#xa0;: rpz,
                       unbound, dnsmasq, adblock, hosts
  system install       placer le module hosts de Quellnet en tête de nsswitch.conf (root)
  system uninstall     désactiver toutes les configurations et retirer le module (root)
  system status        dire si cet ordinateur peut appliquer une configuration
  store offline        rendre l’App Store injoignable
  store online         rendre l’App Store de nouveau joignable
  store status         dire si l’App Store est joignable
  --help               afficher ce texte

APP est le nom affiché d’une app (casse indifférente) ou son identifiant de bundle.
Une configuration sans issue activée (tous les serveurs à 0.0.0.0 ou ::) est appliquée
sur cet ordinateur&#xa0;: la résolution de ses domaines concernés, et des noms situés
sous eux, échoue.
</translation>
    </message>
    <message>
        <source>; use-application-dns.net is held too: %1</source>
        <translation>&#x202f;; use-application-dns.net est retenu aussi&#xa0;: %1</translation>
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
        <translation>Les configurations DNS ne peuvent pas être lues</translation>
    </message>
    <message>
        <source>No app has stored a DNS configuration.</source>
        <translation>Aucune app n’a enregistré de configuration DNS.</translation>
    </message>
    <message>
        <source>Switching on…</source>
        <translation>Activation…</translation>
    </message>
    <message>
        <source>Switching off…</source>
        <translation>Désactivation…</translation>
    </message>
</context>
<context>
    <name>DomainsView</name>
    <message>
        <source>Search</source>
        <translation>Rechercher</translation>
    </message>
    <message>
        <source>Domains</source>
        <translation>Domaines</translation>
    </message>
    <message>
        <source>More Options</source>
        <translation>Plus d’options</translation>
    </message>
    <message>
        <source>Type here to add a new domain</source>
        <translation>Saisissez un domaine à ajouter</translation>
    </message>
    <message>
        <source>built-in tracker</source>
        <translation>traqueur intégré</translation>
    </message>
    <message>
        <source>added by you</source>
        <translation>ajouté par vous</translation>
    </message>
    <message>
        <source>add</source>
        <translation>ajouter</translation>
    </message>
</context>
<context>
    <name>InstructionsView</name>
    <message>
        <source>Instructions</source>
        <translation>Instructions</translation>
    </message>
    <message>
        <source>Add domains to the list</source>
        <translation>Ajoutez des domaines à la liste</translation>
    </message>
    <message>
        <source>Save your preferences</source>
        <translation>Enregistrez vos préférences</translation>
    </message>
    <message>
        <source>Open Settings</source>
        <translation>Ouvrez Réglages</translation>
    </message>
    <message>
        <source>Go to General &gt; VPN &gt; DNS</source>
        <translation>Accédez à Général &gt; VPN &gt; DNS</translation>
    </message>
    <message>
        <source>Enable the app</source>
        <translation>Activez l’app</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Aide</translation>
    </message>
    <message>
        <source>Turn off Wi-Fi to reset settings</source>
        <translation>Coupez le Wi-Fi pour réinitialiser</translation>
    </message>
</context>
<context>
    <name>PreferencesController</name>
    <message>
        <source>Blocklist is empty</source>
        <translation>La liste de blocage est vide</translation>
    </message>
    <message>
        <source>Blocklist is full</source>
        <translation>La liste de blocage est pleine</translation>
    </message>
    <message>
        <source>Preferences already up to date</source>
        <translation>Préférences déjà à jour</translation>
    </message>
    <message>
        <source>Error updating preferences</source>
        <translation>Échec de la mise à jour</translation>
    </message>
    <message>
        <source>Error saving preferences</source>
        <translation>Échec de l’enregistrement</translation>
    </message>
    <message>
        <source>Preferences updated!</source>
        <translation>Préférences mises à jour&#x202f;!</translation>
    </message>
    <message>
        <source>Preferences saved!</source>
        <translation>Préférences enregistrées&#x202f;!</translation>
    </message>
    <message>
        <source>No preferences to remove</source>
        <translation>Aucune préférence à supprimer</translation>
    </message>
    <message>
        <source>Error removing preferences</source>
        <translation>Échec de la suppression</translation>
    </message>
    <message>
        <source>Preferences removed!</source>
        <translation>Préférences supprimées&#x202f;!</translation>
    </message>
</context>
<context>
    <name>RowSwipe</name>
    <message>
        <source>Delete %1</source>
        <translation>Supprimer %1</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Supprimer</translation>
    </message>
</context>
<context>
    <name>RowTextField</name>
    <message>
        <source>Paste</source>
        <translation>Coller</translation>
    </message>
</context>
<context>
    <name>SettingsNavigator</name>
    <message>
        <source>Settings</source>
        <translation>Réglages</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Général</translation>
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
        <translation>Réglages</translation>
    </message>
    <message>
        <source>Update preferences</source>
        <translation>Mettre à jour les préférences</translation>
    </message>
    <message>
        <source>Save preferences</source>
        <translation>Enregistrer les préférences</translation>
    </message>
    <message>
        <source>Remove preferences</source>
        <translation>Supprimer les préférences</translation>
    </message>
    <message>
        <source>Network Settings</source>
        <translation>Réglages réseau</translation>
    </message>
    <message>
        <source>More Apps</source>
        <translation>Autres apps</translation>
    </message>
</context>
<context>
    <name>SettingsWindow</name>
    <message>
        <source>Back</source>
        <translation>Retour</translation>
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
            <numerusform>%n étoile</numerusform>
            <numerusform>%n étoiles</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StatusView</name>
    <message>
        <source>Status</source>
        <translation>État</translation>
    </message>
    <message>
        <source>DNS protection is enabled</source>
        <translation>La protection DNS est activée</translation>
    </message>
    <message>
        <source>DNS protection is disabled</source>
        <translation>La protection DNS est désactivée</translation>
    </message>
    <message>
        <source>Network Status</source>
        <translation>État du réseau</translation>
    </message>
    <message>
        <source>More Apps</source>
        <translation>Autres apps</translation>
    </message>
</context>
<context>
    <name>StoreKit</name>
    <message>
        <source>Enjoying this app?</source>
        <translation>Vous aimez cette app&#x202f;?</translation>
    </message>
    <message>
        <source>Enjoying %1?</source>
        <translation>Vous aimez %1&#x202f;?</translation>
    </message>
    <message>
        <source>Tap a star to rate it on the App Store.</source>
        <translation>Touchez une étoile pour l’évaluer sur l’App Store.</translation>
    </message>
    <message>
        <source>Not Now</source>
        <translation>Pas maintenant</translation>
    </message>
    <message>
        <source>Cannot connect to the store</source>
        <translation>Connexion au Store impossible</translation>
    </message>
    <message>
        <source>Product not available</source>
        <translation>Produit non disponible</translation>
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
        <translation>OK</translation>
    </message>
</context>
</TS>
