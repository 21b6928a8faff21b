#include "web/CPortalLink.h"

#include "web/WebApi.h"

namespace zelora::web {

namespace {
constexpr const char kPageKey[] = "redirTo=";
constexpr const char kUserKey[] = "&userId=";
constexpr const char kStampKey[] = "&timestamp=";
} // namespace

std::string CPortalLink::RequestText(const Request& request)
{
    return kPageKey + request.page + kUserKey + request.userId + kStampKey + request.timeStamp;
}

int CPortalLink::Make(const std::string& portalHost, const Request& request, std::string& url)
{
    url.clear();
    std::string body;
    if (MakeRequestBody(RequestText(request), body) != 1)
        return -1;
    url = "http://" + portalHost + kAutoLoginPath + "?" + body;
    return 1;
}

int CPortalLink::Make(const std::string& portalHost, const std::string& page, const std::string& userId,
                      std::string& url)
{
    return Make(portalHost, Request{page, userId, RequestTimeStamp()}, url);
}

int CPortalLink::Read(const std::string& msgHex, Request& request)
{
    request = Request{};
    std::string plain;
    const int rc = DecodeRequestBody(msgHex, plain);
    if (rc != 1)
        return rc;
    const std::size_t user = plain.find(kUserKey);
    const std::size_t stamp = plain.rfind(kStampKey);
    if (plain.rfind(kPageKey, 0) != 0 || user == std::string::npos || stamp == std::string::npos || stamp < user)
        return -3;
    const std::size_t pageStart = sizeof(kPageKey) - 1;
    const std::size_t userStart = user + sizeof(kUserKey) - 1;
    request.page = plain.substr(pageStart, user - pageStart);
    request.userId = plain.substr(userStart, stamp - userStart);
    request.timeStamp = plain.substr(stamp + sizeof(kStampKey) - 1);
    return 1;
}

} // namespace zelora::web
