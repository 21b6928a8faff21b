#pragma once
// The tunnel's TCP connection: framing on send, ring buffer and frame extraction on receive.
#include <cstdint>
#include <mutex>
#include <string>

#include "session/tunnel/CINetConnection.h"
#include "session/tunnel/CTCPClient.h"

class CTCPConnection : public CINetConnection {
public:
    static constexpr int kRingCapacity = 3000;
    // Holds any frame the ring can hold: the content of a frame is shorter than its encoding.
    static constexpr int kFrameBufferSize = kRingCapacity;
    static constexpr int kSendBufferSize = 2048;
    static constexpr int kReceiveChunk = 2048;

    enum { RECEIVE_OK = 1, RECEIVE_CLOSED = 2, RECEIVE_ERROR = 20 };
    enum { FRAME_CLOSED = 2, FRAME_NEED_MORE = 3, FRAME_READY = 4 };

    explicit CTCPConnection(const char* userAgent, const char* tunnelHost = nullptr);
    ~CTCPConnection() override;

    int Send(const std::uint8_t* bytes, int length) override;
    int Receive(std::uint8_t* buffer, int& length) override;
    int ReceiveFrame() override;
    int Init(const char* host, int port) override;
    int GetConnectState() override { return 0; }
    const std::uint8_t* GetFrame(int& length) override;
    void ResetFrame() override { m_frameLength = 0; }
    int ResolveLocalAddress() override;
    const char* GetLocalAddress() override;
    void SetLocalAddress(const char* text) override;
    int MakeHttpPost(const std::uint8_t* data, int length) override;
    int ReadProxyReply() override;
    int SendFrame(const std::uint8_t* bytes, int length, int bufferLength) override;
    int SendFrameWithCRC(std::uint8_t* bytes, int length, int bufferLength) override;
    int Shutdown() override;
    int Close() override;
    int GetBytesAvailable() override;

    // A copy, for threads that run while Register may set the address anew.
    std::string LocalAddressCopy() const;
    // The bytes MakeHttpPost wrote.
    const std::uint8_t* SendBuffer() const { return m_sendBuffer; }

private:
    int SendFrameLocked(const std::uint8_t* bytes, int length);

    CTCPClient m_client;
    std::string m_userAgent;
    std::string m_tunnelHost;
    mutable std::mutex m_addressLock;
    std::string m_localAddress;
    std::uint8_t m_frame[kFrameBufferSize];
    int m_frameLength = 0;
    std::uint8_t m_receiveArea[kReceiveChunk];
    // Every send shares the send buffer and the socket: one lock for all of them.
    std::mutex m_sendLock;
    std::uint8_t m_sendBuffer[kSendBufferSize];
};
