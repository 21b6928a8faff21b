// The tunnel client against the real tunnel-server (and tinyproxy) on this test's own loopback addresses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <mutex>
#include <memory>
#include <sstream>

#include "app/CLogger.h"
#include "session/tunnel/CTunnelDataParser.h"
#include "session/tunnel/CTunnelFrameCodec.h"
#include "session/tunnel/CTunnelProtocol.h"
#include "TunnelTestPeers.h"

namespace {

const char* kAgent = "zeloraTALK-test/1.0";

std::vector<unsigned char> Payload(std::size_t size, unsigned seed)
{
    std::vector<unsigned char> p(size);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = static_cast<unsigned char>((i * 31 + seed * 7) & 0xFF); // covers 0x5D, 0x7E and 0x7F
    p[0] = 0x80; // RTP version 2
    return p;
}

class TunnelServerPeer {
public:
    // Starts tunnel-server on address:443 and waits until it accepts connections.
    void Start(const std::string& address, const std::string& echo = "", int timestampInterval = 300)
    {
        m_address = address;
        ASSERT_STRNE(TUNNEL_SERVER_PATH, "") << "tunnel-server was not built: configure with -DZELORA_TOOLS=ON";
        ASSERT_FALSE(m_dir.Path().empty()) << "no temporary folder";
        std::string accounts = m_dir.Write("accounts", "# test subscribers\nalice secret\nbob hunter2\n");
        std::vector<std::string> argv{TUNNEL_SERVER_PATH,
                                      "--listen",
                                      address,
                                      "--accounts",
                                      accounts,
                                      "--timestamp-interval",
                                      std::to_string(timestampInterval)};
        if (!echo.empty()) {
            argv.push_back("--echo");
            argv.push_back(echo);
        }
        std::string error = m_process.Start(argv, m_dir.Path() + "/tunnel-server.log");
        ASSERT_EQ(error, "") << "cannot start tunnel-server";
        ASSERT_TRUE(WaitForTcp(address, 443, 5000))
            << "tunnel-server does not answer on " << address << ":443; its log:\n"
            << Log();
    }
    int Stop() { return m_process.Stop(); }
    std::string Log() const
    {
        std::ifstream in(m_dir.Path() + "/tunnel-server.log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    const TempDir& Dir() const { return m_dir; }

private:
    TempDir m_dir;
    PeerProcess m_process;
    std::string m_address;
};

struct Client {
    EventLog events;
    CODEC_INFO codecs[1];
    std::unique_ptr<CTunnelProtocol> protocol;

    Client(const std::string& server, int proxyPort = 0, const std::string& proxy = "", int useProxy = 0)
    {
        std::memset(codecs, 0, sizeof codecs);
        CopyText(codecs[0].name, "PCMA");
        codecs[0].payload = 8;
        codecs[0].frequency = 8000;
        protocol = std::make_unique<CTunnelProtocol>(kAgent, proxyPort, proxy.c_str(), useProxy, 0, server.c_str());
    }
    int Init()
    {
        return protocol->Init("zelora.test", "sip.zelora.test", "5060", &EventLog::Callback, &events, nullptr, codecs,
                              1, kAgent, 5060);
    }
    // The local address is read when registering: each client of a test gets its own.
    int Register(const std::string& localAddress, const char* user, const char* password, int expiry = 3600)
    {
        setenv("ZELORA_LOCAL_ADDRESS", localAddress.c_str(), 1);
        return protocol->Register(user, user, password, expiry, nullptr, nullptr, 0);
    }
};

TEST(TunnelServer, HandshakeGivesTimestampAndRegistrationChecksPassword)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.10"));

    Client good("127.0.2.10");
    ASSERT_EQ(good.Init(), 0);
    EXPECT_TRUE(good.protocol->IsConnected());
    EXPECT_EQ(good.protocol->GetTunnelState(), 3);
    std::string ts = good.protocol->GetTimeStamp();
    EXPECT_EQ(ts.size(), 14u) << ts;
    EXPECT_EQ(ts.find_first_not_of("0123456789"), std::string::npos) << ts;

    EXPECT_GT(good.Register("127.0.2.11", "alice", "secret"), 0);
    SESSION_EVENT_INFO rec;
    ASSERT_TRUE(good.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000, &rec)) << server.Log();
    EXPECT_TRUE(good.protocol->IsRegistered());
    EXPECT_EQ(rec.statusCode, 200);
    EXPECT_STREQ(rec.fromUserName, "alice");
    EXPECT_STREQ(rec.rtpIp, "127.0.2.11"); // replaced by this machine's address

