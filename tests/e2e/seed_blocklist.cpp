// e2e-seed-blocklist NAME...: puts records into the app's own blocklist file through the
// blocklist's own code, before the app is launched.
#include "app/AppIdentity.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/Domain.h"

#include <QCoreApplication>
#include <QUuid>

#include <cstdio>

int main(int argc, char *argv[]) {
    installAppIdentity(); // so the default path is the app's own data folder
    QCoreApplication app(argc, argv);
    BlocklistStore store;
    for (const QString &name : app.arguments().mid(1))
        store.insert(std::make_shared<Domain>(name, QUuid::createUuid()));
    if (const auto error = store.save()) {
        std::fprintf(stderr, "e2e-seed-blocklist: %s\n", qPrintable(*error));
        return 1;
    }
    std::printf("%s\n", qPrintable(store.path()));
    return 0;
}
