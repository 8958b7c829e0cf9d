#include "DnsSettingsBackend.h"

namespace {
/** The platform's device DNS settings, read afresh each time so the environment decides. */
class PlatformBackend final : public DnsSettingsBackend {
public:
    std::optional<QList<Entry>> entries(QString *error) override {
        return DeviceDNSSettings().entries(error);
    }
    Outcome setEnabled(const QString &identifier, bool on) override {
        return DeviceDNSSettings().setEnabled(identifier, on);
    }
    QStringList watchedPaths() override { return DeviceDNSSettings().watchedPaths(); }
};
} // namespace

std::shared_ptr<DnsSettingsBackend> DnsSettingsBackend::platform() {
    return std::make_shared<PlatformBackend>();
}
