// The local file host on its own: for the demo and the benchmarks.
//   vardelo_testhost [--port N] [--wait S] [--links FILE]
// Serves a handful of sample files (a dead link, a busy page and one link of
// another host's page shape among them),
// writes their links to FILE (or prints them) and runs until killed.
#include "TestHost.h"

#include <archive.h>
#include <archive_entry.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

std::string sampleBody(std::size_t size, unsigned seed) {
    std::string body(size, '\0');
    unsigned state = seed;
    for (char& c : body) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return body;
}

// A zip of a few sample photos, stored as cameras' files are: a real
// archive, so the program unpacks it when it arrives.
std::string photoAlbum() {
    std::string zip(8 << 20, '\0');
    std::size_t used = 0;
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_set_options(a, "zip:compression=store");
    archive_write_open_memory(a, zip.data(), zip.size(), &used);
    for (unsigned n = 1; n <= 3; ++n) {
        const std::string photo = sampleBody(2 << 20, 10 + n);
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, ("photos/IMG_000" + std::to_string(n) + ".jpg").c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(photo.size()));
        archive_write_header(a, entry);
        archive_write_data(a, photo.data(), photo.size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    zip.resize(used);
    return zip;
}

volatile std::sig_atomic_t stopRequested = 0;

} // namespace

int main(int argc, char** argv) {
    int port = 0;
    int wait = 5;
    std::string linksFile;
    std::size_t bigBytes = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--port")
            port = std::atoi(argv[i + 1]);
        else if (option == "--wait")
            wait = std::atoi(argv[i + 1]);
        else if (option == "--links")
            linksFile = argv[i + 1];
        else if (option == "--big")
            bigBytes = std::strtoull(argv[i + 1], nullptr, 10);
    }

    vardelo::TestHost host(port);
    if (host.port() <= 0) {
        std::cerr << "vardelo_testhost: cannot listen\n";
        return 1;
    }
    host.setWaitSeconds(wait);
    using Mode = vardelo::HostedFile::Mode;
    const auto file = [](std::string body, Mode mode, std::size_t piece = 0, int delayMs = 0) {
        vardelo::HostedFile hosted;
        hosted.body = std::move(body);
        hosted.mode = mode;
        if (piece > 0)
            hosted.pieceBytes = piece;
        hosted.pieceDelayMs = delayMs;
        return hosted;
    };
    host.addFile("holiday-photos.zip", file(photoAlbum(), Mode::Slow, 96 * 1024, 40));
    host.addFile("lecture-notes.pdf", file(sampleBody(1'572'864, 2), Mode::Slow, 64 * 1024, 40));
    host.addFile("demo-song.mp3", file(sampleBody(3 << 20, 3), Mode::Chunked));
    host.addFile("field-recording.ogg", file(sampleBody(2 << 20, 5), Mode::Slow, 64 * 1024, 40));
    // For the XFileSharing shapes, beside the links below: a file that
    // wants the script's page as Referer, and one whose free form first
    // says to wait 20 seconds.
    vardelo::HostedFile protectedFile = file(sampleBody(100'000, 6), Mode::Length);
    protectedFile.referer = host.xfsLinkFor("protected.bin");
    host.addFile("protected.bin", protectedFile);
    host.addFile("waiting.bin", file(sampleBody(50'000, 7), Mode::Length));
    host.setNextDownloadWait("waiting.bin", 20, "seconds");
    if (bigBytes > 0)
        host.addFile("big.bin", file(sampleBody(bigBytes, 4), Mode::Length));

    std::string links = host.linkFor("holiday-photos.zip") + "\n" +
                        host.xfsSecondsLinkFor("waiting.bin") + "\n" +
                        host.deadLinkFor("deleted-file.rar") + "\n" +
                        host.xfsLinkFor("protected.bin") + "\n" +
                        host.linkFor("lecture-notes.pdf") + "\n" + host.busyLinkFor("busy.avi") +
                        "\n" + host.redirectFormLinkFor("field-recording.ogg") + "\n" +
                        host.linkFor("demo-song.mp3") + "\n";
    if (linksFile.empty()) {
        std::cout << links << std::flush;
    } else {
        std::ofstream(linksFile) << links;
    }
    std::cout << "vardelo_testhost listening on " << host.base() << std::endl;

    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    while (!stopRequested)
        ::pause();
    return 0;
}
