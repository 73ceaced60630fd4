#include "platform/HostProfileFiles.h"

#include "platform/AppPaths.h"
#include "platform/QtText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>

namespace vardelo {
namespace {

// A profile is a dozen lines; a larger file is no profile.
constexpr qint64 kLargestProfileBytes = 256 * 1024;

QString quoted(const char* key) {
    return QLatin1Char('"') + QLatin1String(key) + QLatin1Char('"');
}

// A text key that may be absent; false: present but not text.
bool optionalText(const QJsonObject& object, const char* key, std::string* into) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    *into = toStd(value.toString());
    return true;
}

std::optional<PageReader> readReader(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    PageReader reader;
    if (const QJsonArray between = object.value(QLatin1String("between")).toArray();
        between.size() == 2 && between[0].isString() && between[1].isString() &&
        !between[0].toString().isEmpty() && !between[1].toString().isEmpty()) {
        reader.kind = PageReader::Kind::Between;
        reader.first = toStd(between[0].toString());
        reader.second = toStd(between[1].toString());
        return reader;
    }
    if (const QJsonValue pattern = object.value(QLatin1String("pattern")); pattern.isString()) {
        reader.kind = PageReader::Kind::Pattern;
        reader.first = toStd(pattern.toString());
        return reader;
    }
    const QJsonValue selector = object.value(QLatin1String("selector"));
    const QJsonValue attribute = object.value(QLatin1String("attribute"));
    if (selector.isString() && !selector.toString().trimmed().isEmpty() &&
        (attribute.isUndefined() || attribute.isString())) {
        reader.kind = PageReader::Kind::Selector;
        reader.first = toStd(selector.toString());
        reader.second = toStd(attribute.toString());
        reader.hasAttribute = !attribute.toString().isEmpty();
        return reader;
    }
    return std::nullopt;
}

// The waiting time a host asks for: a reader, and its unit.
QString readRetryAfter(const QJsonObject& object, const QString& where,
                       std::optional<RetryAfterReader>* into) {
    const QJsonValue value = object.value(QLatin1String("retry_after"));
    if (value.isUndefined())
        return QString();
    const std::optional<PageReader> reader = readReader(value);
    if (!reader)
        return QStringLiteral("a %1 nem ismert alakú olvasó").arg(where);
    const QJsonValue unit = value.toObject().value(QLatin1String("unit"));
    const QString name = unit.isUndefined() ? QStringLiteral("s") : unit.toString();
    if (name != QLatin1String("s") && name != QLatin1String("min") && name != QLatin1String("h"))
        return QStringLiteral("a %1 egysége nem \"s\", \"min\" vagy \"h\"").arg(where);
    *into = RetryAfterReader{*reader, toStd(name)};
    return QString();
}

// The unit of a number the `wait` reader reads without one.
QString readWaitUnit(const QJsonObject& object, const QString& where, std::string* into) {
    const QJsonValue unit =
        object.value(QLatin1String("wait")).toObject().value(QLatin1String("unit"));
    if (unit.isUndefined())
        return QString();
    const QString name = unit.toString();
    if (name != QLatin1String("s") && name != QLatin1String("min") && name != QLatin1String("h"))
        return QStringLiteral("a %1 egysége nem \"s\", \"min\" vagy \"h\"").arg(where);
    *into = toStd(name);
    return QString();
}

// The digest's kind, named inside the `hash` reader; absent: by its length.
QString readHashType(const QJsonObject& step, const QString& where,
                     std::optional<DigestKind>* into) {
    const QJsonValue type =
        step.value(QLatin1String("hash")).toObject().value(QLatin1String("hash_type"));
    if (type.isUndefined())
        return QString();
    *into = digestKindNamed(toStd(type.toString()));
    if (!*into)
        return where +
               QStringLiteral("%1 nem \"md5\", \"sha1\" vagy \"sha256\"").arg(quoted("hash_type"));
    return QString();
}

// Keys a file may hold beside the ones read; anything else is named.
void noteUnknownKeys(const QJsonObject& object, std::initializer_list<const char*> known,
                     const QString& where, QStringList* warnings) {
    for (const QString& key : object.keys()) {
        if (std::none_of(known.begin(), known.end(),
                         [&](const char* k) { return key == QLatin1String(k); }))
            warnings->append(QStringLiteral("ismeretlen kulcs, nem használom: %1\"%2\"")
                                 .arg(where, key.left(60)));
    }
}

// A folder's files: a reader of every entry's address, and readers of
// each entry's name and size inside it.
QString readFolderKeys(const QJsonObject& object, HostProfile& profile, QStringList* warnings) {
    const QJsonValue files = object.value(QLatin1String("files"));
    if (!files.isUndefined()) {
        const std::optional<PageReader> address = readReader(files);
        if (!files.isObject() || !address)
            return QStringLiteral("a %1 nem ismert alakú olvasó").arg(quoted("files"));
        FolderFiles folder{*address, std::nullopt, std::nullopt};
        const QJsonObject entry = files.toObject();
        for (const auto& [key, into] :
             {std::pair{"name", &folder.name}, std::pair{"size", &folder.size}}) {
            const QJsonValue reader = entry.value(QLatin1String(key));
            if (reader.isUndefined())
                continue;
            *into = readReader(reader);
            if (!*into)
                return QStringLiteral("a %1 %2 kulcsa nem ismert alakú olvasó")
                    .arg(quoted("files"), quoted(key));
        }
        noteUnknownKeys(entry,
                        {"selector", "attribute", "pattern", "between", "name", "size", "comment"},
                        QStringLiteral("a %1 ").arg(quoted("files")), warnings);
        profile.files = std::move(folder);
    }
    for (const auto& [key, into] :
         {std::pair{"package", &profile.package}, std::pair{"next", &profile.next}}) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        if (!profile.files)
            return QStringLiteral("a %1 csak a %2 mellett áll").arg(quoted(key), quoted("files"));
        *into = readReader(value);
        if (!*into)
            return QStringLiteral("a %1 nem ismert alakú olvasó").arg(quoted(key));
    }
    return QString();
}

