#include "phone/CAddressBookPhoneDuties.h"

#include "app/CLogger.h"

CAddressBookPhoneDuties::CAddressBookPhoneDuties(WebEndpoints endpoints, AddressBookStore& store,
                                                 std::function<std::string()> userId)
    : CWebPhoneDuties(std::move(endpoints), &store), m_book(store), m_userId(std::move(userId))
{
}

void CAddressBookPhoneDuties::ReloadAddressBook()
{
    ZLOG_SCOPE();
    m_book.Load(m_userId ? m_userId() : std::string());
}

bool CAddressBookPhoneDuties::LookupContact(const std::string& number, std::string& name, int& numberType)
{
    return m_book.LookupNumber(number, name, numberType);
}
