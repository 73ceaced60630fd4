#include "session/PackageRun.h"

#include "core/ArchiveSet.h"
#include "core/DownloadQueue.h"
#include "core/FileReply.h"
#include "core/IoError.h"
#include "core/PackagePlan.h"
#include "platform/Diagnostics.h"
#include "platform/QtText.h"
#include "platform/SecretFile.h"
#include "session/RunSettings.h"
#include "session/UnpackQueue.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <sys/stat.h>

#include <algorithm>
#include <unordered_set>

namespace vardelo {
namespace {

std::string baseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// The name a stored file was meant to have: "film.part1 (1).rar" was stored
// so because "film.part1.rar" was taken.
std::string withoutCopyNumber(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    const std::size_t end = dot == std::string::npos || dot == 0 ? name.size() : dot;
    if (end < 4 || name[end - 1] != ')')
        return name;
    const std::size_t open = name.rfind(" (", end);
    if (open == std::string::npos || open + 3 > end - 1)
        return name;
    const std::string digits = name.substr(open + 2, end - 1 - (open + 2));
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), ::isdigit))
        return name;
    return name.substr(0, open) + name.substr(end);
}

// A lone archive's package: its name without the archive's ending.
std::string loneArchivePackage(const std::string& name) {
    for (const std::string_view ending :
         {".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst", ".tgz", ".tbz2", ".tbz", ".txz", ".tzst",
          ".tar", ".7z", ".gz", ".bz2", ".xz", ".zst"}) {
        if (name.size() > ending.size() &&
            std::equal(ending.rbegin(), ending.rend(), name.rbegin(), [](char a, char b) {
                return a == std::tolower(static_cast<unsigned char>(b));
            }))
            return name.substr(0, name.size() - ending.size());
    }
    return name;
}

QString joined(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& name : names)
        list << toQt(name);
    return list.join(QStringLiteral(", "));
}

} // namespace

bool isFinal(UnpackResult::Kind kind) {
    using Kind = UnpackResult::Kind;
    return kind == Kind::Damaged || kind == Kind::EncryptedUnsupported || kind == Kind::Bomb;
}

QString unpackOutcomeText(const UnpackResult& result) {
    using Kind = UnpackResult::Kind;
    switch (result.kind) {
    case Kind::Unpacked:
        return QStringLiteral("Kicsomagolva: %1 fájl").arg(result.files);
    case Kind::PasswordNeeded:
        return QStringLiteral("Jelszó szükséges");
    case Kind::EncryptedUnsupported:
        return QStringLiteral("Titkosított RAR/7z: a program nem tudja kicsomagolni");
    case Kind::Damaged:
        return QStringLiteral("Sérült archívum");
    case Kind::NoSpace:
        return QStringLiteral("Nincs elég hely a lemezen");
    case Kind::Bomb:
        return QStringLiteral("Gyanúsan nagyra bomlik ki: megállítva");
    case Kind::WriteFailed:
        return QStringLiteral("A mappa nem írható");
    case Kind::Stopped:
        break;
    }
    return QStringLiteral("Kicsomagolás megszakítva");
}

PackageRun::PackageRun(const DownloadQueue& queue, const RunSettings& settings, FolderOf folderOf,
                       KnownNameOf knownNameOf, QObject* parent)
    : QObject(parent), queue_(queue), folderOf_(std::move(folderOf)),
      knownNameOf_(std::move(knownNameOf)), settings_(settings), unpacker_(new UnpackQueue(this)) {
    connect(unpacker_, &UnpackQueue::progressed, this, [this](const QString& package, int percent) {
        const QString progress = QStringLiteral("Kicsomagolás %1 %").arg(percent);
        states_[toStd(package)] = progress;
        Q_EMIT statesChanged();
        Q_EMIT unpackingShown(package + QStringLiteral(": ") + progress);
    });
    connect(unpacker_, &UnpackQueue::finished, this, &PackageRun::unpacked);
}

PackageRun::~PackageRun() = default;

std::string PackageRun::givenPackageOf(const std::string& link) const {
    if (const std::string* placed = book_.placedIn(link))
        return *placed;
    if (const std::string* waiting = book_.awaitedIn(link))
        return *waiting;
    return folderOf_ ? folderOf_(link) : std::string();
}

std::string PackageRun::expectedNameOf(const std::string& link) const {
    std::string known = knownNameOf_ ? knownNameOf_(link) : std::string();
    return known.empty() ? addressFileName(link) : known;
}

