#pragma once

#include "core/SettingsTable.h"

#include <chrono>
#include <string>

namespace vardelo {

// The run's settings as values: the window's controls write them when they
// change, and the session and its cycles read them at the moment they act.
struct RunSettings {
    int ujra = 5;                    // tries before a link is given up
    int elhalt = 5;                  // seconds of the wait after a dead link
    std::string Mentes_helye;        // the target folder
    bool letoltes_utan_stop = false; // the run ends with the link it is at
    CaptchaChoice captchaChoice = CaptchaChoice::Wait;
    std::chrono::minutes captchaTime{5}; // the user's time for a captcha
    int Egyszerre = 1;                   // links downloaded at once
    bool packageFolders = true;          // a package of several files gets a folder of its own
    bool deletePartsAfterUnpacking = false;
    std::string programAfterPackage; // started with the package's folder and name; empty: none
};

} // namespace vardelo
