#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "addressbook/CAddContactDlg.h"
#include "addressbook/CAddressBookNetStatusDlg.h"
#include "addressbook/CContactUpload.h"
#include "addressbook/CEditContactDlg.h"
#include "addressbook/CViewContactsDlg.h"

using namespace abtest;

namespace {

struct Recorder : CContactFormView, CViewContactsView, CContactsPhone, CContactUpload {
    std::vector<std::string> boxes;
    std::vector<std::pair<int, ContactRecord>> uploads;
    bool accept = true;
    std::string entryNumber = "77";
    bool closed = false, callInProgress = false, answer = true;
    std::string called, sms, title;
    std::optional<ContactRecord> edited;

    void MessageBox(const std::string& t) override { boxes.push_back(t); }
    void Focus(Field) override { }
    void SetTitle(const std::string& t) override { title = t; }
    void Close() override { closed = true; }
    bool AskYesNo(const std::string& t) override
    {
        boxes.push_back(t);
        return answer;
    }
    void OpenEdit(const ContactRecord& e) override { edited = e; }
    bool IsCallInProgress() override { return callInProgress; }
    void Call(const std::string& n) override { called = n; }
    void Sms(const std::string& n) override { sms = n; }
    bool Run(int kind, const ContactRecord& r, std::string& sno) override
    {
        uploads.emplace_back(kind, r);
        sno = entryNumber;
        return accept;
    }
};

struct Forms : ::testing::Test {
    TempFolder dir;
    FakeSettings settings;
    AddressBookStore store{dir.path.string(), "zelora", "p", settings.Hooks()};
    Recorder rec;
    ContactFormFields::Date today{2026, 12, 9};
    void SetUp() override { ASSERT_EQ(store.Load("1001"), 1); }
    CAddContactDlg Add()
    {
        return CAddContactDlg(rec, store, rec, [this]() { return today; });
    }
    ContactFormFields Fields()
    {
        ContactFormFields f;
        f.firstName = "  Ann ";
        f.email = " ann@x ";
        f.mobile = "0170";
        return f;
    }
};

TEST_F(Forms, TrimsRequiresFirstNameAndEmailAndSetsNameAndBirthDate)
{
    CAddContactDlg dlg = Add();
    dlg.OnInitDialog();
    EXPECT_EQ(rec.title, "New Contact");
    ContactFormFields f = Fields();
    f.firstName = "  ";
    EXPECT_FALSE(dlg.Check(f));
    f = Fields();
    f.email = "";
    EXPECT_FALSE(dlg.Check(f));
    f = Fields();
    f.readable = false;
    EXPECT_FALSE(dlg.Check(f));
    EXPECT_EQ(
        rec.boxes,
        (std::vector<std::string>{"Please enter First Name", "Please enter email", "Unable to get data from fields"}));
    f = Fields();
    f.birthDate = today;
    auto r = dlg.Check(f);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->firstName, "Ann");
    EXPECT_EQ(r->email, "ann@x");
    EXPECT_EQ(r->birthDate, " ");
    EXPECT_EQ(r->name, " ");
    f.birthDate = ContactFormFields::Date{1975, 3, 9};
    EXPECT_EQ(dlg.Check(f)->birthDate, "1975-03-09");
}

TEST_F(Forms, BarChecksInThePartsOrderWithTheirMessages)
{
    CAddContactDlg dlg = Add();
    ContactFormFields f = Fields();
    f.firstName = "A|n";
    f.lastName = "L|ee";
    EXPECT_FALSE(dlg.Check(f));
    f.firstName = "Ann";
    EXPECT_FALSE(dlg.Check(f));
    f = Fields();
    f.voip = "1|2";
    f.email = "a|b";
    EXPECT_FALSE(dlg.Check(f));
    f = Fields();
    f.comments = "one\ntwo";
    EXPECT_FALSE(dlg.Check(f));
    f.comments = "a|b";
    EXPECT_FALSE(dlg.Check(f));
    EXPECT_EQ(
        rec.boxes,
        (std::vector<std::string>{"Bar Sign(|) is not allowed in title", "Bar Sign(|) is not allowed in Last Name",
                                  "Bar Sign(|) is not allowed in any fields", "Enter is not allowed in Comments",
                                  "Bar Sign(|) is not allowed in Comments"}));
}

TEST_F(Forms, AddAppliesLocallyOnlyWhenAcceptedWithAnEntryNumber)
{
    CAddContactDlg dlg = Add();
    rec.accept = false;
    EXPECT_FALSE(dlg.OnOK(Fields()));
    rec.accept = true;
    rec.entryNumber = "";
    EXPECT_FALSE(dlg.OnOK(Fields()));
    EXPECT_EQ(store.LiveEntries().size(), 0u);
    rec.entryNumber = "42";
    EXPECT_TRUE(dlg.OnOK(Fields()));
    EXPECT_TRUE(rec.closed);
    ASSERT_EQ(rec.uploads.size(), 3u);
    EXPECT_EQ(rec.uploads[0].first, CAddressBookNetStatusDlg::KIND_ADD);
    EXPECT_EQ(store.Find(42), 0);
}

