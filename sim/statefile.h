// The keyboard reader's settings kept in a file (RFIDSIM_STATE), so that separate
// processes see one reader. Each exchange reads, changes and writes the file under a
// lock of its own, so that parallel processes never lose an update.
#pragma once

#include "keyboard.h"

#include <string>

namespace rfidsim {

class StateFile {
public:
    // An empty path: no file, every call succeeds and does nothing.
    explicit StateFile(std::string path);
    ~StateFile();
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;

    // Takes the state's own lock, an flock on "<file>.state-lock" beside the file
    // (beside its target when the file is a symbolic link): never the file a program
    // locks for a whole operation (hidLockPath), since flock on two descriptors of one
    // file conflicts even within one process. Waits up to `timeoutMs` for another
    // process to let go. Then reads the file into `state`: a missing or empty file
    // leaves `state` as it is. False, with a one-line reason naming the file, when the
    // lock cannot be had, the file is not a regular file, or it holds anything but a
    // complete state; the file is then left as it is.
    bool lockAndLoad(KeyboardState& state, std::string* error, int timeoutMs = 10000);

    // Writes `state` when it differs from what was read: into a new temporary file
    // beside the target (mkstemp), renamed onto it, so that a symbolic link stays a
    // link and a reader of the file never sees half of it. Needs lockAndLoad first.
    bool save(const KeyboardState& state, std::string* error);

    // Lets go of the lock (the destructor does too).
    void unlock();

    // The file a symbolic link at `path` leads to, link by link (the target need not
    // exist); `path` itself when it is no link.
    static std::string resolveLinks(const std::string& path);

    // Why `text` is no complete state (empty when it is one), as written by save.
    static std::string damage(const std::string& text);

private:
    std::string path_;
    std::string target_; // path_ with its symbolic links followed
    std::string loaded_; // the file's text as read
    int lockFd_ = -1;
    bool loadedOk_ = false;
};

} // namespace rfidsim
