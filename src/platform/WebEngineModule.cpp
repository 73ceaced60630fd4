// The engine as a module the program loads at its first need.
#include "platform/WebEngineBrowser.h"

#include <QtWebEngineQuick/qtwebenginequickglobal.h>

extern "C" Q_DECL_EXPORT vardelo::Browser* vardelo_create_browser(QObject* parent) {
    // The engine shares its OpenGL context with the window's; made now, not
    // at start-up, so a program that never shows a page never loads OpenGL.
    QtWebEngineQuick::initialize();
    return new vardelo::WebEngineBrowser(parent);
}
