#pragma once
// The operator portal's auto-login link: the page request in plain text, enciphered with the
// web-data key and carried as upper-case hex in the one "msg" parameter. The portal side reads
// it back with Read().
#include <string>

namespace zelora::web {

class CPortalLink {
public:
    // Page names the portal knows.
    static constexpr const char* kSmsInbox = "SmsInboxBO";
    static constexpr const char* kFaxUpload = "ZeloraFaxUploadBO";
    static constexpr const char* kNumberAssignment = "ViewAssign2MeBO";
    static constexpr const char* kMissedCalls = "MissedCallViewBO";

    struct Request {
        std::string page;
        std::string userId;
        std::string timeStamp;
    };

    // "redirTo=P&userId=U&timestamp=S", values unescaped.
    static std::string RequestText(const Request& request);

    // "http://HOST/sp/Transit/zelora/AutoLogin?msg=HEX"; 1, or -1 when the text cannot be
    // enciphered ("Unable to encrypt data" logged), url then empty.
    static int Make(const std::string& portalHost, const Request& request, std::string& url);
    // The same with the time stamp of now.
    static int Make(const std::string& portalHost, const std::string& page, const std::string& userId,
                    std::string& url);

    // The msg parameter's hex back into its request. 1; -1 not hex; -2 does not decipher;
    // -3 not a request text. The user ID may hold '&': the page ends at the first
    // "&userId=", the user ID at the last "&timestamp=".
    static int Read(const std::string& msgHex, Request& request);
};

} // namespace zelora::web