    Client bad("127.0.2.10");
    ASSERT_EQ(bad.Init(), 0);
    EXPECT_GT(bad.Register("127.0.2.12", "alice", "wrong"), 0);
    ASSERT_TRUE(bad.events.WaitFor(MXSS_STATUS_REGISTRATION_FAILURE, 3000, &rec)) << server.Log();
    EXPECT_EQ(rec.statusCode, 403);
    EXPECT_FALSE(bad.protocol->IsRegistered());
    EXPECT_EQ(bad.events.Count(MXSS_STATUS_REGISTRATION_SUCCESSFUL), 0);

    // Credentials that cannot fit an element are refused before anything is sent.
    EXPECT_LT(bad.Register("127.0.2.12", "a-user-name-of-thirty-one-chars", "x"), 0);
    EXPECT_LT(bad.Register("127.0.2.12", "alice", "a-password-of-thirty-one-chars!"), 0);
}

TEST(TunnelServer, TimestampCommandUpdatesTheNextRegistration)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.14", "", 1));
    Client c("127.0.2.14");
    ASSERT_EQ(c.Init(), 0);
    std::string first = c.protocol->GetTimeStamp();
    ASSERT_GT(c.Register("127.0.2.15", "bob", "hunter2"), 0);
    ASSERT_TRUE(c.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000));
    ASSERT_TRUE(c.events.WaitFor(MXSS_STATUS_TIMESTAMP, 4000)) << server.Log();
    EXPECT_NE(c.protocol->GetTimeStamp(), first);
    // The server accepts only its latest timestamps: a re-registration works only with the new one.
    ASSERT_TRUE(c.events.WaitFor(MXSS_STATUS_TIMESTAMP, 4000));
    ASSERT_GT(c.Register("127.0.2.15", "bob", "hunter2"), 0);
    EXPECT_TRUE(c.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000)) << server.Log();
    EXPECT_EQ(c.events.Count(MXSS_STATUS_REGISTRATION_FAILURE), 0);
}

