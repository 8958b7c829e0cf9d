// Median time for the Domains screen to follow one keystroke (content computed and applied
// to the row model) in the search field and in the add field, and for one add (submit until
// the new row is in the model, including the store's save), with 199 records.
#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "screens/DomainsView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double medianMicroseconds(int samples, const std::function<void(int)> &step) {
    std::vector<double> times;
    times.reserve(std::size_t(samples));
    QElapsedTimer timer;
    for (int i = 0; i < samples; ++i) {
        timer.start();
        step(i);
        times.push_back(double(timer.nsecsElapsed()) / 1e3);
    }
    std::nth_element(times.begin(), times.begin() + samples / 2, times.end());
    return times[std::size_t(samples / 2)];
}
} // namespace

int main(int argc, char *argv[]) {
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        qputenv(name, home.path().toUtf8());
    QCoreApplication app(argc, argv);

    BlocklistStore store(home.path() + QStringLiteral("/domains.sqlite"));
    for (int i = 0; i < 199; ++i)
        store.insert(std::make_shared<Domain>(
            QStringLiteral("host%1.example-%2.com").arg(i, 3, 10, QChar(u'0')).arg(i % 7),
            QUuid::createUuid()));
    store.save();
    DomainsView view(&store, nullptr, {});

    // Typing "adsrvr" and erasing it again, over and over: rows come and go with each key.
    const QString word = QStringLiteral("adsrvr");
    const auto typed = [&](int i) {
        const int phase = i % (2 * int(word.size()));
        const int length = phase < word.size() ? phase + 1 : 2 * int(word.size()) - phase - 1;
        return word.left(length);
    };
    const int samples = 600;
    const double search = medianMicroseconds(samples, [&](int i) { view.setSearchText(typed(i)); });
    view.setSearchText(QString());
    const double field = medianMicroseconds(samples, [&](int i) { view.setDomain(typed(i)); });

    // One add: from the return key until the new record's row is in the model.
    std::vector<double> adds;
    QElapsedTimer timer;
    for (int i = 0; i < 101; ++i) {
        view.setDomain(QStringLiteral("zz-added-%1.example").arg(i));
        timer.start();
        view.submitDomain();
        const DomainRef added = store.domains()->at(store.domains()->count() - 1);
        const bool shown = view.rows()->indexOfKey(DomainsView::entryKey(*added)) >= 0;
        adds.push_back(double(timer.nsecsElapsed()) / 1e3);
        if (!shown)
            return 2;
        view.deleteDomains({store.domains()->count() - 1}); // back to 199
    }
    std::nth_element(adds.begin(), adds.begin() + 50, adds.end());
    const double add = adds[50];

    std::printf("records: 199, rows in model: %d\n", view.rows()->rowCount());
    std::printf("search field keystroke: median %.1f us\n", search);
    std::printf("add field keystroke:    median %.1f us\n", field);
    std::printf("add, submit until row shown (incl. save): median %.1f us\n", add);
    return 0;
}
