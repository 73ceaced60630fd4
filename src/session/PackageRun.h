#pragma once

#include "core/EventLog.h"
#include "core/PackageBook.h"
#include "platform/ArchiveUnpacker.h"

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vardelo {

class DownloadQueue;
class UnpackQueue;
struct RunSettings;

// The queue's links kept together in packages: a package of more than one
// file downloads into a folder of its own, and once every part of it has
// arrived it is unpacked on the worker, one package at a time. What became
// of it is logged, and its rows say what it waits for.
class PackageRun final : public QObject {
    Q_OBJECT
  public:
    // The folder a link came in, for its package's name; empty when none.
    using FolderOf = std::function<std::string(const std::string& link)>;
    // The name a link's file is known by (from the link check or its
    // folder); empty when none is known yet.
    using KnownNameOf = std::function<std::string(const std::string& link)>;
    PackageRun(const DownloadQueue& queue, const RunSettings& settings, FolderOf folderOf,
               KnownNameOf knownNameOf, QObject* parent = nullptr);
    ~PackageRun() override;

    // The package of a queued link: the one it was put in, its folder's,
    // else its archive set's; empty for a link of its own.
    std::string packageOf(const std::string& link) const;
    // The package it was put in or its folder's; empty when neither.
    std::string givenPackageOf(const std::string& link) const;
    // What the link's package waits for or is doing, for its rows: what it
    // waits for or its unpacking, else how many of its parts have come
    // ("3/12 rész"); empty for a package of one file with nothing to say.
    QString stateOf(const std::string& package) const;
    // The folder the link's file goes to, made when missing.
    std::string targetFolderFor(const std::string& link);

    // A link's file arrived whole at `path`: in `given` (givenPackageOf,
    // asked before the link left the queue), else in the package its name
    // tells. The link's own password goes with it to the package.
    void partArrived(const std::string& link, const std::string& path, const std::string& given,
                     const std::string* password);
    // The link is given up while still queued: a package of more files
    // than it waits for its part, through restarts, until it comes again.
    void partGivenUp(const std::string& link);
    // Links put in a package (a folder's files, the user's choice).
    void place(const std::vector<std::string>& links, const std::string& package);
    void rename(const std::string& from, const std::string& to);
    // The package is forgotten: its parts stay on disk, unpacked by no one.
    void drop(const std::string& package);
    // The passwords tried on every package (the settings page's list).
    void setPasswordList(std::vector<std::string> passwords) {
        passwordList_ = std::move(passwords);
    }
    // The user's answer for a package that asked for one: tried at once.
    void givePassword(const std::string& package, const std::string& password);
    // The queue, or what is known of its links' names, changed: the
    // packages' counts are taken anew when next asked.
    void linksChanged() { counts_.reset(); }

    // Where Csomagok.Vdl is kept; read at once, written on every change.
    void keepIn(const QString& folder);
    // Start-up, the queue read: a package whose parts all arrived before
    // (its unpacking cut short by the close) is unpacked now.
    void resumeArrived();

  Q_SIGNALS:
    void logEntryReady(const vardelo::LogEntry& entry);
    void packageReady(const QString& package);
    void passwordWanted(const QString& package);
    // What stateOf says of a package may have changed.
    void statesChanged();
    // What the unpacking is doing, for the status line; empty when it ended.
    void unpackingShown(const QString& text);

  private:
    struct KnownFile {
        std::string name;
        std::string path; // empty while it has not arrived
    };
    // The package's files: those arrived and those still queued.
    std::vector<KnownFile> filesOf(const std::string& package) const;
    std::vector<AwaitedPart> awaitedOnly(const std::string& package) const;
    // The name the link's file goes by until it arrives.
    std::string expectedNameOf(const std::string& link) const;
    // "arrived/all rész" of every package of more than one file.
    const std::map<std::string, QString>& partCounts() const;

  public:
    // How many of the package's parts have come: "3/12 rész"; empty for a
    // package of one file.
    QString partsOf(const std::string& package) const;

  private:
    // Unpacks the package when all of it is here, else says what it waits for.
    void consider(const std::string& package);
    void unpacked(const QString& package, const UnpackResult& result);
    static std::string unpackFolderOf(const std::string& package, const std::string& firstPart);
    void save();
    // The user's program, given the folder and the name as two arguments,
    // never through a shell.
    void runProgramAfter(const std::string& package, const std::string& folder);

    const DownloadQueue& queue_;
    FolderOf folderOf_;
    KnownNameOf knownNameOf_;
    const RunSettings& settings_;
    PackageBook book_;
    UnpackQueue* unpacker_;
    std::vector<std::string> passwordList_;
    // What a package's archives came to, while some are still unpacking.
    struct PackageOutcome {
        int files = 0;
        std::optional<UnpackResult> failure; // the first archive that failed
    };
    std::set<std::string> unpacking_; // handed to the worker, not yet ended
    std::map<std::string, int> archivesLeft_;
    std::map<std::string, PackageOutcome> outcomes_;
    std::map<std::string, std::string> unpackFolders_;             // of those unpacking, by package
    std::map<std::string, QString> states_;                        // by package
    mutable std::optional<std::map<std::string, QString>> counts_; // taken when asked
    QString file_; // Csomagok.Vdl; empty: kept nowhere
};

// An unpacking that ended so fails the same way every time.
bool isFinal(UnpackResult::Kind kind);

// The log's and the rows' words for how an unpacking ended.
QString unpackOutcomeText(const UnpackResult& result);

} // namespace vardelo
