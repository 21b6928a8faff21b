#include "KamailioPeer.h"

#include <sys/stat.h>

#include "RawSipPeer.h"

namespace zelora::test {

std::string KamailioPeer::Start(const Options& options)
{
    m_options = options;
    std::string program = FindProgram("kamailio");
    if (program.empty())
        return MissingProgram("kamailio", "kamailio");
    if (m_dir.Path().empty())
        return "cannot create a temp directory";
    std::string run = m_dir.Path() + "/run";
    mkdir(run.c_str(), 0755);
    std::string listen = "udp:" + options.ip + ":" + std::to_string(options.port);
    std::vector<std::string> argv = {program,
                                     "-f",
                                     std::string(ZELORA_PEERS_DIR) + "/kamailio.cfg",
                                     "-DD",
                                     "-E",
                                     "-Y",
                                     run,
                                     "-P",
                                     run + "/kamailio.pid",
                                     "-A",
                                     "SIP_LISTEN=" + listen,
                                     "-A",
                                     "REALM=\"" + options.ip + "\""};
    if (options.qop) {
        argv.push_back("-A");
        argv.push_back("WITH_QOP");
    }
    if (options.authFail403) {
        argv.push_back("-A");
        argv.push_back("AUTH_FAIL_403");
    }
    if (options.noCallAuth) {
        argv.push_back("-A");
        argv.push_back("NO_CALL_AUTH");
    }
    std::string error = m_process.Start(argv, m_dir.Path() + "/kamailio.log");
    if (!error.empty())
        return "kamailio: " + error;
    bool ready = WaitUntil([&] { return !m_process.Running() || SipServerAnswers(options.ip, options.port, 200); },
                           std::chrono::milliseconds(10000));
    if (!ready || !m_process.Running()) {
        std::string log = Log();
        m_process.Stop();
        return "kamailio on " + listen + " did not answer OPTIONS; its log:\n" + log;
    }
    return {};
}

} // namespace zelora::test
