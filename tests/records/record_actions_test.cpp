// Message, call-log and calendar actions against an in-process companion, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "actions_peer.h"
#include "core/state.h"
#include "zentrolink.h"

using namespace zentro;
using namespace actionstest;

namespace {

class RecordActionsTest : public ActionsTest {
protected:
    // Device row 0 in use with this Android release.
    void release(const char* version) {
        core::state().connectAndroidCount = 1;
        core::copyText(core::deviceRow(0)->androidVersion, sizeof core::deviceRow(0)->androidVersion, version);
    }
};

char* text(std::string& s) {
    return s.data();
}

} // namespace

TEST_F(RecordActionsTest, SendSmsPutsSixHexItemsOnTheWire) {
    companion_.answer("SendSMS", status(7));

    SmsRecord none{};
    EXPECT_EQ(Zentro_SendSMS(&none, 0), 7);
    EXPECT_EQ(sent(), Commands{"SendSMS:----2D31-;"});

    std::string address = "555", body = "Hi", date, read = "1", type = "2";
    SmsRecord message{};
    message.address = text(address);
    message.body = text(body);
    message.date = text(date); // empty, not null: still an empty item
    message.read = text(read);
    message.type = text(type);
    message.id = message.person = message.threadId = text(body); // never read
    EXPECT_EQ(Zentro_SendSMS(&message, 0), 7);
    EXPECT_EQ(sent(), Commands{"SendSMS:353535-4869--31-2D31-32;"});

    // A long body is cut at 1,020 bytes, the other items at 510.
    std::string longBody = varied(1500);
    SmsRecord bodyOnly{};
    bodyOnly.body = text(longBody);
    EXPECT_EQ(Zentro_SendSMS(&bodyOnly, 0), 7);
    EXPECT_EQ(sent(), Commands{"SendSMS:-" + hexOf(longBody.substr(0, 1020)) + "---2D31-;"});

    EXPECT_EQ(Zentro_SendSMS(nullptr, 0), -1);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(logCount("Call Function: Zentro_SendSMS\n"), 4u); // the refused call logs too
}

TEST_F(RecordActionsTest, CommandsPastTheOldBufferSizesGoOutWholeWithEveryItemCut) {
    companion_.answer("SendSMS", status(1));
    companion_.answer("AddCalender", status(2));
    companion_.answer("AddCallHistory", status(3));

    std::string address = varied(700, 1), body = varied(1500, 2), date = varied(600, 3),
                read = varied(511, 4), type = varied(510, 5);
    SmsRecord message{};
    message.address = text(address);
    message.body = text(body);
    message.date = text(date);
    message.read = text(read);
    message.type = text(type);
    EXPECT_EQ(Zentro_SendSMS(&message, 0), 1);
    const std::string sms = "SendSMS:" + hexOf(address.substr(0, 510)) + "-" + hexOf(body.substr(0, 1020)) +
                            "-" + hexOf(date.substr(0, 510)) + "-" + hexOf(read.substr(0, 510)) + "-2D31-" +
                            hexOf(type) + ";";
    EXPECT_EQ(sent(), Commands{sms});
    EXPECT_EQ(sms.size(), 6138u); // well past 4,096

    std::string fields[9];
    CalenderRecord event{};
    char** slots[9] = {&event.title,    &event.start,       &event.end,
                       &event.location, &event.timeZone,    &event.description,
                       &event.hasAlarm, &event.reminderMinutes, &event.recurrenceRule};
    std::string expected = "AddCalender:";
    for (int i = 0; i < 9; ++i) {
        fields[i] = varied(600, 10 + i);
        *slots[i] = text(fields[i]);
        expected += (i ? "-" : "") + hexOf(fields[i].substr(0, 510));
    }
    EXPECT_EQ(Zentro_AddCalender(&event, 0), 2);
    EXPECT_EQ(sent(), Commands{expected + ";"});

    std::string number = varied(5000, 20);
    CallHistoryRecord call{};
    call.number = call.date = call.type = call.duration = text(number);
    const std::string item = hexOf(number.substr(0, 510));
    EXPECT_EQ(Zentro_AddCallHistory(&call, 0), 3);
    EXPECT_EQ(sent(), Commands{"AddCallHistory:" + item + "-" + item + "-" + item + "-" + item + ";"});
}

TEST_F(RecordActionsTest, CallsAndEventsKeepEmptyItemsAndTheBlankRecurrenceRule) {
    companion_.answer("AddCallHistory", status(-1));
    companion_.answer("AddCalender", status(1));

    std::string number = "555", date = "5", type = "1", duration = "0";
    CallHistoryRecord call{};
    call.number = text(number);
    EXPECT_EQ(Zentro_AddCallHistory(&call, 0), -1); // the companion's refusal passes through
    call.date = text(date);
    call.type = text(type);
    call.duration = text(duration);
    call.id = call.name = text(number); // never read
    EXPECT_EQ(Zentro_AddCallHistory(&call, 0), -1);
    EXPECT_EQ(sent(), (Commands{"AddCallHistory:353535---;", "AddCallHistory:353535-35-31-30;"}));

    CalenderRecord none{};
    EXPECT_EQ(Zentro_AddCalender(&none, 0), 1);
    std::string title = "T", empty, rule = "FREQ=DAILY";
    CalenderRecord event{};
    event.title = text(title);
    event.recurrenceRule = text(empty);
    EXPECT_EQ(Zentro_AddCalender(&event, 0), 1);
    event.recurrenceRule = text(rule);
    event.id = event.calendarId = text(title); // never read
    EXPECT_EQ(Zentro_AddCalender(&event, 0), 1);
    EXPECT_EQ(sent(), (Commands{"AddCalender:--------20;", "AddCalender:54--------20;",
                                "AddCalender:54--------" + hexOf(rule) + ";"}));

    EXPECT_EQ(Zentro_AddCallHistory(nullptr, 0), -1);
    EXPECT_EQ(Zentro_AddCalender(nullptr, 0), -1);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(logCount("Call Function: Zentro_AddCallHistory\n"), 3u);
    EXPECT_EQ(logCount("Call Function: Zentro_AddCalender\n"), 4u);
}

