#pragma once
// Abstract stream connection of the tunnel; owns the receive ring buffer.
#include <cstdint>
#include <memory>

#include "session/tunnel/CTunnelRingBuffer.h"

class CINetConnection {
public:
    CINetConnection() = default;
    CINetConnection(const CINetConnection&) = delete;
    CINetConnection& operator=(const CINetConnection&) = delete;
    virtual ~CINetConnection();

    virtual int Send(const std::uint8_t* bytes, int length) = 0;
    virtual int Receive(std::uint8_t* buffer, int& length) = 0;
    virtual int ReceiveFrame() = 0;
    virtual int Init(const char* host, int port) = 0;
    virtual int GetConnectState() = 0;
    virtual const std::uint8_t* GetFrame(int& length) = 0;
    virtual void ResetFrame() = 0;
    virtual int ResolveLocalAddress() = 0;
    virtual const char* GetLocalAddress() = 0;
    virtual void SetLocalAddress(const char* text) = 0;
    virtual int MakeHttpPost(const std::uint8_t* data, int length) = 0;
    virtual int ReadProxyReply() = 0;
    virtual int SendFrame(const std::uint8_t* bytes, int length, int bufferLength) = 0;
    virtual int SendFrameWithCRC(std::uint8_t* bytes, int length, int bufferLength) = 0;
    virtual int Shutdown() = 0;
    virtual int Close() = 0;
    virtual int GetBytesAvailable() = 0;

protected:
    std::unique_ptr<CTunnelRingBuffer> m_ringBuffer;
};
