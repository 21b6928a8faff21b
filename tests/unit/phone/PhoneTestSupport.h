#pragma once
// Fakes shared by the phone's unit tests: a recording session protocol, audio engine and views,
// and a settings store on a registry file of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "phone/CPhoneAudio.h"
#include "session/CSessionProtocol.h"
#include "app/CSettings.h"
#include "phone/CzeloraTALKView.h"
#include "app/Deployment.h"
#include "app/MXFileHelper.h"
#include "app/MXRegistry.h"
#include "platform/Registry.h"
#include "session/SessionTypes.h"

namespace phonetest {

struct Call {
    std::string op;
    std::vector<std::string> args;
    int cid = 0;
};

class FakeProtocol : public CSessionProtocol {
public:
    int initResult = 0;
    int registerResult = 0;
    int inviteResult = 7;
    int acceptResult = 0;
    int rejectResult = 0;
    int unregisterResult = 0;
    int pingResult = 0;
    int startListenResult = 1;
    int hangUpFailures = 0; // how many HangUp calls fail before they succeed
    std::vector<Call> calls;
    std::function<void()> onRegister; // runs inside Register
    SESSION_CALLBACK callback = nullptr;
    void* context = nullptr;

    int Count(const std::string& op) const
    {
        int n = 0;
        for (const Call& c : calls)
            n += c.op == op;
        return n;
    }
    const Call* Last(const std::string& op) const
    {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->op == op)
                return &*it;
        return nullptr;
    }
    // Raises an event as the protocol's worker would.
    int Raise(int status, SESSION_EVENT_INFO* record) { return callback(status, context, record); }

    int Init(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK cb, void* ctx,
             const char*, CODEC_INFO*, int codecCount, const char* userAgent, int localSipPort) override
    {
        callback = cb;
        context = ctx;
        calls.push_back({"Init",
                         {S(realm), S(proxyHost), S(proxyPort), S(userAgent), std::to_string(codecCount),
                          std::to_string(localSipPort)}});
        return initResult;
    }
    int Register(const char* displayName, const char* userId, const char* password, int expiry, const char* proxyHost,
                 const char* proxyPort, int reserved) override
    {
        calls.push_back({"Register",
                         {S(displayName), S(userId), S(password), std::to_string(expiry), proxyHost ? "host" : "null",
                          proxyPort ? "port" : "null", std::to_string(reserved)}});
        if (onRegister)
            onRegister();
        return registerResult;
    }
    int Invite(const char* ownUser, const char* calledUser, const char* proxyHost, const char* proxyPort,
               const char* localMediaIp, const char* localMediaPort) override
    {
        calls.push_back({"Invite",
                         {S(ownUser), S(calledUser), S(proxyHost), S(proxyPort), localMediaIp ? localMediaIp : "null",
                          localMediaPort ? localMediaPort : "null"}});
        return inviteResult;
    }
    int SendRinging(SESSION_EVENT_INFO* record) override { return Record("SendRinging", record, 0); }
    int SendRingWithSDP(SESSION_EVENT_INFO* record, const char*, const char*) override
    {
        return Record("SendRingWithSDP", record, 0);
    }
    int AcceptIncomingCall(SESSION_EVENT_INFO* record, const char*, const char*) override
    {
        return Record("AcceptIncomingCall", record, acceptResult);
    }
    int RejectIncomingCall(SESSION_EVENT_INFO* record) override
    {
        return Record("RejectIncomingCall", record, rejectResult);
    }
    int HangUp(SESSION_EVENT_INFO* record) override
    {
        int result = hangUpFailures > 0 ? -1 : 0;
        if (hangUpFailures > 0)
            --hangUpFailures;
        return Record("HangUp", record, result);
    }
    int UnRegister(const char* displayName, const char* userId, const char* password, int expiry, const char*,
                   const char*) override
    {
        calls.push_back({"UnRegister", {S(displayName), S(userId), S(password), std::to_string(expiry)}});
        return unregisterResult;
    }
    int SendPing() override
    {
        calls.push_back({"SendPing", {}});
        return pingResult;
    }
    int StartListen(SESSION_EVENT_INFO* record) override { return Record("StartListen", record, startListenResult); }
    int StopListen() override
    {
        calls.push_back({"StopListen", {}});
        return 1;
    }

private:
    static std::string S(const char* s) { return s ? s : "null"; }
    int Record(const char* op, SESSION_EVENT_INFO* record, int result)
    {
        calls.push_back({op, {}, record ? record->cid : -1});
        return result;
    }
};

class FakeAudio : public CPhoneAudio {
public:
    int startResult = 0;
    int voiceResult = 0;
    int playResult = 0;
    int lastError = 0;
    int speaker = 100, mic = 120;
    std::vector<int> supported{102, 8, 0};
    std::vector<std::string> calls;
    std::mutex mutex;

