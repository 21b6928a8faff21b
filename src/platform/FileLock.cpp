#include "platform/FileLock.h"

#include "platform/PlatformLog.h"

#include <sys/file.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zelora {

FileLock::FileLock(const std::string& file)
{
    const std::string name = file + ".lock";
    m_fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        PLATFORM_LOG(2, "Unable to open lock file %s: %s", name.c_str(), std::strerror(errno));
        return;
    }
    int rc;
    do
        rc = ::flock(m_fd, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        PLATFORM_LOG(2, "Unable to lock %s: %s", name.c_str(), std::strerror(errno));
        ::close(m_fd);
        m_fd = -1;
    }
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing releases the lock
}

} // namespace zelora