QString readStep(const QJsonValue& value, int number, ProfileStep& step, QStringList* warnings) {
    const QString where = QStringLiteral("%1 %2. lépésének ").arg(quoted("steps")).arg(number);
    if (!value.isObject())
        return QStringLiteral("a %1 %2. eleme nem objektum").arg(quoted("steps")).arg(number);
    const QJsonObject object = value.toObject();
    const std::pair<const char*, std::string*> texts[] = {{"dead", &step.dead},
                                                          {"busy", &step.busy},
                                                          {"premium_only", &step.premiumOnly},
                                                          {"temp_offline", &step.tempOffline},
                                                          {"submit", &step.submit},
                                                          {"captcha", &step.captcha},
                                                          {"password", &step.password},
                                                          {"wrong_password", &step.wrongPassword}};
    for (const auto& [key, into] : texts) {
        if (!optionalText(object, key, into))
            return where + QStringLiteral("%1 kulcsa nem szöveg").arg(quoted(key));
    }
    const std::pair<const char*, std::optional<PageReader>*> readers[] = {
        {"wait", &step.wait},     {"address", &step.address},
        {"name", &step.fileName}, {"captcha_solved", &step.captchaSolved},
        {"size", &step.size},     {"hash", &step.hash}};
    for (const auto& [key, into] : readers) {
        const QJsonValue reader = object.value(QLatin1String(key));
        if (reader.isUndefined())
            continue;
        *into = readReader(reader);
        if (!*into)
            return where + QStringLiteral("%1 kulcsa nem ismert alakú olvasó").arg(quoted(key));
    }
    if (QString problem = readRetryAfter(object, where + quoted("retry_after"), &step.retryAfter);
        !problem.isEmpty())
        return problem;
    if (QString problem = readHashType(object, where, &step.hashType); !problem.isEmpty())
        return problem;
    if (QString problem = readWaitUnit(object, where + quoted("wait"), &step.waitUnit);
        !problem.isEmpty())
        return problem;
    noteUnknownKeys(object,
                    {"dead", "busy", "premium_only", "temp_offline", "retry_after", "wait",
                     "submit", "address", "name", "captcha", "captcha_solved", "size", "hash",
                     "password", "wrong_password", "comment"},
                    where, warnings);
    return QString();
}

QString readSteps(const QJsonObject& object, HostProfile& profile, QStringList* warnings) {
    const QJsonValue steps = object.value(QLatin1String("steps"));
    if (steps.isUndefined())
        return QString();
    if (!steps.isArray() || steps.toArray().isEmpty())
        return QStringLiteral("a %1 nem lépések nem üres listája").arg(quoted("steps"));
    for (const char* shorthand : {"form", "wait", "address", "address_after_wait", "after_wait"}) {
        if (object.contains(QLatin1String(shorthand)))
            return QStringLiteral("a %1 mellett nem állhat %2 (az a lépések rövid alakja)")
                .arg(quoted("steps"), quoted(shorthand));
    }
    int number = 0;
    for (const QJsonValue& value : steps.toArray()) {
        ProfileStep step;
        if (QString problem = readStep(value, ++number, step, warnings); !problem.isEmpty())
            return problem;
        if (step.submit.empty() == !step.address)
            return QStringLiteral("a %1 %2. lépésében a %3 és az %4 közül pontosan egy kell")
                .arg(quoted("steps"))
                .arg(number)
                .arg(quoted("submit"), quoted("address"));
        profile.steps.push_back(std::move(step));
    }
    return QString();
}

