#include "storekit/RequestReviewAction.h"

#include "foundation/MainQueue.h"
#include "foundation/NSBundle.h"
#include "foundation/PlatformLog.h"
#include "foundation/PlatformPaths.h"
#include "foundation/SafeFile.h"
#include "uikit/UIApplication.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace {

/** The review sheet: a title, the star row drawn by the sheet layer, and "Not Now". */
class ReviewPromptController : public UIViewController {
public:
    QString sheetKind() const override { return u"review"_s; }
    QString title() const override {
        const QString name = NSBundle::mainBundle().displayName();
        return name.isEmpty() ? QCoreApplication::translate("StoreKit", "Enjoying this app?")
                              : QCoreApplication::translate("StoreKit", "Enjoying %1?").arg(name);
    }
    QString message() const override {
        return QCoreApplication::translate("StoreKit", "Tap a star to rate it on the App Store.");
    }
    QString closeTitle() const override {
        return QCoreApplication::translate("StoreKit", "Not Now");
    }
};

std::shared_ptr<UIViewController> activeRootViewController() {
    for (const auto &scene : UIApplication::shared().connectedScenes()) {
        if (scene->activationState() != UIScene::ActivationState::foregroundActive)
            continue;
        const auto windowScene = std::dynamic_pointer_cast<UIWindowScene>(scene);
        const auto window = windowScene ? windowScene->keyWindow() : nullptr;
        return window ? window->rootViewController() : nullptr;
    }
    return nullptr;
}

QString appGroup() {
    const QString id = NSBundle::mainBundle().bundleIdentifier();
    return id.isEmpty() ? u"unidentified"_s : id;
}

/** The record as read; reading never moves or changes the file. */
struct ShownRecord {
    enum Status { ok, damaged, unusable };
    Status status = ok;
    QList<QDateTime> shown;
};

ShownRecord readShown(const QString &path) {
    ShownRecord record;
    // Read once, without following a link and with a limit; then parsed from a private copy,
    // since QSettings keeps an unchanged file's earlier parse and would hide that it failed.
    const SafeFile::ReadResult file = SafeFile::read(path, 1024 * 1024);
    switch (file.status) {
    case SafeFile::ReadResult::absent:
        return record;
    case SafeFile::ReadResult::ok:
        break;
    case SafeFile::ReadResult::tooLarge:
        record.status = ShownRecord::damaged;
        return record;
    case SafeFile::ReadResult::refused:
    case SafeFile::ReadResult::failed:
        // A link, folder or FIFO is not ours to read through or to replace.
        qCWarning(lcPlatformStoreKit).noquote() << "refused:" << path << file.reason;
        record.status = ShownRecord::unusable;
        return record;
    }
    QTemporaryFile copy;
    if (!copy.open() || copy.write(file.data) != file.data.size() || !copy.flush()) {
        record.status = ShownRecord::unusable;
        return record;
    }
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        record.status = ShownRecord::damaged;
        return record;
    }
    const QStringList texts = settings.value(appGroup() + u"/shown"_s).toStringList();
    for (const QString &text : texts) {
        const QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (when.isValid())
            record.shown.append(when);
    }
    return record;
}

void writeShown(const QString &path, const QList<QDateTime> &shown) {
    QDir().mkpath(QFileInfo(path).path());
    QStringList texts;
    for (const QDateTime &when : shown)
        texts.append(when.toUTC().toString(Qt::ISODateWithMs));
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(appGroup() + u"/shown"_s, texts);
    settings.sync();
}

} // namespace

RequestReviewAction::RequestReviewAction(Clock clock)
    : m_clock(std::move(clock)) {}

QString RequestReviewAction::recordPath() {
    const QString root = platformStateDirectory();
    return root.isEmpty() ? QString() : root + u"/StoreKit/review-requests.ini"_s;
}

void RequestReviewAction::operator()() const {
    dispatchToMain([clock = m_clock] {
        const QDateTime now = clock ? clock() : QDateTime::currentDateTimeUtc();
        const QString path = recordPath();
        // Without HOME nothing can be recorded, so the rate limit could not hold: no prompt.
        if (path.isEmpty())
            return;
        const ShownRecord record = readShown(path);
        // Without a record that can be kept the rate limit could not hold either.
        if (record.status == ShownRecord::unusable)
            return;
        QList<QDateTime> recent;
        for (const QDateTime &when : record.shown)
            if (when.secsTo(now) < qint64(periodDays) * 24 * 3600 && when <= now)
                recent.append(when);
        if (recent.size() >= maximumPromptsPerPeriod)
            return;
        const auto root = activeRootViewController();
        if (!root)
            return; // nothing to show it on: not shown, so not counted
        // A damaged record is replaced only now that a sheet is to be recorded, kept intact.
        if (record.status == ShownRecord::damaged) {
            QString error;
            const auto aside = SafeFile::setAside(path, &error);
            if (!aside) {
                qCWarning(lcPlatformStoreKit).noquote() << "not shown:" << error;
                return;
            }
            qCWarning(lcPlatformStoreKit).noquote()
                << "set aside:" << path << "is damaged; it is now" << *aside;
        }
        root->presentViewController(std::make_shared<ReviewPromptController>(), true, {});
        recent.append(now);
        writeShown(path, recent);
    });
}
