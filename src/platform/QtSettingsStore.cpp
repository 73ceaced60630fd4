#include "platform/QtSettingsStore.h"

#include "core/SettingsTable.h"
#include "platform/QtText.h"

#include <QFile>
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

QString storedKeyFor(const QSettings& settings, std::string_view name) {
    const QStringList keys = settings.childKeys();
    for (const QString& key : keys) {
        if (settingNamesMatch(toStd(key), name))
            return key;
    }
    return {};
}

bool isSectionLine(const QString& line) {
    return line.startsWith(QLatin1Char('['));
}

bool isGeneralSection(const QString& line) {
    return line.compare(QLatin1String("[General]"), Qt::CaseInsensitive) == 0;
}

// The value of `key` in the file's first section as the user wrote it, when
// it needs no unescaping; nothing otherwise.
std::optional<QString> plainWrittenValue(const QString& fileName, const QString& key) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    std::optional<QString> found;
    bool inGeneral = true;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (isSectionLine(line)) {
            inGeneral = isGeneralSection(line);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inGeneral || equals < 0 || line.left(equals).trimmed() != key)
            continue;
        found = line.mid(equals + 1).trimmed();
    }
    if (!found || found->contains(QLatin1Char('"')) || found->contains(QLatin1Char('\\')) ||
        found->contains(QLatin1Char(';')))
        return std::nullopt;
    return found;
}

// QSettings splits an unquoted comma into a list and drops the blanks around
// each part; a hand-written folder such as "/a, /b" is one text to us.
QString textOf(const QSettings& settings, const QString& key, const QVariant& value) {
    if (value.typeId() != QMetaType::QStringList)
        return value.toString();
    if (const auto written = plainWrittenValue(settings.fileName(), key))
        return *written;
    return value.toStringList().join(QStringLiteral(", "));
}

std::optional<QString> readFrom(const QSettings& settings, std::string_view name) {
    const QString key = storedKeyFor(settings, name);
    if (key.isEmpty())
        return std::nullopt;
    const QVariant value = settings.value(key);
    if (value.typeId() != QMetaType::QStringList && !value.canConvert<QString>())
        throw SettingsError(failedToGetMessage(name));
    return textOf(settings, key, value);
}

} // namespace

QtSettingsStore::QtSettingsStore() = default;

QtSettingsStore::QtSettingsStore(const QString& iniFile) : iniFile_(iniFile) {}

QtSettingsStore::~QtSettingsStore() = default;

std::unique_ptr<QSettings> QtSettingsStore::open() const {
    if (iniFile_.isEmpty())
        return usersOwnSettings();
    return std::make_unique<QSettings>(iniFile_, QSettings::IniFormat);
}

QSettings& QtSettingsStore::reader() {
    if (!reader_)
        reader_ = open();
    return *reader_;
}

std::optional<std::string> QtSettingsStore::read(std::string_view name) {
    const auto text = readFrom(reader(), name);
    if (!text)
        return std::nullopt;
    return toStd(*text);
}

void QtSettingsStore::write(std::string_view name, const std::string& text) {
    reader_.reset(); // later reads see this write
    const auto settings = open();
    if (!settings->isWritable())
        throw SettingsError(failedToSetMessage(name));
    for (QString key = storedKeyFor(*settings, name); !key.isEmpty();
         key = storedKeyFor(*settings, name))
        settings->remove(key);
    settings->setValue(toQt(name), toQt(text));
    settings->sync();
    // status() keeps the first problem met, so after a malformed line was
    // read a failed write goes unrecorded, and a read problem would pass for
    // a write failure. The value is stored exactly when a fresh read finds it.
    std::optional<QString> stored;
    try {
        stored = readFrom(*open(), name);
    } catch (const SettingsError&) {
    }
    if (stored != toQt(text))
        throw SettingsError(failedToSetMessage(name));
}

} // namespace vardelo
