#pragma once
// Owning pointers for osip objects, each released with the library's own free function.
#include <memory>

#include <osip2/osip.h>
#include <osip2/osip_dialog.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

namespace zelora {

template <auto Free>
struct OsipDeleter {
    template <class T>
    void operator()(T* object) const
    {
        if (object != nullptr)
            Free(object);
    }
};

using OsipMessagePtr = std::unique_ptr<osip_message_t, OsipDeleter<&osip_message_free>>;
using OsipDialogPtr = std::unique_ptr<osip_dialog_t, OsipDeleter<&osip_dialog_free>>;
using OsipEventPtr = std::unique_ptr<osip_event_t, OsipDeleter<&osip_event_free>>;
using OsipUriPtr = std::unique_ptr<osip_uri_t, OsipDeleter<&osip_uri_free>>;
using OsipToPtr = std::unique_ptr<osip_to_t, OsipDeleter<&osip_to_free>>;
using SdpMessagePtr = std::unique_ptr<sdp_message_t, OsipDeleter<&sdp_message_free>>;

} // namespace zelora
