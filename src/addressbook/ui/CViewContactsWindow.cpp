#include "addressbook/ui/CViewContactsWindow.h"

#include <QHBoxLayout>
#include <cctype>
#include <filesystem>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "addressbook/AddressBookStore.h"
#include "addressbook/ui/CContactFormWindow.h"
#include "app/CLogger.h"
#include "phone/ui/MessageBoxes.h"
#include "platform/Registry.h"

namespace {

const char* const kHeaders[CViewContactsDlg::kColumnCount] = {
    "First Name",      "Middle Name", "Last Name",    "VOIP Number", "Mobile Number",   "Home Number",
    "Business Number", "Fax Number",  "Pager Number", "E-Mail",      "Alternate E-Mail"};

// The four numbers of the Phone and SMS menus, by column.
const std::pair<const char*, int> kNumbers[] = {{"VOIP Number", CViewContactsDlg::COLUMN_VOIP},
                                                {"Mobile Number", CViewContactsDlg::COLUMN_MOBILE},
                                                {"Home Number", CViewContactsDlg::COLUMN_HOME},
                                                {"Business Number", CViewContactsDlg::COLUMN_BUSINESS}};

constexpr int kRowRole = Qt::UserRole + 1;

bool EndsWithDomain(const std::string& address, const std::string& domain)
{
    const std::size_t at = address.rfind('@');
    if (domain.empty() || at == std::string::npos || address.size() - at - 1 != domain.size())
        return false;
    for (std::size_t i = 0; i < domain.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(address[at + 1 + i])) !=
            std::tolower(static_cast<unsigned char>(domain[i])))
            return false;
    return true;
}

} // namespace

CViewContactsWindow::CViewContactsWindow(AddressBookStore& store, CContactUpload& upload, CContactsPhone& phone,
                                         Hooks hooks, QWidget* parent)
    : QDialog(parent), m_store(store), m_upload(upload), m_hooks(std::move(hooks)), m_dlg(*this, store, upload, phone)
{
    setWindowTitle(CViewContactsDlg::kTitle);
    setAccessibleName(CViewContactsDlg::kTitle);
    m_list = new QTreeWidget(this);
    m_list->setAccessibleName("Contacts");
    m_list->setRootIsDecorated(false);
    m_list->setColumnCount(CViewContactsDlg::kColumnCount);
    QStringList headers;
    for (const char* h : kHeaders)
        headers << h;
    m_list->setHeaderLabels(headers);
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(0, Qt::AscendingOrder);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMinimumSize(760, 260);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this]() { m_dlg.OnEdit(Selection()); });

    BuildMenus();
    auto* buttons = new QHBoxLayout;
    AddButton("Add", "Add a new contact", [this]() { OnAdd(); });
    AddButton("Edit", "Edit the selected contact", [this]() { m_dlg.OnEdit(Selection()); });
    AddButton("Delete", "Delete the selected contact", [this]() { m_dlg.OnDelete(Selection()); });
    AddButton("Delete All", "Delete all contacts", [this]() { m_dlg.OnDeleteAll(); });
    AddButton("PIM Sync", "Synchronise with your PIM", [this]() {
        if (m_hooks.pimSync)
            m_hooks.pimSync(this);
    });
    AddButton("Close", "Close the address book", [this]() { reject(); });
    for (QPushButton* b : findChildren<QPushButton*>())
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(m_menus);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    LoadColumns();
    m_dlg.OnInitDialog();
    m_storeObserver = m_store.AddChangeObserver([this]() { OnStoreChanged(); });
    // Another program of the same user writes the file by renaming a new one into its folder:
    // the folder's change is the news of it (the store re-reads a file changed on disk).
    auto* folder = new QFileSystemWatcher(this);
    folder->addPath(QString::fromStdString(std::filesystem::path(m_store.Path()).parent_path().string()));
    connect(folder, &QFileSystemWatcher::directoryChanged, this, &CViewContactsWindow::OnStoreChanged);
}

void CViewContactsWindow::OnStoreChanged()
{
    if (m_changePending.exchange(true))
        return;
    QMetaObject::invokeMethod(this, &CViewContactsWindow::ShowStoreChanges, Qt::QueuedConnection);
}

void CViewContactsWindow::ShowStoreChanges()
{
    m_changePending = false;
    // Redrawn only when something shown changed: a redraw would cost the user's scroll position.
    const auto live = m_store.LiveEntries();
    const auto& rows = m_dlg.Rows();
    bool same = live.size() == rows.size();
    for (std::size_t i = 0; same && i < live.size(); ++i)
        same = live[i].first == rows[i].position && live[i].second.presence == rows[i].presence &&
            CViewContactsDlg::Columns(live[i].second) == rows[i].columns;
    if (!same)
        m_dlg.Refresh();
}

// No notification runs once this returns: the store holds its observers' lock while it tells them.
CViewContactsWindow::~CViewContactsWindow() { m_store.RemoveChangeObserver(m_storeObserver); }

void CViewContactsWindow::BuildMenus()
{
    m_menus = new QMenuBar(this);
    m_menus->setNativeMenuBar(false);
    QMenu* phone = m_menus->addMenu("&Phone");
    QMenu* sms = m_menus->addMenu("&SMS");
    for (const auto& [caption, column] : kNumbers) {
        const int c = column;
        phone->addAction(caption, this, [this, c]() { m_dlg.OnCall(Selection(), c); });
        sms->addAction(caption, this, [this, c]() { m_dlg.OnSms(Selection(), c); });
    }
}

QPushButton* CViewContactsWindow::AddButton(const QString& caption, const QString& tip, std::function<void()> action)
{
    auto* button = new QPushButton(caption, this);
    button->setAccessibleName(caption);
    button->setToolTip(tip);
    button->setAccessibleDescription(tip);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, std::move(action));
    return button;
}

