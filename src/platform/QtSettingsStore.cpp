#include "platform/QtSettingsStore.h"

#include "core/SettingsTable.h"
#include "platform/QtText.h"

#include <QSettings>
#include <QStringList>

namespace vardelo {

namespace {

std::unique_ptr<QSettings> usersOwnSettings() {
#ifdef Q_OS_WIN
    // The key itself, not Qt's "OrganizationDefaults" below it.
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Vardelo"),
                                       QSettings::NativeFormat);
#else
    // Organisation "Vardelo" and no application: $XDG_CONFIG_HOME/Vardelo.conf.
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Vardelo"));
#endif
}

} // namespace

QtSettingsStore::QtSettingsStore() : settings_(usersOwnSettings()) {}

QtSettingsStore::QtSettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QtSettingsStore::~QtSettingsStore() = default;

QString QtSettingsStore::storedKeyFor(std::string_view name) const {
    const QStringList keys = settings_->childKeys();
    for (const QString& key : keys) {
        if (settingNamesMatch(toStd(key), name))
            return key;
    }
    return {};
}

std::optional<std::string> QtSettingsStore::read(std::string_view name) {
    const QString key = storedKeyFor(name);
    if (key.isEmpty())
        return std::nullopt;
    const QVariant value = settings_->value(key);
    // An unquoted comma in a hand-edited file makes QSettings split the text.
    if (value.typeId() == QMetaType::QStringList)
        return toStd(value.toStringList().join(QLatin1Char(',')));
    if (!value.canConvert<QString>())
        throw SettingsError(failedToGetMessage(name));
    return toStd(value.toString());
}

void QtSettingsStore::write(std::string_view name, const std::string& text) {
    if (!settings_->isWritable())
        throw SettingsError(failedToSetMessage(name));
    for (QString key = storedKeyFor(name); !key.isEmpty(); key = storedKeyFor(name))
        settings_->remove(key);
    settings_->setValue(toQt(name), toQt(text));
    settings_->sync();
    if (settings_->status() != QSettings::NoError)
        throw SettingsError(failedToSetMessage(name));
}

} // namespace vardelo
