#include "CycleFixture.h"

#include "platform/TrayIcon.h"

#include <QDir>
#include <QLabel>
#include <QSystemTrayIcon>

#include <sys/resource.h>

#include <csignal>

namespace vardelo {
namespace {

using Strings = std::vector<std::string>;
using Mode = HostedFile::Mode;

// A first attempt that the host cuts off at `cut` bytes, then a second
// attempt at the same link, as a retry or a new Start would make it.
class Resume : public CycleFixture {
  protected:
    void SetUp() override {
        CycleFixture::SetUp();
        storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    }

    void hostCutOff(const std::string& name, const std::string& body, Mode mode, std::size_t cut) {
        HostedFile hosted = file(body, mode);
        hosted.sendBytes = cut;
        host.addFile(name, hosted);
    }

    void runTwice(const std::vector<std::string>& names) {
        std::vector<std::string> links;
        for (const auto& name : names)
            links.push_back(host.linkFor(name));
        TForm1& form = openWithLinks(links);
        form.inditasClick();
        ASSERT_TRUE(runsToIdle());
        ASSERT_EQ(logColumn(LogAttempts), Strings(names.size(), "Próbálva:1 (Letöltési hiba.)"));
        for (const auto& link : links)
            form.linket_hozzaad(link);
        form.inditasClick();
        ASSERT_TRUE(runsToIdle());
    }

    std::vector<RecordedRequest> gets(const std::string& name) {
        std::vector<RecordedRequest> found;
        for (const auto& request : host.fileRequests()) {
            if (request.method == "GET" && request.path == "/files/" + name)
                found.push_back(request);
        }
        return found;
    }

    static std::string header(const RecordedRequest& request, const char* name) {
        const auto it = request.headers.find(name);
        return it == request.headers.end() ? "<none>" : it->second;
    }

