#pragma once
// Holds the user-agent library lock for one scope; Ok() is false when it could not be taken.
#include "session/sip/eXosip.h"

class CLibraryLock {
public:
    CLibraryLock() : m_ok(eXosip_lock() == 0) { }
    ~CLibraryLock()
    {
        if (m_ok)
            eXosip_unlock();
    }
    CLibraryLock(const CLibraryLock&) = delete;
    CLibraryLock& operator=(const CLibraryLock&) = delete;
    bool Ok() const { return m_ok; }

private:
    bool m_ok;
};
