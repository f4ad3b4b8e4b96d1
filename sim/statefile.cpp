#include "statefile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <sstream>
#include <thread>

#if defined(_WIN32)
#include <filesystem>
#include <fstream>
#include <iterator>
#else
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace rfidsim {

namespace {

// No state the reader writes comes near this; anything larger is not one.
constexpr std::size_t kMaxStateBytes = 65536;

const char* const kKeys[] = {"language", "output", "reader_mode",    "bluetooth_mode", "bluetooth_name",
                             "sleep",    "buzzer", "stored_records", "version"};

bool failWith(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return false;
}

std::string damagedText(const std::string& path, const std::string& why) {
    return "the simulated reader's state file " + path + " is damaged (" + why + "); it was left as it is";
}

#if !defined(_WIN32)
std::string errnoText(int err) {
    return std::strerror(err);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
#endif

} // namespace

StateFile::StateFile(std::string path) : path_(std::move(path)) {
    if (!path_.empty())
        target_ = resolveLinks(path_);
}

StateFile::~StateFile() {
    unlock();
}

void StateFile::unlock() {
#if !defined(_WIN32)
    if (lockFd_ >= 0)
        ::close(lockFd_); // lets go of the flock
#endif
    lockFd_ = -1;
    loadedOk_ = false;
}

std::string StateFile::resolveLinks(const std::string& path) {
#if defined(_WIN32)
    return path;
#else
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n <= 0)
            return current;
        const std::string link(buf, std::size_t(n));
        current = link.front() == '/' ? link : folderOf(current) + "/" + link;
    }
    return current; // a loop: opening it fails with a clear error
#endif
}

std::string StateFile::damage(const std::string& text) {
    if (text.empty())
        return "it is empty";
    if (text.back() != '\n')
        return "it ends in the middle of a line";
    std::set<std::string> seen;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        KeyboardState probe;
        const auto eq = line.find('=');
        if (line.empty() || eq == std::string::npos || !parseKeyboardState(line + '\n', probe))
            return "line " + std::to_string(number) + " is no setting";
        if (!seen.insert(line.substr(0, eq)).second)
            return "line " + std::to_string(number) + " repeats a setting";
    }
    for (const char* key : kKeys)
        if (seen.count(key) == 0)
            return std::string("the line \"") + key + "=\" is missing";
    return {};
}

bool StateFile::lockAndLoad(KeyboardState& state, std::string* error, int timeoutMs) {
    unlock();
    if (path_.empty()) {
        loadedOk_ = true;
        return true;
    }
    std::string text;
#if defined(_WIN32)
    (void)timeoutMs;
    std::error_code ec;
    if (std::filesystem::exists(target_, ec) && !std::filesystem::is_regular_file(target_, ec))
        return failWith(error, "the simulated reader's state file " + path_ + " is not a regular file");
    std::ifstream in(target_, std::ios::binary);
    if (in) {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (text.size() > kMaxStateBytes)
            return failWith(error, damagedText(path_, "it is larger than any state"));
    }
#else
    const std::string lockPath = target_ + ".state-lock";
    // O_NOFOLLOW: a link planted at that name leads nowhere else.
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0)
        return failWith(error, "cannot lock the simulated reader's state file " + path_ + ": " + lockPath +
                                   ": " + errnoText(errno));
    struct stat lockStat;
    if (::fstat(fd, &lockStat) != 0 || !S_ISREG(lockStat.st_mode)) {
        ::close(fd);
        return failWith(error, "cannot lock the simulated reader's state file " + path_ + ": " + lockPath +
                                   " is not a regular file");
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            const int err = errno;
            ::close(fd);
            return failWith(error, "cannot lock the simulated reader's state file " + path_ + ": " +
                                       (err == EWOULDBLOCK ? std::string("another process holds ") + lockPath
                                                           : lockPath + ": " + errnoText(err)));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    lockFd_ = fd;

    // O_NONBLOCK: a FIFO there does not hang the open; it is refused below.
    const int in = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0 && errno != ENOENT) {
        const int err = errno;
        unlock();
        return failWith(error,
                        "cannot read the simulated reader's state file " + path_ + ": " + errnoText(err));
    }
    if (in >= 0) {
        struct stat st;
        if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(in);
            unlock();
            return failWith(error, "the simulated reader's state file " + path_ + " is not a regular file");
        }
        char buf[4096];
        ssize_t n;
        while ((n = ::read(in, buf, sizeof buf)) > 0 && text.size() <= kMaxStateBytes)
            text.append(buf, std::size_t(n));
        const int err = errno;
        ::close(in);
        if (n < 0) {
            unlock();
            return failWith(error,
                            "cannot read the simulated reader's state file " + path_ + ": " + errnoText(err));
        }
        if (text.size() > kMaxStateBytes) {
            unlock();
            return failWith(error, damagedText(path_, "it is larger than any state"));
        }
    }
#endif
    // No file yet, or an empty one (as mktemp makes it): the reader as it is.
    if (!text.empty()) {
        const std::string why = damage(text);
        if (!why.empty()) {
            unlock();
            return failWith(error, damagedText(path_, why));
        }
        parseKeyboardState(text, state);
    }
    loaded_ = text;
    loadedOk_ = true;
    return true;
}

bool StateFile::save(const KeyboardState& state, std::string* error) {
    if (path_.empty())
        return true;
    if (!loadedOk_)
        return failWith(error, "the simulated reader's state file " + path_ + " was not read first");
    const std::string text = keyboardStateText(state);
    if (text == loaded_)
        return true;
#if defined(_WIN32)
    const std::string temp = target_ + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), std::streamsize(text.size()));
        if (!out)
            return failWith(error, "cannot write the simulated reader's state file " + path_);
    }
    std::error_code ec;
    std::filesystem::rename(temp, target_, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return failWith(error, "cannot write the simulated reader's state file " + path_);
    }
#else
    // A fresh name beside the target that nobody could have planted (O_EXCL), in the
    // target's folder so that the rename replaces the target, not a link to it.
    std::string temp = folderOf(target_) + "/." + nameOf(target_) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return failWith(error,
                        "cannot write the simulated reader's state file " + path_ + ": " + errnoText(errno));
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    // The file keeps its mode; a new one is readable by its owner only, as mkstemp made it.
    struct stat st;
    if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        (void)::fchmod(fd, st.st_mode & 07777);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    const int writeErr = errno;
    if (::close(fd) != 0 || done != text.size()) {
        ::unlink(temp.c_str());
        return failWith(error, "cannot write the simulated reader's state file " + path_ + ": " +
                                   errnoText(writeErr));
    }
    if (::rename(temp.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return failWith(error,
                        "cannot write the simulated reader's state file " + path_ + ": " + errnoText(err));
    }
#endif
    loaded_ = text;
    return true;
}

} // namespace rfidsim
