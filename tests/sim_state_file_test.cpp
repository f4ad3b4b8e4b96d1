// The simulated reader's settings file (RFIDSIM_STATE) shared by processes: read,
// changed and written under a lock of its own; a damaged file, a link, a FIFO or a
// planted temporary link never lose or misplace data, and never hang.
#include "rfidsim.h"
#include "rfidusb_api.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes frame(unsigned char command, const Bytes& data = {}) {
    Bytes f{0xAA, 0x00, static_cast<unsigned char>(data.size() + 1), command};
    for (unsigned char b : data) // push_back: GCC 12 warns wrongly about insert here
        f.push_back(b);
    unsigned char x = 0;
    for (std::size_t i = 1; i < f.size(); ++i)
        x ^= f[i];
    f.push_back(x);
    f.push_back(0xBB);
    return f;
}

int send(const Bytes& f) {
    const int n = hidWriteData(0, int(f.size()), f.data());
    unsigned char answer[64];
    if (n > 0)
        hidReadData(0, sizeof answer, answer);
    return n;
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::string lastErrorText(int* kind = nullptr) {
    char buf[512] = {};
    const int k = hidLastError(buf, sizeof buf);
    if (kind)
        *kind = k;
    return buf;
}

// Runs `body` in a child process; its exit status, or -1 when it did not end within
// `timeoutMs` (it is killed then), so that a hang fails the test instead of stalling it.
int inChild(const std::function<int()>& body, int timeoutMs = 5000) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

class SimStateFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("rfidsim-state-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        state = dir / "reader.state";
        ::setenv("RFIDSIM_STATE", state.c_str(), 1);
        rfidsim_reset();
    }
    void TearDown() override {
        ::unsetenv("RFIDSIM_STATE");
        rfidsim_reset();
        fs::remove_all(dir);
    }

    // A complete state as the reader writes it, with keyboard language `language`.
    std::string validState(unsigned char language) {
        const fs::path other = dir / "make.state";
        ::setenv("RFIDSIM_STATE", other.c_str(), 1);
        EXPECT_EQ(send(frame(0x80, {language})), 7);
        ::setenv("RFIDSIM_STATE", state.c_str(), 1);
        rfidsim_reset();
        const std::string text = readFile(other);
        fs::remove(other);
        return text;
    }

    fs::path dir;
    fs::path state;
};

} // namespace

TEST_F(SimStateFile, DamagedStateIsAnErrorNamingTheFileAndIsLeftAsItIs) {
    const std::string good = validState(0x1D);
    ASSERT_NE(good.find("language=1D\n"), std::string::npos) << good;
    const std::string cut = good.substr(0, good.find("output=") + 10); // ends mid-line
    const std::string missing = good.substr(0, good.find("version=")); // a whole line short
    for (const std::string& bad :
         {cut, missing, std::string("language=1D\n"), good + "colour=red\n", std::string("\x01\x02\xff", 3),
          good.substr(0, good.size() - 1), good + good}) {
        writeFile(state, bad);
        // A read-only command and a changing one alike: nothing goes through.
        for (const Bytes& f : {frame(0xC0), frame(0x80, {0x05})}) {
            EXPECT_EQ(send(f), -1);
            int kind = 0;
            const std::string why = lastErrorText(&kind);
            EXPECT_EQ(kind, RFIDUSB_ERROR_IO);
            EXPECT_NE(why.find(state.string() + " is damaged"), std::string::npos) << why;
            EXPECT_EQ(readFile(state), bad) << "the damaged file was overwritten";
        }
    }

    // A complete state is taken; an empty file (as mktemp leaves it) is a new reader.
    writeFile(state, good);
    const Bytes settings{0xAA, 0x00, 0x01, 0x83, 0x82, 0xBB};
    ASSERT_EQ(hidWriteData(0, int(settings.size()), settings.data()), 6);
    unsigned char answer[64] = {};
    ASSERT_GT(hidReadData(0, sizeof answer, answer), 4);
    EXPECT_EQ(answer[4], 0x1D);
    EXPECT_EQ(readFile(state), good) << "a command that changes nothing rewrote the file";
    writeFile(state, "");
    EXPECT_EQ(send(frame(0x80, {0x03})), 7);
    EXPECT_NE(readFile(state).find("language=03\n"), std::string::npos);
}