TEST(TunnelWire, RegistrationAndUnregistrationFrames)
{
    CaptureTunnelServer capture("127.0.2.20", "12345678");
    ASSERT_TRUE(capture.Ok()) << "cannot listen on 127.0.2.20:443";
    Client c("127.0.2.20");
    ASSERT_EQ(c.Init(), 0);
    EXPECT_EQ(c.protocol->GetTimeStamp(), "12345678");

    // Refused credentials send nothing at all.
    EXPECT_LT(c.Register("127.0.2.21", "alice", "0123456789012345678901234567890"), 0);
    ASSERT_GT(c.Register("127.0.2.21", "alice", "secret", 1800), 0);
    ASSERT_GT(c.protocol->UnRegister("alice", "alice", "secret", 0, "reg.other", "5070"), 0);
    ASSERT_EQ(c.protocol->SendPing(), 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<unsigned char> stream = capture.Stream();
    auto frames = CTunnelFrameCodec::DecodeStream(stream.data(), stream.size());
    ASSERT_EQ(frames.size(), 2u);
    // The keep-alive follows the frames unframed.
    ASSERT_GE(stream.size(), 3u);
    EXPECT_EQ(std::string(stream.end() - 3, stream.end()), "png");

    TUNNEL_CLIENT_DATA reg, unreg;
    for (auto* f : {&frames[0], &frames[1]}) {
        ASSERT_GE(f->size(), 4u);
        EXPECT_EQ((*f)[0], 0x01);
        EXPECT_TRUE(CTunnelFrameCodec::CheckCRC(f->data(), static_cast<int>(f->size())));
    }
    CTunnelDataParser::ParseClientFrame(frames[0].data() + 1, static_cast<int>(frames[0].size()) - 3, &reg);
    CTunnelDataParser::ParseClientFrame(frames[1].data() + 1, static_cast<int>(frames[1].size()) - 3, &unreg);
    EXPECT_EQ(reg.command, 1);
    EXPECT_EQ(reg.registrationTimeout, 1800);
    EXPECT_STREQ(reg.timestamp, "12345678");
    EXPECT_STREQ(reg.fromHost, "sip.zelora.test");
    EXPECT_STREQ(reg.fromHostPort, "5060");
    EXPECT_EQ(std::strlen(reg.userName), 8 * 6u) << "8 hex digits per character, length made even";
    EXPECT_EQ(std::strlen(reg.password), 8 * 6u);

    EXPECT_EQ(unreg.command, 1);
    EXPECT_EQ(unreg.registrationTimeout, 0);
    EXPECT_STREQ(unreg.fromHost, "reg.other");
    EXPECT_STREQ(unreg.fromHostPort, "5070");
    // No timeout element at all: walk the elements.
    const std::uint8_t* tlv = frames[1].data() + 1;
    int len = static_cast<int>(frames[1].size()) - 3;
    int offset = 1, count = 0;
    std::uint8_t type;
    int vlen;
    char value[256];
    while ((offset = CTunnelDataParser::GetElement(tlv, len, offset, type, vlen, value)) > 0) {
        ++count;
        EXPECT_NE(type, ELEMENT_TYPE_SIP_CLIENT_REGISTRATION_TIMEOUT);
    }
    EXPECT_EQ(count, tlv[0]);
    EXPECT_EQ(count, 6); // command, from host, password, timestamp, user name, from host port
}

TEST(TunnelServer, CallBetweenTwoClientsWithMedia)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.30"));
    Client a("127.0.2.30"), b("127.0.2.30");
    ASSERT_EQ(a.Init(), 0);
    ASSERT_EQ(b.Init(), 0);
    ASSERT_GT(a.Register("127.0.2.31", "alice", "secret"), 0);
    ASSERT_TRUE(a.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000));
    ASSERT_GT(b.Register("127.0.2.32", "bob", "hunter2"), 0);
    ASSERT_TRUE(b.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000));

    ASSERT_GT(a.protocol->Invite("alice", "bob", nullptr, nullptr, nullptr, nullptr), 0);
    SESSION_EVENT_INFO incoming, ringing, answered, ack, closed;
    ASSERT_TRUE(b.events.WaitFor(MXSS_STATUS_INCOMING_CALL, 3000, &incoming)) << server.Log();
    EXPECT_STREQ(incoming.fromUserName, "alice");
    EXPECT_STREQ(incoming.toUserName, "bob");
    EXPECT_GT(incoming.cid, 0);
    EXPECT_STREQ(incoming.codecName, "PCMA");
    EXPECT_EQ(incoming.selectedCodecIndex, 1); // "8" in "102,8,0,"

    ASSERT_GT(b.protocol->SendRinging(&incoming), 0);
    ASSERT_TRUE(a.events.WaitFor(MXSS_STATUS_CALL_RINGING, 3000, &ringing)) << server.Log();
    EXPECT_EQ(ringing.cid, incoming.cid);
    EXPECT_EQ(ringing.statusCode, 180);

    ASSERT_GT(b.protocol->AcceptIncomingCall(&incoming, nullptr, nullptr), 0);
    ASSERT_TRUE(a.events.WaitFor(MXSS_STATUS_OUTGOING_CALL_ANSWERED, 3000, &answered)) << server.Log();
    ASSERT_TRUE(b.events.WaitFor(MXSS_STATUS_CALL_ACK, 3000, &ack)) << server.Log();
    EXPECT_STREQ(answered.rtpIp, "127.0.2.31");
    EXPECT_STREQ(ack.rtpIp, "127.0.2.32");
    ASSERT_NE(std::atoi(answered.rtpPort), 0);
    ASSERT_NE(std::atoi(ack.rtpPort), 0);

    ASSERT_EQ(a.protocol->StartListen(&answered), 1);
    ASSERT_EQ(b.protocol->StartListen(&ack), 1);
    EXPECT_TRUE(a.protocol->IsRelayActive());

    // The audio engines: each sends to its relay and listens on the local media port.
    UdpPeer engineA("127.0.2.31", 37644), engineB("127.0.2.32", 37644);
    ASSERT_TRUE(engineA.Ok() && engineB.Ok()) << "cannot bind the local media port";
    for (unsigned i = 0; i < 20; ++i) {
        auto p = Payload(172, i);
        ASSERT_EQ(engineA.SendTo("127.0.2.31", std::atoi(answered.rtpPort), p), 172);
        EXPECT_EQ(engineB.Receive(2000), p) << "datagram " << i << " from A";
        auto q = Payload(160 + i, i + 100);
        ASSERT_GT(engineB.SendTo("127.0.2.32", std::atoi(ack.rtpPort), q), 0);
        EXPECT_EQ(engineA.Receive(2000), q) << "datagram " << i << " from B";
    }
    // An oversize datagram is dropped and the relay goes on.
    std::vector<unsigned char> huge(4000, 0x11);
    engineA.SendTo("127.0.2.31", std::atoi(answered.rtpPort), huge);
    auto after = Payload(172, 77);
    engineA.SendTo("127.0.2.31", std::atoi(answered.rtpPort), after);
    EXPECT_EQ(engineB.Receive(2000), after);

    ASSERT_GT(a.protocol->HangUp(&answered), 0);
    ASSERT_TRUE(b.events.WaitFor(MXSS_STATUS_CALL_CLOSED, 3000, &closed)) << server.Log();
    EXPECT_EQ(closed.cid, incoming.cid);
    EXPECT_EQ(a.protocol->StopListen(), 1);
    EXPECT_EQ(b.protocol->StopListen(), 1);
    EXPECT_FALSE(a.protocol->IsRelayActive());

    // After the call the media goes nowhere.
    engineA.SendTo("127.0.2.31", std::atoi(answered.rtpPort), after);
    EXPECT_TRUE(engineB.Receive(300).empty());
}

