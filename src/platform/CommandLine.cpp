#include "platform/CommandLine.h"

#include "core/ClipboardLinks.h"
#include "core/IoError.h"
#include "core/ListText.h"
#include "platform/ListFile.h"
#include "platform/QtText.h"

#include <QDataStream>
#include <QFileInfo>
#include <QIODevice>

#include <cstdio>

namespace vardelo {
namespace {

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
            for (const std::string& line : linesToImport(readListFile(argument)))
                addLink(handed, line);
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
    return bytes;
}

std::optional<HandedArguments> decodeArguments(const QByteArray& bytes) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    bool bringToFront = false;
    QList<QByteArray> links;
    in >> bringToFront >> links;
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    HandedArguments handed;
    handed.bringToFront = bringToFront;
    for (const QByteArray& link : links) {
        // No start of ours sends one; a line break would split a queue row.
        if (hasControlCharacters(link.toStdString()))
            return std::nullopt;
        handed.links.push_back(link.toStdString());
    }
    return handed;
}

} // namespace vardelo
