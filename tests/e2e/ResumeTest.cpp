#include "CycleFixture.h"

#include "core/PartialFile.h"
#include "platform/HostProfileFiles.h"
#include "platform/TrayIcon.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QSystemTrayIcon>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

    // Where the partial file of `name`'s link lies, or of its n-th other slot.
    QString partialsFolder() const { return stateFolder() + QStringLiteral("/Vardelo/partials"); }
    PartialNames partialOf(const std::string& name, int slot = 0) const {
        return partialNamesFor(host.linkFor(name),
                               (targetFolder() + QLatin1Char('/')).toStdString() + name, slot);
    }
    QString inPartials(const std::string& name) const {
        return partialsFolder() + QLatin1Char('/') + QString::fromStdString(name);
    }
    void writePartial(const std::string& name, const QByteArray& content) {
        QDir().mkpath(partialsFolder());
        QFile out(inPartials(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    QStringList leftInPartials() const {
        return QDir(partialsFolder())
            .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    static QByteArray recordOf(const std::string& link, int length = 50'000) {
        return QByteArray("Vardelo partial file 1\nlength=") + QByteArray::number(length) +
               "\netag=\"v1-" + QByteArray::number(length) + "\"\nlast-modified=\n" +
               (link.empty() ? QByteArray() : "link=" + QByteArray::fromStdString(link) + "\n");
    }
    // The checksum host's pages, walked by a profile that reads the size and
    // the digest they show.
    void useChecksumProfile() {
        QString reason;
        auto profile = parseHostProfile(R"j({"name": "Checksum host",
            "links": ["^http://127\\.0\\.0\\.1:\\d+/sum/"],
            "steps": [{"size": {"pattern": "id=\"size\">([^<]*)<"}, "hash": {"selector": "#sum"},
                       "address": {"selector": "#go", "attribute": "href"}}]})j",
                                        &reason);
        ASSERT_TRUE(profile) << reason.toStdString();
        checksumProfile_.add(profile);
        profiles = &checksumProfile_;
    }
    static std::string digestOf(const std::string& body, QCryptographicHash::Algorithm kind) {
        return QCryptographicHash::hash(QByteArray::fromStdString(body), kind)
            .toHex()
            .toStdString();
    }
    // The log's status tooltip of each link.
    std::map<std::string, std::string> tipsByLink() {
        std::map<std::string, std::string> tips;
        const Strings links = logColumn(LogUrl), shown = statusTips();
        for (std::size_t i = 0; i < links.size() && i < shown.size(); ++i)
            tips[links[i]] = shown[i];
        return tips;
    }
    HostProfiles checksumProfile_;

    static mode_t modeOf(const QString& path) {
        struct stat info {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
    }
};

TEST_F(Resume, AnHonouredRangeFetchesOnlyTheRest) {
    const std::string body = bytes(300'000, 'r');
    hostCutOff("r.bin", body, Mode::Ranged, 120'000);
    TForm1& form = openWithLinks({host.linkFor("r.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    // A network failure keeps the partial file and its record, for this
    // user alone and away from the target.
    EXPECT_EQ(QFileInfo(inPartials(partialOf("r.bin").partial)).size(), 120'000);
    EXPECT_EQ(modeOf(inPartials(partialOf("r.bin").partial)), 0600u);
    EXPECT_EQ(modeOf(inPartials(partialOf("r.bin").record)), 0600u);
    EXPECT_EQ(modeOf(partialsFolder()), 0700u);
    EXPECT_TRUE(leftInTarget().isEmpty());

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
    EXPECT_TRUE(leftInPartials().isEmpty());
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(modeOf(targetFolder() + QStringLiteral("/r.bin")), 0666u & ~mask);
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

// Three at once from three hosts: closing the window keeps each transfer's
// partial file, and the next run asks each host only for the rest.
TEST_F(Resume, ClosingDuringThreeTransfersKeepsEachPartialAndTheNextRunFetchesTheRest) {
    storeSetting(QStringLiteral("Egyszerre"), QStringLiteral("3"));
    TestHost second, third;
    const std::vector<TestHost*> hosts{&host, &second, &third};
    std::vector<std::string> bodies, names, links;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        names.push_back("three" + std::to_string(i) + ".bin");
        bodies.push_back(bytes(400'000, static_cast<char>('a' + i)));
        HostedFile slow = file(bodies[i], Mode::Ranged);
        slow.pieceBytes = 8 * 1024;
        slow.pieceDelayMs = 100;
        hosts[i]->setWaitSeconds(0);
        hosts[i]->addFile(names[i], slow);
        links.push_back(hosts[i]->linkFor(names[i]));
    }
    const auto partialSize = [&](std::size_t i) {
        const PartialNames partial = partialNamesFor(
            links[i], (targetFolder() + QLatin1Char('/')).toStdString() + names[i], 0);
        return QFileInfo(inPartials(partial.partial)).size();
    };
    TForm1& form = openWithLinks(links);
    click("inditas");
    ASSERT_TRUE(waitFor(
        [&] { return partialSize(0) > 0 && partialSize(1) > 0 && partialSize(2) > 0; }, 60000));
    // Each running row tells its state; "Weblap" shows the page of the row picked.
    for (int row = 1; row <= 3; ++row)
        EXPECT_NE(queueState(row), "") << row;
    control<QTableView>("Linkek")->selectRow(2);
    EXPECT_TRUE(control<QWidget>("lap")->isHidden());
    control<QTableView>("Linkek")->selectRow(0);
    EXPECT_FALSE(control<QWidget>("lap")->isHidden());
    ASSERT_TRUE(form.close());
    for (std::size_t i = 0; i < hosts.size(); ++i)
        EXPECT_GT(partialSize(i), 0) << names[i];
    EXPECT_TRUE(leftInTarget().isEmpty());

    openWithLinks({});
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));
    EXPECT_EQ(logColumn(LogStatus), Strings(3, "Sikeres letöltés"));
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        EXPECT_EQ(downloaded(QString::fromStdString(names[i])),
                  QByteArray::fromStdString(bodies[i]));
        std::vector<RecordedRequest> asked;
        for (const auto& request : hosts[i]->fileRequests())
            if (request.method == "GET")
                asked.push_back(request);
        ASSERT_EQ(asked.size(), 2U) << names[i];
        EXPECT_NE(header(asked[1], "range"), "<none>") << names[i];
    }
}

TEST_F(Resume, AWebPageInPlaceOfTheRestLeavesThePartialFileAsItWas) {
    const std::string body = bytes(300'000, 'w');
    hostCutOff("w.bin", body, Mode::Ranged, 120'000);
    openWithLinks({host.linkFor("w.bin")});
    const auto attempt = [&] {
        addLink(host.linkFor("w.bin"));
        click("inditas");
        return runsToIdle();
    };
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    HostedFile refused = file(body, Mode::Ranged);
    refused.referer = host.base() + "/download-page"; // the rest is refused with a page
    host.addFile("w.bin", refused);
    ASSERT_TRUE(attempt());
    host.addFile("w.bin", file(body, Mode::Ranged));
    ASSERT_TRUE(attempt());

    EXPECT_EQ(logColumn(LogStatus), (Strings{"Hibás link.", "Hibás link.", "Sikeres letöltés"}));
    EXPECT_EQ(downloaded(QStringLiteral("w.bin")), QByteArray::fromStdString(body));
    const auto requests = gets("w.bin");
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(header(requests[1], "range"), "bytes=120000-");
    EXPECT_EQ(header(requests[2], "range"), "bytes=120000-");
    EXPECT_EQ(host.rangedBytesSent(), 300'000u); // the first 120000 bytes were kept
    EXPECT_EQ(leftInTarget(), QStringList{QStringLiteral("w.bin")});
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

TEST_F(Resume, PartialsOfOtherLinksAndOfEarlierLayoutsAreKept) {
    const std::string a = bytes(50'000, 'a'), b = bytes(50'000, 'b'), c = bytes(50'000, 'c');
    host.addFile("a.bin", file(a, Mode::Ranged));
    host.addFile("b.bin", file(b, Mode::Ranged));
    host.addFile("c.bin", file(c, Mode::Ranged));
    const QByteArray shorter(20'000, 'x');
    // Beside the target as earlier versions kept them, or as a host's
    // downloads made them there: not this program's, even naming the link.
    writeTarget(QStringLiteral("a.bin.part"), shorter);
    writeTarget(QStringLiteral("a.bin.part.meta"), recordOf(host.linkFor("a.bin")));
    // The user's file without a record, and the user's notes under the
    // next record's name; a record of no link; a record of another link.
    writePartial(partialOf("a.bin").partial, shorter);
    writePartial(partialOf("a.bin", 1).record, "the user's notes");
    writePartial(partialOf("b.bin").partial, shorter);
    writePartial(partialOf("b.bin").record, recordOf(""));
    writePartial(partialOf("c.bin").partial, shorter);
    writePartial(partialOf("c.bin").record, recordOf("http://elsewhere/c.bin"));
    const QStringList planted = leftInPartials();

    openWithLinks({host.linkFor("a.bin"), host.linkFor("b.bin"), host.linkFor("c.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    for (const auto& [name, body] :
         {std::pair{"a.bin", a}, std::pair{"b.bin", b}, std::pair{"c.bin", c}}) {
        EXPECT_EQ(downloaded(QLatin1String(name)), QByteArray::fromStdString(body)) << name;
        EXPECT_EQ(header(gets(name).at(0), "range"), "<none>") << name;
    }
    EXPECT_EQ(downloaded(QStringLiteral("a.bin.part")), shorter);
    EXPECT_EQ(downloaded(QStringLiteral("a.bin.part.meta")), recordOf(host.linkFor("a.bin")));
    EXPECT_EQ(leftInTarget().size(), 5);
    EXPECT_EQ(leftInPartials(), planted);
    QFile notes(inPartials(partialOf("a.bin", 1).record));
    ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll(), QByteArray("the user's notes"));
}

// A host serves files named as partial files, for a link it knows the
// user queued; the planted pair is complete and shorter than the real file.
TEST_F(Resume, AHostCannotPlantAPartialFile) {
    const std::string real = bytes(300'000, 'v');
    const QByteArray record = recordOf(host.linkFor("victim.iso"), 100'000);
    host.addFile("victim.iso", file(real, Mode::Ranged));
    host.addFile("victim.iso.part", file(bytes(100'000, 'X')));
    host.addFile("victim.iso.part.meta", file(record.toStdString()));
    openWithLinks({host.linkFor("victim.iso.part"), host.linkFor("victim.iso.part.meta"),
                   host.linkFor("victim.iso")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings(3, "Sikeres letöltés"));
    EXPECT_EQ(downloaded(QStringLiteral("victim.iso")), QByteArray::fromStdString(real));
    ASSERT_EQ(gets("victim.iso").size(), 1u);
    EXPECT_EQ(header(gets("victim.iso")[0], "range"), "<none>");
    EXPECT_EQ(downloaded(QStringLiteral("victim.iso.part_")),
              QByteArray::fromStdString(bytes(100'000, 'X')));
    EXPECT_EQ(downloaded(QStringLiteral("victim.iso.part.meta_")), record);
    EXPECT_EQ(leftInTarget().size(), 3);
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

TEST_F(Resume, AShorterNewVersionLeavesNothingOfTheOldBehindIt) {
    // The kept part is longer than the whole new file: it is cut, not overwritten.
    HostedFile changing = file(bytes(300'000, '1'), Mode::RangeNewVersion);
    changing.laterBody = bytes(100'000, '2');
    changing.sendBytes = 120'000;
    host.addFile("s.bin", changing);
    runTwice({"s.bin"});
    EXPECT_EQ(downloaded(QStringLiteral("s.bin")), QByteArray::fromStdString(changing.laterBody));
    EXPECT_TRUE(leftInPartials().isEmpty());
}

TEST_F(Resume, TwoLinksWithOneFileNameKeepTheirOwnPartials) {
    // Two uploads' files of one name and one size.
    const std::string one = bytes(300'000, 'o'), two = bytes(300'000, 't');
    hostCutOff("1/vol.iso", one, Mode::Ranged, 100'000);
    hostCutOff("2/vol.iso", two, Mode::Ranged, 140'000);
    runTwice({"1/vol.iso", "2/vol.iso"});
    EXPECT_EQ(downloaded(QStringLiteral("vol.iso")), QByteArray::fromStdString(one));
    EXPECT_EQ(downloaded(QStringLiteral("vol (1).iso")), QByteArray::fromStdString(two));
    EXPECT_EQ(header(gets("1/vol.iso").at(1), "range"), "bytes=100000-");
    EXPECT_EQ(header(gets("2/vol.iso").at(1), "range"), "bytes=140000-");
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
    writePartial(partialOf("w.bin").partial, QByteArray::fromStdString(body));
    writePartial(partialOf("w.bin").record, recordOf(host.linkFor("w.bin")));
    TForm1& form = openWithLinks({host.linkFor("w.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
    EXPECT_EQ(form.statistics().jelenlegi_letoltott_meret, 50'000);
    EXPECT_TRUE(gets("w.bin").empty());
    EXPECT_EQ(downloaded(QStringLiteral("w.bin")), QByteArray::fromStdString(body));
    EXPECT_EQ(leftInTarget(), QStringList{QStringLiteral("w.bin")});
    EXPECT_TRUE(leftInPartials().isEmpty());
}

// What a page says of its file is checked when the file has arrived: a
// digest (any case, kind by length) and an exact size must match, a size the
// page rounded or could not write never fails the file. A file that does not
// match is not stored, leaves no partial file, and is tried again.
TEST_F(Resume, AFileIsCheckedAgainstWhatItsPageShows) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("2"));
    useChecksumProfile();
    using Hash = QCryptographicHash;
    const std::string s = bytes(40'000, 's'), m = bytes(5'000, 'm'), h = bytes(7'000, 'h'),
                      o = bytes(900, 'o');
    struct Shown {
        const char* name;
        std::string body, size, digest;
    };
    const Shown shown[] = {
        {"s.bin", s, "40 000 bytes",
         QString::fromStdString(digestOf(s, Hash::Sha256)).toUpper().toStdString()},
        {"m.bin", m, "1.5 GB", digestOf(m, Hash::Md5)},
        {"h.bin", h, "6,8 KiB", digestOf(h, Hash::Sha1)},
        {"o.bin", o, "lots", "not a digest"},
        {"bad.bin", s, "", digestOf(s + "!", Hash::Sha256)},
        {"long.bin", o, "899 bytes", ""},
    };
    Strings links;
    for (const Shown& file : shown) {
        HostedFile hosted = this->file(file.body);
        hosted.contentType = file.body == h ? "" : hosted.contentType; // held until it shows
        host.addFile(file.name, hosted);
        host.showOnPage(file.name, file.size, file.digest);
        links.push_back(host.checksumLinkFor(file.name));
    }
    openWithLinks(links);
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    std::map<std::string, std::string> tips = tipsByLink();
    EXPECT_EQ(tips[links[0]], "SHA-256 egyezik");
    EXPECT_EQ(tips[links[1]], "MD5 egyezik");
    EXPECT_EQ(tips[links[2]], "SHA-1 egyezik");
    EXPECT_EQ(tips[links[3]], "");
    const std::string mismatch = "A fájl ellenőrzőösszege nem egyezik";
    EXPECT_EQ(tips[links[4]], mismatch + "\n" + mismatch);
    EXPECT_EQ(tips[links[5]], mismatch + "\n" + mismatch);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(downloaded(QString::fromLatin1(shown[i].name)),
                  QByteArray::fromStdString(shown[i].body))
            << shown[i].name;
    EXPECT_EQ(gets("bad.bin").size(), 2u);
    EXPECT_EQ(gets("long.bin").size(), 2u);
    EXPECT_EQ(leftInTarget().size(), 4);
    EXPECT_FALSE(leftInTarget().contains(QStringLiteral("bad.bin")));
    EXPECT_FALSE(leftInTarget().contains(QStringLiteral("long.bin")));
    EXPECT_TRUE(leftInPartials().isEmpty())
        << leftInPartials().join(QLatin1Char(' ')).toStdString();
}

// A resumed file is hashed whole: the kept part is read from disk first, so
// a kept part that changed meanwhile fails the file instead of joining it;
// a refused range starts the digest again with the file, and a whole kept
// file that only missed its name is hashed before it takes it.
TEST_F(Resume, TheKeptPartOfAResumedFileIsHashedToo) {
    useChecksumProfile();
    const std::string body = bytes(300'000, 'q');
    const std::string sha256 = digestOf(body, QCryptographicHash::Sha256);
    for (const char* name : {"q.bin", "t.bin"})
        hostCutOff(name, body, Mode::Ranged, 120'000);
    hostCutOff("f.bin", body, Mode::RangeRefused, 120'000);
    host.addFile("w.bin", file(body, Mode::Ranged));
    for (const char* name : {"q.bin", "t.bin", "f.bin", "w.bin"})
        host.showOnPage(name, "", sha256);
    const auto partialNames = [this](const char* name) {
        return partialNamesFor(host.checksumLinkFor(name),
                               (targetFolder() + QLatin1Char('/')).toStdString() + name, 0);
    };
    writePartial(partialNames("w.bin").partial, QByteArray::fromStdString(body));
    writePartial(partialNames("w.bin").record, recordOf(host.checksumLinkFor("w.bin"), 300'000));
    const Strings links{host.checksumLinkFor("q.bin"), host.checksumLinkFor("t.bin"),
                        host.checksumLinkFor("f.bin")};
    openWithLinks({links[0], links[1], links[2], host.checksumLinkFor("w.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));
    EXPECT_EQ(tipsByLink()[host.checksumLinkFor("w.bin")], "SHA-256 egyezik");
    EXPECT_TRUE(gets("w.bin").empty());
    QFile kept(inPartials(partialNames("t.bin").partial));
    ASSERT_TRUE(kept.open(QIODevice::ReadWrite));
    ASSERT_EQ(kept.size(), 120'000);
    kept.write("changed");
    kept.close();

    for (const auto& link : links)
        addLink(link);
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));
    for (const char* name : {"q.bin", "t.bin", "f.bin"})
        EXPECT_EQ(header(gets(name).at(1), "range"), "bytes=120000-") << name;
    std::map<std::string, std::string> tips = tipsByLink();
    EXPECT_EQ(tips[links[0]], "SHA-256 egyezik");
    EXPECT_EQ(tips[links[1]].substr(tips[links[1]].rfind('\n') + 1),
              "A fájl ellenőrzőösszege nem egyezik");
    EXPECT_EQ(tips[links[2]], "SHA-256 egyezik");
    for (const char* name : {"q.bin", "f.bin", "w.bin"})
        EXPECT_EQ(downloaded(QString::fromLatin1(name)), QByteArray::fromStdString(body)) << name;
    EXPECT_EQ(leftInTarget().size(), 3);
    EXPECT_FALSE(leftInTarget().contains(QStringLiteral("t.bin")));
    EXPECT_TRUE(leftInPartials().isEmpty());
}

// Files put in the partial files' folder that are not this user's plain
// files: a link elsewhere, a second name of another file, and (for root,
// who can give files away) another user's file.
TEST_F(Resume, PlantedPartialsAreLeftAlone) {
    const std::string body = bytes(50'000, 'p');
    Strings names{"s.bin", "h.bin"};
    if (::geteuid() == 0)
        names.push_back("f.bin");
    const QString victim = path(QStringLiteral("victim"));
    writeTarget(QStringLiteral("../victim"), "the user's own file");
    std::vector<std::string> links;
    for (const std::string& name : names) {
        host.addFile(name, file(body, Mode::Ranged));
        links.push_back(host.linkFor(name));
        // A record that would match, so only the partial file itself tells.
        writePartial(partialOf(name).record, recordOf(host.linkFor(name)));
    }
    ASSERT_TRUE(QFile::link(victim, inPartials(partialOf("s.bin").partial)));
    ASSERT_EQ(::link(QFile::encodeName(victim).constData(),
                     QFile::encodeName(inPartials(partialOf("h.bin").partial)).constData()),
              0);
    const QByteArray foreign(20'000, 'f');
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        writePartial(partialOf("f.bin").partial, foreign);
        ASSERT_EQ(::lchown(QFile::encodeName(inPartials(partialOf("f.bin").partial)).constData(),
                           nobody->pw_uid, nobody->pw_gid),
                  0);
    }
    openWithLinks(links);
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings(names.size(), "Sikeres letöltés"));
    for (const std::string& name : names) {
        EXPECT_EQ(downloaded(QString::fromStdString(name)), QByteArray::fromStdString(body));
        EXPECT_EQ(header(gets(name).at(0), "range"), "<none>") << name;
    }
    EXPECT_EQ(downloaded(QStringLiteral("../victim")), QByteArray("the user's own file"));
    EXPECT_EQ(QFileInfo(inPartials(partialOf("s.bin").partial)).symLinkTarget(), victim);
    if (::geteuid() == 0) {
        QFile kept(inPartials(partialOf("f.bin").partial));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), foreign);
    }
}

// The partial files' folder is this user's alone: a wider one is narrowed,
// one that is a link elsewhere is not used.
TEST_F(Resume, APartialFolderThatIsNotPrivateIsNarrowedOrRefused) {
    host.addFile("a.bin", file(bytes(1000, 'a'), Mode::Ranged));
    QDir().mkpath(stateFolder() + QStringLiteral("/Vardelo"));
    QDir().mkpath(path(QStringLiteral("elsewhere")));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("elsewhere")), partialsFolder()));
    openWithLinks({host.linkFor("a.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogAttempts), Strings{"Próbálva:1 (Letöltési hiba.)"});
    EXPECT_TRUE(statusTips()[0].starts_with("Helyi fájlhiba: ")) << statusTips()[0];
    EXPECT_TRUE(QDir(path(QStringLiteral("elsewhere"))).isEmpty());
    EXPECT_TRUE(host.fileRequests().empty());

    ASSERT_TRUE(QFile::remove(partialsFolder()));
    ASSERT_TRUE(QDir().mkpath(partialsFolder()));
    ASSERT_EQ(::chmod(QFile::encodeName(partialsFolder()).constData(), 0755), 0);
    addLink(host.linkFor("a.bin"));
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus).back(), "Sikeres letöltés");
    EXPECT_EQ(modeOf(partialsFolder()), 0700u);
}

// Gathered on one file system, stored on another: copied into place, the
// copy under a hidden name until it is whole.
TEST_F(Resume, AFileGatheredOnAnotherFileSystemIsCopiedIntoPlace) {
    QTemporaryDir elsewhere(QStringLiteral("/dev/shm/vardelo-test-XXXXXX"));
    struct stat there {
    }, here{};
    if (!elsewhere.isValid() ||
        ::stat(QFile::encodeName(elsewhere.path()).constData(), &there) != 0 ||
        ::stat(QFile::encodeName(path(QString())).constData(), &here) != 0 ||
        there.st_dev == here.st_dev)
        GTEST_SKIP() << "needs /dev/shm on another file system than the temporary folder";
    qputenv("XDG_STATE_HOME", QFile::encodeName(elsewhere.path()));
    const std::string body = bytes(3'000'000, 'x');
    host.addFile("x.bin", file(body, Mode::Ranged));
    openWithLinks({host.linkFor("x.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
    EXPECT_EQ(downloaded(QStringLiteral("x.bin")), QByteArray::fromStdString(body));
    EXPECT_EQ(leftInTarget(), QStringList{QStringLiteral("x.bin")});
    EXPECT_TRUE(QDir(elsewhere.path() + QStringLiteral("/Vardelo/partials")).isEmpty());
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(modeOf(targetFolder() + QStringLiteral("/x.bin")), 0666u & ~mask);
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
    EXPECT_TRUE(leftInPartials().isEmpty())
        << leftInPartials().join(QLatin1Char(' ')).toStdString();
}

TEST_F(Resume, NamesOfAnyLengthDownload) {
    const std::string long251(251, 'n'), long255 = std::string(251, 'm') + ".bin";
    const std::string long300 = std::string(296, 'l') + ".iso";
    host.addFile(long251, file(bytes(2000, '1'), Mode::Ranged));
    host.addFile(long255, file(bytes(2000, '5'), Mode::Ranged));
    host.addFile(long300, file(bytes(2000, '3'), Mode::Ranged));
    openWithLinks({host.linkFor(long251), host.linkFor(long255), host.linkFor(long300)});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings(3, "Sikeres letöltés"));
    // Cut to one directory entry, the extension kept.
    EXPECT_EQ(downloaded(QString::fromStdString(std::string(251, 'l') + ".iso")),
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