TEST(TunnelServer, RejectedAndUnknownCallsFail)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.35"));
    Client a("127.0.2.35"), b("127.0.2.35");
    ASSERT_EQ(a.Init(), 0);
    ASSERT_EQ(b.Init(), 0);
    ASSERT_GT(a.Register("127.0.2.36", "alice", "secret"), 0);
    ASSERT_GT(b.Register("127.0.2.37", "bob", "hunter2"), 0);
    ASSERT_TRUE(a.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000));
    ASSERT_TRUE(b.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000));

    SESSION_EVENT_INFO rec;
    ASSERT_GT(a.protocol->Invite("alice", "carol", nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_TRUE(a.events.WaitFor(MXSS_STATUS_CALL_REQUESTFAILURE, 3000, &rec));
    EXPECT_EQ(rec.statusCode, 404);

    ASSERT_GT(a.protocol->Invite("alice", "bob", nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_TRUE(b.events.WaitFor(MXSS_STATUS_INCOMING_CALL, 3000, &rec));
    ASSERT_GT(b.protocol->RejectIncomingCall(&rec), 0);
    ASSERT_TRUE(a.events.WaitFor(MXSS_STATUS_CALL_REQUESTFAILURE, 3000, &rec));
    EXPECT_EQ(rec.statusCode, 486);
}

TEST(TunnelServer, EchoNumberReturnsMedia)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.40", "600"));
    Client c("127.0.2.40");
    ASSERT_EQ(c.Init(), 0);
    ASSERT_GT(c.Register("127.0.2.41", "alice", "secret"), 0);
    ASSERT_TRUE(c.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000));
    ASSERT_GT(c.protocol->Invite("alice", "600", nullptr, nullptr, nullptr, nullptr), 0);
    SESSION_EVENT_INFO answered;
    ASSERT_TRUE(c.events.WaitFor(MXSS_STATUS_OUTGOING_CALL_ANSWERED, 3000, &answered)) << server.Log();
    ASSERT_EQ(c.protocol->StartListen(&answered), 1);
    UdpPeer engine("127.0.2.41", 37644);
    ASSERT_TRUE(engine.Ok());
    for (unsigned i = 0; i < 50; ++i) {
        auto p = Payload(172, i);
        ASSERT_EQ(engine.SendTo("127.0.2.41", std::atoi(answered.rtpPort), p), 172);
        EXPECT_EQ(engine.Receive(2000), p) << "datagram " << i;
    }
    EXPECT_GT(c.protocol->HangUp(&answered), 0);
    EXPECT_EQ(c.protocol->StopListen(), 1);
}

TEST(TunnelServer, ServerCloseWhileRegisteredGivesOneLogoutAndRegisterReconnects)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.50"));
    Client c("127.0.2.50");
    ASSERT_EQ(c.Init(), 0);
    ASSERT_GT(c.Register("127.0.2.51", "alice", "secret"), 0);
    ASSERT_TRUE(c.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000));
    EXPECT_EQ(server.Stop(), 0) << "clean exit on SIGTERM";
    ASSERT_TRUE(c.events.WaitFor(MXSS_STATUS_LOGOUT, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(c.events.Count(MXSS_STATUS_LOGOUT), 1);
    EXPECT_FALSE(c.protocol->IsConnected());
    EXPECT_EQ(c.protocol->SendPing(), -1);
    EXPECT_LT(c.protocol->Invite("alice", "bob", nullptr, nullptr, nullptr, nullptr), 0);

    // No server: Register reports the connection failure; a new server: it reconnects.
    EXPECT_LT(c.Register("127.0.2.51", "alice", "secret"), 0);
    TunnelServerPeer again;
    ASSERT_NO_FATAL_FAILURE(again.Start("127.0.2.50"));
    ASSERT_GT(c.Register("127.0.2.51", "alice", "secret"), 0);
    EXPECT_TRUE(c.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000)) << again.Log();
}

