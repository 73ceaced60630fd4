#pragma once

class QTranslator;

namespace vardelo {

// Qt's own Hungarian texts (standard buttons, file and folder dialogs), from
// the system's Qt translations. Returns the installed translator, owned by
// the application, or nullptr when the translations are not installed; the
// program then speaks Qt's English in those places and goes on.
QTranslator* installQtTranslations();

} // namespace vardelo
