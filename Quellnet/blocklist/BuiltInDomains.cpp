#include "blocklist/BuiltInDomains.h"

#include "blocklist/EntryRules.h"

#include <algorithm>

using namespace Qt::StringLiterals;

const QStringList &builtInDomains() {
    // Ad exchanges and servers, verification, analytics, session recording, content
    // recommendation, identity sync and engagement services; kept in plain character order.
    static const QStringList domains = {
        u"2mdn.net"_s,
        u"2o7.net"_s,
        u"3lift.com"_s,
        u"ad.gt"_s,
        u"adcolony.com"_s,
        u"adform.net"_s,
        u"adnxs.com"_s,
        u"ads.linkedin.com"_s,
        u"ads.pinterest.com"_s,
        u"ads.yahoo.com"_s,
        u"adsafeprotected.com"_s,
        u"adsrvr.org"_s,
        u"agkn.com"_s,
        u"amazon-adsystem.com"_s,
        u"amplitude.com"_s,
        u"analytics.tiktok.com"_s,
        u"analytics.twitter.com"_s,
        u"app-measurement.com"_s,
        u"appsflyer.com"_s,
        u"bat.bing.com"_s,
        u"bidswitch.net"_s,
        u"bluekai.com"_s,
        u"branch.io"_s,
        u"braze.com"_s,
        u"casalemedia.com"_s,
        u"chartbeat.com"_s,
        u"clarity.ms"_s,
        u"comscore.com"_s,
        u"criteo.com"_s,
        u"crwdcntrl.net"_s,
        u"demdex.net"_s,
        u"doubleclick.net"_s,
        u"doubleverify.com"_s,
        u"exelator.com"_s,
        u"fullstory.com"_s,
        u"hotjar.com"_s,
        u"id5-sync.com"_s,
        u"indexww.com"_s,
        u"krxd.net"_s,
        u"mathtag.com"_s,
        u"mixpanel.com"_s,
        u"moatads.com"_s,
        u"mouseflow.com"_s,
        u"onesignal.com"_s,
        u"openx.net"_s,
        u"outbrain.com"_s,
        u"pixel.facebook.com"_s,
        u"pubmatic.com"_s,
        u"quantserve.com"_s,
        u"rubiconproject.com"_s,
        u"scorecardresearch.com"_s,
        u"sharethrough.com"_s,
        u"smartadserver.com"_s,
        u"ssl.google-analytics.com"_s,
        u"taboola.com"_s,
        u"tapad.com"_s,
        u"teads.tv"_s,
        u"yieldmo.com"_s,
    };
    return domains;
}

bool isBuiltIn(const QString &text) {
    const QStringList &domains = builtInDomains();
    return std::any_of(domains.cbegin(), domains.cend(), [&text](const QString &entry) {
        return EntryRules::textEquals(entry, text);
    });
}
