#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "cli/CCliAddressBook.h"
#include "cli/CCliProtocol.h"

using namespace abtest;

TEST(CliAddressBook, SplitterTakesQuotesThatStartInsideAWord)
{
    std::vector<std::string> w;
    ASSERT_TRUE(
        CCliProtocol::Split("contact-add first=Ann last=\"Lee Smith\" comments=\"say \\\"hi\\\"\" x\"y z\"w", w));
    EXPECT_EQ(w,
              (std::vector<std::string>{"contact-add", "first=Ann", "last=Lee Smith", "comments=say \"hi\"", "xy zw"}));
    EXPECT_FALSE(CCliProtocol::Split("contact-add first=\"open", w));
    ASSERT_TRUE(CCliProtocol::Split("login 1001 \"pass word\"", w));
    EXPECT_EQ(w[2], "pass word");
}

TEST(CliAddressBook, FieldsAndContactLines)
{
    ContactFormFields f;
    std::vector<std::string> w = {"contact-add", "first=Ann", "email=a@b", "birth=1975-03-09", "company=", "icq=1"};
    ASSERT_TRUE(CCliAddressBook::ApplyFields(w, 1, f));
    EXPECT_EQ(f.firstName, "Ann");
    EXPECT_EQ(f.icq, "1");
    ASSERT_TRUE(f.birthDate.has_value());
    EXPECT_EQ(f.birthDate->month, 3);
    EXPECT_FALSE(CCliAddressBook::ApplyFields({"x", "nosuch=1"}, 1, f));
    EXPECT_FALSE(CCliAddressBook::ApplyFields({"x", "birth=9.3.1975"}, 1, f));
    ContactRecord r = Contact("12", "Ann");
    r.lastName = "Lee Smith";
    r.comments = "say \"hi\"";
    EXPECT_EQ(CCliAddressBook::ContactLine(3, r),
              "CONTACT pos=3 sno=12 first=\"Ann\" middle=\"\" last=\"Lee Smith\" title=\"\" email=\"a@b.c\" "
              "altemail=\"\" voip=\"\" mobile=\"\" home=\"\" business=\"\" fax=\"\" pager=\"\" icq=\"\" website=\"\" "
              "company=\"\" birth=\" \" comments=\"say \\\"hi\\\"\"");
}
