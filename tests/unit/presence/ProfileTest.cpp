// Saving the own profile: the vCard's items carry the type flags the pages stand for, and
// reading a received card gives every page's fields back.
#include "presence/xmpp/CPresenceProfile.h"

#include <gloox/tag.h>
#include <gloox/vcard.h>
#include <gtest/gtest.h>

namespace {

PresenceProfileFields Sample()
{
    PresenceProfileFields f;
    f.given = "Ann";
    f.family = "Lee";
    f.email = "ann@example.org";
    f.workNumbers = {"w-fax", "w-mobile", "w-pager", "w-phone"};
    f.homeNumbers = {"h-fax", "h-mobile", "h-pager", "h-phone"};
    f.work = {"1 Work St", "Worktown", "", "W1", "WL"};
    f.home = {"2 Home Rd", "Hometown", "", "H2", "HL"};
    return f;
}

} // namespace

TEST(PresenceProfile, SavedCardKeepsWorkAndHomeApartAndReadsBack)
{
    const auto card = CPresenceProfile::Build(Sample());
    std::unique_ptr<gloox::Tag> tag(card->tag());
    const std::string xml = tag->xml();
    // Each number is typed with its place and its kind (work+fax is 0x402, home+cell 0x2001 ...).
    for (const char* item :
         {"<TEL><NUMBER>w-fax</NUMBER><WORK/><FAX/></TEL>", "<TEL><NUMBER>w-mobile</NUMBER><WORK/><CELL/></TEL>",
          "<TEL><NUMBER>w-pager</NUMBER><WORK/><PAGER/></TEL>", "<TEL><NUMBER>w-phone</NUMBER><WORK/><VOICE/></TEL>",
          "<TEL><NUMBER>h-fax</NUMBER><HOME/><FAX/></TEL>", "<TEL><NUMBER>h-mobile</NUMBER><HOME/><CELL/></TEL>",
          "<TEL><NUMBER>h-pager</NUMBER><HOME/><PAGER/></TEL>", "<TEL><NUMBER>h-phone</NUMBER><HOME/><VOICE/></TEL>"})
        EXPECT_NE(xml.find(item), std::string::npos) << item << "\n" << xml;
    EXPECT_LT(xml.find("1 Work St"), xml.find("2 Home Rd")) << xml; // work address first

    gloox::VCard received(tag.get());
    const PresenceProfileFields back = CPresenceProfile::Read(received);
    EXPECT_EQ(back.email, "ann@example.org");
    EXPECT_EQ(back.workNumbers.pager, "w-pager");
    EXPECT_EQ(back.workNumbers.phone, "w-phone");
    EXPECT_EQ(back.homeNumbers.mobile, "h-mobile");
    EXPECT_EQ(back.homeNumbers.fax, "h-fax");
    EXPECT_EQ(back.work.locality, "Worktown");
    EXPECT_EQ(back.home.street, "2 Home Rd");
    EXPECT_EQ(back.home.country, "HL");
}
