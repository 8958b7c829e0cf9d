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
</context>
<context>
    <name>DomainRow</name>
    <message>
        <source>Delete %1</source>
        <translation>Supprimer %1</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Coller</translation>
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
    <name>ScreenRow</name>
    <message>
        <source>Paste</source>
        <translation>Coller</translation>
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
