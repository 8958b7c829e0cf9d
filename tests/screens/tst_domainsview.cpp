// The Domains screen as plain C++: what it offers and shows under a search, which record a
// delete names, the 200-entry cap, and the once-per-version review and promotion.
#include "common/TestEnvironment.h"

#include "AppStoreView/AppCatalogue.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/BuiltInDomains.h"
#include "blocklist/DomainListModel.h"
#include "foundation/NSBundle.h"
#include "screens/DomainsView.h"
#include "screens/ReviewPrompt.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Screen::Row;

namespace {
// "text|symbol" of the Domains section's rows after the add field and paste button: the
// offered suggestions, or the entries.
QStringList shown(const DomainsView &view, bool suggestions) {
    QStringList out;
    for (const Row &row : view.content().sections.at(1).rows.mid(2))
        if (row.key.startsWith(u"suggestion:"_s) == suggestions)
            out << row.text + u'|' + row.systemImage;
    return out;
}
} // namespace

class TestDomainsView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<BlocklistStore> m_store;
    ScenePhaseSource m_phase;
    std::unique_ptr<DomainsView> m_view;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    QStringList m_actions;

    DomainRef add(const QString &text) {
        auto record = std::make_shared<Domain>(text, QUuid::createUuid());
        m_store->insert(record);
        return record;
    }

    /** The once-per-version actions, noted instead of run. */
    DomainsView::Actions recordedActions() {
        return {.requestReview = [this] { m_actions << u"review"_s; },
                .promoteApp = [this] { m_actions << u"promote"_s; }};
    }

