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

// The keys of one profile; an empty result: the profile as read.
QString readKeys(const QJsonObject& object, HostProfile& profile) {
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
    const std::pair<const char*, std::string*> texts[] = {{"form", &profile.form},
                                                          {"dead", &profile.dead},
                                                          {"busy", &profile.busy},
                                                          {"after_wait", &profile.afterWait}};
    for (const auto& [key, into] : texts) {
        if (!optionalText(object, key, into))
            return QStringLiteral("a %1 nem szöveg").arg(quoted(key));
    }
    const QJsonValue late = object.value(QLatin1String("address_after_wait"));
    if (!late.isUndefined() && !late.isBool())
        return QStringLiteral("az %1 nem true vagy false").arg(quoted("address_after_wait"));
    profile.addressAfterWait = late.toBool(false);
    const std::pair<const char*, std::optional<PageReader>*> readers[] = {
        {"wait", &profile.wait}, {"address", &profile.address}};
    for (const auto& [key, into] : readers) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        *into = readReader(value);
        if (!*into)
            return QStringLiteral("a %1 nem ismert alakú olvasó").arg(quoted(key));
    }
    const QJsonValue settle = object.value(QLatin1String("settle"));
    if (!settle.isUndefined()) {
        const double seconds = settle.toDouble(-1);
        if (!settle.isDouble() || seconds < 0 || seconds > 60 ||
            seconds != static_cast<int>(seconds))
            return QStringLiteral("a %1 nem 0 és 60 közötti egész szám").arg(quoted("settle"));
        profile.settleSeconds = static_cast<int>(seconds);
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
    if (!profile.address && profile.afterWait.empty())
        return QStringLiteral("nincs sem %1, sem %2").arg(quoted("address"), quoted("after_wait"));
    return QString();
}

} // namespace

std::shared_ptr<const CompiledProfile> parseHostProfile(const QByteArray& json, QString* reason) {
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
    if (const QString problem = readKeys(document.object(), profile); !problem.isEmpty()) {
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
        std::shared_ptr<const CompiledProfile> profile;
        if (info.size() > kLargestProfileBytes)
            reason = QStringLiteral("túl nagy fájl");
        else if (!file.open(QIODevice::ReadOnly))
            reason = file.errorString();
        else
            profile = parseHostProfile(file.read(kLargestProfileBytes), &reason);
        if (profile)
            loaded.profiles.add(std::move(profile));
        else
            loaded.problems.append(QDir::toNativeSeparators(info.filePath()) +
                                   QStringLiteral(": ") + reason);
    }
    return loaded;
}

QString profileProblemsText(const QStringList& problems) {
    return QStringLiteral("Hibás tárhelyprofil, kihagyva:\n") + problems.join(QLatin1Char('\n'));
}

} // namespace vardelo
