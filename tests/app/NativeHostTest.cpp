// The browser's side of the native messaging host: framing, refusals and the
// links handed over, through real pipes; and the message a later start hands
// over the single-instance socket.
#include "core/NativeMessage.h"
#include "platform/CommandLine.h"
#include "platform/NativeMessagingHost.h"
#include "platform/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace vardelo {
namespace {

struct Served {
    int status = -1;
    std::vector<QJsonObject> answers;
};

std::string rawLength(std::uint32_t length) {
    std::string header(kFrameHeaderBytes, '\0');
    std::memcpy(header.data(), &length, sizeof length);
    return header;
}

class NativeHost : public ::testing::Test {
  protected:
    // What the browser sent, the way it leaves: its end closed afterwards.
    Served serve(const std::string& input) {
        int in[2];
        int out[2];
        EXPECT_EQ(::pipe(in), 0);
        EXPECT_EQ(::pipe(out), 0);
        // Written beside the host, as a message longer than the pipe holds
        // is; a host that stops reading early ends the writing with EPIPE.
        const auto previous = std::signal(SIGPIPE, SIG_IGN);
        std::thread writer([&input, fd = in[1]] {
            for (std::size_t at = 0; at < input.size();) {
                const ssize_t put = ::write(fd, input.data() + at, input.size() - at);
                if (put <= 0)
                    break;
                at += static_cast<std::size_t>(put);
            }
            ::close(fd);
        });
        NativeMessagingHost host([this](const std::vector<std::string>& links) {
            handed.push_back(links);
            return takes ? NativeMessagingHost::Handed(present)
                         : NativeMessagingHost::Handed(notHandedOverText());
        });
        Served served;
        served.status = host.serve(in[0], out[1], 2000);
        ::close(in[0]);
        writer.join();
        std::signal(SIGPIPE, previous);
        ::close(out[1]);
        std::string bytes;
        char buffer[4096];
        for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, static_cast<std::size_t>(got));
        ::close(out[0]);
        while (bytes.size() >= kFrameHeaderBytes) {
            unsigned char header[kFrameHeaderBytes];
            std::memcpy(header, bytes.data(), sizeof header);
            const std::uint32_t length = frameLength(header);
            served.answers.push_back(
                QJsonDocument::fromJson(QByteArray::fromStdString(bytes.substr(4, length)))
                    .object());
            bytes.erase(0, 4 + length);
        }
        return served;
    }

    static QString error(const QJsonObject& answer) {
        return answer.value(QStringLiteral("ok")).toBool()
                   ? QStringLiteral("<ok>")
                   : answer.value(QStringLiteral("error")).toString();
    }

    bool takes = true;
    HandedAnswer present; // what the running program says was queued already
    std::vector<std::vector<std::string>> handed;
};

TEST_F(NativeHost, AnswersEveryMessageAndHandsOnlyGoodLinksOver) {
    const Served served =
        serve(framed("{\"links\": [\"http://rapidshare.com/files/1/a.zip\", \"https://h/b\"]}") +
              framed("not json") + framed("[1, 2]") + framed("{\"links\": []}") +
              framed("{\"links\": [\"http://h/ok\", \"file:///etc/passwd\"]}") +
              framed("{\"links\": [7]}"));
    EXPECT_EQ(served.status, 0);
    ASSERT_EQ(served.answers.size(), 6u);
    EXPECT_EQ(served.answers[0].value(QStringLiteral("queued")).toInt(), 2);
    EXPECT_EQ(error(served.answers[1]), QString::fromStdString(notJsonText()));
    EXPECT_EQ(error(served.answers[2]), QString::fromStdString(notJsonText()));
    EXPECT_EQ(error(served.answers[3]), QString::fromStdString(noLinksText()));
    EXPECT_EQ(error(served.answers[4]), QString::fromStdString(notHttpText("file:///etc/passwd")));
    EXPECT_EQ(error(served.answers[5]), QString::fromStdString(notHttpText("?")));
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0],
              (std::vector<std::string>{"http://rapidshare.com/files/1/a.zip", "https://h/b"}));
}

