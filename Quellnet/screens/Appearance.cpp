#include "Appearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace {
const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString settingsInterface = u"org.freedesktop.portal.Settings"_s;
const QString appearanceGroup = u"org.freedesktop.appearance"_s;
const QString colorSchemeKey = u"color-scheme"_s;
// A portal being started by the bus may take a while; a later answer still counts.
constexpr int portalTimeoutMilliseconds = 3000;
} // namespace

bool Appearance::prefersDark(std::optional<uint> portalColorScheme, const QPalette &palette) {
    if (portalColorScheme == preferDark)
        return true;
    if (portalColorScheme == preferLight)
        return false;
    return palette.color(QPalette::Window).lightnessF() <
           palette.color(QPalette::WindowText).lightnessF();
}

std::optional<uint> Appearance::portalValue(const QVariant &reply) {
    QVariant value = reply;
    // Read wraps the value in two variants, ReadOne and SettingChanged in one.
    for (int depth = 0; depth < 3 && value.metaType() == QMetaType::fromType<QDBusVariant>();
         ++depth)
        value = qvariant_cast<QDBusVariant>(value).variant();
    if (value.metaType() != QMetaType::fromType<uint>())
        return std::nullopt;
    return value.toUInt();
}

Appearance::Appearance(QObject *parent)
    : QObject(parent) {
    if (qApp)
        qApp->installEventFilter(this);
    update();
}

void Appearance::setPortalColorScheme(std::optional<uint> value) {
    m_portal = value;
    update();
}

void Appearance::followDesktopPortal() {
    if (m_portalQuery.joinable())
        return;
    m_portalQuery = std::jthread([this] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        bus.connect(portalService, portalPath, settingsInterface, u"SettingChanged"_s, this,
                    SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
        // Read rather than ReadOne: portals before version 2 have only Read.
        QDBusMessage read =
            QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, u"Read"_s);
        read << appearanceGroup << colorSchemeKey;
        const QDBusMessage reply = bus.call(read, QDBus::Block, portalTimeoutMilliseconds);
        // No portal, or one without this setting: the palette decides, as before.
        if (reply.type() != QDBusMessage::ReplyMessage)
            return;
        const std::optional<uint> value = portalValue(reply.arguments().value(0));
        QMetaObject::invokeMethod(
            this,
            [this, value] {
                if (!m_portalChanged) // a change signalled meanwhile is newer
                    setPortalColorScheme(value);
            },
            Qt::QueuedConnection);
    });
}

bool Appearance::eventFilter(QObject *watched, QEvent *event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        update();
    return QObject::eventFilter(watched, event);
}

void Appearance::portalSettingChanged(const QString &group, const QString &key,
                                      const QDBusVariant &value) {
    if (group != appearanceGroup || key != colorSchemeKey)
        return;
    m_portalChanged = true;
    setPortalColorScheme(portalValue(QVariant::fromValue(value)));
}

void Appearance::update() {
    const bool dark = prefersDark(m_portal, QGuiApplication::palette());
    if (dark == m_dark)
        return;
    m_dark = dark;
    Q_EMIT darkChanged();
}
