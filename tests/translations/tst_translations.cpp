// The embedded catalogues: shipped languages translate, others and a C locale read English.
#include "ScreenFixture.h"

#include "Translations.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTest>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace {
QStringList stars() {
    return {QCoreApplication::translate("SheetStack", "%n star(s)", nullptr, 1),
            QCoreApplication::translate("SheetStack", "%n star(s)", nullptr, 5)};
}

const QStringList englishTabs{u"Instructions"_s, u"Domains"_s, u"Status"_s, u"Settings"_s};
const QStringList germanTabs{u"Anleitung"_s, u"Domains"_s, u"Status"_s, u"Einstellungen"_s};
const QStringList frenchTabs{u"Instructions"_s, u"Domaines"_s, u"État"_s, u"Réglages"_s};
const QStringList englishStars{u"1 star"_s, u"5 stars"_s};
} // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

    ScreenFixture m_f;

    QStringList tabTitles() {
        QStringList titles;
        for (const QVariant &tab :
             AppView(&m_f.store, &m_f.phase, ScreenFixture::services()).tabs())
            titles << tab.toMap().value(u"title"_s).toString();
        return titles;
    }

private Q_SLOTS:
    // A territory not shipped falls back to its language; a language not shipped reads English.
    void screensReadTheCatalogueOfTheLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<QStringList>("stars"); // empty: no catalogue
        const QStringList frenchStars{u"1 étoile"_s, u"5 étoiles"_s};
        QTest::newRow("German of Austria")
            << u"de_AT"_s << germanTabs << QStringList{u"1 Stern"_s, u"5 Sterne"_s};
        QTest::newRow("French") << u"fr_FR"_s << frenchTabs << frenchStars;
        QTest::newRow("English") << u"en_US"_s << englishTabs << englishStars;
        QTest::newRow("not shipped") << u"pt_BR"_s << englishTabs << QStringList();
    }
    void screensReadTheCatalogueOfTheLocale() {
        QFETCH(QString, locale);
        QFETCH(QStringList, tabs);
        QFETCH(QStringList, stars);
        QTranslator translator;
        QCOMPARE(Translations::loadCatalogue(translator, QLocale(locale)), !stars.isEmpty());
        QVERIFY(stars.isEmpty() || QCoreApplication::installTranslator(&translator));
        const auto removed = qScopeGuard([&] { QCoreApplication::removeTranslator(&translator); });

        QCOMPARE(tabTitles(), tabs);
        if (!stars.isEmpty())
            QCOMPARE(::stars(), stars);
    }

    // Last: what installTranslations() installs stays for the rest of the process.
    void cLocaleKeepsEnglishDespiteLanguage() {
        qputenv("LC_ALL", "C.UTF-8");
        qputenv("LANGUAGE", "de");
        Translations::installTranslations();
        QCOMPARE(tabTitles(), englishTabs);
        QCOMPARE(stars(), englishStars);
    }
};

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
