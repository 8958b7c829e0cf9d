#include <QTest>
class Dummy : public QObject {
    Q_OBJECT
};
QTEST_GUILESS_MAIN(Dummy)
#include "tst_dns_configuration_store.moc"