TEST(TunnelServer, DestructorUnregistersAndEndsQuietly)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.52"));
    auto c = std::make_unique<Client>("127.0.2.52");
    ASSERT_EQ(c->Init(), 0);
    ASSERT_GT(c->Register("127.0.2.53", "alice", "secret"), 0);
    ASSERT_TRUE(c->events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000));
    auto start = std::chrono::steady_clock::now();
    c->protocol.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(c->events.Count(MXSS_STATUS_LOGOUT), 0);
    EXPECT_EQ(c->events.Count(MXSS_STATUS_REGISTRATION_SUCCESSFUL), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NE(server.Log().find("alice unregistered"), std::string::npos) << server.Log();
}

// Plays the session core: every event takes the core's lock, as its dispatcher does, and a
// LOGOUT may sign in again from the tunnel thread itself and then linger in the callback.
struct LockingCore {
    std::recursive_mutex lock;
    EventLog events;
    CODEC_INFO codecs[1] = {};
    std::unique_ptr<CTunnelProtocol> protocol;
    std::atomic<bool> inLogout{false};
    std::atomic<int> inCallback{0};
    std::atomic<bool> reRegisterOnLogout{false};
    std::atomic<int> reRegisterResult{0};
    std::atomic<int> lingerMs{0};

    static int Callback(int status, void* context, SESSION_EVENT_INFO* record)
    {
        auto* core = static_cast<LockingCore*>(context);
        ++core->inCallback;
        if (status == MXSS_STATUS_LOGOUT)
            core->inLogout = true;
        {
            std::lock_guard<std::recursive_mutex> guard(core->lock);
            if (status == MXSS_STATUS_LOGOUT && core->reRegisterOnLogout)
                core->reRegisterResult =
                    core->protocol->Register("alice", "alice", "secret", 3600, nullptr, nullptr, 0);
            EventLog::Callback(status, &core->events, record);
        }
        if (status == MXSS_STATUS_LOGOUT)
            std::this_thread::sleep_for(std::chrono::milliseconds(core->lingerMs.load()));
        --core->inCallback;
        return 0;
    }

