// A folder's pages: each is checked as a first page is (dead, sent with an
// error status), its captcha asked once, then every file it lists read,
// its package name on the first page, and its next page followed until
// none is left, one is read twice or the walk has read its most. The files
// then take the folder's place in the queue; a folder that lists none is a
// dead link.
#include "session/DownloadCycle.h"

#include "core/ListText.h"
#include "platform/Browser.h"
#include "platform/Diagnostics.h"
#include "platform/QtText.h"

#include <QTimer>

namespace vardelo {
namespace {

// The probe shows the first of a folder's files.
constexpr std::size_t kFilesTold = 10;

std::string shownText(const std::string& text) {
    return toStd(toQt(decodeCharacterReferences(text)).simplified());
}

QString selectorOf(const std::optional<PageReader>& reader) {
    return reader ? toQt(reader->first) : QString();
}

QString attributeOf(const std::optional<PageReader>& reader) {
    return reader && reader->hasAttribute ? toQt(reader->second) : QString();
}

} // namespace

bool DownloadCycle::beyondFirstFolderPage() const {
    return folder_ && folder_->walk.pages().size() > 1;
}

// A failure on a folder's later page says nothing of the folder.
bool DownloadCycle::firstPageFailure() const {
    return state_ == CycleState::FirstPage && !beyondFirstFolderPage();
}

void DownloadCycle::readFolderPage() {
    if (!folder_)
        folder_.emplace(FolderRead{FolderWalk(link_)});
    // Where a page was sent on to, a next page pointing there is read already.
    folder_->walk.markRead(toStd(browser_.pageAddress()));
    if (!folder_->captchaAsked && !profile_->captcha(step_).empty()) {
        checkCaptcha(ProfileRead::CaptchaAtStart);
        return;
    }
    readFolderEntries();
}

void DownloadCycle::readFolderEntries() {
    const FolderFiles& files = *profile_->profile().files;
    const std::size_t room = folder_->walk.room();
    if (files.address.kind == PageReader::Kind::Selector) {
        Browser::EntryQuery query;
        query.selector = toQt(files.address.first);
        query.attribute = files.address.hasAttribute ? toQt(files.address.second) : QString();
        query.nameSelector = selectorOf(files.name);
        query.nameAttribute = attributeOf(files.name);
        query.sizeSelector = selectorOf(files.size);
        query.sizeAttribute = attributeOf(files.size);
        query.limit = static_cast<int>(room);
        browser_.readEntries(profileRequest(ProfileRead::FolderEntries), query);
        return;
    }
    bool more = false;
    const std::vector<FolderEntry> entries = profile_->readFolderEntries(Memo1, room, &more);
    addFolderEntries(entries, more);
}

void DownloadCycle::folderEntriesRead(quint64 ticket, bool ok, const QList<QStringList>& entries,
                                      bool more) {
    if (ticket != profileTicket_ || reading_ != ProfileRead::FolderEntries)
        return;
    reading_ = ProfileRead::None;
    if (!ok) {
        pageFailed(beyondFirstFolderPage() ? OutcomeKind::WaitPageUnreadable
                                           : OutcomeKind::DeadLink,
                   FailureKind::PageUnreadable, "the folder's files could not be read");
        return;
    }
    std::vector<FolderEntry> read;
    read.reserve(static_cast<std::size_t>(entries.size()));
    for (const QStringList& entry : entries) {
        if (entry.size() == 3)
            read.push_back({toStd(entry[0]), toStd(entry[1]), toStd(entry[2])});
    }
    addFolderEntries(read, more);
}

// An entry whose address is no http(s) one, or carries control characters,
// is left out as the add box leaves such a link out.
void DownloadCycle::addFolderEntries(const std::vector<FolderEntry>& entries, bool more) {
    for (const FolderEntry& entry : entries) {
        const std::string written = decodeCharacterReferences(entry.address);
        const std::optional<std::string> address =
            hasControlCharacters(written) ? std::nullopt : fetchableAddress(written);
        if (!address) {
            qCInfo(lcCycle).noquote()
                << "folder entry left out:" << toQt(controlsReplaced(written));
            continue;
        }
        if (!folder_->walk.add({*address, shownText(entry.name), shownText(entry.size)}))
            break;
    }
    if (more && !folder_->walk.cut())
        qCWarning(lcCycle).noquote()
            << "the folder" << toQt(link_) << "lists more than" << FolderWalk::kMostFiles
            << "files: the first" << FolderWalk::kMostFiles << "are queued";
    if (more)
        folder_->walk.markCut();
    readFolderPackage();
}

void DownloadCycle::readFolderPackage() {
    const auto& reader = profile_->profile().package;
    if (!reader || beyondFirstFolderPage()) {
        readNextFolderPage();
        return;
    }
    readValue(ProfileRead::Package);
}

void DownloadCycle::folderPackageRead(const std::optional<std::string>& text) {
    if (text)
        folder_->walk.setPackage(shownText(*text));
    readNextFolderPage();
}

void DownloadCycle::readNextFolderPage() {
    const auto& reader = profile_->profile().next;
    if (!reader || folder_->walk.cut()) {
        folderRead();
        return;
    }
    readValue(ProfileRead::NextPage);
}

// A next page already read (or none) ends the walk.
void DownloadCycle::nextFolderPageRead(const std::optional<std::string>& text) {
    const std::optional<std::string> address = text ? fetchableAddress(*text) : std::nullopt;
    if (!address || !folder_->walk.goesTo(*address)) {
        folderRead();
        return;
    }
    folder_->walk.enter(*address);
    state_ = CycleState::FirstPage;
    armWatchdog();
    browser_.navigate(toQt(*address));
}

void DownloadCycle::folderRead() {
    pageWatchdog_->stop();
    if (folder_->walk.entries().empty()) {
        pageFailed(OutcomeKind::DeadLink, FailureKind::FileGone, "the folder lists no file");
        return;
    }
    const FolderWalk walk = std::move(folder_->walk);
    if (trace_) {
        endAttempt();
        for (std::size_t i = 0; i < walk.entries().size() && i < kFilesTold; ++i) {
            const FolderEntry& entry = walk.entries()[i];
            tell(CycleStep::FolderFile, entry.address + " (" +
                                            (entry.name.empty() ? "no name" : entry.name) + ", " +
                                            (entry.size.empty() ? "no size" : entry.size) + ")");
        }
        tell(CycleStep::Folder, std::to_string(walk.entries().size()) + " files over " +
                                    std::to_string(walk.pages().size()) + " pages, package: " +
                                    (walk.package().empty() ? "(none)" : walk.package()) +
                                    (walk.cut() ? ", more left out" : ""));
        return;
    }
    qCInfo(lcCycle).noquote() << "folder read:" << toQt(link_) << walk.entries().size()
                              << "files over" << walk.pages().size() << "pages";
    endAttempt();
    captchaSkips_ = 0;
    session_.expandFolder(link_, walk);
    if (session_.runSettings().letoltes_utan_stop) {
        Q_EMIT statusShown(QString());
        Q_EMIT runControlsShown(RunControls::Idle);
        return;
    }
    session_.cycleFree();
}

} // namespace vardelo
