#pragma once
// Builds the requests and responses the user agent sends.
#include <sys/time.h>
#include <ctime>
#include <string>

#include <osip2/osip.h>
#include <osip2/osip_dialog.h>

namespace zelora {

struct SipLocal {
    std::string ip; // address written into Via, Contact and Call-ID
    int port = 5060;
    std::string userAgent;
};

class CSipMessageFactory {
public:
    static std::string RandomNumber();
    static std::string NewBranch();
    // Out-of-dialog request with a fresh From tag, Call-ID and branch. cseq is the first number.
    // 0 or -1 (unparsable URI or address).
    static int BuildRequest(const char* method, const char* requestUri, const char* to, const char* from,
                            const char* route, int cseq, const SipLocal& local, osip_message_t** out);
    // Request inside `dialog`; cseq <= 0 takes ++dialog->local_cseq.
    static int BuildInDialogRequest(osip_dialog_t* dialog, const char* method, int cseq, const SipLocal& local,
                                    osip_message_t** out);
    // Response to `request`: Via/From/To/Call-ID/CSeq copied, `toTag` added to To when it has none,
    // Contact "<sip:user@ip:port>" when `contactUser` is not null, Record-Route copied when asked.
    static int BuildResponse(const osip_message_t* request, int status, const char* toTag, const char* contactUser,
                             bool recordRoute, const SipLocal& local, osip_message_t** out);
    // Replaces the top Via with a new one carrying a fresh branch.
    static int RenewVia(osip_message_t* msg, const SipLocal& local);
    // Rewrites CSeq to `number` keeping the method.
    static int SetCSeqNumber(osip_message_t* msg, int number);
    static int CSeqNumber(const osip_message_t* msg);
    static std::string Contact(const char* user, const SipLocal& local);
    // The tag of a From/To header or empty.
    static std::string Tag(osip_from_t* header);
    static std::string TopBranch(const osip_message_t* msg);
    static std::string ToText(osip_message_t* msg);
    static void RemoveCredentials(osip_message_t* msg);
};

} // namespace zelora
