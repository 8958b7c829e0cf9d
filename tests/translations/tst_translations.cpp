// The catalogues embedded in the programs: each shipped language turns the screens' texts and
// device-settings' output into its own, other languages read English, and a C locale keeps
// English whatever LANGUAGE says.
#include "ScreenFixture.h"

#include "Translations.h"
#include "screens/SettingsView.h"
#include "screens/StatusView.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace {
QStringList tabTitles(const AppView &view) {
    QStringList titles;
    for (const QVariant &tab : view.tabs())
        titles << tab.toMap().value(u"title"_s).toString();
    return titles;
}

const QStringList englishTabs{u"Instructions"_s, u"Domains"_s, u"Status"_s, u"Settings"_s};
const QStringList germanTabs{u"Anleitung"_s, u"Domains"_s, u"Status"_s, u"Einstellungen"_s};
const QStringList frenchTabs{u"Instructions"_s, u"Domaines"_s, u"État"_s, u"Réglages"_s};
} // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

    ScreenFixture m_f;

private Q_SLOTS:

    void screensReadTheCatalogueOfTheLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<QString>("statusLine");
        QTest::addColumn<QString>("saveRow");

        QTest::newRow("German") << u"de_DE"_s << germanTabs << u"DNS-Schutz ist deaktiviert"_s
                                << u"Sperrliste ist leer"_s;
        QTest::newRow("German of Austria falls back to German")
            << u"de_AT"_s << germanTabs << u"DNS-Schutz ist deaktiviert"_s
            << u"Sperrliste ist leer"_s;
        QTest::newRow("French") << u"fr_FR"_s << frenchTabs << u"La protection DNS est désactivée"_s
                                << u"La liste de blocage est vide"_s;
        QTest::newRow("French of Canada falls back to French")
            << u"fr_CA"_s << frenchTabs << u"La protection DNS est désactivée"_s
            << u"La liste de blocage est vide"_s;
        QTest::newRow("English") << u"en_GB"_s << englishTabs << u"DNS protection is disabled"_s
                                 << u"Blocklist is empty"_s;
        QTest::newRow("a language not shipped reads English")
            << u"pt_BR"_s << englishTabs << u"DNS protection is disabled"_s
            << u"Blocklist is empty"_s;
    }
    void screensReadTheCatalogueOfTheLocale() {
        QFETCH(QString, locale);
        QFETCH(QStringList, tabs);
        QFETCH(QString, statusLine);
        QFETCH(QString, saveRow);

        QTranslator translator;
        if (Translations::loadCatalogue(translator, QLocale(locale)))
            QVERIFY(QCoreApplication::installTranslator(&translator));
        const auto removed = qScopeGuard([&] { QCoreApplication::removeTranslator(&translator); });

        const AppView app(&m_f.store, &m_f.phase, ScreenFixture::services());
        QCOMPARE(tabTitles(app), tabs);
        const StatusView status(NEDNSSettingsManager::sharedManager(), &m_f.phase);
        QCOMPARE(status.navigationTitle(), tabs.at(AppView::status));
        QVERIFY2(status.content().texts().contains(statusLine),
                 qPrintable(status.content().texts().join(u", "_s)));
        const SettingsView settings(NEDNSSettingsManager::sharedManager(), m_f.store.domains(),
                                    &m_f.phase);
        QVERIFY2(settings.content().texts().contains(saveRow),
                 qPrintable(settings.content().texts().join(u", "_s)));
    }

    void pluralsFollowTheLanguage_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");

        QTest::newRow("English one") << u"en_US"_s << 1 << u"1 star"_s;
        QTest::newRow("English five") << u"en_US"_s << 5 << u"5 stars"_s;
        QTest::newRow("German one") << u"de_DE"_s << 1 << u"1 Stern"_s;
        QTest::newRow("German five") << u"de_DE"_s << 5 << u"5 Sterne"_s;
        QTest::newRow("French one") << u"fr_FR"_s << 1 << u"1 étoile"_s;
        QTest::newRow("French five") << u"fr_FR"_s << 5 << u"5 étoiles"_s;
    }
    void pluralsFollowTheLanguage() {
        QFETCH(QString, locale);
        QFETCH(int, count);
        QFETCH(QString, text);

        QTranslator translator;
        QVERIFY(Translations::loadCatalogue(translator, QLocale(locale)));
        QVERIFY(QCoreApplication::installTranslator(&translator));
        const auto removed = qScopeGuard([&] { QCoreApplication::removeTranslator(&translator); });
        QCOMPARE(QCoreApplication::translate("SheetStack", "%n star(s)", nullptr, count), text);
    }

    void untranslatedLocales_data() {
        QTest::addColumn<QString>("messagesLocale");
        QTest::addColumn<bool>("untranslated");

        QTest::newRow("unset") << QString() << true;
        QTest::newRow("C") << u"C"_s << true;
        QTest::newRow("C with codeset") << u"C.UTF-8"_s << true;
        QTest::newRow("POSIX") << u"POSIX"_s << true;
        QTest::newRow("German") << u"de_DE.UTF-8"_s << false;
        QTest::newRow("with modifier") << u"fr_FR@euro"_s << false;
        QTest::newRow("Catalan is no C") << u"ca_ES.UTF-8"_s << false;
        QTest::newRow("bare language") << u"fr"_s << false;
    }
    void untranslatedLocales() {
        QFETCH(QString, messagesLocale);
        QFETCH(bool, untranslated);
        QCOMPARE(Translations::isUntranslatedLocale(messagesLocale), untranslated);
    }

    void deviceSettingsSpeaksTheLocale_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("messagesLocale");
        QTest::addColumn<QString>("error");

        QTest::newRow("German") << u"de"_s << u"de_DE.UTF-8"_s
                                << u"device-settings: unbekannter Befehl „bogus“\n"_s;
        QTest::newRow("French") << u"fr"_s << u"fr_FR.UTF-8"_s
                                << u"device-settings: commande inconnue «\u00a0bogus\u00a0»\n"_s;
        QTest::newRow("C locale despite LANGUAGE")
            << u"de"_s << u"C.UTF-8"_s << u"device-settings: unknown command \"bogus\"\n"_s;
    }
    void deviceSettingsSpeaksTheLocale() {
        QFETCH(QString, language);
        QFETCH(QString, messagesLocale);
        QFETCH(QString, error);

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LANGUAGE"_s, language);
        environment.insert(u"LC_ALL"_s, messagesLocale);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(DEVICE_SETTINGS_PATH), {u"bogus"_s});
        QVERIFY(process.waitForFinished(60'000));
        QCOMPARE(process.exitCode(), 2);
        const QString output = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(output.startsWith(error), qPrintable(output));
    }

    // Last: what installTranslations() installs stays for the rest of the process.
    void cLocaleKeepsEnglishDespiteLanguage() {
        qputenv("LC_ALL", "C.UTF-8");
        qputenv("LANGUAGE", "de");
        Translations::installTranslations();
        QCOMPARE(tabTitles(AppView(&m_f.store, &m_f.phase, ScreenFixture::services())),
                 englishTabs);
        // The English plural forms are installed all the same.
        QCOMPARE(QCoreApplication::translate("SheetStack", "%n star(s)", nullptr, 2), u"2 stars"_s);
    }
};

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
