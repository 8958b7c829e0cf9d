#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace Translations {

namespace {
const QString catalogueDirectory = u":/i18n"_s;
const QString catalogueName = u"quellnet"_s;

QString messagesLocaleName() {
    // POSIX precedence: LC_ALL beats LC_MESSAGES beats LANG.
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

/** `translator` installed on the application, which then owns it; deleted if not loaded. */
bool installLoaded(QTranslator *translator, bool loaded) {
    if (loaded && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}
} // namespace

bool isUntranslatedLocale(QStringView messagesLocale) {
    qsizetype end = messagesLocale.size();
    for (const QChar separator : {u'.', u'@'})
        if (const qsizetype at = messagesLocale.indexOf(separator); at >= 0 && at < end)
            end = at;
    const QStringView base = messagesLocale.left(end);
    return base.isEmpty() || base == u"C" || base == u"POSIX";
}

bool loadCatalogue(QTranslator &translator, const QLocale &locale) {
    return translator.load(locale, catalogueName, u"_"_s, catalogueDirectory);
}

void installTranslations() {
    QCoreApplication *app = QCoreApplication::instance();
    // English is the source language, but "%n star(s)" still needs its English plural forms.
    // Installed first, so that a catalogue installed later is searched before it.
    auto *english = new QTranslator(app);
    installLoaded(english, english->load(catalogueName + u"_en"_s, catalogueDirectory));
    if (isUntranslatedLocale(messagesLocaleName()))
        return;
    auto *ours = new QTranslator(app);
    const bool loaded = loadCatalogue(*ours, QLocale());
    const QLocale matched(loaded ? ours->language() : QString());
    if (!loaded || matched.language() == QLocale::English) {
        delete ours; // English is already there; a language we do not ship gets English too
        return;
    }
    installLoaded(ours, true);
    // Qt's own texts in the language ours matched, so the window never mixes two of them.
    auto *qt = new QTranslator(app);
    installLoaded(qt, qt->load(matched, u"qtbase"_s, u"_"_s,
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
}

} // namespace Translations
