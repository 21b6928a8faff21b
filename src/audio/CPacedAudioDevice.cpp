#include "audio/CPacedAudioDevice.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "audio/AudioResult.h"
#include "app/CLogger.h"
#include "audio/MediaThread.h"

CPacedAudioDevice::~CPacedAudioDevice()
{
    // Derived parts are gone by now; they stop the thread in their own destructors.
}

int CPacedAudioDevice::Start(FrameCallback cb, std::string& error)
{
    ZLOG_SCOPE();
    if (m_running)
        return MXSOUND_OK;
    const int rc = Open(error);
    if (rc != MXSOUND_OK)
        return rc;
    m_callback = std::move(cb);
    m_gate.Reset();
    m_running = true;
    try {
        m_thread = std::thread(&CPacedAudioDevice::Run, this);
    } catch (const std::exception& e) {
        m_running = false;
        Close();
        error = std::string("Unable to start the device thread: ") + e.what();
        ZLOG(LOG_ERROR, "Unable to start the device thread: %s", e.what());
        return MXSOUND_ERROR_RESOURCE;
    }
    return MXSOUND_OK;
}

void CPacedAudioDevice::Stop()
{
    ZLOG_SCOPE();
    if (!m_thread.joinable())
        return;
    m_running = false;
    m_gate.Close();
    m_thread.join();
    Close();
}

void CPacedAudioDevice::Run()
{
    ZLOG_SCOPE();
    zelora::audio::PrepareMediaThread("zelora-device");
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::microseconds(1000000 * kFrameSamples / kSampleRate);
    std::vector<int16_t> capture(kFrameSamples), playback(kFrameSamples);
    auto deadline = clock::now();
    while (m_running) {
        ReadCapture(capture.data(), kFrameSamples);
        std::fill(playback.begin(), playback.end(), int16_t(0));
        const bool busy = m_callback(capture.data(), playback.data(), kFrameSamples);
        WritePlayback(playback.data(), kFrameSamples);
        deadline += period;
        if (!busy) {
            RestBegins();
            const bool woken = m_gate.Rest();
            // Whole frames only, so the derived device's files stay aligned to the frame clock; a
            // rest that a stop ends counts too, so a recording is as long as the device ran.
            const auto frames = std::max<long long>(0, (clock::now() - deadline) / period);
            deadline += frames * period;
            RestEnded(static_cast<size_t>(frames) * kFrameSamples);
            if (!woken)
                break;
        }
        const auto now = clock::now();
        // After a long stall (suspend, debugger) start afresh instead of racing to catch up.
        if (now - deadline > std::chrono::milliseconds(500))
            deadline = now;
        std::this_thread::sleep_until(deadline);
    }
}
