#include "presence/CFifo.h"
#include "presence/CPresenceData.h"
#include "presence/xmpp/CXMPPHandler.h"
#include "presence/xmpp/CXMPPRosterCommands.h"
#include "presence/PresenceCodes.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

int g_alive = 0;

struct Counted : CPresenceData {
    Counted() { ++g_alive; }
    ~Counted() override { --g_alive; }
};

TEST(PresenceBus, OrderOwnershipAndEmptyReads)
{
    CFifo fifo;
    CFifoMessage* out = reinterpret_cast<CFifoMessage*>(1);
    EXPECT_EQ(fifo.Readmessage(out), CFifo::kEmpty);
    EXPECT_EQ(out, nullptr);

    // Two writers in a known interleaving come out in that interleaving.
    std::thread a([&] { PresenceWrite(fifo, 100, new Counted); });
    a.join();
    std::thread b([&] { PresenceWrite(fifo, 102, new Counted); });
    b.join();
    PresenceWrite(fifo, 104, nullptr);
    EXPECT_EQ(g_alive, 2);

    ASSERT_EQ(fifo.Readmessage(out), CFifo::kRead);
    EXPECT_EQ(out->command, 100);
    // A handler that keeps the record: the reader nulls the pointer, nothing is destroyed.
    CPresenceData* kept = out->data;
    out->data = nullptr;
    PresenceRelease(out);
    EXPECT_EQ(g_alive, 2);
    delete kept;
    EXPECT_EQ(g_alive, 1);

    ASSERT_EQ(fifo.Readmessage(out), CFifo::kRead);
    EXPECT_EQ(out->command, 102);
    PresenceRelease(out);
    EXPECT_EQ(g_alive, 0);

    // Whatever is still queued dies with the queue, exactly once.
    {
        CFifo leftover;
        PresenceWrite(leftover, 214, new Counted);
        PresenceWrite(leftover, 223, new Counted);
        EXPECT_EQ(g_alive, 2);
    }
    EXPECT_EQ(g_alive, 0);
}

TEST(PresenceBus, GroupEditsKeepRosterOrder)
{
    using H = CXMPPRosterCommands;
    EXPECT_EQ(H::MoveGroup({"A", "B", "A"}, "A", "C"), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(H::CopyGroup({"A"}, "A"), (std::vector<std::string>{"A", "A"}));
    EXPECT_EQ(H::RemoveGroup({"A", "B", "A"}, "A"), (std::vector<std::string>{"B"}));
    EXPECT_EQ(H::MoveGroup({}, "X", "Y"), (std::vector<std::string>{"Y"}));
}

} // namespace
