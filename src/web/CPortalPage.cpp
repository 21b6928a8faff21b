#include "web/CPortalPage.h"

#include "app/CLogger.h"
#include "web/CPortalLink.h"
#include "web/WebApi.h"

using zelora::web::CPortalLink;

const CPortalPage::Kind CPortalPage::kSms{"SMS Dialog", CPortalLink::kSmsInbox};
const CPortalPage::Kind CPortalPage::kFax{"zeloraTALK Fax", CPortalLink::kFaxUpload};
const CPortalPage::Kind CPortalPage::kNumberAssignment{"Number Assignment", CPortalLink::kNumberAssignment};
const CPortalPage::Kind CPortalPage::kCallHistory{"Call History", CPortalLink::kMissedCalls};

CPortalPage::CPortalPage(IPortalView& view, const Kind& kind, Source source)
    : m_view(view), m_kind(kind), m_source(std::move(source))
{
}

int CPortalPage::OnInitDialog()
{
    ZLOG_SCOPE();
    m_url.clear();
    m_view.SetTitle(m_kind.title);
    if (!m_view.InitGui()) {
        ZLOG(LOG_ERROR, "Init GUI failed");
        return -1;
    }
    CPortalLink::Request request;
    request.page = m_kind.page;
    request.userId = m_source.userId ? m_source.userId() : std::string();
    request.timeStamp = m_source.timeStamp ? m_source.timeStamp() : zelora::web::RequestTimeStamp();
    // Make() logs "Unable to encrypt data" itself.
    if (CPortalLink::Make(m_source.portalHost, request, m_url) != 1) {
        m_view.ShowError(kEncryptFailed);
        m_view.ShowWindow();
        return 1;
    }
    m_view.Navigate(m_url);
    m_view.ShowWindow();
    return 0;
}
