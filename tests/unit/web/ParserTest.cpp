#include "web/CMXXMLParser.h"
#include "FakeAddressBook.h"

#include <gtest/gtest.h>

namespace {

std::string Reply(const std::string& code, const std::string& payload)
{
    return "<result><transId>12345</transId><status>success</status><code>" + code + "</code><desc>ok</desc><data>" +
        payload + "</data></result>";
}

std::string Entry(const std::string& sno, const std::string& first, bool withComments = true)
{
    std::string e = "<entry><sno>" + sno + "</sno><name> </name><email>" + first +
        "@example.org</email><voip>111</voip><mobile>222</mobile><home>333</home>"
        "<business>444</business><title>Dr</title><firstname>" +
        first +
        "</firstname><middlename>M</middlename><lastname>Last</lastname><birthdate>1975-03-09"
        "</birthdate><companyname>Co</companyname><altemail>alt@example.org</altemail><fax>555</fax>"
        "<pager>666</pager><icq>777</icq><website>http://example.org</website>";
    if (withComments) {
        e += "<comments>likes & tea</comments>";
    }
    return e + "</entry>";
}

std::string Book(const std::string& entries)
{
    return "<timestamp>1700000000123</timestamp><addressbook>" + entries + "</addressbook>";
}

} // namespace

TEST(WebParser, GetNextTagTrimsAndTruncatesToBuffer)
{
    std::string inner;
    EXPECT_EQ(CMXXMLParser::GetNextTag("<a>", "x<a> \r\n hello world\t</a><a>second</a>", "</a>", &inner), 11);
    EXPECT_EQ(inner, "hello world");
    char small[6];
    EXPECT_EQ(CMXXMLParser::GetNextTag("<a>", "<a>hello world</a>", "</a>", small, sizeof(small)), 11);
    EXPECT_STREQ(small, "hello");
    EXPECT_EQ(CMXXMLParser::GetNextTag("<a>", "<a>no close", "</a>", &inner), -1);
    EXPECT_EQ(CMXXMLParser::GetNextTag("<a>", "</a><b>", "</a>", &inner), -1);
    // Elements do not nest: the first close tag after the open tag wins.
    EXPECT_EQ(CMXXMLParser::GetNextTag("<a>", "<a>1<a>2</a>3</a>", "</a>", &inner), 5);
    EXPECT_EQ(inner, "1<a>2");
}

TEST(WebParser, GetTagDataLeavesPositionInsideElement)
{
    const std::string text = "<x>one</x><x>two</x><y>three</y>";
    std::string out;
    std::size_t pos = 0;
    EXPECT_EQ(CMXXMLParser::GetTagData("<x>", text, "</x>", out, pos), 3);
    EXPECT_EQ(out, "one");
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(CMXXMLParser::GetTagData("<x>", text, "</x>", out, pos), 3);
    EXPECT_EQ(out, "two");
    EXPECT_EQ(pos, 13u);
    EXPECT_EQ(CMXXMLParser::GetTagData("<y>", text, "</y>", out, pos), 5);
    EXPECT_EQ(CMXXMLParser::GetTagData("<x>", text, "</x>", out, pos), -1);
    std::size_t past = text.size() + 10;
    EXPECT_EQ(CMXXMLParser::GetTagData("<x>", text, "</x>", out, past), -1);
}

TEST(WebParser, EnvelopeMustBeComplete)
{
    CMXXMLParser parser;
    EXPECT_EQ(parser.ParseXMLData("<transId>1</transId>"), -1);
    EXPECT_EQ(parser.ParseXMLData("<result><transId>1</transId><status>s</status><code>0</code><data></data></result>"),
              -1);
    EXPECT_EQ(
        parser.ParseXMLData("<result><transId>1</transId><status>s</status><code>0</code><desc>d</desc></result>"), -1);
    EXPECT_EQ(parser.ParseXMLData("<result><transId>1</transId><status>s</status><code>0</code><desc>d</desc>"
                                  "<data>"),
              -1);
    EXPECT_EQ(parser.ParseXMLData(""), -1);
    EXPECT_EQ(parser.ParseXMLData(Reply("0", "")), 1);
    EXPECT_EQ(parser.TransId(), "12345");
    EXPECT_EQ(parser.Status(), "success");
    EXPECT_EQ(parser.Desc(), "ok");
}

TEST(WebParser, EnvelopeFieldsKeep254Characters)
{
    CMXXMLParser parser;
    const std::string longDesc(600, 'd');
    ASSERT_EQ(parser.ParseXMLData("<result><transId>1</transId><status>s</status><code>7</code><desc>" + longDesc +
                                  "</desc><data><balance>1</balance></data></result>"),
              1);
    EXPECT_EQ(parser.Desc().size(), 254u);
    EXPECT_EQ(parser.CodeValue(), 7);
    EXPECT_EQ(parser.Balance(), "1");
}