TEST_F(NativeHost, FramesUpToTheLargestAreAnsweredBrokenOnesEndTheHost) {
    struct Case {
        const char* name;
        std::string input;
        const std::string answer;
        int status;
    };
    const std::string good = framed("{\"links\": [\"http://h/a\"]}");
    std::string largest = "{\"links\": [\"http://h/a\"], \"pad\": \"\"}";
    largest.insert(largest.size() - 2, kLargestNativeMessage - largest.size(), 'x');
    for (const Case& c : {
             Case{"nothing at all", "", "", 0},
             Case{"exactly a mebibyte", framed(largest), "<ok>", 0},
             Case{"over a mebibyte", rawLength(kLargestNativeMessage + 1) + "{}", tooLongText(), 1},
             Case{"a header cut short", std::string("\x05\x00", 2), cutShortText(), 1},
             Case{"a message cut short", good.substr(0, good.size() - 3), cutShortText(), 1},
         }) {
        const Served served = serve(c.input);
        EXPECT_EQ(served.status, c.status) << c.name;
        if (c.answer.empty()) {
            EXPECT_TRUE(served.answers.empty()) << c.name;
        } else {
            ASSERT_EQ(served.answers.size(), 1u) << c.name;
            EXPECT_EQ(error(served.answers[0]), QString::fromStdString(c.answer)) << c.name;
        }
    }
    EXPECT_EQ(handed, std::vector<std::vector<std::string>>{{"http://h/a"}}); // the largest only
}

