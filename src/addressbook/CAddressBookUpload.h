#pragma once
// CContactUpload over a CAddressBookNetStatusDlg run modally against the operator's service.
#include <string>

#include "addressbook/CAddressBookNetStatusDlg.h"
#include "addressbook/CContactUpload.h"

class CAddressBookUpload : public CContactUpload {
public:
    CAddressBookUpload(CAddressBookNetStatusView& view, std::string host, std::string userId, unsigned port = 80)
        : m_view(view), m_host(std::move(host)), m_userId(std::move(userId)), m_port(port)
    {
    }
    void SetUserId(const std::string& userId) { m_userId = userId; }
    bool Run(int kind, const ContactRecord& record, std::string& entryNumber) override;

private:
    CAddressBookNetStatusView& m_view;
    std::string m_host;
    std::string m_userId;
    unsigned m_port;
};