TEST(WebParser, PayloadReplacesReplyAndFindsFields)
{
    CMXXMLParser parser;
    ASSERT_EQ(parser.ParseXMLData(Reply("0",
                                        "<balance> 12.50 </balance><smsbalance>7</smsbalance>"
                                        "<versionnumber>zeloraTALK Version 3.1.3</versionnumber>"
                                        "<downloadlink>http://h/setup</downloadlink><sno>42</sno>")),
              1);
    EXPECT_EQ(parser.ReplyText().find("<result>"), std::string::npos);
    EXPECT_EQ(parser.Balance(), " 12.50 "); // not trimmed
    EXPECT_EQ(parser.SmsBalance(), "7");
    EXPECT_EQ(parser.VersionNumber(), "zeloraTALK Version 3.1.3");
    EXPECT_EQ(parser.DownloadLink(), "http://h/setup");
    EXPECT_EQ(parser.EntryNumber(), "42");
    EXPECT_TRUE(parser.VoipNumber().empty());
}

TEST(WebParser, SmsBalanceBeforeBalanceIsNotFound)
{
    CMXXMLParser parser;
    ASSERT_EQ(parser.ParseXMLData(Reply("0", "<smsbalance>9</smsbalance><balance>3.00</balance>")), 1);
    EXPECT_EQ(parser.Balance(), "3.00");
    EXPECT_TRUE(parser.SmsBalance().empty());
    EXPECT_EQ(parser.FindBalance(), 4);
}

TEST(WebParser, FirstOfTwoVoipNumbersWinsAndCodeIsSigned)
{
    CMXXMLParser parser;
    ASSERT_EQ(parser.ParseXMLData(Reply("-1", "<lvl3>111</lvl3><lvl3>222</lvl3><userid>u&1</userid>")), 1);
    EXPECT_EQ(parser.VoipNumber(), "111");
    EXPECT_EQ(parser.UserId(), "u&1");
    EXPECT_EQ(parser.CodeValue(), -1);
    EXPECT_EQ(parser.FindVoipNumber(), 3);
    EXPECT_EQ(parser.FindSerialNO(), -1);
}

TEST(WebParser, CompleteBookWithOneEntryReplacesLocalBook)
{
    FakeAddressBook book;
    WebContact old;
    old.entryNumber = "9";
    book.entries.push_back(old);
    CMXXMLParser parser(&book);
    ASSERT_EQ(parser.ParseXMLData(Reply("1001", Book(Entry("5", "Ann")))), 1);
    EXPECT_EQ(book.empties, 1);
    ASSERT_EQ(book.entries.size(), 1u);
    const WebContact& e = book.entries[0];
    EXPECT_EQ(e.entryNumber, "5");
    EXPECT_EQ(e.name, ""); // one space, trimmed like every element
    EXPECT_EQ(e.firstName, "Ann");
    EXPECT_EQ(e.birthDate, "1975-03-09");
    EXPECT_EQ(e.website, "http://example.org");
    EXPECT_EQ(e.comments, "likes & tea");
    EXPECT_EQ(book.lastCheck, "1700000000123");
    EXPECT_TRUE(parser.AddressBookComplete());
}

TEST(WebParser, CompleteBookWithoutEntriesLeavesBook)
{
    FakeAddressBook book;
    WebContact old;
    old.entryNumber = "9";
    book.entries.push_back(old);
    CMXXMLParser parser(&book);
    ASSERT_EQ(parser.ParseXMLData(Reply("1001", Book(""))), 1);
    EXPECT_EQ(book.empties, 0);
    EXPECT_EQ(book.entries.size(), 1u);
    EXPECT_EQ(book.lastCheck, "1700000000123");
}

TEST(WebParser, ChangesUpdateKnownEntriesAndAddNewOnes)
{
    FakeAddressBook book;
    WebContact old;
    old.entryNumber = "5";
    old.firstName = "Old";
    book.entries.push_back(old);
    CMXXMLParser parser(&book);
    ASSERT_EQ(parser.ParseXMLData(Reply("0", Book(Entry("5", "New") + Entry("6", "Bob")))), 1);
    EXPECT_EQ(book.empties, 0);
    EXPECT_EQ(book.updates, 1);
    EXPECT_EQ(book.adds, 1);
    ASSERT_EQ(book.entries.size(), 2u);
    EXPECT_EQ(book.entries[0].firstName, "New");
    EXPECT_EQ(book.entries[1].firstName, "Bob");
    EXPECT_EQ(parser.AppliedEntries(), 2);
}

TEST(WebParser, EntryWithoutCommentsStopsTheUpdate)
{
    FakeAddressBook book;
    book.lastCheck = "100";
    CMXXMLParser parser(&book);
    ASSERT_EQ(parser.ParseXMLData(Reply("0", Book(Entry("1", "Ann") + Entry("2", "Bob", false)))), 1);
    ASSERT_EQ(book.entries.size(), 1u);
    EXPECT_EQ(book.entries[0].firstName, "Ann");
    EXPECT_FALSE(parser.AddressBookComplete());
    // The old stamp stays so that the next query brings the broken entry again.
    EXPECT_EQ(book.lastCheck, "100");
    EXPECT_EQ(book.stores, 0);
}