private Q_SLOTS:
    void init() {
        m_env = std::make_unique<TestEnvironment>();
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, u"1.0"_s}});
        m_store = std::make_unique<BlocklistStore>(m_env->dataHome() + u"/domains.sqlite"_s);
        m_phase.setPhase(ScenePhase::active);
        m_actions.clear();
        m_view = std::make_unique<DomainsView>(m_store.get(), &m_phase, recordedActions());
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_view->rows(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    void cleanup() {
        m_tester.reset();
        m_view.reset();
        m_store.reset();
    }

    void emptyStoreLayout() {
        const Screen::Content content = m_view->content();
        QCOMPARE(content.sections.at(0).header, u"More Options"_s);
        QCOMPARE(content.sections.at(0).rows.size(), 8);
        QCOMPARE(content.sections.at(0).rows.at(2).text,
                 AppCatalogue::moreOptionsInfo().at(2).title);
        QCOMPARE(content.sections.at(1).rows.at(0).kind, Screen::RowKind::textField);
        QCOMPARE(content.sections.at(1).rows.at(1).kind, Screen::RowKind::pasteButton);
        QCOMPARE(shown(*m_view, true).join(u','), builtInDomains().join(u"|plus,"_s) + u"|plus"_s);
        QVERIFY(shown(*m_view, false).isEmpty());
    }

    void filters_data() {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("suggestions");
        QTest::addColumn<QStringList>("entries");
        using L = QStringList;
        QTest::newRow("added built-in is no longer offered")
            << L{u"doubleclick.net"_s, u"example.org"_s} << u"double"_s
            << L{u"doubleverify.com|plus"_s} << L{u"doubleclick.net|hand.raised.fill"_s};
        QTest::newRow("capital search finds lower case, mid-text")
            << L{u"Tracker.Example"_s, u"mytracker.net"_s} << u"RACK"_s << L{}
            << L{u"Tracker.Example|crown"_s, u"mytracker.net|crown"_s};
        QTest::newRow("case-different built-in is not built-in")
            << L{u"Criteo.com"_s} << u"criteo"_s << L{u"criteo.com|plus"_s}
            << L{u"Criteo.com|crown"_s};
    }
    void filters() {
        QFETCH(QStringList, records);
        QFETCH(QString, search);
        for (const QString &text : records)
            add(text);
        m_view->setSearchText(search);
        QTEST(shown(*m_view, true), "suggestions");
        QTEST(shown(*m_view, false), "entries");
        QCOMPARE(m_view->content().sections.at(0).rows.size(), 8); // never filtered
    }

    // A screen reader hears words for the symbols that tell something, nothing for the rest.
    void spokenDescriptions() {
        add(u"doubleclick.net"_s);
        add(u"mine.example"_s);
        m_view->setSearchText(u"ub"_s);
        QStringList spoken;
        for (const Screen::Section &section : m_view->content().sections)
            for (const Row &row : section.rows)
                if (!row.accessibleDescription.isEmpty())
                    spoken << row.text + u'|' + row.accessibleDescription;
        QCOMPARE(spoken,
                 (QStringList{u"doubleverify.com|add"_s, u"pubmatic.com|add"_s,
                              u"rubiconproject.com|add"_s, u"doubleclick.net|built-in tracker"_s}));
        m_view->setSearchText(u"mine"_s);
        QCOMPARE(m_view->content().sections.at(1).rows.last().accessibleDescription,
                 u"added by you"_s);
    }

    void deleteUnderSearchNamesExactlyOneRecord() {
        add(u"alpha.example"_s);
        const DomainRef first = add(u"beta.example"_s);
        const DomainRef twin = add(u"beta.example"_s); // duplicates exist in old stores
        add(u"gamma.example"_s);
        m_view->setSearchText(u"beta"_s);
        QCOMPARE(shown(*m_view, false).size(), 2);
        const QString lastKey = m_view->content().sections.at(1).rows.last().key;
        QCOMPARE(lastKey, DomainsView::entryKey(*twin));
        QSignalSpy resets(m_view->rows(), &QAbstractItemModel::modelReset);
        m_view->deleteRows({lastKey});
        QCOMPARE(m_store->domains()->domainNames(),
                 QStringList({u"alpha.example"_s, u"beta.example"_s, u"gamma.example"_s}));
        QCOMPARE(m_store->domains()->at(1), first);
        QCOMPARE(resets.size(), 0);

        // Positions name records as they stood: 0 and 2, once each, despite the shift.
        m_view->deleteDomains({2, 0, 2, 7, -1});
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u"beta.example"_s});
        QVERIFY(!m_store->hasChanges()); // saved after each delete
    }

    void submitAndPaste() {
        m_view->editText(DomainsView::addKey, u" Example.COM "_s);
        m_view->submit(DomainsView::addKey);
        m_view->setDomain(u" Example.COM "_s);
        m_view->submitDomain(); // exact duplicate: refused, field still emptied
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u" Example.COM "_s});
        QCOMPARE(m_view->domain(), QString());
        m_view->paste(DomainsView::pasteKey, {u"pasted.example"_s, u"second"_s});
        m_view->pasteDomain({});
        QCOMPARE(m_view->content().row(DomainsView::addKey)->text, u"pasted.example"_s);
    }

    void capacity() {
        for (int i = 0; i < 199; ++i)
            add(u"host%1.example"_s.arg(i, 3, 10, QChar(u'0')));
        QSignalSpy full(m_view.get(), &DomainsView::listFullChanged);
        m_view->setDomain(u"last.example"_s);
        m_view->submit(DomainsView::addKey);
        QCOMPARE(m_store->domains()->count(), 200);
        QCOMPARE(full.size(), 1);
        QVERIFY(!m_view->content().row(DomainsView::addKey)->enabled);

        // Disabled controls do nothing, whichever way they are reached (QML may call the
        // actions directly); paste still fills the field.
        m_view->activate(DomainsView::suggestionKey(u"2mdn.net"_s));
        m_view->addSuggestedDomain(u"2mdn.net"_s);
        m_view->paste(DomainsView::pasteKey, {u"waiting.example"_s});
        m_view->submit(DomainsView::addKey);
        m_view->submitDomain();
        QVERIFY(QMetaObject::invokeMethod(m_view.get(), "submitDomain"));
        QVERIFY(QMetaObject::invokeMethod(m_view.get(), "addSuggestedDomain",
                                          Q_ARG(QString, u"adnxs.com"_s)));
        QCOMPARE(m_store->domains()->count(), 200);
        QCOMPARE(m_view->domain(), u"waiting.example"_s);

        m_view->deleteDomains({0});
        QCOMPARE(full.size(), 2);
        QVERIFY(m_view->content().row(DomainsView::addKey)->enabled);
        m_view->addSuggestedDomain(u"2mdn.net"_s);
        QCOMPARE(m_store->domains()->count(), 200);

        // Past the cap (an older store) nothing is added either.
        add(u"over.example"_s);
        m_view->submitDomain();
        m_view->addSuggestedDomain(u"adnxs.com"_s);
        QCOMPARE(m_store->domains()->count(), 201);
    }

    void oncePerVersion_data() {
        QTest::addColumn<QVariant>("stored"); // invalid: absent
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("acts");
        QTest::addColumn<QString>("written");
        const QVariant v10(u"1.0"_s), none;
        QTest::newRow("first launch") << none << u"1.0"_s << true << u"1.0"_s;
        QTest::newRow("same version") << v10 << u"1.0"_s << false << u"1.0"_s;
        QTest::newRow("updated") << v10 << u"1.1"_s << true << u"1.1"_s;
        QTest::newRow("letter case differs")
            << QVariant(u"1.0-BETA"_s) << u"1.0-beta"_s << true << u"1.0-beta"_s;
        QTest::newRow("empty version, first") << none << u""_s << true << QString();
        QTest::newRow("empty version, again") << QVariant(u""_s) << u""_s << false << QString();
    }
    void oncePerVersion() {
        QFETCH(QVariant, stored);
        QFETCH(QString, version);
        QFETCH(bool, acts);
        QFETCH(QString, written);
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, version}});
        QSettings settings;
        for (const QString &key :
             {ReviewPrompt::appReviewVersionKey, ReviewPrompt::promotedAppVersionKey})
            stored.isValid() ? settings.setValue(key, stored) : settings.remove(key);
        m_view->appear();
        QCOMPARE(m_actions, acts ? QStringList({u"review"_s, u"promote"_s}) : QStringList());
        QCOMPARE(settings.value(ReviewPrompt::appReviewVersionKey).toString(), written);
        QCOMPARE(settings.value(ReviewPrompt::promotedAppVersionKey).toString(), written);
    }

    // A settings file that cannot be written still holds the version for the rest of the run:
    // as root no permission stops a write, so a folder or a file stands in the way instead.
    void oncePerVersionWhenSettingsCannotBeWritten_data() {
        QTest::addColumn<bool>("folderIsAFile");
        QTest::newRow("settings file is a folder") << false;
        QTest::newRow("settings folder is a file") << true;
    }
    void oncePerVersionWhenSettingsCannotBeWritten() {
        QFETCH(bool, folderIsAFile);
        const QFileInfo file(QSettings().fileName());
        QVERIFY(!QFileInfo::exists(file.absolutePath()) ||
                QDir(file.absolutePath()).removeRecursively());
        const QString blocker = folderIsAFile ? file.absolutePath() : file.absoluteFilePath();
        const auto unblock = qScopeGuard([&] {
            folderIsAFile ? QFile::remove(blocker) : QDir(blocker).removeRecursively();
            ReviewPrompt::forgetUnsavedSettings();
            QSettings settings; // what QSettings kept of the failed writes goes too
            settings.remove(ReviewPrompt::appReviewVersionKey);
            settings.remove(ReviewPrompt::promotedAppVersionKey);
        });
        if (folderIsAFile) {
            QFile stand(blocker);
            QVERIFY(stand.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(blocker));
        }

        const QStringList once{u"review"_s, u"promote"_s};
        m_view->appear();
        QCOMPARE(m_actions, once);
        QVERIFY(!file.isFile()); // nothing could be written
        m_view->appear();
        m_phase.setPhase(ScenePhase::background);
        m_phase.setPhase(ScenePhase::active);
        // a screen made anew in the same run
        DomainsView second(m_store.get(), &m_phase, recordedActions());
        second.appear();
        QCOMPARE(m_actions, once);

        // A new version is asked for once more, and then not again.
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, u"2.0"_s}});
        m_view->appear();
        m_view->appear();
        QCOMPARE(m_actions, once + once);
    }

    void reviewThenPromotionOnAppearOrReturn() {
        const QStringList once{u"review"_s, u"promote"_s};
        m_view->appear();
        m_view->appear(); // coming back to the tab, same version
        m_phase.setPhase(ScenePhase::background);
        m_phase.setPhase(ScenePhase::active);
        QCOMPARE(m_actions, once);

        // After an update only returning to the app acts, once.
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, u"2.0"_s}});
        m_phase.setPhase(ScenePhase::background);
        QCOMPARE(m_actions, once);
        m_phase.setPhase(ScenePhase::active);
        m_phase.setPhase(ScenePhase::inactive);
        QCOMPARE(m_actions, once + once);
    }
};

QTEST_MAIN(TestDomainsView)
#include "tst_domainsview.moc"
