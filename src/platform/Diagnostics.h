#pragma once

#include <QLoggingCategory>
#include <QString>

#include <cstdint>

// One category per subsystem; the diagnostics log takes every message of
// the "vardelo." categories, and the browser engine's own ("qt.webengine").
Q_DECLARE_LOGGING_CATEGORY(lcCycle)    // the download cycle and its outcomes
Q_DECLARE_LOGGING_CATEGORY(lcTransfer) // the transfer worker
Q_DECLARE_LOGGING_CATEGORY(lcBrowser)  // the embedded browser: loads, scripts, its processes
Q_DECLARE_LOGGING_CATEGORY(lcRecords)  // the stored queue and log
Q_DECLARE_LOGGING_CATEGORY(lcPackages) // packages and their unpacking

namespace vardelo {

// $XDG_STATE_HOME/Vardelo, or ~/.local/state/Vardelo.
QString diagnosticsFolder();

// While it lives, the messages of the program's categories go, time-stamped,
// to <folder>/vardelo.log, readable by its user only (the folder 0700, the
// files 0600). A file past the limit becomes vardelo.log.1 (the
// one before it goes), so at most two files are kept. A folder that cannot
// be written gives no file and one line on standard error; the program runs
// on as before.
class DiagnosticsLog {
  public:
    static constexpr std::int64_t kDefaultLimit = 4 * 1024 * 1024;

    explicit DiagnosticsLog(const QString& folder, std::int64_t limitBytes = kDefaultLimit);
    ~DiagnosticsLog();
    DiagnosticsLog(const DiagnosticsLog&) = delete;
    DiagnosticsLog& operator=(const DiagnosticsLog&) = delete;

    bool writing() const { return writing_; }

  private:
    bool writing_ = false;
};

} // namespace vardelo
