// The serial component on POSIX systems: a terminal device driven through
// termios, with poll-based receive and transmit threads. Windows has its own
// implementation in tcomm_win.cpp.
#ifndef _WIN32

#include "tcomm.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <utility>

using namespace rfid::comm;

namespace {

using Clock = std::chrono::steady_clock;

// How often the receive thread looks at the modem lines while it waits (only
// on ports whose driver reports them).
constexpr int kModemPollMs = 100;

// A pipe whose read end polls readable once something was written to it.
bool makePipe(int fds[2]) {
#ifdef __linux__
    return ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0;
#else
    if (::pipe(fds) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
        ::fcntl(fds[i], F_SETFL, O_NONBLOCK);
    }
    return true;
#endif
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Makes the read end of the pipe readable. A full pipe is readable already.
void signalPipe(int writeEnd) {
    const char one = 1;
    ssize_t r;
    do {
        r = ::write(writeEnd, &one, 1);
    } while (r < 0 && errno == EINTR);
}

void drain(int readEnd) {
    char buffer[64];
    while (::read(readEnd, buffer, sizeof buffer) > 0) {
    }
}

bool speedFor(quint32 baud, speed_t& speed) {
    static const std::pair<quint32, speed_t> table[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},       {150, B150},
        {200, B200},         {300, B300},         {600, B600},         {1200, B1200},     {1800, B1800},
        {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},   {38400, B38400},
        {57600, B57600},     {115200, B115200},   {230400, B230400},
#ifdef B460800
        {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600}, {1000000, B1000000},
        {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
    };
    for (const auto& [rate, constant] : table) {
        if (rate == baud) {
            speed = constant;
            return true;
        }
    }
    return false;
}

// Orders "ttyS2" before "ttyS10".
bool deviceOrder(const QString& a, const QString& b) {
    auto split = [](const QString& s) {
        qsizetype i = s.size();
        while (i > 0 && s.at(i - 1).isDigit())
            --i;
        return std::make_pair(s.left(i), s.mid(i).toLongLong());
    };
    return split(a) < split(b);
}

} // namespace

// --- The component ---------------------------------------------------------------

void TComm::OpenPort() {
    if (IsOpen())
        throw ECommsError(QString::fromLatin1(kAlreadyOpen));

    const int fd =
        ::open(QFile::encodeName(m_commName).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw ECommsError(QString::fromLatin1(kNoSuchPort));

    struct stat info {};
    termios probe{};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || ::tcgetattr(fd, &probe) != 0) {
        ::close(fd);
        throw ECommsError(QString::fromLatin1(kNotCommHandle));
    }
    // Nobody else may open the port while it is ours. The driver's queues have
    // their own fixed sizes, so there is nothing to size here.
    ::ioctl(fd, TIOCEXCL);

    m_fd = fd;
    ::tcflush(m_fd, TCIOFLUSH);
    m_sendDataEmpty = true;
    applyTimeouts();
    applyLineSettings();

    if (!makePipe(m_closeEvent) || !makePipe(m_writeWake)) {
        closeHandles();
        throw ECommsError(QString::fromLatin1(kNoEvent));
    }
    try {
        m_readThread = std::thread(&TComm::readLoop, this, m_fd, m_closeEvent[0]);
    } catch (const std::system_error&) {
        closeHandles();
        throw ECommsError(QString::fromLatin1(kNoReadThread));
    }
    try {
        m_writeThread = std::thread(&TComm::writeLoop, this, m_fd, m_closeEvent[0], m_writeWake[0]);
    } catch (const std::system_error&) {
        stopThreads();
        closeHandles();
        throw ECommsError(QString::fromLatin1(kNoWriteThread));
    }
}

void TComm::ClosePort() {
    if (!IsOpen())
        return;
    stopThreads();
    closeHandles();
}

void TComm::stopThreads() {
    // Both threads poll the close event, so each ends as soon as it is raised.
    signalPipe(m_closeEvent[1]);
    ::tcflush(m_fd, TCIFLUSH);
    if (m_readThread.joinable())
        m_readThread.join();
    ::tcflush(m_fd, TCOFLUSH);
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_sendDataEmpty = true;
    }
    if (m_writeThread.joinable())
        m_writeThread.join();
}

void TComm::closeHandles() {
    for (int& fd : m_closeEvent)
        closeFd(fd);
    for (int& fd : m_writeWake)
        closeFd(fd);
    clearSendQueue();
    if (m_fd >= 0) {
        ::ioctl(m_fd, TIOCNXCL);
        closeFd(m_fd);
    }
}

bool TComm::WriteCommData(const unsigned char* buffer, quint16 size) {
    if (!IsOpen())
        return false;
    queueForSending(buffer, size);
    signalPipe(m_writeWake[1]);
    return true;
}

