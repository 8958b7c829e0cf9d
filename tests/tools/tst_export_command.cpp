#include "common/TestEnvironment.h"
#include "common/TestFiles.h"
#include "networkextension/BlocklistExport.h"
#include "networkextension/DNSConfigurationStore.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int code = -1; ///< -1 if it crashed or hung
    QByteArray out;
    QString err;
};

Run dns(const QStringList &arguments, const QString &outputFile = {}) {
    QProcess process;
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(QStringLiteral(DEVICE_SETTINGS_PATH), QStringList{u"dns"_s} + arguments);
    const bool exited =
        process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit;
    return {exited ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

Run exportCommand(const QStringList &arguments, const QString &outputFile = {}) {
    return dns(QStringList{u"export"_s} + arguments, outputFile);
}

const QStringList saved{u"Kept.Example"_s, u""_s, u"bücher.example"_s, u"kept.example"_s,
                        u"*.wild.example"_s};

bool store(const QString &identifier, const QString &server,
           const std::optional<QStringList> &domains) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{server});
    settings->setMatchDomains(domains);
    return DNSConfigurationStore().write({identifier, u"Quellnet"_s, false, settings, {}}, nullptr);
}

} // namespace

class ExportCommandTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

    QString path(const QString &name) const { return m_env.root() + u'/' + name; }

private Q_SLOTS:
    void init() {
        QDir(m_env.stateHome()).removeRecursively();
        QVERIFY(store(u"org.quellnet.app"_s, u"0.0.0.0"_s, saved));
    }

    // Standard output and FILE get the same bytes, the formatter's; the left-out names are
    // told on stderr only; a file already there is replaced whole.
    void sameBytesEitherWay() {
        for (const QString &format : BlocklistExport::formatNames()) {
            const QByteArray expected =
                BlocklistExport::render(*BlocklistExport::formatNamed(format), saved).bytes;
            const Run toStdout = exportCommand({u"quellnet"_s, format});
            QCOMPARE(toStdout.code, 0);
            QCOMPARE(toStdout.out, expected);
            QVERIFY2(toStdout.err.contains(u"\"*.wild.example\" (not a DNS name)"_s) &&
                         toStdout.err.contains(u"\"\" (empty)"_s),
                     qPrintable(toStdout.err));

            const QString file = path(u"list."_s + format);
            QVERIFY(putFile(file, QByteArray(100'000, 'x')));
            const Run toFile = exportCommand({u"org.quellnet.app"_s, format, file});
            QCOMPARE(toFile.code, 0);
            QCOMPARE(fileBytes(file), expected);
        }
    }

    // A link at FILE, or a folder that is a link, is never written through; nothing is made.
    void neverThroughALink() {
        const QString target = path(u"target"_s);
        QVERIFY(putFile(target, "keep me\n"));
        QVERIFY(QFile::link(target, path(u"link"_s)));
        QVERIFY(QDir().mkpath(path(u"real"_s)));
        QVERIFY(QFile::link(path(u"real"_s), path(u"folder-link"_s)));
        for (const QString &file : {path(u"link"_s), path(u"folder-link/list.rpz"_s)}) {
            const Run run = exportCommand({u"Quellnet"_s, u"rpz"_s, file});
            QCOMPARE(run.code, 1);
            QVERIFY(run.out.isEmpty());
        }
        QCOMPARE(fileBytes(target), QByteArray("keep me\n"));
        QVERIFY(QDir(path(u"real"_s)).isEmpty());
    }

    // What cannot be exported fails with a message and writes nothing; bad usage is 2.
    void refusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::newRow("unknown format") << QStringList{u"Quellnet"_s, u"bind"_s} << 2;
        QTest::newRow("empty file name") << QStringList{u"Quellnet"_s, u"rpz"_s, u""_s} << 2;
        QTest::newRow("unknown app") << QStringList{u"Nobody"_s, u"rpz"_s} << 1;
        QTest::newRow("real server") << QStringList{u"com.other.dns"_s, u"rpz"_s} << 1;
        QTest::newRow("every name") << QStringList{u"org.all"_s, u"dnsmasq"_s} << 1;
        QTest::newRow("damaged") << QStringList{u"org.broken"_s, u"hosts"_s} << 1;
    }
    void refusals() {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QVERIFY(store(u"com.other.dns"_s, u"9.9.9.9"_s, QStringList{u"corp.example"_s}));
        QVERIFY(store(u"org.all"_s, u"0.0.0.0"_s, std::nullopt));
        QVERIFY(putFile(DNSConfigurationStore().filePath(u"org.broken"_s), "{"));
        const QString file = path(u"refused.out"_s);
        const Run run =
            exportCommand(arguments.size() == 2 ? arguments + QStringList{file} : arguments);
        QCOMPARE(run.code, code);
        QVERIFY(!QFile::exists(file));
        QVERIFY(run.out.isEmpty());
        QVERIFY(!run.err.isEmpty());
    }

    // The browser signal is held while a list is in force, and `dns check` says why; it never
    // goes into the blocklist or an export.
    void browserSignal() {
        QVERIFY(putFile(m_env.nsswitchPath(), TestEnvironment::installedNsswitch()));
        const QStringList check{u"check"_s, u"x.Use-Application-DNS.net"_s};
        QCOMPARE(dns({u"enable"_s, u"Quellnet"_s}).code, 0);
        QVERIFY2(dns(check).out.contains("is held on this computer while protection is on"),
                 dns(check).out.constData());
        QVERIFY(!fileBytes(m_env.enforcedListPath()).contains("use-application-dns"));
        QVERIFY(!exportCommand({u"Quellnet"_s, u"hosts"_s}).out.contains("use-application-dns"));
        QCOMPARE(dns({u"disable"_s, u"Quellnet"_s}).code, 0);
        QVERIFY2(dns(check).out.contains("is not blocked on this computer"),
                 dns(check).out.constData());
    }

    // A full disk is a failure, not a short file reported as written.
    void standardOutputFull() {
        if (!QFile::exists(u"/dev/full"_s))
            QSKIP("no /dev/full here");
        QCOMPARE(exportCommand({u"Quellnet"_s, u"adblock"_s}, u"/dev/full"_s).code, 1);
    }
};

QTEST_GUILESS_MAIN(ExportCommandTest)
#include "tst_export_command.moc"
