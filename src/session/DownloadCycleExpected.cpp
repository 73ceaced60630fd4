// What a profile's step page says of the file, read after its name: an
// exact size or a digest the transfer checks the arrived file against. A
// reading that makes no sense is named in the diagnostics log and left
// out: it never fails a try by itself.
#include "session/DownloadCycle.h"

#include "core/ExpectedFile.h"
#include "core/HostProfile.h"
#include "platform/Diagnostics.h"
#include "platform/QtText.h"

namespace vardelo {
namespace {

std::string shownText(const std::string& text) {
    return toStd(toQt(decodeCharacterReferences(text)).simplified());
}

} // namespace

bool DownloadCycle::stepSizeRead(const std::optional<std::string>& text) {
    if (text) {
        const std::string shown = shownText(*text);
        if (const std::optional<SizeReading> size = readSizeText(shown)) {
            // A rounded size is the page's display, not the file's length.
            if (size->exact)
                expectedFile_.exactSize = size->bytes;
            tell(CycleStep::FileCheck, stepName() + ": " + std::to_string(size->bytes) +
                                           (size->exact ? " bytes" : " bytes, rounded"));
        } else {
            qCWarning(lcCycle).noquote() << toQt(stepName()) << "size reader: no size in"
                                         << toQt("\"" + shown + "\"") << "-" << toQt(link_);
        }
    }
    return true;
}

bool DownloadCycle::stepHashRead(const std::optional<std::string>& text) {
    if (text) {
        const std::string shown = shownText(*text);
        if (const std::optional<ExpectedDigest> digest =
                readDigest(shown, currentStep().hashType)) {
            expectedFile_.digest = *digest;
            tell(CycleStep::FileCheck,
                 stepName() + ": " + digestKindLabel(digest->kind) + " " + digest->hex);
        } else {
            qCWarning(lcCycle).noquote()
                << toQt(stepName()) << "hash reader: no digest of a known kind in"
                << toQt("\"" + shown + "\"") << "-" << toQt(link_);
        }
    }
    return true;
}

} // namespace vardelo