// The keys of one profile; an empty result: the profile as read.
QString readKeys(const QJsonObject& object, HostProfile& profile, QStringList* warnings) {
    const QJsonValue name = object.value(QLatin1String("name"));
    if (!name.isString() || name.toString().trimmed().isEmpty())
        return QStringLiteral("hiányzik a %1 (szöveg)").arg(quoted("name"));
    profile.name = toStd(name.toString());
    const QJsonArray links = object.value(QLatin1String("links")).toArray();
    for (const QJsonValue& link : links) {
        if (link.isString() && !link.toString().isEmpty())
            profile.links.push_back(toStd(link.toString()));
    }
    if (links.isEmpty() || profile.links.size() != static_cast<std::size_t>(links.size()))
        return QStringLiteral("a %1 nem minták nem üres listája").arg(quoted("links"));
    const std::pair<const char*, std::string*> texts[] = {
        {"form", &profile.form},
        {"dead", &profile.dead},
        {"busy", &profile.busy},
        {"premium_only", &profile.premiumOnly},
        {"temp_offline", &profile.tempOffline},
        {"after_wait", &profile.afterWait},
        {"captcha", &profile.captcha},
        {"wrong_password", &profile.wrongPassword}};
    for (const auto& [key, into] : texts) {
        if (!optionalText(object, key, into))
            return QStringLiteral("a %1 nem szöveg").arg(quoted(key));
    }
    const QJsonValue late = object.value(QLatin1String("address_after_wait"));
    if (!late.isUndefined() && !late.isBool())
        return QStringLiteral("az %1 nem true vagy false").arg(quoted("address_after_wait"));
    profile.addressAfterWait = late.toBool(false);
    const std::pair<const char*, std::optional<PageReader>*> readers[] = {
        {"wait", &profile.wait},
        {"address", &profile.address},
        {"captcha_solved", &profile.captchaSolved},
        {"size", &profile.size},
        {"hash", &profile.hash}};
    for (const auto& [key, into] : readers) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        *into = readReader(value);
        if (!*into)
            return QStringLiteral("a %1 nem ismert alakú olvasó").arg(quoted(key));
    }
    if (QString problem = readHashType(object, QStringLiteral("a "), &profile.hashType);
        !problem.isEmpty())
        return problem;
    if (QString problem = readWaitUnit(object, quoted("wait"), &profile.waitUnit);
        !problem.isEmpty())
        return problem;
    const QJsonValue settle = object.value(QLatin1String("settle"));
    if (!settle.isUndefined()) {
        const double seconds = settle.toDouble(-1);
        if (!settle.isDouble() || seconds < 0 || seconds > 60 ||
            seconds != static_cast<int>(seconds))
            return QStringLiteral("a %1 nem 0 és 60 közötti egész szám").arg(quoted("settle"));
        profile.settleSeconds = static_cast<int>(seconds);
    }
    const QJsonValue perHost = object.value(QLatin1String("per_host"));
    if (!perHost.isUndefined()) {
        const double atOnce = perHost.toDouble(-1);
        if (atOnce < 1 || atOnce > 8 || atOnce != static_cast<int>(atOnce))
            return QStringLiteral("a %1 nem 1 és 8 közötti egész szám").arg(quoted("per_host"));
        profile.perHost = static_cast<int>(atOnce);
    }
    const QJsonValue cookies = object.value(QLatin1String("cookies"));
    if (!cookies.isUndefined()) {
        const QJsonObject pairs = cookies.toObject();
        if (!cookies.isObject() || std::any_of(pairs.begin(), pairs.end(),
                                               [](const QJsonValue& v) { return !v.isString(); }))
            return QStringLiteral("a %1 nem szöveges értékek objektuma").arg(quoted("cookies"));
        for (auto it = pairs.begin(); it != pairs.end(); ++it)
            profile.cookies.emplace_back(toStd(it.key()), toStd(it.value().toString()));
    }
    const QJsonValue rewrite = object.value(QLatin1String("rewrite"));
    if (!rewrite.isUndefined()) {
        const QString notPairs =
            QStringLiteral("a %1 nem [minta, csere] párok listája").arg(quoted("rewrite"));
        if (!rewrite.isArray())
            return notPairs;
        for (const QJsonValue& rule : rewrite.toArray()) {
            const QJsonArray pair = rule.toArray();
            if (pair.size() != 2 || !pair[0].isString() || !pair[1].isString() ||
                pair[0].toString().isEmpty())
                return notPairs;
            profile.rewrite.emplace_back(toStd(pair[0].toString()), toStd(pair[1].toString()));
        }
    }
    if (QString problem = readRetryAfter(object, quoted("retry_after"), &profile.retryAfter);
        !problem.isEmpty())
        return problem;
    if (QString problem = readSteps(object, profile, warnings); !problem.isEmpty())
        return problem;
    if (QString problem = readFolderKeys(object, profile, warnings); !problem.isEmpty())
        return problem;
    if (profile.steps.empty() && !profile.address && profile.afterWait.empty() && !profile.files)
        return QStringLiteral("nincs sem %1, sem %2, sem %3, sem %4")
            .arg(quoted("steps"), quoted("address"), quoted("after_wait"), quoted("files"));
    noteUnknownKeys(object, {"name",           "links",          "form",
                             "dead",           "busy",           "retry_after",
                             "wait",           "address",        "address_after_wait",
                             "after_wait",     "steps",          "settle",
                             "per_host",       "cookies",        "rewrite",
                             "captcha",        "captcha_solved", "size",
                             "hash",           "premium_only",   "temp_offline",
                             "files",          "package",        "next",
                             "wrong_password", "comment"},
                    QString(), warnings);
    return QString();
}

