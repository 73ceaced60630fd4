#include "core/ArchiveSet.h"
#include "core/PackageBook.h"
#include "core/PackagePlan.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

TEST(ArchiveNames, TellEachVolumeItsSetAndPlace) {
    struct Case {
        const char* name;
        std::optional<VolumeScheme> scheme;
        const char* setName;
        int position;
        bool closing;
    };
    const Case cases[] = {
        {"film.part01.rar", VolumeScheme::RarParts, "film", 1, false},
        {"Film.PART12.RAR", VolumeScheme::RarParts, "Film", 12, false},
        {"a.b.part3.rar", VolumeScheme::RarParts, "a.b", 3, false},
        {"film.rar", VolumeScheme::RarOld, "film", 1, false},
        {"film.r00", VolumeScheme::RarOld, "film", 2, false},
        {"film.R07", VolumeScheme::RarOld, "film", 9, false},
        {"film.7z.001", VolumeScheme::SevenZip, "film", 1, false},
        {"film.7Z.010", VolumeScheme::SevenZip, "film", 10, false},
        {"film.z01", VolumeScheme::SplitZip, "film", 1, false},
        {"film.zip", VolumeScheme::SplitZip, "film", 0, true},
        {"film.zip.002", VolumeScheme::Numbered, "film", 2, false},
        {"film.001", VolumeScheme::Numbered, "film", 1, false},
        {"my.party.rar", VolumeScheme::RarOld, "my.party", 1, false},
        {".rar", std::nullopt, "", 0, false},
        {"film.mkv", std::nullopt, "", 0, false},
        {"film.0001", std::nullopt, "", 0, false},
        {"film.7z", std::nullopt, "", 0, false},
        {"film.part99999999999.rar", VolumeScheme::RarOld, "film.part99999999999", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto volume = archiveVolumeOf(c.name);
        ASSERT_EQ(volume.has_value(), c.scheme.has_value());
        if (!volume)
            continue;
        EXPECT_EQ(volume->scheme, *c.scheme);
        EXPECT_EQ(volume->setName, c.setName);
        EXPECT_EQ(volume->closing, c.closing);
        if (!c.closing) {
            EXPECT_EQ(volume->position, c.position);
        }
    }
    EXPECT_EQ(archiveVolumeOf("film.part01.rar")->setKey(),
              archiveVolumeOf("FILM.part02.rar")->setKey());
    EXPECT_NE(archiveVolumeOf("film.part01.rar")->setKey(), archiveVolumeOf("film.rar")->setKey());
}

TEST(ArchiveNames, NameTheVolumesASetLacksAsTheSetWritesThem) {
    struct Case {
        std::vector<const char*> names;
        std::vector<std::string> missing;
    };
    const Case cases[] = {
        {{"f.part01.rar", "f.part03.rar"}, {"f.part02.rar"}},
        {{"f.part03.rar"}, {"f.part01.rar", "f.part02.rar"}},
        {{"f.part1.rar", "f.part2.rar"}, {}},
        {{"f.rar", "f.r01"}, {"f.r00"}},
        {{"F.R00"}, {"F.RAR"}},
        {{"f.7z.003", "f.7z.001"}, {"f.7z.002"}},
        {{"f.z01", "f.z02"}, {"f.zip"}},
        {{"f.zip"}, {}},
        {{"f.z02", "f.zip"}, {"f.z01"}},
        {{"f.002"}, {"f.001"}},
        {{"f.ZIP.003", "f.ZIP.001"}, {"f.ZIP.002"}},
    };
    for (const Case& c : cases) {
        std::vector<ArchiveVolume> volumes;
        for (const char* name : c.names)
            volumes.push_back(*archiveVolumeOf(name));
        SCOPED_TRACE(c.names.front());
        EXPECT_EQ(missingVolumes(volumes), c.missing);
    }
}

TEST(ArchiveNames, KnowWhatIsUnpackedAndWhatBeginsAnArchive) {
    for (const char* name : {"a.zip", "a.7z", "a.RAR", "a.tar", "a.tar.gz", "a.tgz", "a.tar.xz",
                             "a.tar.zst", "a.gz", "a.bz2"})
        EXPECT_TRUE(isArchiveName(name)) << name;
    for (const char* name : {"a.mkv", ".zip", "a.zip.part", "zip"})
        EXPECT_FALSE(isArchiveName(name)) << name;
    EXPECT_TRUE(startsAnArchive(std::string_view("7z\xBC\xAF\x27\x1C\x00\x04", 8)));
    EXPECT_TRUE(startsAnArchive("PK\x03\x04rest"));
    EXPECT_TRUE(startsAnArchive("Rar!\x1A\x07\x01"));
    EXPECT_FALSE(startsAnArchive("<html>"));
    EXPECT_FALSE(startsAnArchive("PK"));
}

// A package is unpacked when all of it is there and holds, each archive from
// its own volumes in reading order; what it waits for is named.
TEST(PackagePlans, UnpackOnlyWholePackagesEachArchiveInOrder) {
    using Kind = PackagePlan::Kind;
    auto file = [](const char* name, bool arrived = true, bool passed = true,
                   bool signature = false) {
        return PackageFile{name, arrived, passed, signature};
    };
    struct Case {
        const char* what;
        std::vector<PackageFile> files;
        Kind kind;
        std::vector<std::string> missing;
        std::vector<std::vector<std::string>> archives;
    };
    const Case cases[] = {
        {"rar parts, read in order",
         {file("f.part2.rar"), file("f.part1.rar"), file("f.part3.rar"), file("info.nfo")},
         Kind::Unpack,
         {},
         {{"f.part1.rar", "f.part2.rar", "f.part3.rar"}}},
        {"a part not yet here",
         {file("f.part1.rar"), file("f.part2.rar", false)},
         Kind::Waiting,
         {"f.part2.rar"},
         {{"f.part1.rar", "f.part2.rar"}}},
        {"a gap no link fills",
         {file("f.part1.rar"), file("f.part3.rar")},
         Kind::Waiting,
         {"f.part2.rar"},
         {{"f.part1.rar", "f.part3.rar"}}},
        {"a split zip, its .zip last",
         {file("f.zip"), file("f.z02"), file("f.z01")},
         Kind::Unpack,
         {},
         {{"f.z01", "f.z02", "f.zip"}}},
        {"two archives and a tar",
         {file("a.7z.002"), file("a.7z.001"), file("b.zip"), file("c.tar.xz")},
         Kind::Unpack,
         {},
         {{"a.7z.001", "a.7z.002"}, {"b.zip"}, {"c.tar.xz"}}},
        {"a cut film", {file("film.001"), file("film.002")}, Kind::Nothing, {}, {}},
        {"two uploads of one name", {file("vol.rar"), file("vol (1).rar"), file("vol.rar")},
         Kind::Unpack, {}, {{"vol.rar"}, {"vol.rar"}, {"vol (1).rar"}}},
        {"numbered archive parts",
         {file("a.001", true, true, true), file("a.002")},
         Kind::Unpack,
         {},
         {{"a.001", "a.002"}}},
        {"a numbered part without part 1", {file("a.002")}, Kind::Waiting, {"a.001"}, {}},
        {"no archive", {file("a.mkv"), file("b.mkv", false)}, Kind::Nothing, {"b.mkv"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PackagePlan plan = planUnpacking(c.files);
        EXPECT_EQ(plan.kind, c.kind);
        EXPECT_EQ(plan.missing, c.missing);
        EXPECT_EQ(plan.archives, c.archives);
    }
    const PackagePlan failed =
        planUnpacking({file("f.part1.rar"), file("f.part2.rar", true, false)});
    EXPECT_EQ(failed.kind, Kind::Waiting);
    EXPECT_EQ(failed.failed, std::vector<std::string>{"f.part2.rar"});
}

TEST(PackageBooks, KnowEachLinksPackageAndKeepItThroughTheirFile) {
    PackageBook book;
    book.place("http://h/f/1", "Nyár\t2026\\x\n");
    EXPECT_EQ(book.packageOf("http://h/f/1", "film.part1.rar"), "Nyár\t2026\\x\n"); // placed first
    EXPECT_EQ(book.packageOf("http://h/2", "film.part2.rar"), "film");
    EXPECT_EQ(book.packageOf("http://h/3", "film.mkv"), "");
    book.arrived("film", {"http://h/2", "/le/film.part2.rar"});
    book.arrived("film", {"http://h/2", "/le/film.part2 (1).rar"}); // downloaded again
    book.setPassword("film", "tit\tok");
    book.setPassword("Üres", "x");
    book.gaveUp("film", {"http://h/3", "film.part3.rar"}); // its package waits for it
    book.gaveUp("film", {"http://h/4", "film\tpart4.rar"});

    const auto back = decodePackages(encodePackages(book));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->placements(), book.placements());
    ASSERT_EQ(back->awaitedOf("film").size(), 2u);
    EXPECT_EQ(back->awaitedOf("film")[1].name, "film\tpart4.rar");
    EXPECT_EQ(*back->awaitedIn("http://h/3"), "film"); // a link requeued finds its package
    book.arrived("film", {"http://h/4", "/le/film.part4.rar"}); // it came again after all
    ASSERT_EQ(book.awaitedOf("film").size(), 1u);
    EXPECT_EQ(book.awaitedIn("http://h/4"), nullptr);
    ASSERT_EQ(back->arrivedOf("film").size(), 1u);
    EXPECT_EQ(back->arrivedOf("film")[0].path, "/le/film.part2 (1).rar");
    EXPECT_EQ(*back->passwordOf("film"), "tit\tok");
    EXPECT_EQ(*back->passwordOf("Üres"), "x");

    book.rename("film", "Film 2026");
    EXPECT_TRUE(book.arrivedOf("film").empty());
    EXPECT_EQ(book.arrivedOf("Film 2026").size(), 2u);
    EXPECT_EQ(*book.passwordOf("Film 2026"), "tit\tok");
    EXPECT_EQ(*book.awaitedIn("http://h/3"), "Film 2026");
    book.close("Film 2026");
    EXPECT_TRUE(book.arrivedOf("Film 2026").empty());
    EXPECT_EQ(book.awaitedIn("http://h/3"), nullptr);
    EXPECT_EQ(book.passwordOf("Film 2026"), nullptr);

    EXPECT_FALSE(decodePackages("L\ta\tb\n"));
    const auto partly =
        decodePackages("Vardelo packages 1\r\nL\ta\tb\r\nL\tbad\\q\tc\nX\t1\nA\tp\tl\t\nL\tc\td");
    ASSERT_TRUE(partly);
    EXPECT_EQ(partly->placements(), (std::map<std::string, std::string>{{"a", "b"}, {"c", "d"}}));
    EXPECT_TRUE(partly->parts().empty());
}

} // namespace
} // namespace vardelo