    void SignIn(const std::string& server, const char* localAddress)
    {
        CopyText(codecs[0].name, "PCMA");
        protocol = std::make_unique<CTunnelProtocol>(kAgent, 0, "", 0, 0, server.c_str());
        setenv("ZELORA_LOCAL_ADDRESS", localAddress, 1);
        ASSERT_EQ(
            protocol->Init("zelora.test", "sip.zelora.test", "5060", &Callback, this, nullptr, codecs, 1, kAgent, 5060),
            0);
        ASSERT_GT(protocol->Register("alice", "alice", "secret", 3600, nullptr, nullptr, 0), 0);
        ASSERT_TRUE(events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000));
    }
};

// Runs Register on its own thread; a deadlock stops the peers and aborts the run loudly
// instead of hanging it.
int RegisterWithin(CTunnelProtocol& protocol, int seconds, std::initializer_list<TunnelServerPeer*> peers)
{
    auto done = std::async(std::launch::async,
                           [&] { return protocol.Register("alice", "alice", "secret", 3600, nullptr, nullptr, 0); });
    if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
        std::fprintf(stderr, "Register did not return within %d s: deadlocked with the tunnel thread\n", seconds);
        for (TunnelServerPeer* peer : peers)
            peer->Stop();
        std::abort();
    }
    return done.get();
}

TEST(TunnelThreads, ReconnectUnderTheCoreLockWhileTheOldThreadWaitsForIt)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.80"));
    LockingCore core;
    ASSERT_NO_FATAL_FAILURE(core.SignIn("127.0.2.80", "127.0.2.81"));
    CTunnelProtocol& protocol = *core.protocol;

    TunnelServerPeer again;
    {
        std::unique_lock<std::recursive_mutex> held(core.lock);
        EXPECT_EQ(server.Stop(), 0);
        for (int i = 0; i < 300 && !core.inLogout; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(core.inLogout) << "the tunnel thread did not report the close; server log:\n" << server.Log();
        ASSERT_NO_FATAL_FAILURE(again.Start("127.0.2.80"));
        // The core re-registers under its lock while the old thread waits for that lock.
        EXPECT_GT(RegisterWithin(protocol, 20, {&server, &again}), 0);
        EXPECT_TRUE(protocol.IsConnected());
    }
    ASSERT_TRUE(core.events.WaitFor(MXSS_STATUS_LOGOUT, 3000));
    ASSERT_TRUE(core.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000)) << again.Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(core.events.Count(MXSS_STATUS_LOGOUT), 1);
    EXPECT_TRUE(protocol.IsConnected()) << "the replaced thread must not clear its successor's state";
    EXPECT_TRUE(protocol.IsRegistered());
    EXPECT_GT(protocol.SendPing(), 0);
}

