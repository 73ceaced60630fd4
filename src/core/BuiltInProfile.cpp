#include "core/BuiltInProfile.h"

#include "core/HostProfile.h"
#include "core/WaitPage.h"

#include <stdexcept>

namespace vardelo {
namespace {

PageReader designedReader(std::string_view marker, std::string_view end) {
    return {PageReader::Kind::Designed, std::string(marker), std::string(end), false};
}

std::shared_ptr<const CompiledProfile> compileBuiltIn() {
    ProfileStep firstPage;
    firstPage.name = "first page";
    firstPage.submit = "ff";
    firstPage.submitForm = true;
    firstPage.texts.notLoaded = "the link's page did not load";
    firstPage.texts.noElement = "the link's page has no free-user form (\"ff\")";

    ProfileStep waitPage;
    waitPage.name = "wait page";
    waitPage.address = designedReader(kWaitPageAddressMarker, kWaitPageAddressEnd);
    waitPage.wait = designedReader(kWaitPageWaitMarker, kWaitPageWaitEnd);
    waitPage.addressBeforeWait = true;
    waitPage.readsAgainDuringWait = true;
    waitPage.texts.notLoaded = "the wait page did not load";
    waitPage.texts.unreadable = "the wait page's text could not be read";
    waitPage.texts.noAddress = "no download address on the wait page";
    waitPage.texts.noWait = "no usable waiting time on the wait page";

    HostProfile profile;
    profile.name = "built-in";
    profile.steps = {std::move(firstPage), std::move(waitPage)};
    profile.designedTransfer = true;
    std::string reason;
    auto compiled = CompiledProfile::compile(std::move(profile), &reason);
    if (!compiled) // the program's own steps: a fault here is the program's
        throw std::logic_error("the built-in profile does not compile: " + reason);
    return compiled;
}

} // namespace

std::shared_ptr<const CompiledProfile> builtInProfile() {
    static const std::shared_ptr<const CompiledProfile> profile = compileBuiltIn();
    return profile;
}

} // namespace vardelo