std::string PackageRun::packageOf(const std::string& link) const {
    std::string given = givenPackageOf(link);
    return given.empty() ? book_.packageOf(link, expectedNameOf(link)) : given;
}

QString PackageRun::stateOf(const std::string& package) const {
    if (const auto found = states_.find(package); found != states_.end())
        return found->second;
    return partsOf(package);
}

QString PackageRun::partsOf(const std::string& package) const {
    const auto& counts = partCounts();
    const auto counted = counts.find(package);
    return counted == counts.end() ? QString() : counted->second;
}

const std::map<std::string, QString>& PackageRun::partCounts() const {
    if (counts_)
        return *counts_;
    std::map<std::string, std::pair<std::size_t, std::size_t>> tally; // arrived, all
    for (const auto& [package, parts] : book_.parts())
        tally[package] = {parts.size(), parts.size()};
    std::unordered_set<std::string> seen;
    for (int row = 1; row < queue_.rowCount(); ++row) {
        const std::string& link = queue_.url(row);
        if (link.empty() || !seen.insert(link).second)
            continue;
        if (const std::string package = packageOf(link); !package.empty())
            ++tally[package].second;
    }
    for (const auto& [package, parts] : book_.awaited())
        tally[package].second += awaitedOnly(package).size();
    counts_.emplace();
    for (const auto& [package, count] : tally)
        if (count.second > 1)
            (*counts_)[package] = QStringLiteral("%1/%2 rész").arg(count.first).arg(count.second);
    return *counts_;
}

std::vector<PackageRun::KnownFile> PackageRun::filesOf(const std::string& package) const {
    std::vector<KnownFile> files;
    std::unordered_set<std::string> arrivedLinks;
    for (const ArrivedPart& part : book_.arrivedOf(package)) {
        files.push_back({withoutCopyNumber(baseName(part.path)), part.path});
        arrivedLinks.insert(part.link);
    }
    for (int row = 1; row < queue_.rowCount(); ++row) {
        const std::string& link = queue_.url(row);
        if (link.empty() || arrivedLinks.contains(link) || packageOf(link) != package)
            continue;
        const std::string name = expectedNameOf(link);
        files.push_back({name.empty() ? link : name, {}});
        arrivedLinks.insert(link);
    }
    for (const AwaitedPart& part : awaitedOnly(package))
        files.push_back({part.name.empty() ? part.link : part.name, {}});
    return files;
}

// The package's own folder in `parent`; `parent` itself when the package's
// name makes no folder name.
static std::string packageFolderIn(const std::string& parent, const std::string& package) {
    const std::string name = safeFileName(package);
    return name.empty() ? parent : parent + "/" + name;
}

// Where a package is unpacked: beside its parts when they lie in its own
// folder, else in a folder of its name beside them. The parts' place, not
// the settings', decides: they may have changed since the parts came.
std::string PackageRun::unpackFolderOf(const std::string& package, const std::string& firstPart) {
    const std::string folder = firstPart.substr(0, firstPart.find_last_of('/'));
    const std::string name = safeFileName(package);
    if (name.empty() || baseName(folder) == name)
        return folder;
    return folder + "/" + name;
}

std::string PackageRun::targetFolderFor(const std::string& link) {
    const std::string package = packageOf(link);
    if (!settings_.packageFolders || settings_.Mentes_helye.empty() || package.empty() ||
        filesOf(package).size() < 2)
        return settings_.Mentes_helye;
    const std::string folder = packageFolderIn(settings_.Mentes_helye, package);
    struct stat info {};
    if (::mkdir(folder.c_str(), 0755) == 0 ||
        (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)))
        return folder;
    qCWarning(lcPackages).noquote() << "cannot make the package folder" << toQt(folder);
    return settings_.Mentes_helye;
}

void PackageRun::partArrived(const std::string& link, const std::string& path,
                             const std::string& given, const std::string* password) {
    const std::string name = withoutCopyNumber(baseName(path));
    std::string package = given.empty() ? book_.packageOf(link, name) : given;
    if (package.empty() && isArchiveName(name))
        package = loneArchivePackage(name);
    if (package.empty())
        return;
    book_.arrived(package, {link, path});
    book_.forget(link);
    if (password && !book_.passwordOf(package))
        book_.setPassword(package, *password);
    save();
    consider(package);
}