TEST(TunnelThreads, SignInAgainFromTheLogoutThenDestroyAtOnce)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.82"));
    LockingCore core;
    ASSERT_NO_FATAL_FAILURE(core.SignIn("127.0.2.82", "127.0.2.83"));

    // The tunnel thread itself replaces its connection (and so stops itself) in the LOGOUT,
    // then stays in the callback while its successor signs in.
    core.reRegisterOnLogout = true;
    core.lingerMs = 1500;
    TunnelServerPeer again;
    {
        std::unique_lock<std::recursive_mutex> held(core.lock);
        EXPECT_EQ(server.Stop(), 0);
        ASSERT_NO_FATAL_FAILURE(again.Start("127.0.2.82"));
    }
    ASSERT_TRUE(core.events.WaitFor(MXSS_STATUS_LOGOUT, 10000));
    EXPECT_GT(core.reRegisterResult.load(), 0);
    ASSERT_TRUE(core.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 1000)) << again.Log();
    EXPECT_TRUE(core.protocol->IsConnected());
    // The successor's callback may still be returning; the replaced thread lingers.
    for (int i = 0; i < 50 && core.inCallback.load() > 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(core.inCallback.load(), 1) << "the replaced thread should still linger";

    // Destroyed at once: the unregistration is answered on the new connection, and the object
    // outlives the replaced thread still in its callback.
    core.protocol.reset();
    EXPECT_EQ(core.inCallback.load(), 0) << "destroyed while a thread of it was still running";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NE(again.Log().find("alice unregistered"), std::string::npos) << again.Log();
    EXPECT_EQ(core.events.Count(MXSS_STATUS_LOGOUT), 1);
    EXPECT_EQ(core.events.Count(MXSS_STATUS_REGISTRATION_SUCCESSFUL), 2);
}

TEST(TunnelServer, HostileClientCostsOnlyItsConnection)
{
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.55"));
    // Garbage, a bad CRC, an endless frame, then an early close.
    {
        CTCPClient raw;
        ASSERT_EQ(raw.Init("127.0.2.55", 443), 1);
        std::string hello = "CLIENT_HELLO\r\nx\r\n\r\n";
        raw.Send(reinterpret_cast<const std::uint8_t*>(hello.data()), static_cast<int>(hello.size()));
        std::vector<std::uint8_t> junk(10000);
        for (std::size_t i = 0; i < junk.size(); ++i)
            junk[i] = static_cast<std::uint8_t>(i * 13);
        raw.Send(junk.data(), static_cast<int>(junk.size()));
        const std::uint8_t badCrc[] = {0x7E, 0x01, 0x01, 13, 1, '2', 0x00, 0x00, 0x7F};
        raw.Send(badCrc, sizeof badCrc);
        std::vector<std::uint8_t> endless(20000, 0x41);
        endless[0] = 0x7E;
        raw.Send(endless.data(), static_cast<int>(endless.size()));
    }
    {
        CTCPClient raw; // closes in the middle of its hello
        ASSERT_EQ(raw.Init("127.0.2.55", 443), 1);
        raw.Send(reinterpret_cast<const std::uint8_t*>("CLIENT_HEL"), 10);
    }
    {
        CTCPClient raw; // a hello that never ends
        ASSERT_EQ(raw.Init("127.0.2.55", 443), 1);
        std::vector<std::uint8_t> big(5000, 'A');
        raw.Send(big.data(), static_cast<int>(big.size()));
    }
    Client c("127.0.2.55");
    ASSERT_EQ(c.Init(), 0);
    ASSERT_GT(c.Register("127.0.2.56", "bob", "hunter2"), 0);
    EXPECT_TRUE(c.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000)) << server.Log();
    std::string log = server.Log();
    EXPECT_NE(log.find("bad CRC dropped"), std::string::npos) << log;
    EXPECT_NE(log.find("discarded"), std::string::npos) << log;
    EXPECT_NE(log.find("no CLIENT_HELLO within 2048 bytes"), std::string::npos) << log;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(TunnelProxy, ConnectThroughTinyproxy)
{
    std::string tinyproxy = FindProgram("tinyproxy");
    ASSERT_NE(tinyproxy, "") << "tinyproxy not found: install the Debian package tinyproxy";
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.61"));
    const TempDir& dir = server.Dir();
    std::string conf = dir.Write("tinyproxy.conf",
                                 "Port 8888\nListen 127.0.2.60\nTimeout 60\nMaxClients 10\n"
                                 "LogFile \"" +
                                     dir.Path() +
                                     "/tinyproxy.log\"\nLogLevel Connect\n"
                                     "PidFile \"" +
                                     dir.Path() +
                                     "/tinyproxy.pid\"\n"
                                     "Allow 127.0.0.0/8\nConnectPort 443\nDisableViaHeader Yes\n");
    PeerProcess proxy;
    ASSERT_EQ(proxy.Start({tinyproxy, "-d", "-c", conf}, dir.Path() + "/tinyproxy.out"), "");
    ASSERT_TRUE(WaitForTcp("127.0.2.60", 8888, 5000)) << "tinyproxy does not answer";

    Client c("127.0.2.61", 8888, "127.0.2.60", 1);
    ASSERT_EQ(c.Init(), 0) << ReadFile(dir.Path() + "/tinyproxy.log");
    ASSERT_GT(c.Register("127.0.2.62", "alice", "secret"), 0);
    EXPECT_TRUE(c.events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000)) << server.Log();
    EXPECT_NE(ReadFile(dir.Path() + "/tinyproxy.log").find("CONNECT 127.0.2.61:443"), std::string::npos);
}