// The extension hears which of its links were in the queue already; a
// running program that claims more of them than were sent adds none.
TEST_F(NativeHost, TheAnswerSaysWhichLinksWereQueuedAlready) {
    struct Case {
        const char* name;
        HandedAnswer present;
        int queued;
        QStringList alreadyQueued;
    };
    for (const Case& c : {
             Case{"none", {}, 2, {}},
             Case{"one", {{"https://h/b"}, 0}, 1, {QStringLiteral("https://h/b")}},
             Case{"more than were sent", {{}, 1'000'000'000}, 0, {}},
         }) {
        present = c.present;
        const Served served = serve(framed("{\"links\": [\"http://h/a\", \"https://h/b\"]}"));
        ASSERT_EQ(served.answers.size(), 1u) << c.name;
        EXPECT_EQ(served.answers[0].value(QStringLiteral("queued")).toInt(), c.queued) << c.name;
        EXPECT_EQ(
            served.answers[0].value(QStringLiteral("alreadyQueued")).toVariant().toStringList(),
            c.alreadyQueued)
            << c.name;
    }
}

TEST_F(NativeHost, LinksNobodyTookAreReportedSo) {
    takes = false;
    const Served served = serve(framed("{\"links\": [\"http://h/a\"]}"));
    ASSERT_EQ(served.answers.size(), 1u);
    EXPECT_EQ(error(served.answers[0]), QString::fromStdString(notHandedOverText()));
}

// A link with a control character in it would steer a terminal or, with a
// line break, split into queue rows: a later start leaves it out, and the
// running program refuses a message that carries one.
TEST(LaterStartMessage, CarriesNoLinkWithAControlCharacter) {
    const std::string good = "http://rapidshare.com/files/1/a.zip";
    const HandedArguments read =
        readArguments({QString::fromStdString(good),
                       QStringLiteral("http://rapidshare.com/files/2/\x1B]0;x\x07")});
    EXPECT_EQ(read.links, std::vector<std::string>{good});
    const auto decoded = decodeArguments(encodeArguments(read));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->links, std::vector<std::string>{good});
    for (const char* bad : {"\n", "\r", "\x1B", "\x7F", "\xC2\x9B"})
        EXPECT_FALSE(decodeArguments(encodeArguments({{good, good + bad + "b.zip"}, false})))
            << int(static_cast<unsigned char>(bad[0]));
}

// A list file's "URL<TAB>password" lines hand their passwords over beside
// their links; one with a control character is left out, and a message
// carrying one is refused.
TEST(LaterStartMessage, CarriesAListFilesPasswordsBesideItsLinks) {
    QTemporaryDir folder;
    const QString list = folder.filePath(QStringLiteral("links.txt"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("http://h/a\tjelsz\xF3\r\nhttp://h/b\tx\ty\r\nhttp://h/c\r\n");
    file.close();
    const HandedArguments read = readArguments({list});
    EXPECT_EQ(read.links, (std::vector<std::string>{"http://h/a", "http://h/b", "http://h/c"}));
    ASSERT_EQ(read.passwords.size(), 1u);
    EXPECT_EQ(read.passwords[0].password, "jelszó");
    const auto decoded = decodeArguments(encodeArguments(read));
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->passwords.size(), 1u);
    EXPECT_EQ(decoded->passwords[0].link, "http://h/a");
    EXPECT_EQ(decoded->passwords[0].password, "jelszó");
    HandedArguments bad = read;
    bad.passwords[0].password = "a\nb";
    EXPECT_FALSE(decodeArguments(encodeArguments(bad)));
}

// The running program's answer to a later start: read leniently, since an
// older or newer program may have written it, and kept short enough for a
// terminal and for the browser's 1 MB a message.
TEST(LaterStartMessage, TheAnswerSaysWhichLinksWereQueuedAlready) {
    const HandedAnswer two =
        decodeHandedAnswer(encodeHandedAnswer({"http://h/a", "http://h/\x1B"}));
    EXPECT_EQ(two.alreadyQueued, (std::vector<std::string>{"http://h/a", "http://h/\x1B"}));
    EXPECT_EQ(alreadyQueuedReport(two),
              "A linkek már a listában vannak:\n  http://h/a\n  http://h/?\n");
    EXPECT_EQ(alreadyQueuedReport(decodeHandedAnswer(encodeHandedAnswer({}))), "");

    const std::vector<std::string> many(5000, "http://h/" + std::string(90, 'x'));
    const QByteArray long_ = encodeHandedAnswer(many);
    EXPECT_LT(long_.size(), 256 * 1024);
    const HandedAnswer cut = decodeHandedAnswer(long_);
    EXPECT_EQ(cut.count(), many.size());
    EXPECT_GT(cut.unlisted, 0u);
    EXPECT_NE(alreadyQueuedReport(cut).find("... és még " + std::to_string(cut.unlisted) + "\n"),
              std::string::npos);

    for (const char* broken : {"", "not json", "[1]", "{\"alreadyQueued\": 5}",
                               "{\"unlisted\": -3}", "{\"unlisted\": 1e300}"})
        EXPECT_EQ(decodeHandedAnswer(broken).count(), 0u) << broken;
    EXPECT_EQ(
        decodeHandedAnswer("{\"alreadyQueued\": [1, \"http://h/a\"], \"more\": {}}").alreadyQueued,
        std::vector<std::string>{"http://h/a"});
}

// A later start reads the running program's reply within bounds, whatever
// that program is: an older one that only says it took the message, this
// one, or one whose answer is huge, cut short or never comes.
TEST(LaterStartMessage, TheRunningProgramsReplyIsReadWithinBounds) {
    QTemporaryDir runtime;
    QTemporaryDir records;
    const QByteArray previousRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QString socketPath;
    {
        SingleInstance first(records.path());
        ASSERT_EQ(first.claim({}), SingleInstance::Claim::First);
        const QStringList sockets = QDir(runtime.path()).entryList(QDir::System);
        ASSERT_EQ(sockets.size(), 1);
        socketPath = runtime.filePath(sockets.front());
    }
    const auto frame = [](const QByteArray& answer, quint32 size) {
        QByteArray bytes(4, '\0');
        qToBigEndian<quint32>(size, bytes.data());
        return '+' + bytes + answer;
    };
    const QByteArray good = encodeHandedAnswer({"http://h/a"});
    const QByteArray huge((1 << 20) + 1, 'x');
    struct Case {
        const char* name;
        QByteArray reply;
        QByteArray answer;
    };
    for (const Case& c : {
             Case{"an older program", "+", {}},
             Case{"this program", frame(good, static_cast<quint32>(good.size())), good},
             Case{"an answer over a mebibyte", frame(huge, static_cast<quint32>(huge.size())), {}},
             Case{"a length no answer has", frame(good, 0xFFFF'FFFFu), {}},
             Case{"an answer cut short", frame(good, static_cast<quint32>(good.size()) + 1), {}},
             Case{"an answer that never comes", "+", {}},
         }) {
        const bool holdsOpen = std::strcmp(c.name, "an answer that never comes") == 0;
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(socketPath);
        std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        ::unlink(path.constData());
        ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(server, 1), 0);
        std::thread program([server, &c, holdsOpen] {
            const int peer = ::accept(server, nullptr, nullptr);
            char buffer[4096];
            QByteArray message;
            for (ssize_t got = 1;
                 got > 0 && (message.size() < 4 ||
                             message.size() < 4 + qFromBigEndian<quint32>(message.constData()));) {
                got = ::read(peer, buffer, sizeof buffer);
                message.append(buffer, std::max<qsizetype>(got, 0));
            }
            ::send(peer, c.reply.constData(), static_cast<std::size_t>(c.reply.size()),
                   MSG_NOSIGNAL);
            while (holdsOpen && ::read(peer, buffer, sizeof buffer) > 0) {
            } // until the start gives up and goes
            ::close(peer);
        });
        SingleInstance later(records.path());
        QElapsedTimer took;
        took.start();
        EXPECT_EQ(later.sendToRunning(encodeArguments({}), std::chrono::seconds(20)),
                  SingleInstance::Sent::Taken)
            << c.name;
        EXPECT_LT(took.elapsed(), 5000) << c.name;
        EXPECT_EQ(later.answer(), c.answer) << c.name;
        program.join();
        ::close(server);
    }
    qputenv("XDG_RUNTIME_DIR", previousRuntime);
}

// The socket the running program listens on lives only in a folder of this
// user alone: the runtime folder, else the state folder, made or tightened
// to 0700 as the partial files' folder is; never in a shared one such as
// /tmp. A folder that is a symbolic link or another user's is refused, and
// so is a path too long for a socket; the start then says why.
TEST(LaterStartMessage, TheSocketLivesOnlyInAFolderOfThisUsersOwn) {
    constexpr uid_t kNobody = 65534;
    const bool root = ::geteuid() == 0;
    QTemporaryDir base;
    const QString records = base.filePath(QStringLiteral("records"));
    const QString runtime = base.filePath(QStringLiteral("run"));
    const QString state = base.filePath(QStringLiteral("state"));
    const QString tmp = base.filePath(QStringLiteral("tmp"));
    const QString elsewhere = base.filePath(QStringLiteral("elsewhere"));
    const QString deep = base.filePath(QString(100, u'd'));
    const auto mode = [](const QString& folder) {
        struct stat info {};
        return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 ? info.st_mode & 07777
                                                                          : 0u;
    };
    const auto socketsIn = [](const QString& folder) {
        QStringList sockets;
        for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::System)) {
            struct stat info {};
            if (::lstat(QFile::encodeName(entry.filePath()).constData(), &info) == 0 &&
                S_ISSOCK(info.st_mode))
                sockets << entry.fileName();
        }
        return sockets;
    };
    const auto made = [](const QString& folder, mode_t permissions, uid_t owner) {
        QDir().mkpath(folder);
        ::chmod(QFile::encodeName(folder).constData(), permissions);
        return ::chown(QFile::encodeName(folder).constData(), owner, owner) == 0;
    };
    const auto linked = [&](const QString& link) {
        made(elsewhere, 0700, ::geteuid());
        QDir().mkpath(QFileInfo(link).path());
        return QFile::link(elsewhere, link);
    };
    struct Case {
        const char* name;
        bool needsRoot;
        std::function<bool()> prepare; // with XDG_RUNTIME_DIR at `runtime`
        bool runtimeSet;
        QString socketFolder; // empty: none anywhere
        const char* problem = nullptr;
    };
    const QString stateFolder = state + QStringLiteral("/Vardelo");
    const Case cases[] = {
        {"the runtime folder", false, [&] { return made(runtime, 0700, ::geteuid()); }, true,
         runtime},
        {"no runtime folder: the state folder, made", false, [] { return true; }, false,
         stateFolder},
        {"a runtime folder that is a symbolic link", false, [&] { return linked(runtime); }, true,
         stateFolder},
        {"another user's runtime folder", true, [&] { return made(runtime, 0700, kNobody); }, true,
         stateFolder},
        {"a runtime folder too long for a socket", false,
         [&] { return made(deep, 0700, ::geteuid()); }, true, stateFolder},
        {"a state folder too open is tightened", false,
         [&] { return made(stateFolder, 0777, ::geteuid()); }, false, stateFolder},
        {"a state folder that is a symbolic link",
         false,
         [&] { return linked(stateFolder); },
         false,
         {},
         "nincs a foglalatnak"},
        {"another user's state folder",
         true,
         [&] { return made(stateFolder, 0700, kNobody); },
         false,
         {},
         "másik felhasználó mappája"},
    };
    const auto restored = [](const char* name) {
        return [name, value = qgetenv(name), set = qEnvironmentVariableIsSet(name)] {
            set ? qputenv(name, value) : qunsetenv(name);
        };
    };
    const auto restoreRuntime = restored("XDG_RUNTIME_DIR");
    const auto restoreState = restored("XDG_STATE_HOME");
    const auto restoreTmp = restored("TMPDIR");
    for (const Case& c : cases) {
        if (c.needsRoot && !root)
            continue;
        for (const QString& folder : {runtime, state, tmp, elsewhere, deep})
            QDir(folder).removeRecursively();
        QFile::remove(runtime);
        QFile::remove(stateFolder);
        QDir().mkpath(records);
        made(tmp, 01777, ::geteuid());
        ASSERT_TRUE(c.prepare()) << c.name;
        const QString runtimeHere = std::strstr(c.name, "too long") ? deep : runtime;
        if (c.runtimeSet)
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeHere));
        else
            qunsetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_STATE_HOME", QFile::encodeName(state));
        qputenv("TMPDIR", QFile::encodeName(tmp));
        testing::internal::CaptureStderr();
        {
            SingleInstance first(records);
            EXPECT_EQ(first.claim({}), SingleInstance::Claim::First) << c.name;
            for (const QString& folder : {runtimeHere, stateFolder, tmp, elsewhere}) {
                const QStringList sockets = socketsIn(folder);
                EXPECT_EQ(sockets.size(), folder == c.socketFolder ? 1 : 0)
                    << c.name << ": " << folder.toStdString() << ": "
                    << sockets.join(u' ').toStdString();
            }
            if (!c.socketFolder.isEmpty()) {
                EXPECT_EQ(mode(c.socketFolder), 0700u) << c.name;
            }
        }
        const std::string said = testing::internal::GetCapturedStderr();
        if (c.problem) {
            EXPECT_NE(said.find(c.problem), std::string::npos) << c.name << ": " << said;
        }
    }
    // A path too long for a socket wherever it would be is said to be so.
    for (const QString& folder : {deep, state})
        QDir(folder).removeRecursively();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(deep));
    qputenv("XDG_STATE_HOME", QFile::encodeName(deep));
    testing::internal::CaptureStderr();
    {
        SingleInstance first(records);
        EXPECT_EQ(first.claim({}), SingleInstance::Claim::First);
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("túl hosszú"), std::string::npos) << said;
    EXPECT_TRUE(socketsIn(deep).isEmpty());
    restoreRuntime();
    restoreState();
    restoreTmp();
}

// A program the browser's host starts waits for the links that follow; the
// option is no link and no list file.
TEST(LaterStartMessage, TheHostsOptionIsNoLink) {
    const HandedArguments read = readArguments({QLatin1String(kAwaitLinksOption)});
    EXPECT_TRUE(read.awaitLinks);
    EXPECT_TRUE(read.links.empty());
    EXPECT_FALSE(read.bringToFront);
}

} // namespace
} // namespace vardelo
