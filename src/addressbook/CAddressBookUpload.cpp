#include "addressbook/CAddressBookUpload.h"

#include "app/CLogger.h"

bool CAddressBookUpload::Run(int kind, const ContactRecord& record, std::string& entryNumber)
{
    ZLOG_SCOPE();
    CAddressBookNetStatusDlg dlg(m_view, m_host, m_userId, m_port);
    dlg.Build(kind, record);
    const bool ok = dlg.DoModal() == CAddressBookNetStatusDlg::IDOK;
    entryNumber = dlg.EntryNumber();
    return ok;
}
