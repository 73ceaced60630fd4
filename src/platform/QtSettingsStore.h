#pragma once

#include "platform/SettingsStore.h"

#include <QString>

#include <memory>

class QSettings;

namespace vardelo {

// The store over QSettings in its native format: on Linux the file
// $XDG_CONFIG_HOME/Vardelo.conf, section [General]; on Windows the key
// HKEY_CURRENT_USER\Software\Vardelo.
class QtSettingsStore final : public SettingsStore {
  public:
    QtSettingsStore();                                // the user's own store
    explicit QtSettingsStore(const QString& iniFile); // a given file, for tests and the demo
    ~QtSettingsStore() override;

    std::optional<std::string> read(std::string_view name) override;
    void write(std::string_view name, const std::string& text) override;
    QString fileName() const; // the settings file; empty for the registry

  private:
    // A fresh view of the store: QSettings keeps the first problem it met for
    // its whole life, so each write gets its own.
    std::unique_ptr<QSettings> open() const;
    QSettings& reader();

    QString iniFile_; // empty: the user's own store
    std::unique_ptr<QSettings> reader_;
};

} // namespace vardelo