// The parts given up that nothing arrived or queued stands for: neither
// their link nor a file of their name (another host's copy, say).
std::vector<AwaitedPart> PackageRun::awaitedOnly(const std::string& package) const {
    const std::vector<AwaitedPart>& awaited = book_.awaitedOf(package);
    if (awaited.empty())
        return {};
    std::unordered_set<std::string> standIns;
    for (const ArrivedPart& part : book_.arrivedOf(package)) {
        standIns.insert(part.link);
        standIns.insert(withoutCopyNumber(baseName(part.path)));
    }
    for (int row = 1; row < queue_.rowCount(); ++row)
        if (const std::string& link = queue_.url(row); !link.empty() && packageOf(link) == package) {
            standIns.insert(link);
            standIns.insert(expectedNameOf(link));
        }
    std::vector<AwaitedPart> left;
    for (const AwaitedPart& part : awaited)
        if (!standIns.contains(part.link) && !standIns.contains(part.name))
            left.push_back(part);
    return left;
}

void PackageRun::partGivenUp(const std::string& link) {
    const std::string package = packageOf(link);
    if (package.empty() || filesOf(package).size() < 2)
        return;
    book_.gaveUp(package, {link, expectedNameOf(link)});
    save();
    consider(package);
}

void PackageRun::place(const std::vector<std::string>& links, const std::string& package) {
    for (const std::string& link : links)
        book_.place(link, package);
    save();
}

void PackageRun::rename(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty() || from == to)
        return;
    // Links judged by their archive set go by name: they are placed first.
    for (int row = 1; row < queue_.rowCount(); ++row)
        if (const std::string& link = queue_.url(row); !link.empty() && packageOf(link) == from)
            book_.place(link, from);
    book_.rename(from, to);
    if (auto state = states_.extract(from))
        states_[to] = state.mapped();
    save();
    Q_EMIT statesChanged();
}

void PackageRun::drop(const std::string& package) {
    if (unpacking_.contains(package))
        return; // the worker has it: what it finds is still logged
    book_.close(package);
    states_.erase(package);
    save();
    Q_EMIT statesChanged();
}

void PackageRun::givePassword(const std::string& package, const std::string& password) {
    book_.setPassword(package, password);
    save();
    consider(package);
}

void PackageRun::consider(const std::string& package) {
    if (unpacking_.contains(package))
        return;
    const std::vector<KnownFile> files = filesOf(package);
    std::vector<PackageFile> parts;
    std::map<std::string, std::string> pathByName;
    for (const KnownFile& file : files) {
        PackageFile part{file.name, !file.path.empty(), true, false};
        if (part.arrived) {
            QFile start(toQt(file.path));
            part.startsArchive =
                start.open(QIODevice::ReadOnly) && startsAnArchive(start.read(8).toStdString());
            pathByName[file.name] = file.path;
        }
        parts.push_back(part);
    }
    const PackagePlan plan = planUnpacking(parts);
    switch (plan.kind) {
    case PackagePlan::Kind::Nothing:
        states_.erase(package);
        if (plan.missing.empty()) {
            book_.close(package);
            save();
            if (files.size() > 1)
                Q_EMIT packageReady(toQt(package));
        }
        break;
    case PackagePlan::Kind::Waiting:
        states_[package] = plan.missing.empty()
                               ? QStringLiteral("Hibás rész: %1").arg(joined(plan.failed))
                               : QStringLiteral("Hiányzó rész: %1").arg(joined(plan.missing));
        break;
    case PackagePlan::Kind::Unpack: {
        std::vector<std::string> passwords;
        if (const std::string* own = book_.passwordOf(package))
            passwords.push_back(*own);
        passwords.insert(passwords.end(), passwordList_.begin(), passwordList_.end());
        unpacking_.insert(package);
        states_[package] = QStringLiteral("Kicsomagolás 0 %");
        for (const std::vector<std::string>& archive : plan.archives) {
            UnpackJob job;
            for (const std::string& name : archive)
                job.volumes.push_back(pathByName[name]);
            job.folder = unpackFolderOf(package, job.volumes.front());
            unpackFolders_[package] = job.folder;
            job.passwords = passwords;
            ++archivesLeft_[package];
            unpacker_->enqueue(toQt(package), std::move(job));
        }
        break;
    }
    }
    Q_EMIT statesChanged();
}

