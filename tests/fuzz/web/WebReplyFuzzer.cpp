// Any bytes as a reply of the web service (envelope, account values, address-book changes,
// advertisement list) and as a request body the service side deciphers. Fields stay within
// their bounds, and a reply broken inside its first entry never empties the address book.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "web/CMXXMLParser.h"
#include "web/WebApi.h"

using fuzzsupport::Check;

namespace {

bool Bounded(const WebContact& c)
{
    const std::string* fields[] = {&c.entryNumber, &c.name,      &c.email,       &c.voip,      &c.mobile,
                                   &c.home,        &c.business,  &c.title,       &c.firstName, &c.middleName,
                                   &c.lastName,    &c.birthDate, &c.companyName, &c.altEmail,  &c.fax,
                                   &c.pager,       &c.icq,       &c.website,     &c.comments};
    for (const std::string* f : fields)
        if (f->size() > CMXXMLParser::kMaxFieldText)
            return false;
    return true;
}

struct Store : IAddressBookStore {
    int applied = 0;
    bool emptied = false;
    bool emptiedBeforeAnyEntry = false;
    std::string stored;
    std::string LastCheckTimestamp() override { return stored; }
    int StoreLastCheckTimestamp(const std::string& timestamp) override
    {
        Check(timestamp.size() <= CMXXMLParser::kMaxFieldText);
        stored = timestamp;
        return 0;
    }
    void EmptyAddressBook() override
    {
        Check(!emptied);
        emptied = true;
        emptiedBeforeAnyEntry = applied == 0;
    }
    int FindByEntryNumber(long entryNumber) override { return entryNumber % 2 == 0 ? 0 : -1; }
    int UpdateEntry(const WebContact& record) override { return Apply(record); }
    int AddEntry(const WebContact& record) override { return Apply(record); }
    int Apply(const WebContact& record)
    {
        Check(Bounded(record));
        ++applied;
        return 0;
    }
};

std::size_t Count(const std::string& text, const std::string& word)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);

    Store store;
    CMXXMLParser parser(&store);
    if (parser.ParseXMLData(reply) == 1) {
        for (const std::string* f : {&parser.TransId(), &parser.Status(), &parser.Code(), &parser.Desc()})
            Check(f->size() < CMXXMLParser::kFieldBuffer);
        for (const std::string* f :
             {&parser.Balance(), &parser.SmsBalance(), &parser.VersionNumber(), &parser.DownloadLink(),
              &parser.VoipNumber(), &parser.UserId(), &parser.EntryNumber()})
            Check(f->size() <= CMXXMLParser::kMaxFieldText);
        Check(parser.AppliedEntries() == store.applied);
        Check(static_cast<std::size_t>(store.applied) <= Count(reply, "<entry>"));
        // The old book is emptied only for the first entry that is actually applied.
        Check(!store.emptied || (parser.CodeValue() == 1001 && store.applied > 0 && store.emptiedBeforeAnyEntry));
    }

    CMXXMLParser ads;
    int rc = ads.ParseXMLAdsData(reply);
    Check(rc == -1 || rc == -2);
    for (const auto& [text, link] : ads.AdsItems())
        Check(text.size() <= CMXXMLParser::kMaxFieldText && link.size() <= CMXXMLParser::kMaxFieldText);
    Check(ads.AdsItems().size() <= Count(reply, "&lt;item&gt;"));

    std::string plain;
    if (zelora::web::DecodeRequestBody(reply, plain) == 1 && !plain.empty() &&
        plain.size() <= zelora::web::kMaxRequestText) {
        std::string body;
        Check(zelora::web::MakeRequestBody(plain, body) == 1);
        std::string again;
        Check(zelora::web::DecodeRequestBody(body, again) == 1 && again == plain);
    }
    return 0;
}
