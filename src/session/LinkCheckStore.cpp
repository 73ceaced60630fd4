#include "session/LinkCheckStore.h"

#include "core/DownloadQueue.h"
#include "platform/Diagnostics.h"
#include "platform/QtText.h"
#include "platform/RecordFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string_view>
#include <unordered_set>

namespace vardelo {
namespace {

constexpr int kVersion = 1;
// Far above the results of a queue of 100,000 links.
constexpr qint64 kFileLimit = 256LL * 1024 * 1024;

QString pathIn(const QString& folder) {
    return folder + QLatin1Char('/') + QLatin1String(kLinkCheckFileName);
}

void tell(const QString& path, const char* what, const QString& why) {
    std::fprintf(stderr, "Vardelo: %s was not %s: %s\n", QFile::encodeName(path).constData(), what,
                 why.toLocal8Bit().constData());
    qCWarning(lcRecords).noquote() << path << "was not" << what << "-" << why;
}

std::string tooLargeMessage(std::string_view fileName) {
    return "File too large: " + std::string(fileName) + " holds more than 256 MiB";
}

const char* availabilityKey(Availability availability) {
    switch (availability) {
    case Availability::Online:
        return "online";
    case Availability::Offline:
        return "offline";
    case Availability::Unknown:
        break;
    }
    return "unknown";
}

// The profile keys of the markers, so the file reads as the profiles do.
const char* markerKey(PageMarker marker) {
    switch (marker) {
    case PageMarker::PremiumOnly:
        return "premium_only";
    case PageMarker::TempOffline:
        return "temp_offline";
    case PageMarker::None:
        break;
    }
    return "";
}

PageMarker markerNamed(const QString& key) {
    return key == QLatin1String("premium_only")   ? PageMarker::PremiumOnly
           : key == QLatin1String("temp_offline") ? PageMarker::TempOffline
                                                  : PageMarker::None;
}

const char* digestKey(DigestKind kind) {
    switch (kind) {
    case DigestKind::Md5:
        return "md5";
    case DigestKind::Sha1:
        return "sha1";
    case DigestKind::Sha256:
        break;
    }
    return "sha256";
}

} // namespace

std::string encodeLinkResults(const LinkResults& results, const TextGrid& queue) {
    QJsonArray links;
    std::unordered_set<std::string> written;
    for (int row = 1; row < queue.rowCount(); ++row) {
        const std::string& link = queue.cell(row, QueueUrl);
        const LinkFacts* facts = results.find(link);
        if (!facts || !written.insert(link).second)
            continue;
        QJsonObject entry{
            {QStringLiteral("link"), toQt(link)},
            {QStringLiteral("available"), QLatin1String(availabilityKey(facts->availability))},
            {QStringLiteral("checked"), static_cast<qint64>(facts->checkedAt)}};
        if (!facts->name.empty())
            entry.insert(QStringLiteral("name"), toQt(facts->name));
        if (facts->size) {
            entry.insert(QStringLiteral("size"), static_cast<qint64>(facts->size->bytes));
            entry.insert(QStringLiteral("exact"), facts->size->exact);
        }
        if (facts->marker != PageMarker::None)
            entry.insert(QStringLiteral("marker"), QLatin1String(markerKey(facts->marker)));
        if (facts->digest) {
            entry.insert(QStringLiteral("hash"), toQt(facts->digest->hex));
            entry.insert(QStringLiteral("hashType"), QLatin1String(digestKey(facts->digest->kind)));
        }
        links.append(entry);
    }
    const QJsonObject root{{QStringLiteral("version"), kVersion}, {QStringLiteral("links"), links}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

LinkResults decodeLinkResults(const std::string& bytes, QString* problem) {
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(bytes), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *problem = QStringLiteral("not JSON: ") + error.errorString();
        return {};
    }
    const QJsonObject root = document.object();
    const int version = root.value(QStringLiteral("version")).toInt(0);
    if (version < 1 || version > kVersion) {
        *problem =
            QStringLiteral("of version %1, this program reads %2").arg(version).arg(kVersion);
        return {};
    }
    LinkResults results;
    for (const QJsonValue& value : root.value(QStringLiteral("links")).toArray()) {
        const QJsonObject entry = value.toObject();
        const std::string link = toStd(entry.value(QStringLiteral("link")).toString());
        if (link.empty())
            continue; // an entry that does not read is left out alone
        LinkFacts facts;
        const QString available = entry.value(QStringLiteral("available")).toString();
        facts.availability = available == QLatin1String("online")    ? Availability::Online
                             : available == QLatin1String("offline") ? Availability::Offline
                                                                     : Availability::Unknown;
        facts.checkedAt = entry.value(QStringLiteral("checked")).toInteger(0);
        facts.name = toStd(entry.value(QStringLiteral("name")).toString());
        facts.marker = markerNamed(entry.value(QStringLiteral("marker")).toString());
        if (const QJsonValue size = entry.value(QStringLiteral("size")); size.isDouble())
            if (const qint64 length = size.toInteger(-1); length >= 0)
                facts.size = SizeReading{length, entry.value(QStringLiteral("exact")).toBool()};
        if (entry.contains(QStringLiteral("hash")))
            facts.digest = readDigest(
                toStd(entry.value(QStringLiteral("hash")).toString()),
                digestKindNamed(toStd(entry.value(QStringLiteral("hashType")).toString())));
        results.set(link, std::move(facts));
    }
    return results;
}

LinkResults loadLinkResults(const QString& folder, bool* unread) {
    *unread = false;
    const QString path = pathIn(folder);
    QString problem;
    LinkResults results;
    try { // never blocks on a FIFO or device
        const std::optional<std::string> bytes = readKeptFile(path, kFileLimit, &tooLargeMessage);
        if (!bytes)
            return {};
        results = decodeLinkResults(*bytes, &problem);
    } catch (const std::exception& error) {
        problem = QString::fromUtf8(error.what());
    }
    if (!problem.isEmpty()) {
        *unread = true;
        tell(path, "read", problem);
    }
    return results;
}

bool saveLinkResults(const QString& folder, const LinkResults& results, const TextGrid& queue) {
    const QString path = pathIn(folder);
    try {
        writeRecordFile(path, encodeLinkResults(results, queue));
        return true;
    } catch (const std::exception& error) {
        tell(path, "saved", QString::fromUtf8(error.what()));
        return false;
    }
}

} // namespace vardelo
