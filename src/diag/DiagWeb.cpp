// zelora-diag request / parse-reply: the web service's request text and body, and what the
// reply parser reads from a saved reply.
#include "diag/DiagCommand.h"

#include "web/CMXXMLParser.h"
#include "web/WebApi.h"

#include <iterator>
#include <ostream>

namespace {

constexpr std::size_t kMaxReplyFile = 16u * 1024u * 1024u;

int DiagRequest(const DiagArgs& input, std::ostream& out, std::ostream& err)
{
    DiagArgs args = input;
    std::string user;
    std::string lastCheck;
    std::string stamp;
    const bool haveUser = DiagTakeOption(args, "--user", user);
    DiagTakeOption(args, "--lastcheckts", lastCheck);
    const bool haveStamp = DiagTakeOption(args, "--timestamp", stamp);
    if (args.size() != 1 || !haveUser || args[0].empty()) {
        err << "usage: zelora-diag request <action> --user ID [--lastcheckts TEXT] [--timestamp MS]\n";
        return 1;
    }
    if (!haveStamp) {
        stamp = zelora::web::RequestTimeStamp();
    }
    const std::string plain = zelora::web::MakeRequestData(args[0], user, stamp, lastCheck);
    std::string body;
    if (zelora::web::MakeRequestBody(plain, body) != 1) {
        err << "Unable to encrypt data\n";
        return 1;
    }
    out << plain << "\n" << body << "\n";
    return 0;
}

int DiagParseReply(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 1) {
        err << "usage: zelora-diag parse-reply <file>\n";
        return 1;
    }
    std::string text;
    if (!DiagReadFile(args[0], kMaxReplyFile, text, err))
        return 1;
    CMXXMLParser parser;
    const int result = parser.ParseXMLData(text);
    out << "result=" << result << "\n";
    const std::pair<const char*, const std::string*> fields[] = {
        {"transId", &parser.TransId()},
        {"status", &parser.Status()},
        {"code", &parser.Code()},
        {"desc", &parser.Desc()},
        {"balance", &parser.Balance()},
        {"smsbalance", &parser.SmsBalance()},
        {"versionnumber", &parser.VersionNumber()},
        {"downloadlink", &parser.DownloadLink()},
        {"lvl3", &parser.VoipNumber()},
        {"userid", &parser.UserId()},
        {"sno", &parser.EntryNumber()},
    };
    for (const auto& [name, value] : fields) {
        if (!value->empty()) {
            out << name << "=" << *value << "\n";
        }
    }
    if (result < 0) {
        err << "Invalid data received\n";
        return 1;
    }
    return 0;
}

DiagRegistrar g_request("request", "request <action> --user ID [--lastcheckts TEXT] [--timestamp MS]", DiagRequest);
DiagRegistrar g_parseReply("parse-reply", "parse-reply <file>", DiagParseReply);

} // namespace
