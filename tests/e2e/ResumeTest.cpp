#include "CycleFixture.h"

#include "platform/TrayIcon.h"

#include <QDir>
#include <QLabel>
#include <QSystemTrayIcon>

#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

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
        openWithLinks(links);
        click("inditas");
        ASSERT_TRUE(runsToIdle());
        ASSERT_EQ(logColumn(LogAttempts), Strings(names.size(), "Próbálva:1 (Letöltési hiba.)"));
        for (const auto& link : links)
            addLink(link);
        click("inditas");
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
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    // A network failure keeps the partial file and its record.
    EXPECT_EQ(QFileInfo(targetFolder() + QStringLiteral("/r.bin.part")).size(), 120'000);
    EXPECT_TRUE(QFile::exists(targetFolder() + QStringLiteral("/r.bin.part.meta")));

    addLink(host.linkFor("r.bin"));
    click("inditas");
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
    EXPECT_EQ(form.statistics().jelenlegi_letoltott_meret, 300'000);
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

TEST_F(Resume, PartialsOfOtherLinksAndOfTheUserAreKept) {
    const std::string a = bytes(50'000, 'a'), b = bytes(50'000, 'b'), c = bytes(50'000, 'c');
    host.addFile("a.bin", file(a, Mode::Ranged));
    host.addFile("b.bin", file(b, Mode::Ranged));
    host.addFile("c.bin", file(c, Mode::Ranged));
    // The user's own file; a record written before links were kept; a
    // record of another link. Each claims a shorter part of the same length.
    const QByteArray users(20'000, 'x');
    writeTarget(QStringLiteral("a.bin.part"), users);
    writeTarget(QStringLiteral("a.bin.1.part.meta"), "the user's notes");
    writeTarget(QStringLiteral("b.bin.part"), users);
    writeTarget(QStringLiteral("b.bin.part.meta"),
                "Vardelo partial file 1\nlength=50000\netag=\"v1-50000\"\nlast-modified=\n");
    writeTarget(QStringLiteral("c.bin.part"), users);
    writeTarget(QStringLiteral("c.bin.part.meta"),
                "Vardelo partial file 1\nlength=50000\netag=\"v1-50000\"\nlast-modified=\n"
                "link=http://elsewhere/c.bin\n");

    openWithLinks({host.linkFor("a.bin"), host.linkFor("b.bin"), host.linkFor("c.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    for (const auto& [name, body] :
         {std::pair{"a.bin", a}, std::pair{"b.bin", b}, std::pair{"c.bin", c}}) {
        EXPECT_EQ(downloaded(QLatin1String(name)), QByteArray::fromStdString(body)) << name;
        EXPECT_EQ(downloaded(QLatin1String(name) + QStringLiteral(".part")), users) << name;
        EXPECT_EQ(header(gets(name).at(0), "range"), "<none>") << name;
    }
    EXPECT_EQ(downloaded(QStringLiteral("a.bin.1.part.meta")), QByteArray("the user's notes"));
    EXPECT_EQ(leftInTarget().size(), 9);
}

TEST_F(Resume, TheRestOfAnotherVersionIsNotJoined) {
    // The file changes between the attempts, and the host ignores If-Range.
    HostedFile changing = file(bytes(300'000, '1'), Mode::RangeNewVersion);
    changing.laterBody = bytes(300'000, '2');
    changing.sendBytes = 120'000;
    host.addFile("v.bin", changing);
    runTwice({"v.bin"});
    EXPECT_EQ(downloaded(QStringLiteral("v.bin")), QByteArray::fromStdString(changing.laterBody));
    const auto requests = gets("v.bin");
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(header(requests[1], "range"), "bytes=120000-");
    EXPECT_EQ(header(requests[2], "range"), "<none>");
    EXPECT_EQ(leftInTarget(), QStringList{QStringLiteral("v.bin")});
}

TEST_F(Resume, TwoLinksWithOneFileNameKeepTheirOwnPartials) {
    // Two uploads' volumes of one name and one size.
    const std::string one = bytes(300'000, 'o'), two = bytes(300'000, 't');
    hostCutOff("1/vol.rar", one, Mode::Ranged, 100'000);
    hostCutOff("2/vol.rar", two, Mode::Ranged, 140'000);
    runTwice({"1/vol.rar", "2/vol.rar"});
    EXPECT_EQ(downloaded(QStringLiteral("vol.rar")), QByteArray::fromStdString(one));
    EXPECT_EQ(downloaded(QStringLiteral("vol (1).rar")), QByteArray::fromStdString(two));
    EXPECT_EQ(header(gets("1/vol.rar").at(1), "range"), "bytes=100000-");
    EXPECT_EQ(header(gets("2/vol.rar").at(1), "range"), "bytes=140000-");
    EXPECT_EQ(host.rangedBytesSent(), 600'000u);
    EXPECT_EQ(leftInTarget().size(), 2);
}

TEST_F(Resume, ARestCutShortInCleanChunksIsNotStored) {
    hostCutOff("k.bin", bytes(300'000, 'k'), Mode::RangeChunkedShort, 120'000);
    runTwice({"k.bin"});
    EXPECT_EQ(logColumn(LogStatus), Strings(2, "Hibás link."));
    EXPECT_EQ(header(gets("k.bin").at(1), "range"), "bytes=120000-");
    EXPECT_TRUE(leftInTarget().isEmpty()) << leftInTarget().join(QLatin1Char(' ')).toStdString();
}

TEST_F(Resume, AWholePartialThatMissedItsNameIsOnlyNamed) {
    const std::string body = bytes(50'000, 'w');
    host.addFile("w.bin", file(body, Mode::Ranged));
    writeTarget(QStringLiteral("w.bin.part"), QByteArray::fromStdString(body));
    writeTarget(QStringLiteral("w.bin.part.meta"),
                QByteArray("Vardelo partial file 1\nlength=50000\netag=\"v1-50000\"\n"
                           "last-modified=\nlink=") +
                    QByteArray::fromStdString(host.linkFor("w.bin")) + "\n");
    TForm1& form = openWithLinks({host.linkFor("w.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
    EXPECT_EQ(form.statistics().jelenlegi_letoltott_meret, 50'000);
    EXPECT_TRUE(gets("w.bin").empty());
    EXPECT_EQ(downloaded(QStringLiteral("w.bin")), QByteArray::fromStdString(body));
    EXPECT_EQ(leftInTarget(), QStringList{QStringLiteral("w.bin")});
}

// Another local user plants a partial file in a shared target folder.
TEST_F(Resume, PlantedPartialsAreLeftAlone) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give files to another user";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const std::string body = bytes(50'000, 'p');
    host.addFile("s.bin", file(body, Mode::Ranged));
    host.addFile("f.bin", file(body, Mode::Ranged));
    const QString victim = path(QStringLiteral("victim"));
    writeTarget(QStringLiteral("../victim"), "the user's own file");
    const QByteArray foreign(20'000, 'f');
    writeTarget(QStringLiteral("f.bin.part"), foreign);
    ASSERT_TRUE(QFile::link(victim, targetFolder() + QStringLiteral("/s.bin.part")));
    for (const char* name : {"s.bin", "f.bin"}) {
        // A record that would match, so only the partial file itself tells.
        writeTarget(QLatin1String(name) + QStringLiteral(".part.meta"),
                    QByteArray("Vardelo partial file 1\nlength=50000\netag=\"v1-50000\"\n"
                               "last-modified=\nlink=") +
                        QByteArray::fromStdString(host.linkFor(name)) + "\n");
        const QByteArray partial = QFile::encodeName(targetFolder() + QLatin1Char('/') +
                                                     QLatin1String(name) + QStringLiteral(".part"));
        ASSERT_EQ(::lchown(partial.constData(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    openWithLinks({host.linkFor("s.bin"), host.linkFor("f.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings(2, "Sikeres letöltés"));
    EXPECT_EQ(downloaded(QStringLiteral("s.bin")), QByteArray::fromStdString(body));
    EXPECT_EQ(downloaded(QStringLiteral("f.bin")), QByteArray::fromStdString(body));
    EXPECT_EQ(downloaded(QStringLiteral("../victim")), QByteArray("the user's own file"));
    EXPECT_EQ(downloaded(QStringLiteral("f.bin.part")), foreign);
    EXPECT_EQ(QFileInfo(targetFolder() + QStringLiteral("/s.bin.part")).symLinkTarget(), victim);
}

TEST_F(Resume, ExistingFilesAreKeptAndNoNameIsHidden) {
    host.addFile("e.bin", file(bytes(1000, 'e')));
    host.addFile(".bashrc", file(bytes(1000, 'h')));
    writeTarget(QStringLiteral("e.bin"), "the user's e.bin");

    openWithLinks({host.linkFor("e.bin"), host.linkFor("e.bin"), host.linkFor(".bashrc")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings(3, "Sikeres letöltés"));
    EXPECT_EQ(control<QLabel>("jldb")->text(), QStringLiteral("3"));
    EXPECT_EQ(downloaded(QStringLiteral("e.bin")), QByteArray("the user's e.bin"));
    EXPECT_EQ(downloaded(QStringLiteral("e (1).bin")), QByteArray::fromStdString(bytes(1000, 'e')));
    EXPECT_EQ(downloaded(QStringLiteral("e (2).bin")), QByteArray::fromStdString(bytes(1000, 'e')));
    EXPECT_EQ(downloaded(QStringLiteral("bashrc")), QByteArray::fromStdString(bytes(1000, 'h')));
    EXPECT_EQ(leftInTarget().size(), 4);
}

TEST_F(Resume, AFileThatCannotBeWrittenLeavesNoPartialBehind) {
    HostedFile slow = file(bytes(3'000'000, 'w'), Mode::Ranged);
    slow.pieceBytes = 64 * 1024;
    slow.pieceDelayMs = 20;
    host.addFile("w.bin", slow);
    openWithLinks({host.linkFor("w.bin")});
    click("inditas");
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

TEST_F(Resume, NamesOfAnyLengthDownload) {
    const std::string long251(251, 'n'), long255 = std::string(251, 'm') + ".bin";
    const std::string long300 = std::string(296, 'l') + ".zip";
    host.addFile(long251, file(bytes(2000, '1'), Mode::Ranged));
    host.addFile(long255, file(bytes(2000, '5'), Mode::Ranged));
    host.addFile(long300, file(bytes(2000, '3'), Mode::Ranged));
    openWithLinks({host.linkFor(long251), host.linkFor(long255), host.linkFor(long300)});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings(3, "Sikeres letöltés"));
    // Cut to one directory entry, the extension kept.
    EXPECT_EQ(downloaded(QString::fromStdString(std::string(251, 'l') + ".zip")),
              QByteArray::fromStdString(bytes(2000, '3')));
    EXPECT_EQ(downloaded(QString::fromStdString(long251)),
              QByteArray::fromStdString(bytes(2000, '1')));
    EXPECT_EQ(downloaded(QString::fromStdString(long255)),
              QByteArray::fromStdString(bytes(2000, '5')));
    EXPECT_EQ(leftInTarget().size(), 3);
}

TEST_F(Resume, DotNamesFailBeforeAnythingIsCreated) {
    openWithLinks({host.linkFor("raw:" + host.base() + "/files/."),
                   host.linkFor("raw:" + host.base() + "/files/..")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogAttempts), Strings(2, "Próbálva:1 (Letöltési hiba.)"));
    EXPECT_TRUE(host.fileRequests().empty());
    EXPECT_TRUE(leftInTarget().isEmpty());
}

TEST_F(Resume, SpeedAndTimeLeftShowOnlyWhileTransferring) {
    HostedFile slow = file(bytes(4'000'000, 'q'), Mode::Slow);
    slow.pieceBytes = 96 * 1024; // about 1.9 MiB/s: a speed with a decimal
    slow.pieceDelayMs = 50;
    host.addFile("q.bin", slow);
    openWithLinks({host.linkFor("q.bin")});
    auto* rate = control<QLabel>("transferRate");
    ASSERT_NE(rate, nullptr);
    EXPECT_TRUE(rate->text().isEmpty());
    control<TrayIcon>("CTI")->setIconVisible(true); // the window is in the tray
    click("inditas");
    ASSERT_TRUE(waitFor([&] { return rate->text().contains(QStringLiteral(", még ")); }, 20000));
    EXPECT_TRUE(rate->text().contains(QStringLiteral("KiB/s")) ||
                rate->text().contains(QStringLiteral("MiB/s")))
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
    ASSERT_TRUE(transfersEnded());
    EXPECT_TRUE(rate->text().isEmpty());
}

} // namespace
} // namespace vardelo
