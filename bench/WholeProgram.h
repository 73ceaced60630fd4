// A whole program run by a benchmark: copied into a folder of its own,
// started with a home of its own, ended as a desktop session ends it, and
// what it and all its children use, read from /proc.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vardelo {

// The program, its descendants and what they use, read from /proc.
inline std::vector<pid_t> processTree(pid_t root) {
    std::map<pid_t, std::vector<pid_t>> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        children[parent].push_back(pid);
    }
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (pid_t child : children[tree[i]])
            tree.push_back(child);
    return tree;
}

inline long long statusKiB(pid_t pid, const char* file, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    std::string name;
    long long value = 0;
    while (in >> name) {
        if (name == field) {
            in >> value;
            return value;
        }
        in.ignore(1 << 16, '\n');
    }
    return 0;
}

struct Usage {
    double rssMiB = 0;
    double pssMiB = 0;
    int processes = 0;
};

// What a process of the tree is: the program, or the engine helper's
// `--type=` (zygote, gpu-process, utility, renderer).
inline std::string processKind(pid_t pid, pid_t root) {
    if (pid == root)
        return "program";
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
    std::string argument;
    while (std::getline(in, argument, '\0'))
        if (argument.starts_with("--type="))
            return argument.substr(7);
    return "other";
}

inline Usage usageOf(pid_t root) {
    Usage usage;
    for (pid_t pid : processTree(root)) {
        usage.rssMiB += statusKiB(pid, "status", "VmRSS:") / 1024.0;
        usage.pssMiB += statusKiB(pid, "smaps_rollup", "Pss:") / 1024.0;
        ++usage.processes;
    }
    return usage;
}

inline pid_t launch(const std::string& program, const std::string& home,
                    std::vector<std::string> arguments = {}) {
    std::vector<std::string> texts{"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                                   "XDG_DATA_HOME=" + home + "/data",
                                   "XDG_STATE_HOME=" + home + "/state"};
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (!text.starts_with("HOME=") && !text.starts_with("XDG_CONFIG_HOME=") &&
            !text.starts_with("XDG_DATA_HOME=") && !text.starts_with("XDG_STATE_HOME="))
            texts.push_back(text);
    }
    std::vector<char*> env;
    for (std::string& text : texts)
        env.push_back(text.data());
    env.push_back(nullptr);
    std::string path = program;
    std::vector<char*> argv{path.data()};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // The program's own chatter would bury the figures.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, path.c_str(), &quiet, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&quiet);
    return failed ? -1 : pid;
}

// Ends the program as a desktop session would, and whatever it left.
inline void finish(pid_t pid) {
    const std::vector<pid_t> tree = processTree(pid);
    ::kill(pid, SIGTERM);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > limit) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (pid_t helper : tree)
        if (helper != pid)
            ::kill(helper, SIGKILL); // its helpers, should any outlive it
}

inline std::string copyProgram(const QString& source, const QString& folder) {
    QDir().mkpath(folder);
    const QString target = folder + QStringLiteral("/vardelo");
    QFile::copy(source, target);
    QFile::setPermissions(target, QFile::permissions(source));
    // The browser's module, where the build has one beside the program.
    const QString module =
        QFileInfo(source).absolutePath() + QStringLiteral("/vardelo_webengine.so");
    if (QFileInfo::exists(module))
        QFile::copy(module, folder + QStringLiteral("/vardelo_webengine.so"));
    return target.toStdString();
}

} // namespace vardelo