void TComm::applyTimeouts() {
    // The receive thread reads these for every block it gathers. A write is
    // always completed to its last byte, so the write timeouts change nothing.
    m_live.readInterval = m_readIntervalTimeout;
    m_live.readTotalMultiplier = m_readTotalMultiplier;
    m_live.readTotalConstant = m_readTotalConstant;
}

void TComm::applyLineSettings() {
    termios t{};
    if (::tcgetattr(m_fd, &t) != 0)
        return;

    // A rate the driver has no constant for leaves the port's rate as it was.
    speed_t speed;
    if (speedFor(m_baudRate, speed)) {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }

    // Binary transfer: no line editing, no translation, no signals, no echo.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                           IXOFF | IXANY);
#ifdef IUCLC
    t.c_iflag &= ~tcflag_t(IUCLC);
#endif
    // With parity checking the driver marks bytes received with an error, so that
    // the receive thread can report them (and replace them when asked to).
    if (m_parityCheck)
        t.c_iflag |= INPCK | PARMRK;
    if (m_outxXonXoffFlow)
        t.c_iflag |= IXON;
    if (m_inxXonXoffFlow)
        t.c_iflag |= IXOFF;
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);

    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
    t.c_cflag &= ~tcflag_t(CMSPAR);
#endif
#ifdef CRTSCTS
    t.c_cflag &= ~tcflag_t(CRTSCTS);
    // The driver has one switch for both directions of hardware handshake.
    if (m_outxCtsFlow || m_rtsControl == TRtsControl::RtsHandshake)
        t.c_cflag |= CRTSCTS;
#endif
    t.c_cflag |= CREAD | CLOCAL;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[static_cast<int>(m_byteSize)];
    switch (m_parity) {
    case TParity::None:
        break;
    case TParity::Odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case TParity::Even:
        t.c_cflag |= PARENB;
        break;
#ifdef CMSPAR
    case TParity::Mark:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case TParity::Space:
        t.c_cflag |= PARENB | CMSPAR;
        break;
#else
    case TParity::Mark:
    case TParity::Space:
        t.c_cflag |= PARENB;
        break;
#endif
    }
    // One and a half stop bits exist only as "more than one" here.
    if (m_stopBits != TStopBits::_1)
        t.c_cflag |= CSTOPB;

    t.c_cc[VSTART] = m_xonChar;
    t.c_cc[VSTOP] = m_xoffChar;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(m_fd, TCSANOW, &t);

    // DTR and RTS are raised unless switched off; the handshake and toggle modes
    // have no driver equivalent beyond the switch above. Drivers without modem
    // lines (pseudo-terminals) refuse this, which does not matter.
    int dtr = TIOCM_DTR;
    ::ioctl(m_fd, m_dtrControl == TDtrControl::DtrDisable ? TIOCMBIC : TIOCMBIS, &dtr);
    int rts = TIOCM_RTS;
    ::ioctl(m_fd, m_rtsControl == TRtsControl::RtsDisable ? TIOCMBIC : TIOCMBIS, &rts);

    m_live.marking = m_parityCheck;
    m_live.replace = m_replaceWhenParityError;
    m_live.replacedChar = m_replacedChar;
    m_live.ignoreNull = m_ignoreNullChar;
    m_live.parityEnabled = m_parity != TParity::None;
}

// --- Receive thread ----------------------------------------------------------------

