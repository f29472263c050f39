#include "gui/italian_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace zfe::gui {

bool installItalianTranslation(QTranslator& translator) {
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    for (const QString& folder :
         {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
          QCoreApplication::applicationDirPath() + QStringLiteral("/translations")}) {
        if (translator.load(italian, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            return QCoreApplication::installTranslator(&translator);
        }
    }
    return false;
}

}  // namespace zfe::gui
