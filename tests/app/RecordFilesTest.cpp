// The record files on disk under hostile conditions: whatever goes wrong,
// the old file stays whole, and what the user set up around it stays.
#include "ChildProcess.h"
#include "FakeDialogs.h"

#include "session/LinkCheckStore.h"
#include "core/DownloadQueue.h"
#include "core/IoError.h"
#include "platform/RecordFiles.h"
#include "platform/SecretFile.h"
#include "session/HostWaitsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vardelo {
namespace {

constexpr uid_t kNobody = 65534;

class RecordFiles : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }
    static QByteArray native(const QString& path) { return QFile::encodeName(path); }

    static std::string queueBytes(const std::vector<std::string>& urls) {
        DownloadQueue queue;
        for (const auto& url : urls)
            queue.append(url);
        return encodeRecords(queue.grid(), queueRecordLayout());
    }
    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static mode_t modeOf(const QString& path) {
        struct stat info {};
        ::stat(native(path).constData(), &info);
        return info.st_mode & 07777;
    }
    static int errorCodeOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const IoError& error) {
            return error.code();
        }
        return 0;
    }
    QStringList namesInFolder() const {
        QStringList names = QDir(dir_.path()).entryList(QDir::Files);
        names.sort();
        return names;
    }

    QTemporaryDir dir_;
};

TEST_F(RecordFiles, FileWithoutTheOwnersWriteBitIsReadOnlyEvenForRoot) {
    const QString lista = path("Lista.Vdl");
    writeRecordFile(lista, queueBytes({"old"}));
    const QByteArray before = contents(lista);
    ::chmod(native(lista).constData(), 0444);
    DownloadQueue queue;
    EXPECT_EQ(errorCodeOf([&] { readRecordFile(lista, queueRecordLayout(), queue.grid()); }),
              IoAccessDenied);
    EXPECT_TRUE(queue.isEmpty());
    EXPECT_EQ(errorCodeOf([&] { writeRecordFile(lista, queueBytes({"new"})); }), IoAccessDenied);
    EXPECT_EQ(contents(lista), before);
    EXPECT_EQ(namesInFolder(), QStringList{QStringLiteral("Lista.Vdl")});
}

// Passwords are read only from this user's own regular file, never through a
// link, a FIFO or another user's file, and written for this user alone.
TEST_F(RecordFiles, SecretsAreReadOnlyFromTheUsersOwnFileAndWrittenForThemAlone) {
    const QString secrets = path("Jelszavak.txt");
    EXPECT_FALSE(readSecretFile(secrets, 1000).text);
    EXPECT_TRUE(readSecretFile(secrets, 1000).refusal.empty());
    writeSecretFile(secrets, "titok\n");
    EXPECT_EQ(modeOf(secrets), 0600u);
    EXPECT_EQ(readSecretFile(secrets, 1000).text, std::optional<std::string>("titok\n"));
    ::chmod(native(secrets).constData(), 0644);
    writeSecretFile(secrets, "titok\nmasik\n");
    EXPECT_EQ(modeOf(secrets), 0600u);

    const QString elsewhere = path("elsewhere.txt");
    writeRecordFile(elsewhere, "a felhasználó saját szövege");
    ::chmod(native(elsewhere).constData(), 0644);
    const QString link = path("link.txt");
    ::symlink(native(elsewhere).constData(), native(link).constData());
    const QString fifo = path("fifo.txt");
    ::mkfifo(native(fifo).constData(), 0600);
    for (const QString& refused : {link, fifo}) {
        SCOPED_TRACE(refused.toStdString());
        const SecretFileRead read = readSecretFile(refused, 1000);
        EXPECT_FALSE(read.text);
        EXPECT_NE(read.refusal.find("nem olvastam be"), std::string::npos);
    }
    EXPECT_FALSE(readSecretFile(secrets, 3).text); // above the limit
    EXPECT_EQ(errorCodeOf([&] { writeSecretFile(link, "titok"); }), IoAccessDenied);
    EXPECT_EQ(contents(elsewhere), QByteArray("a felhasználó saját szövege"));
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(native(secrets).constData(), kNobody, kNobody), 0);
        EXPECT_NE(readSecretFile(secrets, 1000).refusal.find("más felhasználóé"),
                  std::string::npos);
        EXPECT_EQ(errorCodeOf([&] { writeSecretFile(secrets, "x"); }), IoAccessDenied);
    }
}

