#pragma once
// CContactUpload for the desktop: each change runs in its own upload window, modal to `parent`.
#include <functional>
#include <string>

#include "addressbook/CContactUpload.h"
#include "addressbook/ui/CAddressBookNetStatusWindow.h"

class QWidget;

class CAddressBookWindowUpload : public CContactUpload {
public:
    CAddressBookWindowUpload(std::string host, unsigned port, std::function<std::string()> userId,
                             int limitMs = CAddressBookNetStatusWindow::kDefaultLimitMs)
        : m_host(std::move(host)), m_port(port), m_userId(std::move(userId)), m_limitMs(limitMs)
    {
    }
    void SetParent(QWidget* parent) { m_parent = parent; }
    bool Run(int kind, const ContactRecord& record, std::string& entryNumber) override;

private:
    std::string m_host;
    unsigned m_port;
    std::function<std::string()> m_userId;
    int m_limitMs;
    QWidget* m_parent = nullptr;
};
