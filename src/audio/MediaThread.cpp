#include "audio/MediaThread.h"

#include <pthread.h>
#include <sched.h>

#include <cstring>

#include "app/CLogger.h"

namespace zelora::audio {

bool PrepareMediaThread(const char* name)
{
    ZLOG_SCOPE();
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof shortName - 1);
    pthread_setname_np(pthread_self(), shortName);
    // A moderate level: above ordinary work, below what the system keeps for itself.
    sched_param param{};
    param.sched_priority = 10;
    const int rc = pthread_setschedparam(pthread_self(), SCHED_RR, &param);
    if (rc != 0) {
        ZLOG(LOG_DEBUG, "No real-time priority for %s: %s", shortName, std::strerror(rc));
        return false;
    }
    return true;
}

} // namespace zelora::audio
