#pragma once

#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

/** The transport of a DNS settings object, as the platform names it. */
enum class NEDNSProtocol { cleartext = 1, TLS = 2, HTTPS = 3 };

/**
 * A system DNS configuration handed to NEDNSSettingsManager. Absent optionals mean "never set";
 * an empty list is a value of its own and is kept apart from absent all the way to the store.
 */
class NEDNSSettings {
public:
    explicit NEDNSSettings(QStringList servers)
        : m_servers(std::move(servers)) {}
    virtual ~NEDNSSettings() = default;

    virtual NEDNSProtocol dnsProtocol() const { return NEDNSProtocol::cleartext; }
    const QStringList &servers() const { return m_servers; }

    const std::optional<QStringList> &matchDomains() const { return m_matchDomains; }
    void setMatchDomains(std::optional<QStringList> domains) {
        m_matchDomains = std::move(domains);
    }

    virtual std::shared_ptr<NEDNSSettings> copy() const {
        // Not make_shared: the copy constructor is protected against slicing.
        return std::shared_ptr<NEDNSSettings>(new NEDNSSettings(*this));
    }

protected:
    NEDNSSettings(const NEDNSSettings &) = default;

public:
    NEDNSSettings &operator=(const NEDNSSettings &) = delete;

private:
    QStringList m_servers;
    std::optional<QStringList> m_matchDomains;
};

class NEDNSOverHTTPSSettings final : public NEDNSSettings {
public:
    explicit NEDNSOverHTTPSSettings(QStringList servers)
        : NEDNSSettings(std::move(servers)) {}
    NEDNSProtocol dnsProtocol() const override { return NEDNSProtocol::HTTPS; }

    const std::optional<QUrl> &serverURL() const { return m_serverURL; }
    void setServerURL(std::optional<QUrl> url) { m_serverURL = std::move(url); }

    std::shared_ptr<NEDNSSettings> copy() const override {
        return std::make_shared<NEDNSOverHTTPSSettings>(*this);
    }
    NEDNSOverHTTPSSettings(const NEDNSOverHTTPSSettings &) = default;

private:
    std::optional<QUrl> m_serverURL;
};

class NEDNSOverTLSSettings final : public NEDNSSettings {
public:
    explicit NEDNSOverTLSSettings(QStringList servers)
        : NEDNSSettings(std::move(servers)) {}
    NEDNSProtocol dnsProtocol() const override { return NEDNSProtocol::TLS; }

    const std::optional<QString> &serverName() const { return m_serverName; }
    void setServerName(std::optional<QString> name) { m_serverName = std::move(name); }

    std::shared_ptr<NEDNSSettings> copy() const override {
        return std::make_shared<NEDNSOverTLSSettings>(*this);
    }
    NEDNSOverTLSSettings(const NEDNSOverTLSSettings &) = default;

private:
    std::optional<QString> m_serverName;
};