    QStringList leftInTarget() const {
        return QDir(targetFolder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    void writeTarget(const QString& name, const QByteArray& content) {
        QFile out(targetFolder() + QLatin1Char('/') + name);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
};

TEST_F(Resume, AnHonouredRangeFetchesOnlyTheRest) {
    const std::string body = bytes(300'000, 'r');
    hostCutOff("r.bin", body, Mode::Ranged, 120'000);
    TForm1& form = openWithLinks({host.linkFor("r.bin")});
    form.inditasClick();
    ASSERT_TRUE(runsToIdle());
    // A network failure keeps the partial file and its record.
    EXPECT_EQ(QFileInfo(targetFolder() + QStringLiteral("/r.bin.part")).size(), 120'000);
    EXPECT_TRUE(QFile::exists(targetFolder() + QStringLiteral("/r.bin.part.meta")));

    form.linket_hozzaad(host.linkFor("r.bin"));
    form.inditasClick();
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(downloaded(QStringLiteral("r.bin")), QByteArray::fromStdString(body));
    const auto requests = gets("r.bin");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(header(requests[0], "range"), "<none>");
    EXPECT_EQ(header(requests[1], "range"), "bytes=120000-");
    EXPECT_EQ(header(requests[1], "if-range"), "\"v1-300000\"");
    EXPECT_EQ(header(requests[1], "user-agent"), "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_EQ(host.rangedBytesSent(), 300'000u); // nothing fetched twice
    // The log and the statistics count the whole file.
    EXPECT_EQ(logColumn(LogSize)[1], "0.29 MB");
    EXPECT_EQ(form.jelenlegi_letoltott_meret, 300'000);
    EXPECT_EQ(leftInTarget(), QStringList{QStringLiteral("r.bin")});
}

TEST_F(Resume, ARefusedRangeStartsTheFileAgain) {
    const std::string body = bytes(300'000, 'f');
    hostCutOff("f.bin", body, Mode::RangeRefused, 120'000);
    runTwice({"f.bin"});
    EXPECT_EQ(downloaded(QStringLiteral("f.bin")), QByteArray::fromStdString(body));
    const auto requests = gets("f.bin");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(header(requests[1], "range"), "bytes=120000-");
    EXPECT_EQ(host.rangedBytesSent(), 420'000u);
    EXPECT_EQ(logColumn(LogStatus).back(), "Sikeres letöltés");
    EXPECT_EQ(leftInTarget(), QStringList{QStringLiteral("f.bin")});
}

TEST_F(Resume, ABadlyAnsweredRangeIsRefusedAndTheWholeFileFetched) {
    const std::string start = bytes(300'000, 's'), total = bytes(300'000, 't');
    const std::string unsatisfiable = bytes(300'000, 'u');
    hostCutOff("start.bin", start, Mode::RangeWrongStart, 120'000);
    hostCutOff("total.bin", total, Mode::RangeWrongTotal, 120'000);
    hostCutOff("u.bin", unsatisfiable, Mode::RangeUnsatisfiable, 120'000);
    runTwice({"start.bin", "total.bin", "u.bin"});
    EXPECT_EQ(downloaded(QStringLiteral("start.bin")), QByteArray::fromStdString(start));
    EXPECT_EQ(downloaded(QStringLiteral("total.bin")), QByteArray::fromStdString(total));
    EXPECT_EQ(downloaded(QStringLiteral("u.bin")), QByteArray::fromStdString(unsatisfiable));
    for (const char* name : {"start.bin", "total.bin", "u.bin"}) {
        const auto requests = gets(name);
        ASSERT_EQ(requests.size(), 3u) << name;
        EXPECT_EQ(header(requests[1], "range"), "bytes=120000-") << name;
        EXPECT_EQ(header(requests[2], "range"), "<none>") << name;
    }
    EXPECT_EQ(logColumn(LogStatus),
              (Strings{"Hibás link.", "Hibás link.", "Hibás link.", "Sikeres letöltés",
                       "Sikeres letöltés", "Sikeres letöltés"}));
    EXPECT_EQ(leftInTarget().size(), 3);
}

TEST_F(Resume, APartialOfAnotherFileIsStartedAgain) {
    const std::string a = bytes(50'000, 'a'), b = bytes(50'000, 'b');
    host.addFile("a.bin", file(a, Mode::Ranged));
    host.addFile("b.bin", file(b, Mode::Ranged));
    // No record beside it; a record of a file shorter than the partial one.
    writeTarget(QStringLiteral("a.bin.part"), QByteArray(80'000, 'x'));
    writeTarget(QStringLiteral("b.bin.part"), QByteArray(80'000, 'y'));
    writeTarget(QStringLiteral("b.bin.part.meta"),
                "Vardelo partial file 1\nlength=60000\netag=\"v1-50000\"\nlast-modified=\n");
    TForm1& form = openWithLinks({host.linkFor("a.bin"), host.linkFor("b.bin")});
    form.inditasClick();
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(downloaded(QStringLiteral("a.bin")), QByteArray::fromStdString(a));
    EXPECT_EQ(downloaded(QStringLiteral("b.bin")), QByteArray::fromStdString(b));
    EXPECT_EQ(header(gets("a.bin").at(0), "range"), "<none>");
    EXPECT_EQ(header(gets("b.bin").at(0), "range"), "<none>");
    EXPECT_EQ(leftInTarget().size(), 2);
}

TEST_F(Resume, AFileThatCannotBeWrittenLeavesNoPartialBehind) {
    HostedFile slow = file(bytes(3'000'000, 'w'), Mode::Ranged);
    slow.pieceBytes = 64 * 1024;
    slow.pieceDelayMs = 20;
    host.addFile("w.bin", slow);
    TForm1& form = openWithLinks({host.linkFor("w.bin")});
    form.inditasClick();
    ASSERT_TRUE(waitFor([&] { return !control<QLabel>("letoltve")->text().isEmpty(); }, 15000));
    // Files of this process can grow no further: the disk is as good as full.
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &original), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit full = original;
    full.rlim_cur = 1'000'000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    const bool idle = runsToIdle();
    setrlimit(RLIMIT_FSIZE, &original);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(idle);
    EXPECT_EQ(logColumn(LogAttempts), Strings{"Próbálva:1 (Letöltési hiba.)"});
    EXPECT_TRUE(leftInTarget().isEmpty()) << leftInTarget().join(QLatin1Char(' ')).toStdString();
}

TEST_F(Resume, NamesUpToTheLongestLegalOneDownload) {
    const std::string long251(251, 'n'), long255 = std::string(251, 'm') + ".bin";
    host.addFile(long251, file(bytes(2000, '1'), Mode::Ranged));
    host.addFile(long255, file(bytes(2000, '5'), Mode::Ranged));
    openWithLinks({host.linkFor(long251), host.linkFor(long255)}).inditasClick();
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings(2, "Sikeres letöltés"));
    EXPECT_EQ(downloaded(QString::fromStdString(long251)),
              QByteArray::fromStdString(bytes(2000, '1')));
    EXPECT_EQ(downloaded(QString::fromStdString(long255)),
              QByteArray::fromStdString(bytes(2000, '5')));
    EXPECT_EQ(leftInTarget().size(), 2);
}

TEST_F(Resume, DotNamesFailBeforeAnythingIsCreated) {
    openWithLinks({host.linkFor("raw:" + host.base() + "/files/."),
                   host.linkFor("raw:" + host.base() + "/files/..")})
        .inditasClick();
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogAttempts), Strings(2, "Próbálva:1 (Letöltési hiba.)"));
    EXPECT_TRUE(host.fileRequests().empty());
    EXPECT_TRUE(leftInTarget().isEmpty());
}

TEST_F(Resume, SpeedAndTimeLeftShowOnlyWhileTransferring) {
    HostedFile slow = file(bytes(4'000'000, 'q'), Mode::Slow);
    slow.pieceBytes = 96 * 1024; // about 1.9 MB/s: a speed with a decimal
    slow.pieceDelayMs = 50;
    host.addFile("q.bin", slow);
    TForm1& form = openWithLinks({host.linkFor("q.bin")});
    auto* rate = control<QLabel>("transferRate");
    ASSERT_NE(rate, nullptr);
    EXPECT_TRUE(rate->text().isEmpty());
    control<TrayIcon>("CTI")->setIconVisible(true); // the window is in the tray
    form.inditasClick();
    ASSERT_TRUE(waitFor([&] { return rate->text().contains(QStringLiteral(", még ")); }, 20000));
    EXPECT_TRUE(rate->text().contains(QStringLiteral("KB/s")) ||
                rate->text().contains(QStringLiteral("MB/s")))
        << rate->text().toStdString();
    // The sizes beside it follow the locale (C here): so does the speed.
    EXPECT_FALSE(rate->text().section(QStringLiteral(", még"), 0, 0).contains(QLatin1Char(',')))
        << rate->text().toStdString();
    ASSERT_TRUE(waitFor(
        [&] {
            return control<TrayIcon>("CTI")->systemIcon()->toolTip().startsWith(
                QStringLiteral("Vardelo\n"));
        },
        3000));
    EXPECT_TRUE(control<TrayIcon>("CTI")->systemIcon()->toolTip().endsWith(rate->text()));
    EXPECT_TRUE(control<QLabel>("letoltve")
                    ->text()
                    .endsWith(QStringLiteral(" MB"))); // the designed label stays

    control<QAction>("PM_megallit")->trigger();
    EXPECT_TRUE(rate->text().isEmpty());
    EXPECT_EQ(control<TrayIcon>("CTI")->systemIcon()->toolTip(), QStringLiteral("Vardelo"));
    waitFor([] { return false; }, 1500);
    EXPECT_TRUE(rate->text().isEmpty());
}

} // namespace
} // namespace vardelo
