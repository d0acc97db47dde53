// Message, call-log and calendar actions against an in-process companion, byte for byte.
#include <gtest/gtest.h>

#include "actions_peer.h"
#include "core/state.h"
#include "zentrolink.h"

using namespace zentro;
using namespace actionstest;

namespace {

class RecordActionsTest : public ActionsTest {
protected:
    void release(const char* version) { // device row 0 in use on this Android release
        core::state().connectAndroidCount = 1;
        core::copyText(core::deviceRow(0)->androidVersion, sizeof core::deviceRow(0)->androidVersion,
                       version);
    }
};

} // namespace

TEST_F(RecordActionsTest, SendSmsHexItemsAndTheirCuts) {
    answer("SendSMS", littleEndian(7, 4));
    SmsRecord none{};
    EXPECT_EQ(Zentro_SendSMS(&none, 0), 7);

    std::string address = "555", body = "Hi", empty, read = "1", type = "2";
    SmsRecord m{};
    m.address = address.data(), m.body = body.data(), m.date = empty.data(), m.read = read.data();
    m.type = type.data(), m.id = m.person = m.threadId = body.data(); // the last three are never read
    EXPECT_EQ(Zentro_SendSMS(&m, 0), 7);

    std::string longBody = varied(1500);
    SmsRecord bodyOnly{};
    bodyOnly.body = longBody.data();
    EXPECT_EQ(Zentro_SendSMS(&bodyOnly, 0), 7);

    // Every item at its cut: 6,138 characters, far past a 4,096-byte buffer, sent whole.
    std::string longItem = varied(700, 3);
    SmsRecord full{};
    full.address = full.date = full.read = full.type = longItem.data();
    full.body = longBody.data();
    const std::string item = hexOf(longItem.substr(0, 510));
    EXPECT_EQ(Zentro_SendSMS(&full, 0), 7);

    EXPECT_EQ(Zentro_SendSMS(nullptr, 0), -1);
    EXPECT_EQ(sent(), (Commands{"SendSMS:----2D31-;", "SendSMS:353535-4869--31-2D31-32;",
                                "SendSMS:-" + hexOf(longBody.substr(0, 1020)) + "---2D31-;",
                                "SendSMS:" + item + "-" + hexOf(longBody.substr(0, 1020)) + "-" + item + "-" +
                                    item + "-2D31-" + item + ";"}));
    EXPECT_EQ(logCount("Call Function: Zentro_SendSMS\n"), 5u); // the refused call logs too
}

TEST_F(RecordActionsTest, CallsAndEventsKeepEmptyItemsAndTheBlankRule) {
    answer("AddCallHistory", littleEndian(-1, 4));
    answer("AddCalender", littleEndian(1, 4));
    answer("ClearCallHistory", littleEndian(0x12345678, 4));

    std::string number = "555", date = "5", type = "1", duration = "0";
    CallHistoryRecord call{};
    call.number = number.data();
    EXPECT_EQ(Zentro_AddCallHistory(&call, 0), -1);
    call.date = date.data(), call.type = type.data(), call.duration = duration.data();
    EXPECT_EQ(Zentro_AddCallHistory(&call, 0), -1);

    CalenderRecord event{};
    EXPECT_EQ(Zentro_AddCalender(&event, 0), 1);
    std::string title = "T", empty;
    event.title = title.data(), event.recurrenceRule = empty.data(), event.id = title.data();
    EXPECT_EQ(Zentro_AddCalender(&event, 0), 1);
    std::string big = varied(600);
    for (char** f : {&event.title, &event.start, &event.end, &event.location, &event.timeZone,
                     &event.description, &event.hasAlarm, &event.reminderMinutes, &event.recurrenceRule})
        *f = big.data();
    EXPECT_EQ(Zentro_AddCalender(&event, 0), 1);
    std::string cut = hexOf(big.substr(0, 510)), nine = cut;
    for (int i = 1; i < 9; ++i) nine += "-" + cut;

    EXPECT_EQ(Zentro_AddCallHistory(nullptr, 0), -1);
    EXPECT_EQ(Zentro_AddCalender(nullptr, 0), -1);
    EXPECT_EQ(Zentro_ClearCallHistory(0), 0x12345678);
    EXPECT_EQ(Zentro_ClearCalender(0), 0); // empty reply
    EXPECT_EQ(sent(), (Commands{"AddCallHistory:353535---;", "AddCallHistory:353535-35-31-30;",
                                "AddCalender:--------20;", "AddCalender:54--------20;",
                                "AddCalender:" + nine + ";", "ClearCallHistory;", "ClearCalender;"}));
    EXPECT_EQ(logCount("Call Function: Zentro_AddCalender\n"), 4u);
    EXPECT_EQ(logCount("Call Function: Zentro_ClearCallHistory\n"), 0u);
}

TEST_F(RecordActionsTest, DefaultMessagingFollowsTheReleaseRule) {
    const struct {
        const char* release;
        int32_t holds;
    } cases[] = {
        {"4.4.2", 1}, {"4.4", 1},
        {"4.3", 0},   {"5.0", 1},
        {"4.10", 1},  {"", 0},
        {"12", 1},    {"4.3.9", 0},
        {"v4.x4", 1}, {"0.000000000044", 0} /* a twelfth digit is dropped */,
    };
    for (const auto& c : cases) {
        release(c.release);
        EXPECT_EQ(Zentro_CheckAndroidVersionAt44(0), c.holds) << c.release;
    }
    EXPECT_EQ(Zentro_CheckAndroidVersionAt44(-1), 0);
    core::copyText(core::deviceRow(1)->androidVersion, sizeof core::deviceRow(1)->androidVersion, "5.0");
    EXPECT_EQ(Zentro_CheckAndroidVersionAt44(1), 0); // beyond the rows in use

    answer("SetDefaultMessage", littleEndian(1, 4));
    release("4.3");
    EXPECT_EQ(Zentro_SetDefaultMessage(0), 0);
    EXPECT_EQ(Zentro_ReSetDefaultMessage(0), 0);
    EXPECT_EQ(Zentro_CheckDefaultMessangeOK(0), 0);
    EXPECT_TRUE(sent().empty());

    release("4.4.2");
    EXPECT_EQ(Zentro_SetDefaultMessage(0), 1);
    EXPECT_EQ(sent(), Commands{"SetDefaultMessage;"});
    const struct {
        std::string reply;
        int32_t result;
    } replies[] = {
        {"com.vantrey.pocketdesk", 0},
        {"com.vantrey.pocketdesk\n", -1},
        {"com.android.mms", -1},
        {"", -1},
        {std::string("com.vantrey.pocketdesk\0x", 24), 0}, // compared up to its zero byte
    };
    for (const auto& r : replies) {
        answer("GetDefaultMessage_pkgName", r.reply);
        EXPECT_EQ(Zentro_CheckDefaultMessangeOK(0), r.result) << r.reply.size();
    }
}
