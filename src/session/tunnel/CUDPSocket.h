#pragma once
// Datagram socket bound to a local address and port.
#include "session/tunnel/CMySocket.h"

class CUDPSocket : public CMySocket {
public:
    CUDPSocket(const char* localIp, int localPort, const char* destinationIp, int destinationPort);
    ~CUDPSocket() override;

    // Receives one datagram of up to 8192 bytes (100 ms at most) and hands it to OnReceive.
    int WaitForData() override;
    virtual void OnReceive(const std::uint8_t* data, int length);
    int LocalPort() const;
};
