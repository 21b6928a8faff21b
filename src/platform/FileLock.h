#pragma once
// Advisory lock between processes of the same user around a read-modify-write of one
// file. The lock lives on "<file>.lock", not on the file itself, because an atomic
// replace gives the file a new inode that a lock on the old one would not cover.
#include <string>

namespace zelora {

class FileLock {
public:
    // Blocks until the lock is held; Held() is false when the lock file cannot be opened
    // (read-only folder), in which case the caller goes on without it.
    explicit FileLock(const std::string& file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace zelora