TEST(TunnelProxy, RefusingProxyAndEmptyProxyAddress)
{
    TempDir dir;
    std::string logPath = dir.Path() + "/client.log";
    ASSERT_EQ(CLogger::Open(logPath), 1);
    FixedReplyServer proxy("127.0.2.70", 8080,
                           "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"x\"\r\n"
                           "Content-Length: 0\r\n\r\n");
    ASSERT_TRUE(proxy.Ok());
    Client refused("127.0.2.71", 8080, "127.0.2.70", 1);
    EXPECT_EQ(refused.Init(), -1);
    EXPECT_FALSE(refused.protocol->IsConnected());
    EXPECT_EQ(proxy.FirstRequest().rfind("CONNECT 127.0.2.71:443 HTTP/1.1\r\nHost: 127.0.2.71:443 \r\n", 0), 0u)
        << proxy.FirstRequest();
    EXPECT_NE(proxy.FirstRequest().find("User-Agent: Mozilla/4.0 (compatible; zeloraTALK-test/1.0)\r\n"),
              std::string::npos);
    CLogger::Exit();
    std::string log = ReadFile(logPath);
    EXPECT_NE(log.find("Proxy Reply[HTTP/1.1 407"), std::string::npos) << log;
    EXPECT_NE(log.find("Connection through internet proxy failed"), std::string::npos);

    // The flag set without an address: straight to the tunnel server.
    TunnelServerPeer server;
    ASSERT_NO_FATAL_FAILURE(server.Start("127.0.2.72"));
    Client direct("127.0.2.72", 8080, "", 1);
    EXPECT_EQ(direct.Init(), 0);
    EXPECT_TRUE(direct.protocol->IsConnected());
}

TEST(TunnelProxy, SilentServerAndNoServer)
{
    // Accepts but never says SERVER_HELLO (fewer than 12 bytes).
    FixedReplyServer silent("127.0.2.75", 443, "SERVER_HE");
    ASSERT_TRUE(silent.Ok());
    Client c("127.0.2.75");
    EXPECT_EQ(c.Init(), -1);
    Client none("127.0.2.76");
    EXPECT_EQ(none.Init(), -1); // connect refused: "Unable to Init TCP Client"
    Client empty("");
    EXPECT_EQ(empty.Init(), -1);
}

} // namespace
