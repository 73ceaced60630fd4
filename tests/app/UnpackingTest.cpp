// Archives the tests make (zip and 7z by Debian's tools, hostile tars by
// libarchive's writer) unpacked in the program: byte for byte, inside their
// folder, never over a file, and leaving nothing behind when they fail.
#include "WaitFor.h"

#include "platform/ArchiveUnpacker.h"
#include "session/UnpackQueue.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/mount.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace vardelo {
namespace {

namespace fs = std::filesystem;
using Kind = UnpackResult::Kind;

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

class Unpacking : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/vardelo-unpack-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        root_ = name;
        fs::create_directories(root_ / "src/docs");
        write(root_ / "src/big.bin", big_);
        write(root_ / "src/docs/note.txt", "egy kis szöveg\n");
    }
    void TearDown() override {
        ::umount2((root_ / "out").c_str(), MNT_DETACH); // when a case left its own mounted
        fs::remove_all(root_);
    }

    static void write(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string read(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }
    // A tool run in the source folder, quietly.
    void make(const std::string& command) const {
        const std::string line =
            "cd '" + (root_ / "src").string() + "' && " + command + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(line.c_str()), 0) << command;
    }
    std::vector<std::string> volumes(const std::vector<std::string>& names) const {
        std::vector<std::string> paths;
        for (const std::string& name : names)
            paths.push_back((root_ / "src" / name).string());
        return paths;
    }
    UnpackResult unpack(const std::vector<std::string>& names,
                        std::vector<std::string> passwords = {},
                        std::int64_t bombFloor = vardelo::bombFloor) {
        UnpackJob job{volumes(names), (root_ / "out").string(), std::move(passwords), bombFloor};
        return unpackArchive(
            job,
            [&](std::int64_t read, std::int64_t total) {
                EXPECT_LE(read, total);
                lastProgress_ = {read, total};
                if (stopAtFirstProgress_ && read > 0)
                    stop_ = true;
            },
            stop_);
    }
    // Every name under the output folder, hidden ones included.
    std::vector<std::string> written() const {
        std::vector<std::string> names;
        if (!fs::exists(root_ / "out"))
            return names;
        for (const auto& entry : fs::recursive_directory_iterator(root_ / "out"))
            names.push_back(entry.path().lexically_relative(root_ / "out").string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void expectTheSourceUnpacked(const UnpackResult& result) {
        ASSERT_EQ(result.kind, Kind::Unpacked) << result.detail;
        EXPECT_EQ(result.files, 2);
        EXPECT_EQ(read(root_ / "out/big.bin"), big_);
        EXPECT_EQ(read(root_ / "out/docs/note.txt"), "egy kis szöveg\n");
        EXPECT_EQ(lastProgress_.first, lastProgress_.second);
    }

    // A tar made entry by entry, for names no archiver would write.
    struct TarEntry {
        std::string path;
        mode_t type = AE_IFREG;
        std::string data;
        std::string link; // a symbolic link's target, or a hard link's
    };
    void makeTar(const std::string& name, const std::vector<TarEntry>& entries, bool xz = false) {
        archive* a = archive_write_new();
        archive_write_set_format_pax_restricted(a);
        if (xz)
            archive_write_add_filter_xz(a);
        ASSERT_EQ(archive_write_open_filename(a, (root_ / "src" / name).c_str()), ARCHIVE_OK);
        for (const TarEntry& e : entries) {
            archive_entry* entry = archive_entry_new();
            archive_entry_set_pathname(entry, e.path.c_str());
            archive_entry_set_perm(entry, 0644);
            if (e.type == AE_IFREG && !e.link.empty()) {
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_hardlink(entry, e.link.c_str());
            } else {
                archive_entry_set_filetype(entry, e.type);
                if (e.type == AE_IFLNK)
                    archive_entry_set_symlink(entry, e.link.c_str());
                archive_entry_set_size(entry, static_cast<la_int64_t>(e.data.size()));
            }
            archive_write_header(a, entry);
            if (!e.data.empty())
                archive_write_data(a, e.data.data(), e.data.size());
            archive_entry_free(entry);
        }
        archive_write_close(a);
        archive_write_free(a);
    }

    fs::path root_;
    const std::string big_ = randomBytes(300'000, 7);
    std::pair<std::int64_t, std::int64_t> lastProgress_{-1, -2};
    std::atomic<bool> stop_{false};
    bool stopAtFirstProgress_ = false;
};

TEST_F(Unpacking, ReadsEveryVolumeSetByteForByte) {
    struct Case {
        const char* what;
        const char* command;
        std::vector<std::string> volumes;
    };
    const Case cases[] = {
        {"a 7z in three volumes",
         "7z a -mx=1 -v110k set.7z big.bin docs",
         {"set.7z.001", "set.7z.002", "set.7z.003"}},
        {"a split zip, its .zip last",
         "zip -q -r -s 110k set.zip big.bin docs",
         {"set.z01", "set.z02", "set.zip"}},
        {"a zip in numbered volumes",
         "7z a -tzip -v110k set.zip big.bin docs",
         {"set.zip.001", "set.zip.002", "set.zip.003"}},
        {"a tar.xz", "tar -cJf set.tar.xz big.bin docs", {"set.tar.xz"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        make(c.command);
        expectTheSourceUnpacked(unpack(c.volumes));
        fs::remove_all(root_ / "out");
        for (const std::string& volume : c.volumes)
            fs::remove(root_ / "src" / volume);
    }
}

TEST_F(Unpacking, TriesThePasswordsAndWritesNothingWithoutTheRightOne) {
    make("7z a -tzip -mem=AES256 -ptitok aes.zip big.bin docs");
    const std::vector<std::string> wrong{"", "alma", "titkos", "TITOK"};
    const UnpackResult none = unpack({"aes.zip"}, wrong);
    EXPECT_EQ(none.kind, Kind::PasswordNeeded);
    EXPECT_TRUE(written().empty());

    std::vector<std::string> list = wrong;
    list.push_back("titok");
    const UnpackResult found = unpack({"aes.zip"}, list);
    expectTheSourceUnpacked(found);
    EXPECT_EQ(found.password, "titok");

    // ZipCrypto, whose quick check lets one wrong password in 256 through:
    // the checksum of the whole entry tells.
    fs::remove_all(root_ / "out");
    make("zip -q -r -P titok classic.zip big.bin docs");
    std::vector<std::string> many;
    for (int n = 0; n < 300; ++n)
        many.push_back("rossz" + std::to_string(n));
    many.push_back("titok");
    expectTheSourceUnpacked(unpack({"classic.zip"}, many));
}

TEST_F(Unpacking, SaysWhatItCannotReadAndKeepsNothing) {
    make("7z a -mhe=on -ptitok hidden.7z big.bin");
    make("7z a -ptitok locked.7z big.bin");
    write(root_ / "src/page.rar", "<html><body>Nincs ilyen fájl</body></html>");
    write(root_ / "src/page.gz", "<html><body>Nincs ilyen fájl</body></html>");
    make("7z a -mx=1 -v110k cut.7z big.bin docs");
    write(root_ / "src/cut.7z.002", read(root_ / "src/cut.7z.002").substr(0, 1000));
    make("zip -q bad.zip big.bin");
    std::string bad = read(root_ / "src/bad.zip");
    bad[bad.size() / 2] ^= 0x55; // the stored data, not a header
    write(root_ / "src/bad.zip", bad);
    struct Case {
        std::vector<std::string> volumes;
        Kind kind;
    };
    const Case cases[] = {
        {{"hidden.7z"}, Kind::EncryptedUnsupported},
        {{"locked.7z"}, Kind::EncryptedUnsupported},
        {{"page.rar"}, Kind::Damaged},
        {{"page.gz"}, Kind::Damaged},
        {{"cut.7z.001", "cut.7z.002", "cut.7z.003"}, Kind::Damaged},
        {{"bad.zip"}, Kind::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.volumes.front());
        EXPECT_EQ(unpack(c.volumes, {"titok"}).kind, c.kind);
        EXPECT_TRUE(written().empty());
    }
}

TEST_F(Unpacking, KeepsEveryEntryInsideItsFolderAndNeverReplacesAFile) {
    makeTar("hostile.tar", {
                               {"../outside.txt", AE_IFREG, "ki", {}},
                               {"/tmp/absolute.txt", AE_IFREG, "ki", {}},
                               {"a/../../up.txt", AE_IFREG, "ki", {}},
                               {"link-out", AE_IFLNK, {}, "../../etc"},
                               {"link-abs", AE_IFLNK, {}, "/etc/passwd"},
                               {"hard-out", AE_IFREG, {}, "../src/big.bin"},
                               {"kept.txt", AE_IFREG, "új", {}},
                               {".hidden", AE_IFREG, "rejtett", {}},
                               {"dir/inner.txt", AE_IFREG, "bent", {}},
                               {"link-in", AE_IFLNK, {}, "dir/inner.txt"},
                               {"hard-in", AE_IFREG, {}, "dir/inner.txt"},
                               {"hard-kept", AE_IFREG, {}, "kept.txt"},
                           });
    fs::create_directories(root_ / "out");
    write(root_ / "out/kept.txt", "régi");
    const UnpackResult result = unpack({"hostile.tar"});
    ASSERT_EQ(result.kind, Kind::Unpacked) << result.detail;
    EXPECT_EQ(written(),
              (std::vector<std::string>{"dir", "dir/inner.txt", "hard-in", "hard-kept", "hidden",
                                        "kept (1).txt", "kept.txt", "link-in"}));
    EXPECT_EQ(read(root_ / "out/kept.txt"), "régi");
    EXPECT_EQ(read(root_ / "out/kept (1).txt"), "új");
    EXPECT_EQ(read(root_ / "out/link-in"), "bent");
    EXPECT_EQ(read(root_ / "out/hard-kept"), "új"); // what the archive wrote, not what stood there
    EXPECT_FALSE(fs::exists(root_ / "outside.txt"));
    EXPECT_FALSE(fs::exists("/tmp/absolute.txt"));
    EXPECT_FALSE(fs::exists(root_ / "up.txt"));

    // A file where an entry's folder would go: the folder takes the next name.
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");
    write(root_ / "out/dir", "egy fájl");
    makeTar("clash.tar", {{"dir/inner.txt", AE_IFREG, "bent", {}}});
    ASSERT_EQ(unpack({"clash.tar"}).kind, Kind::Unpacked);
    EXPECT_EQ(read(root_ / "out/dir"), "egy fájl");
    EXPECT_EQ(read(root_ / "out/dir (1)/inner.txt"), "bent");
}

TEST_F(Unpacking, StopsABombAFullDiskAndAStopRequestLeavingNothing) {
    makeTar("bomb.tar.xz",
            {{"first.txt", AE_IFREG, "egy", {}},
             {"zeros.bin", AE_IFREG, std::string(8 << 20, '\0'), {}}},
            true);
    const UnpackResult bomb = unpack({"bomb.tar.xz"}, {}, 1 << 20);
    EXPECT_EQ(bomb.kind, Kind::Bomb) << bomb.detail;
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(unpack({"bomb.tar.xz"}).kind, Kind::Unpacked); // below the floor it is a file

    // An entry whose header claims more than any disk holds.
    fs::remove_all(root_ / "out");
    std::string header(512, '\0');
    const std::string name = "huge.bin";
    std::copy(name.begin(), name.end(), header.begin());
    std::copy_n("0000644", 7, header.begin() + 100);
    header[124] = static_cast<char>(0x80); // the size in base 256: 2^60 bytes
    header[128] = 0x10;
    header[156] = '0';
    std::copy_n("ustar\00000", 8, header.begin() + 257);
    std::fill_n(header.begin() + 148, 8, ' ');
    unsigned sum = 0;
    for (const char c : header)
        sum += static_cast<unsigned char>(c);
    std::snprintf(header.data() + 148, 8, "%06o", sum);
    write(root_ / "src/huge.tar", header + std::string(4096, 'x'));
    EXPECT_EQ(unpack({"huge.tar"}).kind, Kind::NoSpace);
    EXPECT_TRUE(written().empty());

    // A disk that fills mid-way, under a gzip whose size no header tells:
    // no half file under any name, the earlier entry taken back too (where
    // the test may mount a small file system of its own). Entries that fit
    // one by one but not together are refused before the first is read,
    // where the headers tell their sizes.
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");
    if (::mount("tmpfs", (root_ / "out").c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") ==
        0) {
        write(root_ / "src/one.bin", randomBytes(150'000, 3));
        write(root_ / "src/two.bin", randomBytes(150'000, 4));
        make("zip -0 two.zip one.bin two.bin");
        make("7z a -ms=on two.7z one.bin two.bin");
        for (const char* archive : {"two.zip", "two.7z"}) {
            lastProgress_ = {-1, -2};
            const UnpackResult together = unpack({archive});
            EXPECT_EQ(together.kind, Kind::NoSpace) << archive << ": " << together.detail;
            EXPECT_EQ(lastProgress_, (std::pair<std::int64_t, std::int64_t>{-1, -2})) << archive;
            EXPECT_TRUE(written().empty());
        }
        write(root_ / "src/random.bin", randomBytes(600'000, 9));
        make("gzip -k random.bin");
        const UnpackResult full = unpack({"random.bin.gz"});
        EXPECT_EQ(full.kind, Kind::NoSpace) << full.detail;
        EXPECT_TRUE(written().empty());
        ::umount2((root_ / "out").c_str(), MNT_DETACH);
    }

    make("tar -cf stop.tar big.bin docs");
    stopAtFirstProgress_ = true;
    EXPECT_EQ(unpack({"stop.tar"}).kind, Kind::Stopped);
    EXPECT_TRUE(written().empty());
    EXPECT_LT(lastProgress_.first, lastProgress_.second / 2); // at once, not after the entry
}

// Packages unpack one after the other on the worker, and what it says comes
// through the event loop in order; a queue closed mid-way takes back its files.
TEST_F(Unpacking, OnePackageAtATimeOffTheWindowsThread) {
    make("7z a -mx=1 -v110k one.7z big.bin docs");
    make("tar -cf two.tar big.bin");
    std::vector<std::string> events;
    {
        UnpackQueue queue;
        QObject::connect(&queue, &UnpackQueue::progressed, &queue,
                         [&](const QString& package, int percent) {
                             if (percent == 100)
                                 events.push_back(package.toStdString() + " 100%");
                         });
        QObject::connect(&queue, &UnpackQueue::finished, &queue,
                         [&](const QString& package, const UnpackResult& result) {
                             EXPECT_FALSE(queue.busy() && events.empty());
                             events.push_back(package.toStdString() +
                                              (result.kind == Kind::Unpacked ? " kész" : " hiba"));
                         });
        queue.enqueue(QStringLiteral("one"), {volumes({"one.7z.001", "one.7z.002", "one.7z.003"}),
                                              (root_ / "out/one").string(),
                                              {},
                                              vardelo::bombFloor});
        queue.enqueue(QStringLiteral("two"),
                      {volumes({"two.tar"}), (root_ / "out/two").string(), {}, vardelo::bombFloor});
        EXPECT_TRUE(queue.busy());
        ASSERT_TRUE(waitFor([&] { return events.size() == 4; }, 20000))
            << testing::PrintToString(events);
        EXPECT_FALSE(queue.busy());
    }
    EXPECT_EQ(events, (std::vector<std::string>{"one 100%", "one kész", "two 100%", "two kész"}));
    EXPECT_EQ(read(root_ / "out/two/big.bin"), big_);

    const std::string many = randomBytes(64 << 20, 3);
    write(root_ / "src/many.bin", many);
    make("tar -cf many.tar many.bin");
    {
        UnpackQueue queue;
        queue.enqueue(
            QStringLiteral("many"),
            {volumes({"many.tar"}), (root_ / "out/many").string(), {}, vardelo::bombFloor});
    } // closed at once
    EXPECT_FALSE(fs::exists(root_ / "out/many"));
}

} // namespace
} // namespace vardelo
