#pragma once

class QCoreApplication;

namespace zentaro {

// Qt's own words in Spanish: the standard buttons of message boxes, the file, print and
// preview dialogs, the context menus of text boxes. They come from Qt's translations
// (Debian: qt6-translations-l10n) in Qt's translations folder. Answers false, and says so
// in the log, when they are not installed; Qt then speaks English.
bool installQtSpanish(QCoreApplication &application);

} // namespace zentaro
