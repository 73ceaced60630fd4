#include "platform/CommandLine.h"

#include "core/ClipboardLinks.h"
#include "core/IoError.h"
#include "core/LinkPasswords.h"
#include "core/ListText.h"
#include "platform/ListFile.h"
#include "platform/QtText.h"

#include <QDataStream>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace vardelo {
namespace {

// Enough links to read through; the answer stays far below what a later
// start or a browser (1 MB a message) takes, however its text is escaped.
constexpr std::size_t kListedAnswerBytes = 128 * 1024;
// Far more than any message could carry; a larger count is no count.
constexpr double kMostUnlisted = 1e9;

void reportLeftOut(const QString& text) {
    std::fprintf(stderr, "Vardelo: %s\n", text.toLocal8Bit().constData());
}

// The running program refuses a handed link with a control character in
// it, so such a link is left out here, where the user hears of it.
void addLink(HandedArguments& handed, const std::string& link) {
    if (hasControlCharacters(link)) {
        reportLeftOut(QStringLiteral("vezérlőkaraktert tartalmazó link, kihagyva: ") +
                      toQt(controlsReplaced(link)));
        return;
    }
    handed.links.push_back(link);
}

} // namespace

HandedArguments readArguments(const QStringList& arguments, const HostProfiles* profiles) {
    HandedArguments handed;
    handed.bringToFront = arguments.isEmpty();
    for (const QString& argument : arguments) {
        if (argument == QLatin1String(kAwaitLinksOption)) {
            handed.awaitLinks = true;
            continue;
        }
        const std::vector<std::string> links = linksInArgument(toStd(argument), profiles);
        if (!links.empty()) {
            for (const std::string& link : links)
                addLink(handed, link);
            continue;
        }
        if (!QFileInfo(argument).isFile()) {
            reportLeftOut(QStringLiteral("nem link és nem listafájl, kihagyva: ") +
                          toQt(controlsReplaced(toStd(argument))));
            continue;
        }
        try {
            for (const std::string& line : linesToImport(readListFile(argument))) {
                ListEntry entry = splitListEntry(line);
                addLink(handed, entry.link);
                if (entry.password.empty())
                    continue;
                if (isUsablePassword(entry.password))
                    handed.passwords.push_back(std::move(entry));
                else
                    reportLeftOut(QStringLiteral("vezérlőkaraktert tartalmazó jelszó, kihagyva: ") +
                                  toQt(controlsReplaced(entry.link)));
            }
        } catch (const std::exception& error) {
            reportLeftOut(toQt(withFinalPeriod(error.what())));
        }
    }
    return handed;
}

QByteArray encodeArguments(const HandedArguments& handed) {
    QList<QByteArray> links;
    links.reserve(static_cast<qsizetype>(handed.links.size()));
    for (const std::string& link : handed.links)
        links.append(QByteArray::fromStdString(link));
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << handed.bringToFront << links;
    // Only when there are any, so that a message without them reads as before.
    if (!handed.passwords.empty()) {
        QList<QByteArray> pairs;
        for (const ListEntry& entry : handed.passwords)
            pairs << QByteArray::fromStdString(entry.link)
                  << QByteArray::fromStdString(entry.password);
        out << pairs;
    }
    return bytes;
}

std::optional<HandedArguments> decodeArguments(const QByteArray& bytes) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    bool bringToFront = false;
    QList<QByteArray> links;
    in >> bringToFront >> links;
    QList<QByteArray> pairs;
    if (!in.atEnd())
        in >> pairs;
    if (in.status() != QDataStream::Ok || !in.atEnd() || pairs.size() % 2 != 0)
        return std::nullopt;
    HandedArguments handed;
    handed.bringToFront = bringToFront;
    for (const QByteArray& link : links) {
        // No start of ours sends one; a line break would split a queue row.
        if (hasControlCharacters(link.toStdString()))
            return std::nullopt;
        handed.links.push_back(link.toStdString());
    }
    for (qsizetype i = 0; i < pairs.size(); i += 2) {
        ListEntry entry{pairs[i].toStdString(), pairs[i + 1].toStdString()};
        if (hasControlCharacters(entry.link) || !isUsablePassword(entry.password))
            return std::nullopt;
        handed.passwords.push_back(std::move(entry));
    }
    return handed;
}

QByteArray encodeHandedAnswer(const std::vector<std::string>& alreadyQueued) {
    QJsonArray listed;
    std::size_t bytes = 0;
    std::size_t unlisted = 0;
    for (const std::string& link : alreadyQueued) {
        bytes += link.size();
        if (bytes > kListedAnswerBytes)
            ++unlisted;
        else
            listed.append(toQt(link));
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("alreadyQueued"), listed},
                                     {QStringLiteral("unlisted"), static_cast<qint64>(unlisted)}})
        .toJson(QJsonDocument::Compact);
}

HandedAnswer decodeHandedAnswer(const QByteArray& bytes) {
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    HandedAnswer answer;
    for (const QJsonValue& link : object.value(QStringLiteral("alreadyQueued")).toArray()) {
        if (link.isString())
            answer.alreadyQueued.push_back(toStd(link.toString()));
    }
    const double unlisted = object.value(QStringLiteral("unlisted")).toDouble();
    if (unlisted >= 1 && unlisted <= kMostUnlisted)
        answer.unlisted = static_cast<std::size_t>(unlisted);
    return answer;
}

std::string alreadyQueuedReport(const HandedAnswer& answer) {
    if (answer.count() == 0)
        return {};
    std::string report = alreadyQueuedTitle(answer.count()) + ":\n";
    for (const std::string& link : answer.alreadyQueued)
        report += "  " + controlsReplaced(link) + "\n";
    if (answer.unlisted > 0)
        report += "  ... és még " + std::to_string(answer.unlisted) + "\n";
    return report;
}

} // namespace vardelo
