#pragma once

#include <memory>

namespace vardelo {

class CompiledProfile;

// The host of every link no profile file claims, as designed: its first
// page's form "ff" is submitted as soon as the page completes; the wait
// page gives the file's address (the action of the form dlf) and the wait
// ("var c=N;"), and is read afresh whenever it loads again during the
// countdown; the file is asked for as designed. It claims no link itself.
std::shared_ptr<const CompiledProfile> builtInProfile();

} // namespace vardelo