// Gathers received bytes into blocks: a block is handed over when it holds
// 2048 bytes, when the read interval passes after a byte without another byte,
// or when the total read time (counted from the block's first byte) is up.
// With neither timeout set every read is handed over as it comes.
void TComm::readLoop(int fd, int stop) {
    ErrorMarkDecoder decoder;
    unsigned char raw[kReadBlockBytes];
    QByteArray block;
    Clock::time_point firstByte;
    Clock::time_point lastByte;

    int modem = 0;
    const bool watchModem = ::ioctl(fd, TIOCMGET, &modem) == 0;

    auto deadline = [&](bool& any) {
        const quint32 interval = m_live.readInterval;
        const qint64 total = qint64(m_live.readTotalMultiplier.load()) * kReadBlockBytes +
                             qint64(m_live.readTotalConstant.load());
        Clock::time_point end = Clock::time_point::max();
        any = false;
        if (interval > 0) {
            end = lastByte + std::chrono::milliseconds(interval);
            any = true;
        }
        if (total > 0) {
            end = std::min(end, firstByte + std::chrono::milliseconds(total));
            any = true;
        }
        return end;
    };
    auto handOver = [&] {
        if (!block.isEmpty())
            postData(std::exchange(block, QByteArray()));
    };

    bool hangup = false;
    for (;;) {
        int timeout = -1;
        if (!block.isEmpty()) {
            bool any = false;
            const Clock::time_point end = deadline(any);
            if (!any) {
                handOver();
            } else {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
                if (left <= 0) {
                    handOver();
                } else {
                    timeout = int(std::min<qint64>(left, 60000));
                }
            }
        }
        if (watchModem)
            timeout = timeout < 0 ? kModemPollMs : std::min(timeout, kModemPollMs);

        pollfd fds[2] = {{stop, POLLIN, 0}, {fd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            hangup = true;
            break;
        }
        if (fds[0].revents != 0)
            break;
        if (fds[1].revents & POLLNVAL)
            break; // the port was closed under the thread: a normal end
        if (fds[1].revents != 0) {
            const ssize_t got = ::read(fd, raw, size_t(kReadBlockBytes - block.size()));
            if (got > 0) {
                ErrorMarkDecoder::Options options;
                options.marking = m_live.marking;
                options.replace = m_live.replace;
                options.replacedChar = m_live.replacedChar;
                options.ignoreNull = m_live.ignoreNull;
                options.parityEnabled = m_live.parityEnabled;
                quint32 errors = 0;
                const qsizetype before = block.size();
                block.resize(before + got);
                const int kept = decoder.decode(
                    options, raw, int(got), reinterpret_cast<unsigned char*>(block.data()) + before, errors);
                block.resize(before + kept);
                if (errors != 0)
                    postError(errors);
                if (kept > 0) {
                    lastByte = Clock::now();
                    if (before == 0)
                        firstByte = lastByte;
                }
                if (block.size() >= kReadBlockBytes)
                    handOver();
            } else if (got == 0) {
                // End of input: the line was hung up.
                hangup = true;
                break;
            } else if (errno == EBADF) {
                break;
            } else if (errno != EINTR && errno != EAGAIN) {
                hangup = true;
                break;
            } else if (fds[1].revents & (POLLHUP | POLLERR)) {
                // Nothing to read from a line that reports a fault: it will not recover.
                hangup = true;
                break;
            }
        }
        if (watchModem) {
            int now = 0;
            if (::ioctl(fd, TIOCMGET, &now) == 0) {
                quint32 event = 0;
                if ((now ^ modem) & TIOCM_CD)
                    event |= kModemCarrier;
                if ((now & TIOCM_RI) && !(modem & TIOCM_RI))
                    event |= kModemRing;
                modem = now;
                if (event != 0)
                    postModem(event);
            }
        }
    }
    // Bytes already taken from the driver were received: they are handed over.
    handOver();
    if (hangup)
        postHangup();
    ::tcflush(fd, TCIFLUSH);
}

// --- Transmit thread ---------------------------------------------------------------

void TComm::writeLoop(int fd, int stop, int wake) {
    using Outcome = WriteOutcome;
    // Writes the whole block, waiting for room as needed.
    auto writeBlock = [&](const QByteArray& block) {
        qsizetype offset = 0;
        while (offset < block.size()) {
            const ssize_t n = ::write(fd, block.constData() + offset, size_t(block.size() - offset));
            if (n > 0) {
                offset += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EBADF)
                return Outcome::Gone;
            if (n < 0 && errno != EAGAIN)
                return Outcome::Failed;
            pollfd fds[2] = {{stop, POLLIN, 0}, {fd, POLLOUT, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return Outcome::Failed;
            if (fds[0].revents != 0)
                return Outcome::Stopped;
            if (fds[1].revents & POLLNVAL)
                return Outcome::Gone;
            if (fds[1].revents & (POLLERR | POLLHUP))
                return Outcome::Failed;
        }
        return Outcome::Written;
    };

    Outcome outcome = Outcome::Written;
    while (outcome == Outcome::Written) {
        pollfd fds[2] = {{stop, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            outcome = Outcome::Failed;
            break;
        }
        if (fds[0].revents != 0)
            break;
        drain(wake);
        outcome = sendQueued(writeBlock);
    }
    if (outcome == Outcome::Failed)
        postHangup();
    ::tcflush(fd, TCOFLUSH);
    clearSendQueue();
}

// --- Port list -----------------------------------------------------------------------

QStringList TComm::GetCom() {
    const QDir dev(QStringLiteral("/dev"));
    QStringList names =
        dev.entryList({QStringLiteral("ttyS*"), QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"),
                       QStringLiteral("ttyAMA*"), QStringLiteral("rfcomm*")},
                      QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), deviceOrder);
    QStringList paths;
    for (const QString& name : names)
        paths << dev.filePath(name);
    return GetCom(paths);
}

QStringList TComm::GetCom(const QStringList& candidates) {
    QStringList found;
    for (const QString& path : candidates) {
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && ::isatty(fd))
            found << (path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path);
        ::close(fd);
    }
    return found;
}

#endif // !_WIN32
