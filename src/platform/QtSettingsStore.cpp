#include "platform/QtSettingsStore.h"

#include "core/SettingsTable.h"
#include "platform/QtText.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

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

#ifdef Q_OS_WIN
// The registry has no format problems, so its status tells.
struct FileStamp {};
FileStamp stampOf(const QString&) {
    return {};
}
bool written(const QSettings& settings, const FileStamp&) {
    return settings.status() == QSettings::NoError;
}
#else
// The file as it is on disk: a write replaces it (a new file renamed over
// it) or, where no temporary file can be made, changes it.
struct FileStamp {
    bool exists = false;
    ino_t inode = 0;
    timespec modified{};
    off_t size = 0;

    bool operator==(const FileStamp& other) const {
        return exists == other.exists && inode == other.inode &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec && size == other.size;
    }
};

FileStamp stampOf(const QString& fileName) {
    struct stat info = {};
    if (::stat(QFile::encodeName(fileName).constData(), &info) != 0)
        return {};
    return {true, info.st_ino, info.st_mtim, info.st_size};
}

// Whether sync() stored the changes. status() keeps the first problem met, so
// after a malformed line was read a failed write goes unrecorded (and a read
// problem would pass for a write failure); and QSettings objects share one
// cache per file that still holds an unwritten value, so reading it back
// would find it. The file itself tells.
bool written(const QSettings& settings, const FileStamp& before) {
    const FileStamp after = stampOf(settings.fileName());
    return after.exists && !(after == before);
}

#endif

// QSettings reads its file whole as it opens it: a FIFO there would block
// for good, a device or folder never holds settings.
bool isUsableFile(const QString& fileName) {
#ifdef Q_OS_WIN
    Q_UNUSED(fileName);
    return true;
#else
    struct stat info = {};
    return ::stat(QFile::encodeName(fileName).constData(), &info) != 0 || S_ISREG(info.st_mode);
#endif
}

} // namespace

QtSettingsStore::QtSettingsStore() = default;

QtSettingsStore::QtSettingsStore(const QString& iniFile) : iniFile_(iniFile) {}

QtSettingsStore::~QtSettingsStore() = default;

QString QtSettingsStore::fileName() const {
#ifdef Q_OS_WIN
    return iniFile_;
#else
    if (!iniFile_.isEmpty())
        return iniFile_;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Vardelo.conf");
#endif
}

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
    if (!isUsableFile(fileName()))
        throw SettingsError(failedToGetMessage(name));
    const auto text = readFrom(reader(), name);
    if (!text)
        return std::nullopt;
    return toStd(*text);
}

void QtSettingsStore::write(std::string_view name, const std::string& text) {
    reader_.reset(); // later reads see this write
    if (!isUsableFile(fileName()))
        throw SettingsError(failedToSetMessage(name));
    const auto settings = open();
    if (!settings->isWritable())
        throw SettingsError(failedToSetMessage(name));
    for (QString key = storedKeyFor(*settings, name); !key.isEmpty();
         key = storedKeyFor(*settings, name))
        settings->remove(key);
    settings->setValue(toQt(name), toQt(text));
    const FileStamp before = stampOf(settings->fileName());
    settings->sync();
    if (!written(*settings, before))
        throw SettingsError(failedToSetMessage(name));
}

} // namespace vardelo
