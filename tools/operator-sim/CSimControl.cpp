#include "CSimControl.h"

#include "SimText.h"
#include "UrlForm.h"

std::string CSimControl::Handle(const std::string& body, int& httpStatus)
{
    httpStatus = 400;
    Form form;
    std::string error;
    if (!ParseUrlForm(body, CSubscriberStore::kMaxField, form, error))
        return error + "\n";
    const std::string op = form["op"];
    if (op == "fail")
        return Fail(form, httpStatus);
    Account* account = m_store.Find(form["user"]);
    if (account == nullptr) {
        httpStatus = 404;
        return "no such user\n";
    }
    Account changed = *account;
    long long sno = 0;
    std::string refused = Change(op, form, changed, sno, httpStatus);
    if (!refused.empty())
        return refused;
    if (!m_store.Commit(*account, changed, error)) {
        httpStatus = 500;
        return "unable to store: " + error + "\n";
    }
    httpStatus = 200;
    return "sno=" + std::to_string(sno) + "\n";
}

std::string CSimControl::Fail(Form& form, int& httpStatus)
{
    long long status = 0, count = 0;
    if (!ParseDecimal(form["status"], status) || status < 100 || status > 599 || !ParseDecimal(form["count"], count))
        return "bad fail\n";
    m_api.FailNext(static_cast<int>(status), static_cast<int>(count));
    httpStatus = 200;
    return "ok\n";
}

std::string CSimControl::Change(const std::string& op, Form& form, Account& changed, long long& sno, int& httpStatus)
{
    const auto& tags = CSubscriberStore::FieldTags();
    if (op == "add") {
        CSubscriberStore::Entry entry;
        for (std::size_t i = 0; i < tags.size(); ++i)
            entry.fields[i] = form[tags[i]];
        entry.sno = changed.nextSno++;
        entry.changed = m_store.NextStamp();
        sno = entry.sno;
        changed.entries.push_back(entry);
        return {};
    }
    if (op != "update" && op != "delete")
        return "unknown op\n";
    if (!ParseDecimal(form["sno"], sno))
        return "bad sno\n";
    auto entry = CSubscriberStore::FindEntry(changed, sno);
    if (entry == changed.entries.end()) {
        httpStatus = 404;
        return "no such entry\n";
    }
    if (op == "delete") {
        changed.entries.erase(entry);
        changed.deletedAt = m_store.NextStamp();
        return {};
    }
    for (std::size_t i = 0; i < tags.size(); ++i)
        if (form.count(tags[i]) != 0)
            entry->fields[i] = form[tags[i]];
    entry->changed = m_store.NextStamp();
    return {};
}
