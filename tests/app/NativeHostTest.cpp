// The browser's side of the native messaging host: framing, refusals and the
// links handed over, through real pipes; and the message a later start hands
// over the single-instance socket.
#include "core/NativeMessage.h"
#include "platform/CommandLine.h"
#include "platform/NativeMessagingHost.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
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
            return takes;
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
