#include "platform/NativeMessagingHost.h"

#include "core/NativeMessage.h"
#include "platform/AppPaths.h"
#include "platform/CommandLine.h"
#include "platform/QtText.h"
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <poll.h>
#include <unistd.h>

namespace vardelo {
namespace {

// A Vardelo started for a message has this long to come up and take it.
constexpr std::chrono::seconds kStartPatience{30};
constexpr std::chrono::seconds kRunningPatience{5};

enum class Read { Whole, Ended, Cut };

// Reads exactly `size` bytes. Before the first byte it waits as long as the
// browser keeps its end open; once a message has begun, at most `patienceMs`
// for each further piece.
Read readExactly(int fd, char* data, std::size_t size, bool begun, int patienceMs) {
    std::size_t done = 0;
    while (done < size) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, begun || done > 0 ? patienceMs : -1);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return Read::Cut;
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return done == 0 && !begun ? Read::Ended : Read::Cut;
        done += static_cast<std::size_t>(got);
    }
    return Read::Whole;
}

void writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return; // the browser has gone; nobody is left to tell
        done += static_cast<std::size_t>(put);
    }
}

std::string reply(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string refusal(const std::string& text) {
    return reply({{QStringLiteral("ok"), false}, {QStringLiteral("error"), toQt(text)}});
}

} // namespace

int NativeMessagingHost::serve(int inFd, int outFd, int patienceMs) {
    for (;;) {
        unsigned char header[kFrameHeaderBytes];
        const Read head =
            readExactly(inFd, reinterpret_cast<char*>(header), sizeof header, false, patienceMs);
        if (head == Read::Ended)
            return 0;
        if (head == Read::Cut) {
            writeAll(outFd, framed(refusal(cutShortText())));
            return 1;
        }
        const std::uint32_t length = frameLength(header);
        if (length > kLargestNativeMessage) {
            writeAll(outFd, framed(refusal(tooLongText()))); // what follows cannot be framed
            return 1;
        }
        std::string message(length, '\0');
        if (readExactly(inFd, message.data(), length, true, patienceMs) != Read::Whole) {
            writeAll(outFd, framed(refusal(cutShortText())));
            return 1;
        }
        writeAll(outFd, framed(answer(message)));
    }
}

std::string NativeMessagingHost::answer(const std::string& message) {
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(message), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return refusal(notJsonText());
    const QJsonValue links = document.object().value(QStringLiteral("links"));
    if (!links.isArray() || links.toArray().isEmpty())
        return refusal(noLinksText());
    std::vector<std::string> handed;
    for (const QJsonValue& link : links.toArray()) {
        const std::string text = toStd(link.toString());
        if (!link.isString() || !isHandableLink(text))
            return refusal(notHttpText(link.isString() ? text : std::string("?")));
        handed.push_back(text);
    }
    const Handed handedOver = handOver_(handed);
    if (const auto* refused = std::get_if<std::string>(&handedOver))
        return refusal(*refused);
    const HandedAnswer& taken = std::get<HandedAnswer>(handedOver);
    QJsonArray present;
    for (const std::string& link : taken.alreadyQueued)
        present.append(toQt(link));
    const std::size_t added = handed.size() - std::min(taken.count(), handed.size());
    return reply({{QStringLiteral("ok"), true},
                  {QStringLiteral("queued"), static_cast<qint64>(added)},
                  {QStringLiteral("alreadyQueued"), present}});
}

int runNativeMessagingHost(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN); // a browser gone early is no reason to die
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vardelo"));
    QCoreApplication::setApplicationName(QStringLiteral("Vardelo"));

    SingleInstance instance(recordFolder());
    NativeMessagingHost host(
        [&instance](const std::vector<std::string>& links) -> NativeMessagingHost::Handed {
            const QByteArray message = encodeArguments({links, false});
            const auto handedTo =
                [&instance](SingleInstance::Sent sent) -> NativeMessagingHost::Handed {
                if (sent == SingleInstance::Sent::Stranger)
                    return strangerListensText();
                if (sent != SingleInstance::Sent::Taken)
                    return notHandedOverText();
                return decodeHandedAnswer(instance.answer());
            };
            if (instance.programRuns())
                return handedTo(instance.sendToRunning(message, kRunningPatience));
            // The user sent a link to be downloaded: a Vardelo that is not running is started.
            QProcess program;
            program.setProgram(QCoreApplication::applicationFilePath());
            program.setArguments({QLatin1String(kAwaitLinksOption)});
            program.setStandardInputFile(QProcess::nullDevice());
            program.setStandardOutputFile(QProcess::nullDevice());
            program.setStandardErrorFile(QProcess::nullDevice());
            if (!program.startDetached())
                return notHandedOverText();
            return handedTo(instance.sendToRunning(message, kStartPatience));
        });
    return host.serve(STDIN_FILENO, STDOUT_FILENO);
}

} // namespace vardelo