void PackageRun::unpacked(const QString& packageName, const UnpackResult& result) {
    const std::string package = toStd(packageName);
    PackageOutcome& outcome = outcomes_[package];
    if (result.kind == UnpackResult::Kind::Unpacked) {
        outcome.files += result.files;
    } else if (!outcome.failure) {
        outcome.failure = result;
    }
    if (--archivesLeft_[package] > 0)
        return;
    Q_EMIT unpackingShown(QString());
    archivesLeft_.erase(package);
    unpacking_.erase(package);
    const PackageOutcome ended = outcomes_[package];
    outcomes_.erase(package);
    const std::string folder = unpackFolders_[package];
    unpackFolders_.erase(package);
    if (ended.failure) {
        qCWarning(lcPackages).noquote()
            << "unpacking failed:" << packageName << "-" << toQt(ended.failure->detail);
        const QString text = unpackOutcomeText(*ended.failure);
        states_[package] = text;
        Q_EMIT statesChanged();
        if (ended.failure->kind == UnpackResult::Kind::PasswordNeeded)
            Q_EMIT passwordWanted(packageName);
        else if (ended.failure->kind != UnpackResult::Kind::Stopped)
            Q_EMIT logEntryReady({package, toStd(text), {}, {}});
        // What no later try can mend is not tried at every start again; the
        // parts stay for the user.
        if (isFinal(ended.failure->kind)) {
            book_.close(package);
            save();
        }
        return;
    }
    UnpackResult done;
    done.kind = UnpackResult::Kind::Unpacked;
    done.files = ended.files;
    qCInfo(lcPackages).noquote() << "unpacked" << packageName << ended.files << "files";
    if (settings_.deletePartsAfterUnpacking)
        for (const ArrivedPart& part : book_.arrivedOf(package))
            QFile::remove(toQt(part.path));
    book_.close(package);
    save();
    states_.erase(package);
    Q_EMIT logEntryReady({package, toStd(unpackOutcomeText(done)), {}, {}});
    Q_EMIT statesChanged();
    Q_EMIT packageReady(packageName);
    runProgramAfter(package, folder);
}

void PackageRun::runProgramAfter(const std::string& package, const std::string& folder) {
    if (settings_.programAfterPackage.empty())
        return;
    auto* program = new QProcess(this);
    program->setProgram(toQt(settings_.programAfterPackage));
    program->setArguments({toQt(folder), toQt(package)});
    program->setStandardInputFile(QProcess::nullDevice());
    program->setStandardOutputFile(QProcess::nullDevice());
    program->setStandardErrorFile(QProcess::nullDevice());
    const QString name = toQt(package);
    connect(program, &QProcess::finished, this,
            [program, name](int status, QProcess::ExitStatus how) {
                qCInfo(lcPackages).noquote()
                    << "the program after" << name << "ended:"
                    << (how == QProcess::NormalExit ? QStringLiteral("status %1").arg(status)
                                                    : QStringLiteral("crashed"));
                program->deleteLater();
            });
    connect(program, &QProcess::errorOccurred, this, [program, name](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        qCWarning(lcPackages).noquote()
            << "the program after" << name << "did not start:" << program->errorString();
        program->deleteLater();
    });
    program->start();
}

void PackageRun::resumeArrived() {
    std::vector<std::string> packages;
    for (const auto& [package, parts] : book_.parts())
        packages.push_back(package);
    for (const std::string& package : packages)
        consider(package);
}

void PackageRun::keepIn(const QString& folder) {
    file_ = folder + QLatin1Char('/') + QLatin1String(kPackagesFileName);
    const SecretFileRead read = readSecretFile(file_, kPackagesFileLimit);
    if (!read.refusal.empty()) {
        qCWarning(lcPackages).noquote() << toQt(read.refusal);
        file_.clear(); // what is there is not replaced by less
        return;
    }
    if (!read.text)
        return;
    if (auto book = decodePackages(*read.text)) {
        book_ = std::move(*book);
        return;
    }
    qCWarning(lcPackages).noquote() << "not a packages file, left as it is:" << file_;
    file_.clear();
}

void PackageRun::save() {
    counts_.reset(); // the book changed
    if (file_.isEmpty())
        return;
    // Placements of links no longer queued go with them.
    std::unordered_set<std::string> queued;
    for (int row = 1; row < queue_.rowCount(); ++row)
        queued.insert(queue_.url(row));
    std::vector<std::string> gone;
    for (const auto& [link, package] : book_.placements())
        if (!queued.contains(link))
            gone.push_back(link);
    for (const std::string& link : gone)
        book_.forget(link);
    try {
        writeSecretFile(file_, encodePackages(book_));
    } catch (const IoError& error) {
        qCWarning(lcPackages).noquote() << "cannot write" << file_ << "- error" << error.code();
    }
}

} // namespace vardelo
