#pragma once

namespace tonbrook {

// Installs the translation of Tonbrook's texts for the user's language (QLocale(), which on
// Linux follows LANGUAGE, LC_ALL, LC_MESSAGES and LANG) and Qt's own for its dialogs' buttons.
// English needs none: it is the language of the sources. Call once the application exists.
void installTranslations();

} // namespace tonbrook
