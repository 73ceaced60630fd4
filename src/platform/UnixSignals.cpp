#include "platform/UnixSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vardelo {
namespace {

constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

int signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kTerminationSignals)
        ::sigaction(number, &action, nullptr);
}

} // namespace

void UnixSignals::catchTermination() {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    setHandler(onSignal);
}

UnixSignals::UnixSignals(QObject* parent) : QObject(parent) {
    catchTermination();
    if (signalPipe[0] < 0)
        return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &UnixSignals::readPipe);
}

UnixSignals::~UnixSignals() {
    setHandler(SIG_DFL);
}

void UnixSignals::readPipe() {
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1)
        Q_EMIT terminationRequested(byte);
}

} // namespace vardelo
