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

} // namespace

HandedArguments readArguments(const QStringList& arguments, const HostProfiles* profiles) {
    HandedArguments handed;
    handed.bringToFront = arguments.isEmpty();
    for (const QString& argument : arguments) {
        const std::vector<std::string> links = linksInArgument(toStd(argument), profiles);
        if (!links.empty()) {
            handed.links.insert(handed.links.end(), links.begin(), links.end());
            continue;
        }
        if (!QFileInfo(argument).isFile()) {
            reportLeftOut(QStringLiteral("nem link és nem listafájl, kihagyva: ") + argument);
            continue;
        }
        try {
            for (const std::string& line : linesToImport(readListFile(argument)))
                handed.links.push_back(line);
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
    for (const QByteArray& link : links)
        handed.links.push_back(link.toStdString());
    return handed;
}

} // namespace vardelo
