#pragma once

#include "TestHost.h"
#include "WaitFor.h"
#include "WindowFixture.h"

#include "platform/WebEngineBrowser.h"
#include "session/TTimer.h"
#include "session/letolto.h"

#include <QFile>
#include <QPushButton>
#include <QTest>

namespace vardelo {

// The real window with the real browser engine and the real HTTP client,
// against the local file host.
class CycleFixture : public WindowFixture {
  protected:
    std::unique_ptr<Browser> makeBrowser() override { return std::make_unique<WebEngineBrowser>(); }

    void SetUp() override {
        WindowFixture::SetUp();
        QDir().mkpath(targetFolder());
        storeSetting(QStringLiteral("Mentes_helye"), targetFolder());
        storeSetting(QStringLiteral("Elhalt"), QStringLiteral("0"));
        host.setWaitSeconds(0);
    }

    static HostedFile file(std::string body, HostedFile::Mode mode = HostedFile::Mode::Length) {
        HostedFile hosted;
        hosted.body = std::move(body);
        hosted.mode = mode;
        return hosted;
    }

    static std::string bytes(std::size_t size, char seed) {
        std::string body(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            body[i] = static_cast<char>(seed + static_cast<char>(i * 7 + i / 251));
        return body;
    }

    TForm1& openWithLinks(const std::vector<std::string>& links) {
        TForm1& form = open();
        for (const auto& link : links)
            addLink(link);
        form.show();
        return form;
    }

    // Waits until the cycle is idle with nothing pending.
    bool runsToIdle(int timeoutMs = 30000) {
        return waitFor(
            [this] {
                return !form().downloading() && control<QPushButton>("inditas")->isEnabled() &&
                       !control<TTimer>("elhalt_kijelzo")->enabled();
            },
            timeoutMs);
    }

    // Waits until no transfer thread is left and what the last one sent has
    // been handled.
    bool transfersEnded(int timeoutMs = 15000) {
        const bool ended =
            waitFor([this] { return form().findChildren<TTesztThread*>().isEmpty(); }, timeoutMs);
        settle();
        return ended;
    }

    QByteArray downloaded(const QString& name) const {
        QFile file(targetFolder() + QLatin1Char('/') + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    std::vector<std::string> logColumn(int column) {
        std::vector<std::string> cells;
        for (int row = 1; row < form().log().grid().rowCount(); ++row)
            cells.push_back(form().log().grid().cell(row, column));
        return cells;
    }

    TestHost host;
};

} // namespace vardelo