    int Count(const std::string& prefix)
    {
        std::lock_guard<std::mutex> guard(mutex);
        int n = 0;
        for (const std::string& c : calls)
            n += c.rfind(prefix, 0) == 0;
        return n;
    }
    bool Has(const std::string& call)
    {
        std::lock_guard<std::mutex> guard(mutex);
        for (const std::string& c : calls)
            if (c == call)
                return true;
        return false;
    }
    int StartSoundEngine() override { return Add("Start", startResult); }
    int Terminate() override { return Add("Terminate", 0); }
    int GetSpeakerVolume() override { return speaker; }
    int GetMicVolume() override { return mic; }
    int SetSpeakerVolume(int level) override { return Add("Speaker " + std::to_string(level), 0); }
    int SetMicVolume(int level) override { return Add("Mic " + std::to_string(level), 0); }
    int PlayFile(const char* path, PlayOption option) override
    {
        return Add("Play " + std::string(path) + " " + std::to_string(option), playResult);
    }
    int StopPlayFile() override { return Add("StopPlay", 0); }
    int StartVoiceCall(int payload, const char* codec, int localPort, const char* remote, int remotePort) override
    {
        return Add("Voice " + std::to_string(payload) + " " + codec + " " + std::to_string(localPort) + " " + remote +
                       " " + std::to_string(remotePort),
                   voiceResult);
    }
    int StopVoiceCall() override { return Add("StopVoice", 0); }
    int SendDTMF(int key) override { return Add("DTMF " + std::to_string(key), 0); }
    int PlayLocalDTMFTone(int key) override { return Add("Tone " + std::to_string(key), 0); }
    int GetLastError() override { return lastError; }
    std::string GetLastErrorText() override { return "fake"; }
    std::vector<int> SupportedPayloads() override { return supported; }

private:
    int Add(const std::string& call, int result)
    {
        std::lock_guard<std::mutex> guard(mutex);
        calls.push_back(call);
        return result;
    }
};

class RecordingView : public CzeloraTALKView {
public:
    std::vector<std::string> messages;
    std::vector<int> icons;
    std::vector<std::string> questions;
    bool answerYes = true;
    std::vector<int> panels;
    std::vector<CMXDisplayScreen::Lines> paints;
    std::vector<std::string> notifier;
    int notifierClosed = 0;
    int refreshes = 0;
    bool closed = false;
    int sliderSpeaker = -1, sliderMic = -1;

    void MessageBox(const std::string& text, Icon icon) override
    {
        messages.push_back(text);
        icons.push_back(icon);
    }
    bool AskYesNo(const std::string& text) override
    {
        questions.push_back(text);
        return answerYes;
    }
    void SwitchPanel(int panel) override { panels.push_back(panel); }
    void RefreshControls(bool, const std::string&) override { ++refreshes; }
    void ShowSignedInButtons() override { }
    void PaintDisplay(const CMXDisplayScreen::Lines& lines, bool painted) override
    {
        if (painted)
            paints.push_back(lines);
    }
    void SetSliders(int speaker, int mic) override
    {
        sliderSpeaker = speaker;
        sliderMic = mic;
    }
    void ShowAccountTexts(const std::string&, const std::string&) override { }
    void OpenNotifier(const std::string& text) override { notifier.push_back(text); }
    void CloseNotifier() override { ++notifierClosed; }
    void ActivateWindow() override { }
    void FlashWindow() override { }
    void ShowCounter(int) override { }
    void SetTitle(const std::string&) override { }
    void CloseWindow() override { closed = true; }
};

inline DeploymentValues TestDeployment()
{
    DeploymentValues d;
    d.sipDefaultServer = "sip.zelora.test";
    d.sipOtherServer1 = "proxy.zelora.test";
    d.sipOtherServer2 = "sip2.zelora.test";
    d.tunnelServer = "tunnel.zelora.test";
    d.passwordResetPage = "http://portal.zelora.test/reset";
    return d;
}

// A registry and a settings file of the test's own, in a temp folder removed at the end.
class TempSettings {
public:
    TempSettings() : TempSettings(CurrentTestName()) { }
    // Outside gtest (the Qt tests): the folder named by the caller.
    explicit TempSettings(const std::string& name)
    {
        m_dir = std::filesystem::temp_directory_path() / ("zelora-phone-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir / "app");
        m_registry.Open((m_dir / "registry.ini").string(), false);
        m_mxRegistry =
            std::make_unique<MXRegistry>(m_registry, TestDeployment().sipDefaultServer, TestDeployment().tunnelServer);
        m_file = std::make_unique<MXFileHelper>(TestDeployment().sipDefaultServer, TestDeployment().tunnelServer);
        m_file->SetDefaults(Folder());
        m_file->SetFolder(Folder());
        m_settings = std::make_unique<CSettings>(*m_mxRegistry, *m_file, Folder());
        CSettings::SetFromFile(false);
    }
    ~TempSettings()
    {
        CSettings::SetFromFile(false);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::string Folder() const { return (m_dir / "app").string() + "/"; }
    CSettings& Settings() { return *m_settings; }
    MXRegistry& Reg() { return *m_mxRegistry; }
    zelora::Registry& Raw() { return m_registry; }
    MXFileHelper& File() { return *m_file; }

private:
    static std::string CurrentTestName()
    {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        return std::string(info->test_suite_name()) + "." + info->name();
    }

    std::filesystem::path m_dir;
    zelora::Registry m_registry;
    std::unique_ptr<MXRegistry> m_mxRegistry;
    std::unique_ptr<MXFileHelper> m_file;
    std::unique_ptr<CSettings> m_settings;
};

inline SESSION_EVENT_INFO Record(int cid, int statusCode = 0)
{
    SESSION_EVENT_INFO r;
    ClearEventInfo(r);
    r.cid = cid;
    r.statusCode = statusCode;
    return r;
}

} // namespace phonetest
