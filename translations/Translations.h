#pragma once

#include <QLocale>
#include <QStringView>

class QTranslator;

/**
 * Our texts in the user's language. The English texts are the keys and stay the fallback; the
 * catalogues travel inside the binary, so a program finds them wherever it is run from.
 */
namespace Translations {

/**
 * Whether a messages locale name (the value of LC_ALL, LC_MESSAGES or LANG) asks for the
 * untranslated texts: empty, "C" or "POSIX", with or without a codeset or modifier. Scripts and
 * tests pin C.UTF-8 for output that does not depend on the user, so, as with gettext, LANGUAGE
 * does not override it.
 */
bool isUntranslatedLocale(QStringView messagesLocale);

/** Loads our catalogue for the first of `locale`'s UI languages that has one. */
bool loadCatalogue(QTranslator &translator, const QLocale &locale);

/**
 * Installs on the running application our English plural forms, then, unless the environment
 * asks for the untranslated texts, our catalogue for the user's language and Qt's own for that
 * same language where the system has it. Call once, after the application object exists.
 */
void installTranslations();

} // namespace Translations
