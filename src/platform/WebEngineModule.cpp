// The engine as a module the program loads at its first need.
#include "platform/WebEngineBrowser.h"

#include <QtWebEngineQuick/qtwebenginequickglobal.h>

extern "C" Q_DECL_EXPORT vardelo::Browser* vardelo_create_browser(QObject* parent) {
    // The engine's set-up expects the shared OpenGL context this asks for,
    // and fails without the asking; with no OpenGL in the program (main) no
    // context is made.
    QtWebEngineQuick::initialize();
    return new vardelo::WebEngineBrowser(parent);
}
