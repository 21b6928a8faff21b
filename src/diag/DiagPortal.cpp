// zelora-diag portal-link: the auto-login link a portal window opens, for support to compare
// with what the portal received.
#include "diag/DiagCommand.h"

#include "app/Deployment.h"
#include "web/CPortalLink.h"
#include "web/WebApi.h"

#include <ostream>

namespace {

int DiagPortalLink(const DiagArgs& input, std::ostream& out, std::ostream& err)
{
    DiagArgs args = input;
    zelora::web::CPortalLink::Request request;
    std::string host;
    const bool haveUser = DiagTakeOption(args, "--user", request.userId);
    const bool haveStamp = DiagTakeOption(args, "--timestamp", request.timeStamp);
    const bool haveHost = DiagTakeOption(args, "--host", host);
    if (args.size() != 1 || !haveUser || args[0].empty()) {
        err << "usage: zelora-diag portal-link <page> --user ID [--timestamp MS] [--host HOST]\n";
        return 1;
    }
    request.page = args[0];
    if (!haveStamp)
        request.timeStamp = zelora::web::RequestTimeStamp();
    if (!haveHost) {
        // The deployment's portal host, as the desktop program takes it.
        std::string error;
        if (Deployment::Init("", &error) != Deployment::kOk) {
            err << error << "\n";
            return 1;
        }
        const DeploymentValues& values = Deployment::Get();
        host = values.portalHost.empty() ? values.webServiceHost : values.portalHost;
    }
    std::string url;
    if (zelora::web::CPortalLink::Make(host, request, url) != 1) {
        err << "Unable to make web page contents\n";
        return 1;
    }
    out << zelora::web::CPortalLink::RequestText(request) << "\n" << url << "\n";
    return 0;
}

const DiagRegistrar kPortalLink("portal-link", "portal-link <page> --user ID [--timestamp MS] [--host HOST]",
                                &DiagPortalLink);

} // namespace