std::optional<std::size_t> CViewContactsWindow::Selection() const
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return static_cast<std::size_t>(selected.first()->data(0, kRowRole).toULongLong());
}

void CViewContactsWindow::Select(std::size_t row)
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->data(0, kRowRole).toULongLong() == row) {
            m_list->setCurrentItem(item);
            item->setSelected(true);
            return;
        }
    }
}

bool CViewContactsWindow::InPresenceDomain(const CViewContactsDlg::Row& row) const
{
    return EndsWithDomain(row.columns[9], m_hooks.presenceDomain) ||
        EndsWithDomain(row.columns[10], m_hooks.presenceDomain);
}

QString CViewContactsWindow::PresenceName(int state)
{
    static const char* names[] = {"Available", "Chat", "Away", "Do Not Disturb", "Extended Away", "Offline"};
    return names[state >= 0 && state <= 4 ? state : 5];
}

QIcon CViewContactsWindow::PresenceIcon(int state)
{
    static const QColor colours[] = {QColor(40, 170, 60), QColor(40, 170, 60),  QColor(235, 190, 30),
                                     QColor(210, 40, 40), QColor(230, 120, 20), QColor(150, 150, 150)};
    QPixmap picture(14, 14);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(colours[state >= 0 && state <= 4 ? state : 5]);
    painter.drawEllipse(1, 1, 12, 12);
    return QIcon(picture);
}

void CViewContactsWindow::ShowList()
{
    const std::optional<std::size_t> keep = Selection();
    m_list->setSortingEnabled(false);
    m_list->clear();
    const auto& rows = m_dlg.Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto* item = new QTreeWidgetItem(m_list);
        for (int c = 0; c < CViewContactsDlg::kColumnCount; ++c)
            item->setText(c, QString::fromStdString(rows[i].columns[static_cast<std::size_t>(c)]));
        item->setData(0, kRowRole, static_cast<qulonglong>(i));
        if (InPresenceDomain(rows[i])) {
            item->setIcon(0, PresenceIcon(rows[i].presence));
            item->setToolTip(0, PresenceName(rows[i].presence));
        }
    }
    m_list->setSortingEnabled(true);
    if (keep && *keep < rows.size())
        Select(*keep);
}

void CViewContactsWindow::OnAdd()
{
    ZLOG_SCOPE();
    CContactFormWindow form(m_store, m_upload, std::nullopt, this);
    form.exec();
    m_dlg.Refresh();
}

void CViewContactsWindow::OpenEdit(const ContactRecord& entry)
{
    CContactFormWindow form(m_store, m_upload, entry, this);
    form.exec();
}

void CViewContactsWindow::MessageBox(const std::string& text)
{
    messageboxes::Show(this, text, CzeloraTALKView::ICON_INFORMATION);
}

bool CViewContactsWindow::AskYesNo(const std::string& text) { return messageboxes::AskYesNo(this, text); }

void CViewContactsWindow::Close() { accept(); }

void CViewContactsWindow::done(int result)
{
    SaveColumns();
    QDialog::done(result);
}

// "ListCtrls" value: the columns' logical numbers in screen order, their widths, then the
// sort column and order ("3,0,1,...;120,80,...;3,0").
void CViewContactsWindow::SaveColumns() const
{
    QHeaderView* header = m_list->header();
    QStringList order, widths;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        order << QString::number(logical);
        widths << QString::number(header->sectionSize(logical));
    }
    const QString value = order.join(',') + ';' + widths.join(',') + ';' +
        QString::number(header->sortIndicatorSection()) + ',' +
        QString::number(header->sortIndicatorOrder() == Qt::AscendingOrder ? 0 : 1);
    if (zelora::Registry::CurrentUser().SetString(kListCtrlsKey, std::to_string(kListControlId), value.toStdString()) !=
        0)
        ZLOG(LOG_WARNING, "Unable to keep the address book's columns");
}

void CViewContactsWindow::LoadColumns()
{
    std::string text;
    if (zelora::Registry::CurrentUser().GetString(kListCtrlsKey, std::to_string(kListControlId), text) != 0)
        return;
    const QStringList parts = QString::fromStdString(text).split(';');
    if (parts.size() != 3)
        return;
    const QStringList order = parts[0].split(','), widths = parts[1].split(','), sort = parts[2].split(',');
    const int count = CViewContactsDlg::kColumnCount;
    if (order.size() != count || widths.size() != count || sort.size() != 2)
        return;
    // Every number checked before any is applied: a damaged value changes nothing.
    std::vector<int> logical(count), width(count);
    std::vector<bool> seen(count, false);
    for (int i = 0; i < count; ++i) {
        bool ok1 = false, ok2 = false;
        logical[i] = order[i].toInt(&ok1);
        width[i] = widths[i].toInt(&ok2);
        if (!ok1 || !ok2 || logical[i] < 0 || logical[i] >= count || seen[logical[i]] || width[i] < 0 ||
            width[i] > 2000)
            return;
        seen[logical[i]] = true;
    }
    bool ok1 = false, ok2 = false;
    const int sortColumn = sort[0].toInt(&ok1), sortOrder = sort[1].toInt(&ok2);
    if (!ok1 || !ok2 || sortColumn < 0 || sortColumn >= count || (sortOrder != 0 && sortOrder != 1))
        return;
    QHeaderView* header = m_list->header();
    for (int visual = 0; visual < count; ++visual) {
        header->moveSection(header->visualIndex(logical[visual]), visual);
        header->resizeSection(logical[visual], width[visual]);
    }
    m_list->sortByColumn(sortColumn, sortOrder == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}