TEST_F(RecordFiles, MissingFolderIsFileNotFound) {
    EXPECT_EQ(errorCodeOf([&] { writeRecordFile(path("nope/Lista.Vdl"), queueBytes({})); }),
              IoFileNotFound);
}

TEST_F(RecordFiles, WriteStoppedHalfWayLeavesTheOldFileWhole) {
    const QString lista = path("Lista.Vdl");
    writeRecordFile(lista, queueBytes({"old"}));
    const QByteArray before = contents(lista);
    const std::string large = queueBytes(std::vector<std::string>(300, "http://new"));
    const int code = runInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return errorCodeOf([&] { writeRecordFile(lista, large); });
    });
    EXPECT_EQ(code, IoDiskFull);
    EXPECT_EQ(contents(lista), before);
    EXPECT_EQ(namesInFolder(), QStringList{QStringLiteral("Lista.Vdl")});
}

TEST_F(RecordFiles, AnotherUsersFileIsNotReplaced) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file of another user; run the suite as root";
    // A folder of the unprivileged user holding a root-owned 644 queue file.
    ::chmod(native(dir_.path()).constData(), 0755);
    const QString folder = path("home");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chown(native(folder).constData(), kNobody, kNobody), 0);
    const QString lista = folder + QStringLiteral("/Lista.Vdl");
    writeRecordFile(lista, queueBytes({"stored with sudo"}));
    ::chmod(native(lista).constData(), 0644);
    const QByteArray before = contents(lista);

    const int code = runInChild([&] {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            return 98;
        DownloadQueue queue;
        const int read =
            errorCodeOf([&] { readRecordFile(lista, queueRecordLayout(), queue.grid()); });
        const int written = errorCodeOf([&] { writeRecordFile(lista, queueBytes({})); });
        const int waitsRead = errorCodeOf([&] { readHostWaitsFile(lista, 0); });
        return read == IoAccessDenied && written == IoAccessDenied && waitsRead == IoAccessDenied
                   ? 0
                   : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(contents(lista), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("Lista.Vdl")});
}

TEST_F(RecordFiles, SymbolicLinkStaysALinkAndItsTargetIsWritten) {
    ASSERT_TRUE(QDir().mkpath(path("synced")));
    const QString target = path("synced/Lista.Vdl");
    writeRecordFile(target, queueBytes({"old"}));
    ASSERT_TRUE(QFile::link(target, path("Lista.Vdl")));
    writeRecordFile(path("Lista.Vdl"), queueBytes({"new", "newer"}));
    EXPECT_TRUE(QFileInfo(path("Lista.Vdl")).isSymLink());
    EXPECT_EQ(contents(target), QByteArray::fromStdString(queueBytes({"new", "newer"})));
}

TEST_F(RecordFiles, ModeAndOwnerAreKept) {
    const QString lista = path("Lista.Vdl");
    writeRecordFile(lista, queueBytes({"old"}));
    ::chmod(native(lista).constData(), 0600);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(native(lista).constData(), kNobody, kNobody), 0);
    }
    writeRecordFile(lista, queueBytes({"new"}));
    EXPECT_EQ(modeOf(lista), 0600u);
    if (root) {
        struct stat info {};
        ::stat(native(lista).constData(), &info);
        EXPECT_EQ(info.st_uid, kNobody);
        EXPECT_EQ(info.st_gid, kNobody);
    }
}

// In place, a full disk is found before the first byte is written: the old
// file stays whole (the size limit makes the reservation fail as a full disk).
TEST_F(RecordFiles, FolderThatAllowsNoTemporaryFileIsWrittenInPlaceOrNotAtAll) {
    const QString folder = path("readonly");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString lista = folder + QStringLiteral("/Lista.Vdl");
    const std::string large = queueBytes(std::vector<std::string>(300, "http://new"));
    const std::string small = queueBytes({"small"});
    struct Case {
        std::string bytes;
        rlim_t sizeLimit;
        int code;
        bool written;
    };
    for (const Case& c : {Case{large, 8192, IoDiskFull, false}, Case{large, RLIM_INFINITY, 0, true},
                          Case{small, 8192, 0, true}}) {
        writeRecordFile(lista, queueBytes({"old", "older"}));
        const QByteArray before = contents(lista);
        const auto write = [&] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{c.sizeLimit, c.sizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            return errorCodeOf([&] { writeRecordFile(lista, c.bytes); });
        };
        int code = 0;
        if (::geteuid() == 0) {
            // Root may create files anywhere: write as a user who owns only the file.
            ::chmod(native(dir_.path()).constData(), 0755);
            ASSERT_EQ(::chown(native(lista).constData(), kNobody, kNobody), 0);
            code = runInChild(
                [&] { return ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 ? write() : 98; });
        } else {
            ::chmod(native(folder).constData(), 0555);
            code = runInChild(write);
            ::chmod(native(folder).constData(), 0755);
        }
        EXPECT_EQ(code, c.code) << c.bytes.size();
        EXPECT_EQ(contents(lista), c.written ? QByteArray::fromStdString(c.bytes) : before)
            << c.bytes.size();
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("Lista.Vdl")});
    }
}

