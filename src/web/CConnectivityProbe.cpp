#include "web/CConnectivityProbe.h"

#include "app/CLogger.h"

bool CConnectivityProbe::RecordResult(bool success)
{
    ZLOG_SCOPE();
    if (success) {
        m_networkAvailable.store(true);
        m_failures.store(0);
        m_probeDone.store(true);
        return false;
    }
    const int failures = m_failures.fetch_add(1) + 1;
    m_probeDone.store(true);
    if (failures < kFailuresToSignOut) {
        return false;
    }
    m_networkAvailable.store(false);
    m_failures.store(0);
    return true;
}