TEST_F(Forms, EditUploadsThenUpdatesAndReportsAMissingLocalEntry)
{
    ContactRecord stored = Contact("5", "Ann");
    stored.lastName = "Lee";
    ASSERT_EQ(store.Add(stored), 0);
    CEditContactDlg dlg(rec, store, rec, *store.GetByPosition(0), [this]() { return today; });
    EXPECT_EQ(dlg.Title(), "Edit Contact - Ann  Lee");
    ContactFormFields f = CContactFormDlg::FieldsOf(*store.GetByPosition(0));
    f.mobile = "0171";
    EXPECT_TRUE(dlg.OnOK(f));
    EXPECT_EQ(store.GetByPosition(0)->mobile, "0171");
    EXPECT_EQ(rec.uploads.back().first, CAddressBookNetStatusDlg::KIND_UPDATE);
    EXPECT_EQ(rec.uploads.back().second.entryNumber, "5");
    ASSERT_EQ(store.MarkDeleted(0), 0);
    EXPECT_FALSE(dlg.OnOK(f));
    EXPECT_EQ(rec.boxes.back(), "Can not update entry. Entry in local file!");
}

TEST_F(Forms, WindowListsDeletesAndHandsCallsAndSms)
{
    ContactRecord a = Contact("1", "Ann");
    a.voip = "1001";
    ASSERT_EQ(store.Add(a), 0);
    ASSERT_EQ(store.Add(Contact("2", "Bob")), 0);
    CViewContactsDlg dlg(rec, store, rec, rec);
    dlg.OnInitDialog();
    ASSERT_EQ(dlg.Rows().size(), 2u);
    EXPECT_EQ(dlg.Rows()[0].columns[0], "Ann");
    EXPECT_EQ(dlg.Rows()[0].columns[9], "a@b.c");
    dlg.OnCall(std::nullopt, CViewContactsDlg::COLUMN_VOIP);
    dlg.OnCall(1, CViewContactsDlg::COLUMN_VOIP);
    rec.callInProgress = true;
    dlg.OnCall(0, CViewContactsDlg::COLUMN_VOIP);
    rec.callInProgress = false;
    dlg.OnCall(0, CViewContactsDlg::COLUMN_VOIP);
    EXPECT_EQ(rec.called, "1001");
    dlg.OnSms(std::nullopt, CViewContactsDlg::COLUMN_MOBILE);
    dlg.OnSms(0, CViewContactsDlg::COLUMN_MOBILE);
    dlg.OnSms(0, CViewContactsDlg::COLUMN_VOIP);
    EXPECT_EQ(rec.sms, "1001");
    dlg.OnEdit(std::nullopt);
    dlg.OnDelete(std::nullopt);
    EXPECT_EQ(rec.boxes,
              (std::vector<std::string>{
                  "Please select any contact form list to make call", "Please select any valid item to make call",
                  "Cannot call when call is in progress", "Please select any contact form list to send sms",
                  "Please select any valid item to send sms", "Please select any contact from list to edit",
                  "Please select any contact from list to delete"}));
    rec.boxes.clear();
    rec.accept = false;
    dlg.OnDelete(0);
    EXPECT_EQ(store.LiveEntries().size(), 2u);
    rec.accept = true;
    dlg.OnDelete(0);
    EXPECT_EQ(store.Find(1), -1);
    EXPECT_EQ(dlg.Rows().size(), 1u);
    dlg.OnDeleteAll();
    EXPECT_EQ(store.Count(), 0u);
    dlg.OnDeleteAll();
    EXPECT_EQ(rec.boxes.back(), "Contact list is blank. Please add a contact");
}

TEST(NetStatusRequests, FieldOrdersAndUnescapedValues)
{
    struct NullView : CAddressBookNetStatusView {
        void SetStatusText(int, const std::string&) override { }
        void SetButtonCaption(const std::string&) override { }
        void SetProgress(int) override { }
        void Ended(int, bool) override { }
    } view;
    CAddressBookNetStatusDlg dlg(view, "127.0.0.1", "10&01");
    ContactRecord r = Contact("9", "A&B");
    dlg.BuildAdd(r, "1000");
    EXPECT_EQ(dlg.RequestText(),
              "action=_addent&transId=12344&apiUserName=global&userId=10&01&data=<entry><name> </name>"
              "<email>a@b.c</email><voip></voip><mobile></mobile><home></home><business></business><title></title>"
              "<sno>9</sno><firstname>A&B</firstname><middlename></middlename><lastname></lastname>"
              "<altemail></altemail><fax></fax><pager></pager><icq></icq><website></website>"
              "<companyname></companyname><comments></comments><birthdate> </birthdate></entry>&timeStamp=1000");
    dlg.BuildUpdate(r, "1000");
    EXPECT_EQ(dlg.RequestText().substr(0, 106),
              "action=_updent&transId=12344&apiUserName=global&userId=10&01&data=<entry><sno>9</sno><name> </name>"
              "<email>");
    dlg.BuildDelete(r, "1000");
    EXPECT_EQ(dlg.RequestText(),
              "action=_delent&transId=12344&apiUserName=global&userId=10&01&name= &sno=9&timeStamp=1000");
    dlg.BuildDeleteAll("1000");
    EXPECT_EQ(dlg.RequestText(), "action=_delAll&transId=12344&apiUserName=global&userId=10&01&timeStamp=1000");
}

} // namespace
