#pragma once

#include <QTranslator>

namespace zfe::gui {

// Loads Qt's own Italian translation, so that the standard buttons and dialogs
// (Sì/No, Apri/Salva) speak Italian like the windows, whatever the user's
// locale. Looks in Qt's translations folder, then in "translations" beside the
// program (a Windows installation). Returns false, and changes nothing, when
// the translation is not installed: the program then runs with English
// standard buttons.
bool installItalianTranslation(QTranslator& translator);

}  // namespace zfe::gui
