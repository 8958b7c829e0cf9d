// The once-per-version actions keep their version in the user settings file, which is never
// read or written through a link: a planted one is refused, its target left as it was, and the
// version held for the rest of the run, so the action still runs once.
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "foundation/NSBundle.h"
#include "screens/ReviewPrompt.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

using namespace Qt::StringLiterals;

class TestReviewPrompt : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    QString m_file;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_env.isValid());
        QCoreApplication::setOrganizationName(u"Quellnet"_s);
        QCoreApplication::setApplicationName(u"Quellnet"_s);
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, u"2.0"_s}});
        m_file = QSettings().fileName();
        QCOMPARE(m_file, m_env.configHome() + u"/Quellnet/Quellnet.conf"_s);
    }
    void cleanup() {
        ReviewPrompt::forgetUnsavedSettings();
        QFile::remove(QFileInfo(m_file).path()); // a planted link to a folder
        QDir(QFileInfo(m_file).path()).removeRecursively();
    }

    void settingsFileFound_data() {
        QTest::addColumn<QString>("planted");
        QTest::newRow("a regular file") << QString();
        QTest::newRow("the file is a link") << u"file"_s;
        QTest::newRow("its folder is a link") << u"folder"_s;
    }
    void settingsFileFound() {
        QFETCH(QString, planted);
        const QString elsewhere = m_env.root() + u"/elsewhere"_s;
        QVERIFY(QDir().mkpath(elsewhere));
        const QByteArray other = "[General]\nother=kept\n";
        const QString folder = QFileInfo(m_file).path();
        QVERIFY(putFile(elsewhere + u"/Quellnet.conf"_s, other));
        if (planted == u"folder"_s) {
            QVERIFY(QFile::link(elsewhere, folder));
        } else {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(planted.isEmpty() ? putFile(m_file, other)
                                      : QFile::link(elsewhere + u"/Quellnet.conf"_s, m_file));
        }
        const auto before = folderSnapshot(elsewhere);
        if (!planted.isEmpty())
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(u"appReviewVersion is kept for this run "
                                                    "only: .*(symbolic link|not a real folder)"_s));

        int runs = 0;
        const auto once = [&runs] {
            return ReviewPrompt::runOncePerVersion(ReviewPrompt::appReviewVersionKey,
                                                   [&runs] { ++runs; });
        };
        QVERIFY(once());
        QVERIFY(!once());
        QCOMPARE(runs, 1);
        QCOMPARE(folderSnapshot(elsewhere), before);
        QCOMPARE(QFileInfo(planted == u"folder"_s ? folder : m_file).isSymLink(),
                 !planted.isEmpty());
        if (planted.isEmpty()) {
            // Written beside what was there, and found again in a later run.
            const QSettings settings;
            QCOMPARE(settings.value(u"other"_s).toString(), u"kept"_s);
            QCOMPARE(settings.value(ReviewPrompt::appReviewVersionKey).toString(), u"2.0"_s);
            ReviewPrompt::forgetUnsavedSettings();
            QVERIFY(!once());
        }
    }
};

QTEST_GUILESS_MAIN(TestReviewPrompt)
#include "tst_review_prompt.moc"
