#include "addressbook/CAddressBookUpload.h"

#include "app/CLogger.h"

bool CAddressBookUpload::Run(int kind, const ContactRecord& record, std::string& entryNumber)
{
    ZLOG_SCOPE();
    CAddressBookNetStatusDlg dlg(m_view, m_host, m_userId, m_port);
    switch (kind) {
    case CAddressBookNetStatusDlg::KIND_ADD:
        dlg.BuildAdd(record);
        break;
    case CAddressBookNetStatusDlg::KIND_UPDATE:
        dlg.BuildUpdate(record);
        break;
    case CAddressBookNetStatusDlg::KIND_DELETE:
        dlg.BuildDelete(record);
        break;
    default:
        dlg.BuildDeleteAll();
        break;
    }
    const bool ok = dlg.DoModal() == CAddressBookNetStatusDlg::IDOK;
    entryNumber = dlg.EntryNumber();
    return ok;
}
