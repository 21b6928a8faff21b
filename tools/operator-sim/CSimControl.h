#pragma once
// Test control of the operator's side (POST /control/addressbook, an URL-encoded form):
//   op=add&user=U&<tag>=<value>...        a new entry (the reply carries its sno)
//   op=update&user=U&sno=N&<tag>=<value>  fields named change, the others stay
//   op=delete&user=U&sno=N                the entry goes
//   op=fail&status=404&count=1            the next `count` web-service requests get that status
// Not locked: its owner serialises the requests.
#include <map>
#include <string>

#include "CSubscriberStore.h"
#include "CWebServiceApi.h"

class CSimControl {
public:
    CSimControl(CSubscriberStore& store, CWebServiceApi& api) : m_store(store), m_api(api) { }

    // The reply text, with the HTTP status set.
    std::string Handle(const std::string& body, int& httpStatus);

private:
    using Form = std::map<std::string, std::string>;
    using Account = CSubscriberStore::Account;

    std::string Fail(Form& form, int& httpStatus);
    // Applies op to `changed`: "" with sno set, or the reply for a refused change.
    std::string Change(const std::string& op, Form& form, Account& changed, long long& sno, int& httpStatus);

    CSubscriberStore& m_store;
    CWebServiceApi& m_api;
};
