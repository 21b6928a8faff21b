#include "addressbook/ui/CAddressBookWindowUpload.h"

#include <QApplication>

bool CAddressBookWindowUpload::Run(int kind, const ContactRecord& record, std::string& entryNumber)
{
    QWidget* parent = m_parent != nullptr ? m_parent : QApplication::activeWindow();
    CAddressBookNetStatusWindow window(m_host, m_port, m_userId ? m_userId() : std::string(), parent);
    return window.Run(kind, record, entryNumber, m_limitMs);
}
