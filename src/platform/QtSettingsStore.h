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

  private:
    QString storedKeyFor(std::string_view name) const;

    std::unique_ptr<QSettings> settings_;
};

} // namespace vardelo
