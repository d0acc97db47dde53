// Bulk refresh of messages, call log and contacts against a scripted companion: the pages it
// asks for, the progress values it leaves, abort, and failures part way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records_fixture.h"
#include "zentrolink.h"

using namespace recordstest;

namespace {

struct Kind {
    const char* name;
    int32_t (*refresh)(int32_t);
    int32_t (*total)();
    int32_t (*offset)();
    const char* countCommand;
    const char* pagePrefix; // the page command without its offset and ";"
    const char* idKey;
    std::vector<std::string> (*ids)();
};

const Kind kKinds[] = {
    {"messages", Zentro_FlushSMSAll, Zentro_FlushSMSAll_Count, Zentro_FlushSMSAll_Index, "getsmsCount;",
     "getsmsPart10:", "ID", messageIds},
    {"calls", Zentro_FlushCallHistoryAll, Zentro_FlushCallLogAll_Count, Zentro_FlushCallLogAll_Index,
     "getcalllogcount;", "getcalllogpart10:", "ID", callIds},
    {"contacts", Zentro_FlushPersonAll, Zentro_FlushContactAll_Count, Zentro_FlushContactAll_Index,
     "getcontactCount;", "getcontactpart10:", "CONTACTID", contactIds},
};

std::string pageCommand(const Kind& kind, int offset) {
    return kind.pagePrefix + std::to_string(offset) + ";";
}

class BulkRefresh : public RecordsTest {
protected:
    // A phone holding twelve records of the kind, ids 1..12, five to a page.
    void twelveRecords(const Kind& kind) {
        companion_.answerCount(kind.countCommand, 12);
        companion_.answer(pageCommand(kind, 0), idPage(kind.idKey, {1, 2, 3, 4, 5}));
        companion_.answer(pageCommand(kind, 5), idPage(kind.idKey, {6, 7, 8, 9, 10}));
        companion_.answer(pageCommand(kind, 10), idPage(kind.idKey, {11, 12}));
    }
};

} // namespace

TEST_F(BulkRefresh, TwelveRecordsTakePagesZeroFiveAndTenFromDeviceZero) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        twelveRecords(kind);
        companion_.takeCommands();
        EXPECT_EQ(kind.refresh(1), 0); // the argument does not pick the phone
        EXPECT_EQ(companion_.takeCommands(),
                  (std::vector<std::string>{kind.countCommand, pageCommand(kind, 0), pageCommand(kind, 5),
                                            pageCommand(kind, 10)}));
        EXPECT_EQ(kind.total(), 12);
        EXPECT_EQ(kind.offset(), 10);
        EXPECT_EQ(kind.ids().size(), 12u);
    }
    EXPECT_EQ(messageIds().front(), "12"); // head insertion
    EXPECT_EQ(callIds().front(), "1");     // reply order
    EXPECT_TRUE(logHas("dataCount = 12,st_sms_index =10, read_i = 15, prasecount = 2\n"));
    EXPECT_TRUE(logHas("st_Contact_index =10, prasecount = 2\n"));

    // A second run starts from an empty list, not on top of the first.
    EXPECT_EQ(Zentro_FlushSMSAll(0), 0);
    EXPECT_EQ(messageIds().size(), 12u);
}

TEST_F(BulkRefresh, AbortStopsAfterThePageInFlightAndStaysUntilReset) {
    for (const Kind& kind : kKinds) twelveRecords(kind);

    Zentro_AbortFlushAllDB();
    companion_.takeCommands();
    EXPECT_EQ(Zentro_FlushSMSAll(0), 0);
    EXPECT_EQ(companion_.takeCommands(), (std::vector<std::string>{"getsmsCount;", "getsmsPart10:0;"}));
    EXPECT_EQ(messageIds().size(), 5u);
    EXPECT_EQ(Zentro_FlushCallHistoryAll(0), 0); // the flag was never cleared
    EXPECT_EQ(callIds().size(), 5u);

    EXPECT_EQ(Zentro_ResetFlushAllDBStatus(), 0);
    // The host's other thread asks to stop while page 5 is on its way.
    companion_.onCommand([](const std::string& command) {
        if (command == "getcontactpart10:5;") Zentro_AbortFlushAllDB();
    });
    EXPECT_EQ(Zentro_FlushPersonAll(0), 0);
    EXPECT_EQ(contactIds().size(), 10u);
    EXPECT_EQ(Zentro_FlushContactAll_Index(), 5);

    companion_.onCommand(nullptr);
    Zentro_ResetFlushAllDBStatus();
    EXPECT_EQ(Zentro_FlushCallHistoryAll(0), 0);
    EXPECT_EQ(callIds().size(), 12u);
}

TEST_F(BulkRefresh, AFailingPageKeepsTheEarlierPages) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        twelveRecords(kind);
        companion_.answer(pageCommand(kind, 5), "");
        EXPECT_EQ(kind.refresh(0), -1);
        EXPECT_EQ(kind.ids().size(), 5u);
        EXPECT_EQ(kind.offset(), 5);
        EXPECT_EQ(kind.total(), 12);
    }
    EXPECT_TRUE(logHas("error: ret = 0\n")); // messages only say so
}