// A message's text with the control characters a profile may hold written
// as escapes: a NUL would cut the message, a line break or ESC would reshape
// it.
QString escapedControls(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            shown += QStringLiteral("\\u%1").arg(static_cast<int>(u), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace

std::shared_ptr<const CompiledProfile> parseHostProfile(const QByteArray& json, QString* reason,
                                                        QStringList* warnings) {
    QStringList ignored;
    if (!warnings)
        warnings = &ignored;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        *reason = QStringLiteral("nem JSON (%1)").arg(error.errorString());
        return nullptr;
    }
    if (!document.isObject()) {
        *reason = QStringLiteral("nem JSON-objektum");
        return nullptr;
    }
    HostProfile profile;
    if (const QString problem = readKeys(document.object(), profile, warnings);
        !problem.isEmpty()) {
        *reason = problem;
        return nullptr;
    }
    std::string why;
    auto compiled = CompiledProfile::compile(std::move(profile), &why);
    if (!compiled)
        *reason = toQt(why);
    return compiled;
}

QStringList hostProfileFolders() {
    return {dataFolder() + QStringLiteral("/HostProfiles"),
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                QStringLiteral("/Vardelo/HostProfiles")};
}

LoadedProfiles loadHostProfiles(const QStringList& folders) {
    std::vector<QFileInfo> files;
    for (const QString& folder : folders) {
        const auto found = QDir(folder).entryInfoList({QStringLiteral("*.json")},
                                                      QDir::Files | QDir::Readable, QDir::Name);
        files.insert(files.end(), found.begin(), found.end());
    }
    std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.fileName() < b.fileName();
    });
    LoadedProfiles loaded;
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        QString reason;
        QStringList warnings;
        std::shared_ptr<const CompiledProfile> profile;
        if (info.size() > kLargestProfileBytes)
            reason = QStringLiteral("túl nagy fájl");
        else if (!file.open(QIODevice::ReadOnly))
            reason = file.errorString();
        else
            profile = parseHostProfile(file.read(kLargestProfileBytes), &reason, &warnings);
        const QString path = QDir::toNativeSeparators(info.filePath());
        for (const QString& warning : std::as_const(warnings))
            loaded.problems.append(escapedControls(path + QStringLiteral(": ") + warning));
        if (profile)
            loaded.profiles.add(std::move(profile));
        else
            loaded.problems.append(escapedControls(path + QStringLiteral(": ") + reason +
                                                   QStringLiteral(" (kihagyva)")));
    }
    return loaded;
}

QString profileProblemsText(const QStringList& problems) {
    return QStringLiteral("Hibás tárhelyprofil (a hibás fájl kihagyva, az ismeretlen kulcs "
                          "figyelmen kívül hagyva):\n") +
           problems.join(QLatin1Char('\n'));
}

} // namespace vardelo
