#include "presence/ui/CPresenceSearchWindow.h"

#include "presence/ui/PresenceControls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace {

QCheckBox* Criterion(const QString& caption, QWidget* parent)
{
    auto* c = new QCheckBox(caption, parent);
    c->setAccessibleName(caption);
    return c;
}

} // namespace

CPresenceSearchWindow::CPresenceSearchWindow(CPresenceSearch::Command send, const std::string& domain, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(tr("Search Contacts"));
    setAccessibleName(windowTitle());
    m_text = new QLineEdit(this);
    m_text->setAccessibleName(QStringLiteral("Search text"));
    m_byUser = Criterion(tr("User Name"), this);
    m_byUser->setChecked(true);
    m_byName = Criterion(tr("Name"), this);
    m_byEmail = Criterion(tr("E-mail"), this);
    m_byPhone = Criterion(tr("Phone"), this);
    m_searchButton = PresenceButton(tr("Search"), tr("Search the presence service's users"), this);
    QPushButton* invite = PresenceButton(tr("Invite"), tr("Invite a person by e-mail"), this);
    m_state = PresenceStatusLine(QStringLiteral("Search state"), this);
    m_message = PresenceStatusLine(QStringLiteral("Search message"), this);
    m_results = new QTreeWidget(this);
    m_results->setAccessibleName(QStringLiteral("Search results"));
    m_results->setRootIsDecorated(false);
    m_results->setContextMenuPolicy(Qt::CustomContextMenu);
    const auto columns = CPresenceSearch::Columns();
    QStringList titles;
    for (const auto& c : columns)
        titles << QString::fromStdString(c.first);
    m_results->setHeaderLabels(titles);
    m_results->header()->setStretchLastSection(false);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i)
        m_results->header()->resizeSection(i, columns[static_cast<std::size_t>(i)].second);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_text, 0, 0, 1, 3);
    grid->addWidget(m_searchButton, 0, 3);
    grid->addWidget(m_byUser, 1, 0);
    grid->addWidget(m_byName, 1, 1);
    grid->addWidget(m_byEmail, 1, 2);
    grid->addWidget(m_byPhone, 1, 3);
    grid->addWidget(m_state, 2, 0, 1, 4);
    grid->addWidget(m_results, 3, 0, 1, 4);
    grid->addWidget(m_message, 4, 0, 1, 3);
    grid->addWidget(invite, 4, 3);

    connect(m_searchButton, &QPushButton::clicked, this, &CPresenceSearchWindow::OnSearch);
    connect(m_text, &QLineEdit::returnPressed, this, &CPresenceSearchWindow::OnSearch);
    connect(invite, &QPushButton::clicked, this, &CPresenceSearchWindow::InviteRequested);
    connect(m_results, &QTreeWidget::customContextMenuRequested, this, &CPresenceSearchWindow::OnContextMenu);
    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this, [this] { m_search->TimedOut(); });
    m_search = std::make_unique<CPresenceSearch>(*this, std::move(send), domain);
    resize(500, 400);
}

CPresenceSearchWindow::~CPresenceSearchWindow() = default;

void CPresenceSearchWindow::OnSearch()
{
    m_message->clear();
    SearchCriteria c;
    c.userName = m_byUser->isChecked();
    c.name = m_byName->isChecked();
    c.email = m_byEmail->isChecked();
    c.phone = m_byPhone->isChecked();
    m_search->Search(m_text->text().trimmed().toStdString(), c);
}

void CPresenceSearchWindow::ShowState(SearchState state, const std::string& text)
{
    m_searchButton->setEnabled(state != SearchState::Searching);
    if (state == SearchState::Searching)
        m_timeout->start(m_timeoutMs);
    else
        m_timeout->stop();
    m_state->setText(QString::fromStdString(text));
    m_state->setAccessibleName(m_state->text());
}

void CPresenceSearchWindow::ShowResults(const std::vector<SearchResultItem>& items)
{
    m_results->clear();
    for (const SearchResultItem& r : items) {
        auto* row = new QTreeWidgetItem(m_results);
        const std::string* cells[] = {&r.userName, &r.name, &r.email, &r.phone};
        for (int i = 0; i < 4; ++i)
            row->setText(i, QString::fromStdString(*cells[i]));
    }
    if (m_results->topLevelItemCount() > 0)
        m_results->setCurrentItem(m_results->topLevelItem(0));
}

void CPresenceSearchWindow::ShowMessage(const std::string& text)
{
    m_message->setText(QString::fromStdString(text));
    m_message->setAccessibleName(m_message->text());
}

void CPresenceSearchWindow::OnContextMenu(const QPoint& at)
{
    if (QTreeWidgetItem* row = m_results->itemAt(at))
        m_results->setCurrentItem(row);
    QMenu menu(this);
    QAction* add = menu.addAction(tr(kAddAsContact));
    add->setEnabled(m_results->currentItem() != nullptr);
    if (menu.exec(m_results->viewport()->mapToGlobal(at)) == add)
        AddSelectedAsContact();
}

void CPresenceSearchWindow::AddSelectedAsContact()
{
    const QTreeWidgetItem* row = m_results->currentItem();
    const QString id = row != nullptr ? row->text(0).trimmed() : QString();
    const QString name = row != nullptr ? row->text(1).trimmed() : QString();
    m_search->AddAsContact(id.toStdString(), name.toStdString());
}

QString CPresenceSearchWindow::StateText() const { return m_state->text(); }
QString CPresenceSearchWindow::Message() const { return m_message->text(); }
