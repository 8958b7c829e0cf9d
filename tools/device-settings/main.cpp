#include "DeviceSettings.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    // Everything the logs would say, the tool already says in its own words on stderr; the
    // detailed log is one QT_LOGGING_RULES="quellnet.*=true" away (the variable wins over this).
    QLoggingCategory::setFilterRules(QStringLiteral("quellnet.*=false"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    DeviceSettings settings(out, err);
    return settings.run(QCoreApplication::arguments().mid(1));
}