TEST_F(RecordFiles, FifoFolderAndDeviceFailAtOnceWithoutBlocking) {
    ASSERT_EQ(::mkfifo(native(path("Naplo.Vdl")).constData(), 0644), 0);
    ASSERT_TRUE(QDir().mkpath(path("Lista.Vdl")));
    for (const QString& unusable :
         {path("Naplo.Vdl"), path("Lista.Vdl"), QStringLiteral("/dev/zero")}) {
        const int code = runInChild([&] {
            TextGrid grid(5);
            return errorCodeOf([&] { readRecordFile(unusable, logRecordLayout(), grid); });
        });
        EXPECT_EQ(code, IoAccessDenied) << unusable.toStdString();
        EXPECT_EQ(runInChild([&] { return errorCodeOf([&] { readHostWaitsFile(unusable, 0); }); }),
                  IoAccessDenied)
            << unusable.toStdString();
    }
    EXPECT_EQ(errorCodeOf([&] { writeRecordFile(path("Naplo.Vdl"), ""); }), IoAccessDenied);
    EXPECT_TRUE(QFileInfo(path("Lista.Vdl")).isDir());
}

TEST_F(RecordFiles, FileAboveTheLimitIsRefusedWithAMessage) {
    struct Case {
        const char* name;
        qint64 size;
        std::function<void(const QString&)> read;
        std::string message;
    };
    DownloadQueue queue;
    const Case cases[] = {
        // 1 GiB and a byte, sparse: takes no disk space
        {"Lista.Vdl", 1'073'741'825,
         [&](const QString& p) { readRecordFile(p, queueRecordLayout(), queue.grid()); },
         "File too large: Lista.Vdl holds more than 1 GiB"},
        {"HostWaits.Vdl", 1'048'577, [](const QString& p) { readHostWaitsFile(p, 0); },
         "File too large: HostWaits.Vdl holds more than 1 MiB"},
    };
    for (const Case& c : cases) {
        {
            QFile file(path(c.name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_TRUE(file.resize(c.size));
        }
        try {
            c.read(path(c.name));
            ADD_FAILURE() << c.name << ": a file above the limit must not load";
        } catch (const UserError& error) {
            EXPECT_EQ(std::string(error.what()), c.message);
        }
    }
    EXPECT_TRUE(queue.isEmpty());
}

TEST_F(RecordFiles, OnlyTheProgramsOwnTemporaryFilesAreRemoved) {
    for (const char* name :
         {"Lista.Vdl.vardelo-save-aB12cD", "Naplo.Vdl.vardelo-save-XyZ987", "Lista.Vdl.MyCopy",
          "Naplo.Vdl.OldLog", "Lista.Vdl.tmp", "Lista.Vdl.bak", "Lista.Vdl",
          "HostWaits.Vdl.vardelo-save-q1W2e3", "HostWaits.Vdl.old"}) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    removeInterruptedSaves(dir_.path());
    EXPECT_EQ(namesInFolder(),
              (QStringList{QStringLiteral("HostWaits.Vdl.old"), QStringLiteral("Lista.Vdl"),
                           QStringLiteral("Lista.Vdl.MyCopy"), QStringLiteral("Lista.Vdl.bak"),
                           QStringLiteral("Lista.Vdl.tmp"), QStringLiteral("Naplo.Vdl.OldLog")}));
}

// The waits are a courtesy to the hosts: whatever is wrong with their file,
// loading gives what it can and the program runs on.
TEST_F(RecordFiles, HostWaitsSurviveARestartAndABrokenFileCostsOnlyItsWaits) {
    constexpr std::int64_t now = 1'700'000'000;
    const QString waitsFile = path("HostWaits.Vdl");
    EXPECT_TRUE(loadHostWaits(dir_.path(), now).ends().empty()); // no file yet

    HostWaits waits;
    waits.note("XFS host", 3600, now);
    waits.note("quick host", 10, now);
    ASSERT_TRUE(saveHostWaits(dir_.path(), waits, now + 10));
    EXPECT_EQ(modeOf(waitsFile), 0600u);
    const HostWaits loaded = loadHostWaits(dir_.path(), now + 10);
    EXPECT_EQ(loaded.ends().size(), 1u); // the ended wait was not written
    EXPECT_EQ(loaded.until("XFS host", now + 10), now + 3600);

    {
        QFile file(waitsFile);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("garbage line\n\xff\xfe\t\x01\n1700000500\tsecond host\n");
    }
    EXPECT_EQ(loadHostWaits(dir_.path(), now).ends().size(), 2u);

    // Kept on another disk through a link: the link stays and its target is written.
    ASSERT_TRUE(QFile::rename(waitsFile, path("elsewhere")));
    ASSERT_TRUE(QFile::link(path("elsewhere"), waitsFile));
    EXPECT_EQ(loadHostWaits(dir_.path(), now).ends().size(), 2u);
    ASSERT_TRUE(saveHostWaits(dir_.path(), HostWaits{}, now));
    EXPECT_TRUE(QFileInfo(waitsFile).isSymLink());
    EXPECT_EQ(contents(path("elsewhere")), QByteArray());

    // A folder in the file's place neither reads nor is written over.
    ASSERT_TRUE(QFile::remove(waitsFile));
    ASSERT_TRUE(QDir().mkpath(waitsFile));
    EXPECT_TRUE(loadHostWaits(dir_.path(), now).ends().empty());
    EXPECT_FALSE(saveHostWaits(dir_.path(), waits, now));
    EXPECT_TRUE(QFileInfo(waitsFile).isDir());
}

// The link check's results: a file that is missing, cut short, not JSON or
// of a newer version costs only the results; entries of links no longer
// queued are not written.
TEST_F(RecordFiles, LinkCheckResultsSurviveAndABrokenFileCostsOnlyThem) {
    DownloadQueue queue;
    queue.append("http://h/a");
    queue.append("http://h/later");
    LinkResults results;
    results.set("http://h/a", {Availability::Online, "a.zip", SizeReading{12, true},
                               readDigest(std::string(32, 'a')), 77});
    results.set("http://h/gone", {Availability::Offline, "", {}, {}, 5});
    results.set("http://h/later", {Availability::Unknown, "", {}, {}, 6, PageMarker::TempOffline});
    ASSERT_TRUE(saveLinkResults(dir_.path(), results, queue.grid()));
    bool unread = true;
    const LinkResults loaded = loadLinkResults(dir_.path(), &unread);
    EXPECT_FALSE(unread);
    ASSERT_EQ(loaded.size(), 2u);
    const LinkFacts* later = loaded.find("http://h/later");
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(later->marker, PageMarker::TempOffline);
    const LinkFacts* facts = loaded.find("http://h/a");
    ASSERT_NE(facts, nullptr);
    EXPECT_EQ(facts->name, "a.zip");
    EXPECT_EQ(facts->size->bytes, 12);
    EXPECT_EQ(facts->digest->kind, DigestKind::Md5);
    EXPECT_EQ(facts->checkedAt, 77);

    const QByteArray whole = contents(path("LinkCheck.Vdl"));
    for (const QByteArray& broken :
         {whole.left(whole.size() / 2), QByteArray("Vardelo"), QByteArray("[1, 2]"),
          QByteArray(R"({"version": 2, "links": []})"), QByteArray(R"({"links": []})")}) {
        QFile file(path("LinkCheck.Vdl"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(broken);
        file.close();
        EXPECT_TRUE(loadLinkResults(dir_.path(), &unread).empty()) << broken.toStdString();
        EXPECT_TRUE(unread) << broken.toStdString();
    }
    QFile::remove(path("LinkCheck.Vdl"));
    EXPECT_TRUE(loadLinkResults(dir_.path(), &unread).empty());
    EXPECT_FALSE(unread);
    // A FIFO in its place neither blocks the start nor is written over.
    ASSERT_EQ(::mkfifo(native(path("LinkCheck.Vdl")).constData(), 0644), 0);
    EXPECT_TRUE(loadLinkResults(dir_.path(), &unread).empty());
    EXPECT_TRUE(unread);
    EXPECT_FALSE(saveLinkResults(dir_.path(), results, queue.grid()));
}

} // namespace
} // namespace vardelo
