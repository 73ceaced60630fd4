#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace vardelo {

QTranslator* installQtTranslations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    // The program is Hungarian whatever the user's locale.
    if (translator->load(QStringLiteral("qtbase_hu"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator))
        return translator;
    delete translator;
    return nullptr;
}

} // namespace vardelo
