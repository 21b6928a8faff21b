// operator-sim: the operator's web service, advertisement server, portal sign-in,
// connectivity-probe target and the presence service's mail page on one HTTP port, for
// tests and the local sandbox.
#include "COperatorRoutes.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Upload {
    std::string body;
    bool oversize = false;
};

MHD_Result Reply(MHD_Connection* connection, const COperatorRoutes::Reply& reply)
{
    MHD_Response* response =
        MHD_create_response_from_buffer(reply.text.size(), const_cast<char*>(reply.text.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, "Content-Type", reply.type);
    MHD_Result result = MHD_queue_response(connection, reply.status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result Handle(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char* data, size_t* dataSize, void** connectionState)
{
    auto* routes = static_cast<COperatorRoutes*>(cls);
    auto* upload = static_cast<Upload*>(*connectionState);
    if (upload == nullptr) {
        upload = new (std::nothrow) Upload;
        if (upload == nullptr) {
            return MHD_NO;
        }
        *connectionState = upload;
        return MHD_YES;
    }
    if (*dataSize > 0) {
        if (upload->body.size() + *dataSize > COperatorRoutes::kMaxBody) {
            upload->oversize = true;
        } else if (!upload->oversize) {
            upload->body.append(data, *dataSize);
        }
        *dataSize = 0;
        return MHD_YES;
    }
    COperatorRoutes::Request request;
    request.path = url != nullptr ? url : "";
    request.verb = method != nullptr ? method : "";
    request.body = std::move(upload->body);
    request.oversize = upload->oversize;
    request.argument = [connection](const char* name) {
        return MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, name);
    };
    return Reply(connection, routes->Route(request));
}

void Completed(void*, MHD_Connection*, void** connectionState, MHD_RequestTerminationCode)
{
    delete static_cast<Upload*>(*connectionState);
    *connectionState = nullptr;
}

int Usage()
{
    std::fprintf(stderr, "usage: operator-sim [--listen ADDRESS] [--port PORT] --data FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string address = "127.0.0.1";
    long port = 80;
    std::string dataFile;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc) {
            return Usage();
        }
        if (arg == "--listen") {
            address = argv[++i];
        } else if (arg == "--port") {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (end == nullptr || *end != '\0' || port < 1 || port > 65535) {
                return Usage();
            }
        } else if (arg == "--data") {
            dataFile = argv[++i];
        } else {
            return Usage();
        }
    }
    if (dataFile.empty()) {
        return Usage();
    }
    COperatorRoutes routes;
    std::string error;
    if (!routes.Load(dataFile, error)) {
        std::fprintf(stderr, "operator-sim: %s: %s\n", dataFile.c_str(), error.c_str());
        return 1;
    }
    sockaddr_in bindAddress{};
    bindAddress.sin_family = AF_INET;
    bindAddress.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &bindAddress.sin_addr) != 1) {
        std::fprintf(stderr, "operator-sim: bad listen address %s\n", address.c_str());
        return 2;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    MHD_Daemon* daemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG, static_cast<uint16_t>(port), nullptr, nullptr, &Handle,
        &routes, MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&bindAddress), MHD_OPTION_NOTIFY_COMPLETED,
        &Completed, nullptr, MHD_OPTION_CONNECTION_TIMEOUT, 30u, MHD_OPTION_CONNECTION_LIMIT, 64u, MHD_OPTION_END);
    if (daemon == nullptr) {
        std::fprintf(stderr, "operator-sim: cannot listen on %s:%ld\n", address.c_str(), port);
        return 1;
    }
    std::printf("listening %s:%ld\n", address.c_str(), port);
    std::fflush(stdout);
    int signal = 0;
    sigwait(&signals, &signal);
    MHD_stop_daemon(daemon);
    return 0;
}
