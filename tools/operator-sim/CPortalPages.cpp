#include "CPortalPages.h"

#include "platform/XmlText.h"
#include "web/WebApi.h"

#include <cstdlib>

namespace {

std::string Page(const std::string& title, const std::string& body)
{
    return "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1>" + body + "</body></html>\n";
}

std::string Error(int status, const std::string& reason, int& httpStatus)
{
    httpStatus = status;
    return Page("Portal error", "<p>" + reason + "</p>");
}

bool Digits(const std::string& text)
{
    if (text.empty() || text.size() > 18)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string List(const Pairs& items, const char* none, const char* joint)
{
    if (items.empty())
        return std::string("<p>") + none + "</p>";
    std::string list = "<ul>";
    for (const auto& [first, second] : items)
        list += "<li>" + zelora::EscapeXml(first) + joint + zelora::EscapeXml(second) + "</li>";
    return list + "</ul>";
}

std::string Inbox(const CPortalPages::Subscriber& s)
{
    return "<p>" + std::to_string(s.sms.size()) + " messages</p>" + List(s.sms, "No messages.", ": ");
}

std::string FaxUpload(const CPortalPages::Subscriber&)
{
    return "<form method=\"post\" enctype=\"multipart/form-data\"><label>Fax number <input name=\"number\">"
           "</label><label>Document <input type=\"file\" name=\"document\"></label>"
           "<button type=\"submit\">Send fax</button></form>";
}

std::string Assignment(const CPortalPages::Subscriber& s)
{
    return s.number.empty() ? "<p>No number assigned yet.</p>"
                            : "<p>Your number: " + zelora::EscapeXml(s.number) + "</p>";
}

std::string Missed(const CPortalPages::Subscriber& s) { return List(s.missed, "No missed calls.", " at "); }

struct PageKind {
    const char* name;
    const char* title;
    std::string (*body)(const CPortalPages::Subscriber&);
};

const PageKind kPages[] = {
    {zelora::web::CPortalLink::kSmsInbox, "SMS Inbox", &Inbox},
    {zelora::web::CPortalLink::kFaxUpload, "Fax Upload", &FaxUpload},
    {zelora::web::CPortalLink::kNumberAssignment, "Number Assignment", &Assignment},
    {zelora::web::CPortalLink::kMissedCalls, "Missed Calls", &Missed},
};

} // namespace

std::string CPortalPages::Render(const zelora::web::CPortalLink::Request& request, const Subscriber* subscriber,
                                 long long windowMs, int& httpStatus)
{
    if (!Digits(request.timeStamp))
        return BadLink(httpStatus);
    const long long stamp = std::strtoll(request.timeStamp.c_str(), nullptr, 10);
    const long long now = std::strtoll(zelora::web::RequestTimeStamp().c_str(), nullptr, 10);
    if (stamp < now - windowMs || stamp > now + windowMs)
        return Error(403, "The sign-in link has expired.", httpStatus);
    if (subscriber == nullptr)
        return Error(403, "The user is not known.", httpStatus);
    for (const PageKind& kind : kPages) {
        if (request.page == kind.name) {
            httpStatus = 200;
            return Page(kind.title,
                        "<p>Signed in as " + zelora::EscapeXml(request.userId) + ".</p>" + kind.body(*subscriber));
        }
    }
    return Error(404, "No such page.", httpStatus);
}

std::string CPortalPages::BadLink(int& httpStatus) { return Error(400, "The sign-in link is not valid.", httpStatus); }
