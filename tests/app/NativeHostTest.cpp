// The browser's side of the native messaging host: framing, refusals and the
// links handed over, through real pipes.
#include "core/NativeMessage.h"
#include "platform/NativeMessagingHost.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstring>
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
        EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
        ::close(in[1]);
        NativeMessagingHost host([this](const std::vector<std::string>& links) {
            handed.push_back(links);
            return takes;
        });
        Served served;
        served.status = host.serve(in[0], out[1], 200);
        ::close(in[0]);
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

TEST_F(NativeHost, BrokenFramesAreAnsweredAndEndTheHost) {
    struct Case {
        const char* name;
        std::string input;
        const std::string answer;
        int status;
    };
    const std::string good = framed("{\"links\": [\"http://h/a\"]}");
    for (const Case& c : {
             Case{"nothing at all", "", "", 0},
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
    EXPECT_TRUE(handed.empty());
}

TEST_F(NativeHost, LinksNobodyTookAreReportedSo) {
    takes = false;
    const Served served = serve(framed("{\"links\": [\"http://h/a\"]}"));
    ASSERT_EQ(served.answers.size(), 1u);
    EXPECT_EQ(error(served.answers[0]), QString::fromStdString(notHandedOverText()));
}

} // namespace
} // namespace vardelo
