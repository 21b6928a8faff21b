#include "COperatorRoutes.h"

#include "CPortalPages.h"

#include "platform/XmlText.h"
#include "web/WebApi.h"

#include <cstring>

namespace {
// What a page accepts; other verbs get `refusal` (405, or 404 where the page is only found so).
struct Verbs {
    const char* first;
    const char* second;
    unsigned refusal;
};
constexpr Verbs kPost{"POST", nullptr, 405};
constexpr Verbs kAny{nullptr, nullptr, 0};
constexpr Verbs kGet{"GET", nullptr, 404};
constexpr Verbs kGetOrHead{"GET", "HEAD", 404};

bool Accepts(const Verbs& verbs, const std::string& verb)
{
    return verbs.first == nullptr || verb == verbs.first || (verbs.second != nullptr && verb == verbs.second);
}
} // namespace

bool COperatorRoutes::Load(const std::string& path, std::string& error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_store.Load(path, error);
}

COperatorRoutes::Reply COperatorRoutes::Route(const Request& request)
{
    struct Route {
        const char* path;
        Verbs verbs;
        Page page;
    };
    static const Route kRoutes[] = {
        {zelora::web::kServicePath, kPost, &COperatorRoutes::WebService},
        {"/control/addressbook", kPost, &COperatorRoutes::Control},
        {"/zeloraads/www/property.php", kAny, &COperatorRoutes::Ads},
        {zelora::web::kAutoLoginPath, kAny, &COperatorRoutes::Portal},
        {"/mailapi/sendmail.php", kPost, &COperatorRoutes::Mail},
        {"/sim/requests", kGet, &COperatorRoutes::Requests},
        {"/", kGetOrHead, &COperatorRoutes::Home},
    };
    for (const Route& route : kRoutes) {
        if (request.path != route.path)
            continue;
        if (Accepts(route.verbs, request.verb)) {
            std::lock_guard<std::mutex> lock(m_lock);
            return (this->*route.page)(request);
        }
        if (route.verbs.refusal == 405)
            return {405, "Method not allowed\n", "text/plain"};
        break;
    }
    return {404, "Not found\n", "text/plain"};
}

COperatorRoutes::Reply COperatorRoutes::WebService(const Request& request)
{
    int status = 200;
    std::string text = m_api.Handle(request.body, request.oversize, status);
    return {static_cast<unsigned>(status), std::move(text), "text/xml"};
}

COperatorRoutes::Reply COperatorRoutes::Control(const Request& request)
{
    int status = 400;
    std::string text = m_control.Handle(request.body, status);
    return {static_cast<unsigned>(status), std::move(text), "text/plain"};
}

COperatorRoutes::Reply COperatorRoutes::Ads(const Request& request)
{
    const char* campaign = request.argument("campaignid");
    if (campaign == nullptr || std::strcmp(campaign, "2") != 0)
        return {404, "No such campaign\n", "text/plain"};
    m_api.Count("ads");
    std::string list = "&lt;list&gt;";
    for (const auto& [text, link] : m_store.Ads())
        list += "&lt;item&gt;&lt;txt&gt;" + zelora::EscapeXml(text) + "&lt;/txt&gt;&lt;url&gt;" +
            zelora::EscapeXml(link) + "&lt;/url&gt;&lt;/item&gt;";
    list += "&lt;/list&gt;";
    return {200, "<html><body><pre>" + list + "</pre></body></html>", "text/html"};
}

COperatorRoutes::Reply COperatorRoutes::Portal(const Request& request)
{
    const char* msg = request.argument("msg");
    const std::string msgHex = msg != nullptr ? msg : "";
    int status = 400;
    std::string page;
    zelora::web::CPortalLink::Request link;
    if (msgHex.size() > 2 * kMaxBody || zelora::web::CPortalLink::Read(msgHex, link) != 1) {
        page = CPortalPages::BadLink(status);
    } else if (const CSubscriberStore::Account* account = m_store.Find(link.userId)) {
        const CPortalPages::Subscriber subscriber{account->lvl3, account->sms, account->missed};
        page = CPortalPages::Render(link, &subscriber, kPortalWindowMs, status);
    } else {
        page = CPortalPages::Render(link, nullptr, kPortalWindowMs, status);
    }
    return {static_cast<unsigned>(status), std::move(page), "text/html"};
}

COperatorRoutes::Reply COperatorRoutes::Mail(const Request& request)
{
    int status = 400;
    std::string text = request.oversize ? "too long\n" : m_invites.Handle(request.body, status);
    return {static_cast<unsigned>(status), std::move(text), "text/plain"};
}

COperatorRoutes::Reply COperatorRoutes::Requests(const Request&)
{
    return {200, m_api.RequestCounts() + m_invites.Lines(), "text/plain"};
}

COperatorRoutes::Reply COperatorRoutes::Home(const Request&)
{
    return {200, "<html><body>operator-sim</body></html>\n", "text/html"};
}