TEST(WebParser, CompleteBookBrokenInFirstEntryDoesNotWipeBook)
{
    FakeAddressBook book;
    WebContact old;
    old.entryNumber = "9";
    book.entries.push_back(old);
    CMXXMLParser parser(&book);
    ASSERT_EQ(parser.ParseXMLData(Reply("1001", Book(Entry("1", "Ann", false)))), 1);
    EXPECT_EQ(book.empties, 0);
    EXPECT_EQ(book.entries.size(), 1u);
}

TEST(WebParser, EntryMissingAFieldNeverTakesTheNextEntrys)
{
    // Ann lacks <comments>, Bob has them: Ann is refused as broken instead of getting Bob's.
    FakeAddressBook book;
    book.lastCheck = "100";
    CMXXMLParser parser(&book);
    ASSERT_EQ(parser.ParseXMLData(Reply("0", Book(Entry("1", "Ann", false) + Entry("2", "Bob")))), 1);
    EXPECT_TRUE(book.entries.empty());
    EXPECT_FALSE(parser.AddressBookComplete());
    EXPECT_EQ(book.lastCheck, "100");
    // The same with the missing element in the middle: Ann's <voip> must not become Bob's number.
    std::string first = Entry("3", "Cy");
    first.erase(first.find("<voip>"), std::string("<voip>111</voip>").size());
    ASSERT_EQ(parser.ParseXMLData(Reply("0", Book(Entry("4", "Dee") + first + Entry("5", "Eve")))), 1);
    ASSERT_EQ(book.entries.size(), 1u);
    EXPECT_EQ(book.entries[0].firstName, "Dee");
    EXPECT_EQ(book.entries[0].voip, "111");
}

TEST(WebParser, AddressBookNeedsTimestampBlockAndStore)
{
    FakeAddressBook book;
    CMXXMLParser parser(&book);
    ASSERT_EQ(parser.ParseXMLData(Reply("1001", "<addressbook>" + Entry("1", "Ann") + "</addressbook>")), 1);
    EXPECT_TRUE(book.entries.empty());
    ASSERT_EQ(parser.ParseXMLData(Reply("1001", "<timestamp>5</timestamp><addressbook>" + Entry("1", "Ann"))), 1);
    EXPECT_TRUE(book.entries.empty());
    book.failStore = true;
    ASSERT_EQ(parser.ParseXMLData(Reply("0", Book(Entry("1", "Ann")))), 1);
    EXPECT_FALSE(parser.AddressBookComplete());
    CMXXMLParser noStore;
    EXPECT_EQ(noStore.ParseXMLData(Reply("1001", Book(Entry("1", "Ann")))), 1);
}

TEST(WebParser, LongEntryFieldsAreBounded)
{
    FakeAddressBook book;
    CMXXMLParser parser(&book);
    std::string entry = Entry("1", std::string(400, 'f'));
    ASSERT_EQ(parser.ParseXMLData(Reply("0", Book(entry))), 1);
    ASSERT_EQ(book.entries.size(), 1u);
    EXPECT_EQ(book.entries[0].firstName.size(), 255u);
}

TEST(WebParser, AdsListItemsInOrderAndStopAtIncompleteItem)
{
    const std::string item1 =
        "&lt;item&gt;&lt;txt&gt; Cheap calls &lt;/txt&gt;&lt;url&gt;http://a&lt;/url&gt;&lt;/item&gt;";
    const std::string item2 = "&lt;item&gt;&lt;txt&gt;No link&lt;/txt&gt;&lt;url&gt;&lt;/url&gt;&lt;/item&gt;";
    const std::string broken = "&lt;item&gt;&lt;txt&gt;Broken&lt;/txt&gt;&lt;/item&gt;";
    const std::string item4 = "&lt;item&gt;&lt;txt&gt;After&lt;/txt&gt;&lt;url&gt;http://d&lt;/url&gt;&lt;/item&gt;";
    CMXXMLParser parser;
    EXPECT_EQ(parser.ParseXMLAdsData("<pre>&lt;list&gt;" + item1 + item2 + "&lt;/list&gt;</pre>"), -1);
    ASSERT_EQ(parser.AdsItems().size(), 2u);
    EXPECT_EQ(parser.AdsItems()[0].first, "Cheap calls");
    EXPECT_EQ(parser.AdsItems()[0].second, "http://a");
    EXPECT_EQ(parser.AdsItems()[1].second, "");
    parser.ClearAdsItems();
    EXPECT_EQ(parser.ParseXMLAdsData("&lt;list&gt;" + item1 + broken + item4 + "&lt;/list&gt;"), -2);
    ASSERT_EQ(parser.AdsItems().size(), 1u);
    EXPECT_EQ(parser.AdsItems()[0].first, "Cheap calls");
    parser.ClearAdsItems();
    EXPECT_EQ(parser.ParseXMLAdsData(item1), -1);
    EXPECT_TRUE(parser.AdsItems().empty());
}
