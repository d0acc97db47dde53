// Message, call-log and calendar actions against an in-process companion, byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/state.h"
#include "records_fixture.h"
#include "zentrolink.h"

using namespace zentro;
using namespace recordstest;

namespace {

class RecordActionsTest : public RecordsTest {
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

    EXPECT_EQ(Zentro_SendSMS(nullptr, 0), -1);
    EXPECT_EQ(sent(), (Commands{"SendSMS:----2D31-;", "SendSMS:353535-4869--31-2D31-32;",
                                "SendSMS:-" + hexEncode(longBody.substr(0, 1020)) + "---2D31-;"}));
    EXPECT_EQ(logCount("Call Function: Zentro_SendSMS\n"), 4u); // the refused call logs too
}

TEST_F(RecordActionsTest, CommandsLongerThanTheirBuffersAreRefusedUnsent) {
    answer("SendSMS", littleEndian(7, 4));
    answer("AddCallHistory", littleEndian(7, 4));
    answer("AddCalender", littleEndian(7, 4));
    answer("AddPerson", littleEndian(57, 8));
    answer("AddPerson3", littleEndian(57, 8));
    answer("UpdatePerson", littleEndian(7, 4));

    // Items at their cut, and texts just short of it, so that each command ends at (or, where
    // its length is always even, one short of) the last byte its buffer holds before its
    // closing zero, or one item byte past that.
    std::string item = varied(510), body = varied(1020, 1), d504 = varied(504), d505 = varied(505),
                p507 = varied(507), p508 = varied(508), p509 = varied(509);
    SmsRecord sms{};
    sms.address = item.data(), sms.body = body.data();
    CallHistoryRecord call{};
    call.number = item.data();
    CalenderRecord event{};
    event.title = event.description = item.data();
    char* addThenUpdate[21] = {nullptr, item.data(), nullptr, nullptr, p508.data()};
    char* whole[21] = {nullptr, item.data(), nullptr, item.data()};
    const std::string idFits(996, '7'), idOver(997, '7');

    const struct {
        const char* name;
        std::function<int64_t()> call;
        size_t length; // of the command built
        size_t buffer; // 0: the command fits and goes out
    } cases[] = {
        {"SendSMS", [&] { return (sms.date = p508.data(), Zentro_SendSMS(&sms, 0)); }, 4094, 0},
        {"SendSMS", [&] { return (sms.date = p509.data(), Zentro_SendSMS(&sms, 0)); }, 4096, 4096},
        {"AddCallHistory", [&] { return (call.date = d504.data(), Zentro_AddCallHistory(&call, 0)); }, 2047,
         0},
        {"AddCallHistory", [&] { return (call.date = d505.data(), Zentro_AddCallHistory(&call, 0)); }, 2049,
         2048},
        {"AddCalender", [&] { return Zentro_AddCalender(&event, 0); }, 2063, 2048},
        {"AddPerson", [&] { return Zentro_AddPerson(item.c_str(), p507.c_str(), 0); }, 2046, 0},
        {"AddPerson", [&] { return Zentro_AddPerson(item.c_str(), p508.c_str(), 0); }, 2048, 2048},
        {"AddPerson", [&] { return Zentro_AddPerson2(addThenUpdate, 0); }, 2048, 2048},
        {"AddPerson3", [&] { return Zentro_AddPerson3(whole, 0); }, 2073, 2048},
        {"UpdatePerson", [&] { return Zentro_updatePerson(idFits.c_str(), 20, "X", 0); }, 1023, 0},
        {"UpdatePerson", [&] { return Zentro_updatePerson(idOver.c_str(), 20, "X", 0); }, 1024, 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " of " + std::to_string(c.length));
        const std::string refusal = std::string(c.name) + " refused: a command of " +
                                    std::to_string(c.length) + " bytes does not fit its " +
                                    std::to_string(c.buffer) + "-byte buffer\n";
        const size_t refusalsBefore = logCount(refusal);
        const int64_t result = c.call();
        const Commands commands = sent();
        if (c.buffer == 0) {
            EXPECT_NE(result, -1);
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].size(), c.length);
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_TRUE(commands.empty());
            EXPECT_EQ(logCount(refusal), refusalsBefore + 1);
        }
    }

    // Adding then updating field by field: a field whose update would not fit is left out.
    std::string first = "A", mobile = "12", note = varied(600, 3);
    char* person[21] = {nullptr, first.data(), nullptr, nullptr, mobile.data()};
    person[11] = note.data();
    EXPECT_EQ(Zentro_AddPerson2(person, 0), 0);
    EXPECT_EQ(sent(), (Commands{"AddPerson:41:3132;", "UpdatePerson:57:3132:MOBILE;"}));
    EXPECT_EQ(logCount("UpdatePerson refused: a command of 1042 bytes"), 1u);
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
    event.title = big.data(), event.recurrenceRule = nullptr;
    EXPECT_EQ(Zentro_AddCalender(&event, 0), 1);
    const std::string cut = hexEncode(big.substr(0, 510));

    EXPECT_EQ(Zentro_AddCallHistory(nullptr, 0), -1);
    EXPECT_EQ(Zentro_AddCalender(nullptr, 0), -1);
    EXPECT_EQ(Zentro_ClearCallHistory(0), 0x12345678);
    EXPECT_EQ(Zentro_ClearCalender(0), 0); // empty reply
    EXPECT_EQ(Zentro_ClearSMS(0), 0);
    EXPECT_EQ(Zentro_ClearPerson(0), 0);
    EXPECT_EQ(sent(), (Commands{"AddCallHistory:353535---;", "AddCallHistory:353535-35-31-30;",
                                "AddCalender:--------20;", "AddCalender:54--------20;",
                                "AddCalender:" + cut + "--------20;", "ClearCallHistory;", "ClearCalender;",
                                "ClearSMS;", "ClearPerson;"}));
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
