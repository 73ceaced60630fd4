#include "platform/ClipboardWatcher.h"

#include "core/Cp1250.h"
#include "core/IoError.h"
#include "platform/QtText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace vardelo {

ClipboardWatcher::ClipboardWatcher(QObject* parent) : QObject(parent) {
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &ClipboardWatcher::changed);
}

std::optional<QString> ClipboardWatcher::text() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        throw UserError("Cannot open clipboard");
    if (!data->hasText())
        return std::nullopt;
    // The 8-bit text form: up to the first zero, in code page 1250.
    QString text = data->text();
    if (const qsizetype zero = text.indexOf(QChar(u'\0')); zero >= 0)
        text.truncate(zero);
    return toQt(cp1250ToUtf8(utf8ToCp1250(toStd(text))));
}

} // namespace vardelo
