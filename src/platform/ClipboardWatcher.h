#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace vardelo {

// The system clipboard as the watcher needs it: a signal at every change
// after the program started, and its text in the program's 8-bit text form.
class ClipboardWatcher final : public QObject {
    Q_OBJECT
  public:
    explicit ClipboardWatcher(QObject* parent = nullptr);

    // Nothing when the clipboard holds no text; throws UserError
    // "Cannot open clipboard" when it cannot be read.
    std::optional<QString> text() const;

  Q_SIGNALS:
    void changed();
};

} // namespace vardelo
