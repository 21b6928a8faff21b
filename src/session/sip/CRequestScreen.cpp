#include "session/sip/CRequestScreen.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include <string_view>
#include <strings.h>

#include <osipparser2/osip_parser.h>

#include "session/sip/CRawRequest.h"

namespace zelora {

namespace {

std::string_view Trim(std::string_view v) { return CRawRequest::Trim(v); }

// Calls `each` with every comma-separated item (parameters cut off) of every header `name`.
template <typename Fn>
void ForEachItem(const osip_message_t* msg, const char* name, Fn each)
{
    osip_header_t* header = nullptr;
    for (int pos = 0; osip_message_header_get_byname(msg, name, pos, &header) >= 0; ++pos) {
        if (header == nullptr || header->hvalue == nullptr)
            continue;
        std::string_view rest = header->hvalue;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            std::string_view item = rest.substr(0, comma);
            item = Trim(item.substr(0, item.find(';')));
            if (!item.empty())
                each(item);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        header = nullptr;
    }
}

bool Same(std::string_view a, std::string_view b) { return CRawRequest::SameWord(a, b); }

// "type/subtype" of the body, or empty when the request has none.
std::string BodyType(const osip_message_t* msg)
{
    if (osip_list_size(&msg->bodies) <= 0 &&
        (msg->content_length == nullptr || msg->content_length->value == nullptr ||
         std::strcmp(msg->content_length->value, "0") == 0))
        return {};
    if (msg->content_type == nullptr || msg->content_type->type == nullptr)
        return "application/octet-stream";
    return std::string(msg->content_type->type) + "/" +
        (msg->content_type->subtype != nullptr ? msg->content_type->subtype : "");
}

bool Accepted(const char* accept, std::string_view type)
{
    std::string_view list = accept;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (Same(Trim(list.substr(0, comma)), type))
            return true;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
}

ScreenAnswer CheckMethod(const std::string& method, bool inDialog)
{
    const bool allowed = Accepted(CRequestScreen::kAllow, method);
    // A SUBSCRIBE inside a call is told its event package is unknown (489) further on.
    if (allowed || (inDialog && method == "SUBSCRIBE"))
        return {};
    return {CRawRequest::IsKnownMethod(method) ? 405 : 501, "Allow", CRequestScreen::kAllow};
}

} // namespace

const char* CRequestScreen::AcceptFor(const char* method)
{
    if (method != nullptr && std::strcmp(method, "INFO") == 0)
        return "application/dtmf-relay, application/dtmf, text/plain";
    if (method != nullptr && std::strcmp(method, "MESSAGE") == 0)
        return "text/plain";
    return "application/sdp";
}

void CRequestScreen::AddCapabilities(osip_message_t* response)
{
    osip_message_set_header(response, "Allow", kAllow);
    osip_message_set_header(response, "Accept", AcceptFor("INVITE"));
    osip_message_set_header(response, "Accept-Encoding", kAcceptEncoding);
    osip_message_set_header(response, "Accept-Language", kAcceptLanguage);
}

ScreenAnswer CRequestScreen::Check(const osip_message_t* request, bool inDialog)
{
    const std::string method = request->sip_method != nullptr ? request->sip_method : "";
    ScreenAnswer answer = CheckMethod(method, inDialog);
    if (answer.status != 0)
        return answer;
    // No extension is supported: every one a request requires is refused by name.
    std::string unsupported;
    std::vector<std::string> tags;
    // osip2 keeps a comma list both whole and split: each tag is named once.
    ForEachItem(request, "require", [&](std::string_view tag) {
        if (std::find(tags.begin(), tags.end(), tag) == tags.end())
            tags.emplace_back(tag);
    });
    for (const std::string& tag : tags)
        unsupported += (unsupported.empty() ? "" : ", ") + tag;
    if (!unsupported.empty())
        return {420, "Unsupported", unsupported};
    bool encoded = false;
    for (int i = 0; i < osip_list_size(&request->content_encodings); ++i) {
        auto* coding = static_cast<osip_content_encoding_t*>(osip_list_get(&request->content_encodings, i));
        encoded |= coding != nullptr && coding->value != nullptr && !Same(Trim(coding->value), "identity");
    }
    if (encoded)
        return {415, "Accept-Encoding", kAcceptEncoding};
    const std::string type = BodyType(request);
    // A NOTIFY or BYE body is not read; what the others carry has to be a type we read.
    if (!type.empty() && method != "NOTIFY" && method != "BYE" && !Accepted(AcceptFor(method.c_str()), type))
        return {415, "Accept", AcceptFor(method.c_str())};
    if (method == "INVITE") {
        bool sdp = false;
        for (int i = 0; i < osip_list_size(&request->accepts); ++i) {
            auto* accept = static_cast<osip_accept_t*>(osip_list_get(&request->accepts, i));
            if (accept == nullptr || accept->type == nullptr)
                continue;
            const std::string_view subtype = accept->subtype != nullptr ? accept->subtype : "";
            sdp |= (Same(accept->type, "application") || Same(accept->type, "*")) &&
                (Same(subtype, "sdp") || subtype == "*");
        }
        // Our answer carries SDP; a caller that takes none of it cannot read it.
        if (osip_list_size(&request->accepts) > 0 && !sdp)
            return {406, "Accept", "application/sdp"};
    }
    return {};
}

} // namespace zelora