TEST_F(SimStateFile, LinkedStateIsWrittenThroughTheLink) {
    fs::create_directories(dir / "real");
    const fs::path target = dir / "real/reader.state";
    writeFile(target, validState(0x02));
    ::chmod(target.c_str(), 0640);
    fs::create_symlink("real/reader.state", state); // relative, as ln -s makes it
    ASSERT_EQ(send(frame(0x80, {0x07})), 7);
    EXPECT_TRUE(fs::is_symlink(state)) << "the link was replaced by a file";
    EXPECT_NE(readFile(target).find("language=07\n"), std::string::npos) << readFile(target);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Nothing left beside it but the state's lock.
    for (const auto& e : fs::directory_iterator(dir / "real"))
        EXPECT_TRUE(e.path() == target || e.path().filename() == "reader.state.state-lock") << e.path();

    // A link to a file not made yet: the file is made where the link points.
    fs::remove(state);
    fs::create_symlink(dir / "real/new.state", state);
    ASSERT_EQ(send(frame(0x80, {0x04})), 7);
    EXPECT_TRUE(fs::is_symlink(state));
    EXPECT_NE(readFile(dir / "real/new.state").find("language=04\n"), std::string::npos);
}

TEST_F(SimStateFile, FifoOrFolderIsRefusedWithoutHanging) {
    ASSERT_EQ(::mkfifo(state.c_str(), 0600), 0);
    const int code = inChild([] {
        if (send(frame(0xC0)) != -1)
            return 1;
        return lastErrorText().find("is not a regular file") != std::string::npos ? 0 : 2;
    });
    EXPECT_EQ(code, 0) << "-1: the exchange hung on the FIFO";
    EXPECT_EQ(fs::status(state).type(), fs::file_type::fifo);

    fs::remove(state);
    fs::create_directory(state);
    EXPECT_EQ(send(frame(0x80, {0x05})), -1);
    EXPECT_NE(lastErrorText().find(state.string() + " is not a regular file"), std::string::npos)
        << lastErrorText();
    EXPECT_TRUE(fs::is_directory(state));
}

TEST_F(SimStateFile, PlantedTemporaryLinkLeadsNowhere) {
    const fs::path victim = dir / "victim";
    writeFile(victim, "precious\n");
    for (const char* planted : {"reader.state.tmp", ".reader.state.tmp"})
        fs::create_symlink(victim, dir / planted);
    ASSERT_EQ(send(frame(0x80, {0x05})), 7);
    EXPECT_EQ(readFile(victim), "precious\n");
    EXPECT_FALSE(fs::is_symlink(state));
    EXPECT_NE(readFile(state).find("language=05\n"), std::string::npos);
    EXPECT_TRUE(fs::is_symlink(dir / "reader.state.tmp"));

    // A link planted at the lock's name is refused, not followed.
    fs::remove(dir / "reader.state.state-lock");
    fs::create_symlink(victim, dir / "reader.state.state-lock");
    EXPECT_EQ(send(frame(0x80, {0x06})), -1);
    EXPECT_NE(lastErrorText().find("cannot lock"), std::string::npos) << lastErrorText();
    EXPECT_EQ(readFile(victim), "precious\n");
}

TEST_F(SimStateFile, AnotherProcessWaitsForTheStateLock) {
    // This process holds the state's lock: the other one's command waits for it.
    const fs::path lockFile = dir / "reader.state.state-lock";
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fd); // the lock is this process's, not the copy's
        ::_exit(send(frame(0x80, {0x09})) == 7 ? 0 : 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the command did not wait for the lock";
    EXPECT_FALSE(fs::exists(state));
    ::close(fd);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(readFile(state).find("language=09\n"), std::string::npos);

    // The lock a program holds for a whole operation (hidLockPath) is another file:
    // holding it does not block this process's own commands.
    const int code = inChild([] {
        char path[512];
        if (hidLockPath(path, sizeof path) <= 0)
            return 1;
        const int held = ::open(path, O_RDWR | O_CREAT, 0600);
        if (held < 0 || ::flock(held, LOCK_EX) != 0)
            return 2;
        return send(frame(0x80, {0x0A})) == 7 ? 0 : 3;
    });
    EXPECT_EQ(code, 0) << "-1: the command deadlocked on the program's own lock";
}

TEST_F(SimStateFile, ParallelProcessesLoseNoUpdate) {
    // Each process sets a setting of its own, over and over; at the end every
    // setting holds its process's last value.
    const std::vector<std::pair<unsigned char, Bytes>> setters{
        {0x80, {0x01, 0x02, 0x1D}}, // language
        {0x0E, {0x02, 0x03, 0x08}}, // sleep
        {0x0F, {0x01, 0x02, 0x03}}, // reader mode
        {0x22, {0x00, 0x01, 0x02}}, // Bluetooth mode
    };
    std::vector<pid_t> children;
    for (const auto& [command, values] : setters) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int round = 0; round < 40; ++round)
                for (unsigned char v : values)
                    if (send(frame(command, {v})) != 7)
                        ::_exit(1);
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << lastErrorText();
    }
    const std::string text = readFile(state);
    for (const char* line : {"language=1D\n", "sleep=08\n", "reader_mode=03\n", "bluetooth_mode=02\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "lost:\n" << text;
}
