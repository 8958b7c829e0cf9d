#include "DeviceSettings.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    DeviceSettings settings(out, err);
    return settings.run(QCoreApplication::arguments().mid(1));
}
