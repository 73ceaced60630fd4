#include "platform/QtSettingsStore.h"

#include "core/SettingsTable.h"
#include "platform/QtText.h"

#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
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
struct PreviousFile {
    explicit PreviousFile(const QString&) {}
    void restore() {}
};
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

// A second name for `fileName`, gone with this object.
class LinkedName {
  public:
    LinkedName(const QString& fileName, const char* purpose, bool hard) {
        static int taken = 0;
        name_ = QFile::encodeName(
            fileName +
            QStringLiteral(".%1.%2.%3").arg(QLatin1String(purpose)).arg(::getpid()).arg(++taken));
        const QByteArray target = QFile::encodeName(fileName);
        made_ = hard ? ::link(target.constData(), name_.constData()) == 0
                     : ::symlink(target.constData(), name_.constData()) == 0;
    }
    ~LinkedName() {
        if (made_)
            ::unlink(name_.constData());
    }
    LinkedName(const LinkedName&) = delete;
    LinkedName& operator=(const LinkedName&) = delete;

    bool made() const { return made_; }
    QString name() const { return QFile::decodeName(name_); }
    bool moveTo(const QString& fileName) {
        if (!made_)
            return false;
        const QByteArray target = QFile::encodeName(fileName);
        // A rename onto another name of the same file does nothing and keeps
        // both names: the file is already the kept one, and this name goes
        // with the object.
        struct stat ours = {};
        struct stat theirs = {};
        if (::stat(name_.constData(), &ours) == 0 && ::stat(target.constData(), &theirs) == 0 &&
            ours.st_dev == theirs.st_dev && ours.st_ino == theirs.st_ino)
            return true;
        if (::rename(name_.constData(), target.constData()) != 0)
            return false;
        made_ = false;
        return true;
    }

  private:
    QByteArray name_;
    bool made_ = false;
};

// The stored file as it was before a write, to put back when the write falls
// short: Qt's file writer takes a write cut off by a full disk for a whole one
// and renames the short file over the user's settings.
class PreviousFile {
  public:
    explicit PreviousFile(const QString& fileName)
        : fileName_(fileName), link_(fileName, "previous", true) {
        QFile file(fileName);
        existed_ = file.exists();
        if (existed_ && !link_.made() && file.open(QIODevice::ReadOnly))
            bytes_ = file.readAll();
    }

    void restore() {
        if (!existed_) {
            QFile::remove(fileName_);
            return;
        }
        if (link_.moveTo(fileName_))
            return; // one rename: no room needed on the disk
        // Unbuffered, so a write cut short shows in its count and is not committed.
        QSaveFile file(fileName_);
        if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
            file.write(bytes_) == bytes_.size())
            file.commit();
    }

  private:
    QString fileName_;
    LinkedName link_;
    bool existed_ = false;
    QByteArray bytes_;
};

// Qt ends every line it writes, so a last line without its end was cut off,
// even where what is left still reads as the value.
bool endsWhole(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    char last = '\n';
    return file.size() == 0 || (file.seek(file.size() - 1) && file.getChar(&last) && last == '\n');
}

// Whether the file on disk, read afresh, holds every value `settings` has.
// Read under another name: QSettings objects share one cache per file name,
// and that cache holds what was meant to be written.
bool holdsAll(const QSettings& settings) {
    if (!endsWhole(settings.fileName()))
        return false;
    const LinkedName alias(settings.fileName(), "check", false);
    if (!alias.made())
        return false;
    const QSettings stored(alias.name(), QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    for (const QString& key : keys) {
        if (stored.value(key) != settings.value(key))
            return false;
    }
    return true;
}

// Whether sync() stored the changes. status() keeps the first problem met, so
// after a malformed line was read a failed write goes unrecorded (and a read
// problem would pass for a write failure); and QSettings objects share one
// cache per file that still holds an unwritten value, so reading it back
// would find it. The file itself tells, read afresh.
bool written(const QSettings& settings, const FileStamp& before) {
    const FileStamp after = stampOf(settings.fileName());
    return after.exists && !(after == before) && holdsAll(settings);
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
    PreviousFile previous(settings->fileName());
    settings->sync();
    if (!written(*settings, before)) {
        previous.restore();
        throw SettingsError(failedToSetMessage(name));
    }
}

} // namespace vardelo