TEST_F(RecordActionsTest, ClearsPassTheAnswerAndMissingAnswersReadZero) {
    companion_.answer("ClearSMS", status(5));
    companion_.answer("ClearCallHistory", status(-1));
    companion_.answer("ClearCalender", status(0x12345678));
    EXPECT_EQ(Zentro_ClearSMS(0), 5);
    EXPECT_EQ(Zentro_ClearCallHistory(0), -1);
    EXPECT_EQ(Zentro_ClearCalender(0), 0x12345678);
    EXPECT_EQ(sent(), (Commands{"ClearSMS;", "ClearCallHistory;", "ClearCalender;"}));
    EXPECT_EQ(logCount("Call Function: Zentro_ClearSMS\n"), 1u);
    EXPECT_EQ(logCount("Call Function: Zentro_ClearCallHistory\n"), 0u);
    EXPECT_EQ(logCount("Call Function: Zentro_ClearCalender\n"), 0u);

    // An empty reply, and a reply of two bytes: the area keeps its zeros where nothing came.
    companion_.answer("ClearSMS", "");
    companion_.answer("SendSMS", std::string("\x05\x01", 2));
    SmsRecord none{};
    EXPECT_EQ(Zentro_ClearSMS(0), 0);
    EXPECT_EQ(Zentro_SendSMS(&none, 0), 0x105);
}

TEST_F(RecordActionsTest, AndroidReleaseRule) {
    const struct { const char* release; int32_t holds; } cases[] = {
        {"4.4.2", 1}, {"4.4", 1}, {"4.3", 0}, {"5.0", 1}, {"4.10", 1}, {"", 0}, {"12", 1},
        {"4.3.9", 0},             // later components do not count
        {"v4.x4", 1},             // neither do letters
        {"4..9", 0},              // an empty minor is 0
        {"0.000000000044", 0},    // a twelfth digit is dropped: 00000000004
        {"0.00000000044", 1},
    };
    for (const auto& c : cases) {
        release(c.release);
        EXPECT_EQ(Zentro_CheckAndroidVersionAt44(0), c.holds) << c.release;
    }

    release("5.0");
    EXPECT_EQ(Zentro_CheckAndroidVersionAt44(-1), 0);
    EXPECT_EQ(Zentro_CheckAndroidVersionAt44(1), 0); // the row exists but is not in use
    EXPECT_EQ(Zentro_CheckAndroidVersionAt44(10), 0);
    core::state().connectAndroidCount = 0;
    EXPECT_EQ(Zentro_CheckAndroidVersionAt44(0), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(RecordActionsTest, DefaultMessagingOnlyFromAndroid44) {
    companion_.answer("SetDefaultMessage", status(1));
    companion_.answer("ReSetDefaultMessage", status(1));
    companion_.answer("GetDefaultMessage_pkgName", "com.android.mms");

    release("4.3");
    EXPECT_EQ(Zentro_SetDefaultMessage(0), 0);
    EXPECT_EQ(Zentro_ReSetDefaultMessage(0), 0);
    EXPECT_EQ(Zentro_CheckDefaultMessangeOK(0), 0);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(logCount("Call Function: Zentro_SetDefaultMessage\n"), 1u);

    release("4.4.2");
    EXPECT_EQ(Zentro_CheckDefaultMessangeOK(0), -1);
    EXPECT_EQ(Zentro_SetDefaultMessage(0), 1);
    EXPECT_EQ(Zentro_ReSetDefaultMessage(0), 1);
    EXPECT_EQ(sent(), (Commands{"GetDefaultMessage_pkgName;", "SetDefaultMessage;", "ReSetDefaultMessage;"}));

    const struct { std::string reply; int32_t result; } replies[] = {
        {"com.vantrey.pocketdesk", 0},
        {"com.vantrey.pocketdesk\n", -1},
        {"com.vantrey.pocketdesk;", -1},
        {"com.vantrey.pocketdes", -1},
        {"", -1},
        {std::string("com.vantrey.pocketdesk\0junk", 27), 0}, // compared up to its zero byte
        {std::string(5000, 'x'), -1},                          // longer than the area
    };
    for (const auto& r : replies) {
        companion_.answer("GetDefaultMessage_pkgName", r.reply);
        EXPECT_EQ(Zentro_CheckDefaultMessangeOK(0), r.result) << r.reply.size();
    }
}
