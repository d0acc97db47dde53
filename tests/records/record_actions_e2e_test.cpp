// Actions end to end: the real adb client, the virtual phone behind it, its companion on the
// forwarded port. What the actions change is read back from the phone's own pages.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../link/loopback_peer.h"
#include "actions_peer.h"
#include "core/state.h"
#include "link/command_channel.h"
#include "link/reply_grammar.h"
#include "virtual_phone.h"
#include "zentrolink.h"

using namespace zentro;
using actionstest::hexOf;

namespace {

constexpr const char* kSerial = "ZX1G22ACTN000000";

using Record = std::map<std::string, std::string>;

class RecordActionsE2e : public linktest::LinkTest {
protected:
    // A phone on Android 4.4 (so the default-messaging exports act), detected and prepared.
    void prepare(ztest::VirtualPhone& phone) {
        phone.exportAdbPort();
        ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
        ASSERT_EQ(Zentro_ReadyTodoing(0), 0);
        phone.clearRequestLog(kSerial);
    }

    static int32_t count(const char* command) {
        int32_t value = 0;
        link::SendCommandToAndroidServices(command, reinterpret_cast<char*>(&value), 4, nullptr, 0, 0);
        return value;
    }

    // One page of records with their values decoded.
    static std::vector<Record> page(const std::string& command) {
        std::vector<char> reply(1 << 20);
        const int n = link::SendCommandToAndroidServices(command.c_str(), reply.data(),
                                                         static_cast<int32_t>(reply.size() - 1), nullptr, 0, 0);
        reply[n > 0 ? static_cast<size_t>(n) : 0] = '\0';
        std::vector<Record> records(1);
        link::parseReplyText(
            reply.data(),
            [&](const char* key, const char* value) {
                char scratch[link::kFieldValueSize];
                const size_t length = link::decodeFieldValue(value, scratch);
                records.back()[key] = std::string(scratch, length);
            },
            [&] { records.emplace_back(); });
        records.pop_back(); // the record after the last "." is empty
        return records;
    }
};

std::string scenario() {
    return std::string(R"({"devices":[{"serial":")") + kSerial +
           R"(","properties":{"ro.build.version.release":"4.4.2"}}]})";
}

char* text(std::string& s) {
    return s.data();
}

} // namespace

TEST_F(RecordActionsE2e, SentMessageAddedCallAndEventAreOnThePhone) {
    ztest::VirtualPhone phone(scenario());
    prepare(phone);

    const int32_t messages = count("getsmsCount;");
    std::string address = "5550100", body = "Dinner at eight?", date = "2031-05-06 07:08:09", read = "1",
                type = "2";
    SmsRecord message{};
    message.address = text(address);
    message.body = text(body);
    message.date = text(date);
    message.read = text(read);
    message.type = text(type);
    EXPECT_EQ(Zentro_SendSMS(&message, 0), 1);
    EXPECT_EQ(count("getsmsCount;"), messages + 1);
    const std::vector<Record> newest = page("getsmsPart10:0;");
    ASSERT_FALSE(newest.empty());
    EXPECT_EQ(newest[0].at("ADDRESS"), address);
    EXPECT_EQ(newest[0].at("BODY"), body);
    EXPECT_EQ(newest[0].at("DATE"), date);
    EXPECT_EQ(newest[0].at("TYPE"), type);

    const int32_t calls = count("getcalllogcount;");
    std::string number = "5550199", duration = "42", missed = "3";
    CallHistoryRecord call{};
    call.number = text(number);
    call.date = text(date);
    call.type = text(missed);
    call.duration = text(duration);
    EXPECT_EQ(Zentro_AddCallHistory(&call, 0), 1);
    EXPECT_EQ(count("getcalllogcount;"), calls + 1);
    const std::vector<Record> latest = page("getcalllogpart10:0;");
    ASSERT_FALSE(latest.empty());
    EXPECT_EQ(latest[0].at("NUMBER"), number);
    EXPECT_EQ(latest[0].at("TYPE"), missed);
    EXPECT_EQ(latest[0].at("DURATION"), duration);

    // Without a recurrence rule the event must not come back as recurring.
    std::string title = "Dentist", start = "1000", end = "2000";
    CalenderRecord event{};
    event.title = text(title);
    event.start = text(start);
    event.end = text(end);
    EXPECT_EQ(Zentro_AddCalender(&event, 0), 1);
    const std::vector<Record> earliest = page("getcalendarpart10:0;");
    ASSERT_FALSE(earliest.empty());
    EXPECT_EQ(earliest[0].at("TITLE"), title);
    EXPECT_EQ(earliest[0].count("RRULE"), 0u);

    EXPECT_EQ(Zentro_ClearSMS(0), 1);
    EXPECT_EQ(Zentro_ClearCallHistory(0), 1);
    EXPECT_EQ(Zentro_ClearCalender(0), 1);
    EXPECT_EQ(count("getsmsCount;"), 0);
    EXPECT_EQ(count("getcalllogcount;"), 0);
    EXPECT_EQ(count("getcalendarcount;"), 0);
}

TEST_F(RecordActionsE2e, DefaultMessagingRoleMovesAndComesBack) {
    ztest::VirtualPhone phone(scenario());
    prepare(phone);

    EXPECT_EQ(Zentro_CheckAndroidVersionAt44(0), 1);
    EXPECT_EQ(Zentro_CheckDefaultMessangeOK(0), -1);
    EXPECT_EQ(Zentro_SetDefaultMessage(0), 1);
    EXPECT_EQ(Zentro_CheckDefaultMessangeOK(0), 0);
    EXPECT_EQ(Zentro_ReSetDefaultMessage(0), 1);
    EXPECT_EQ(Zentro_CheckDefaultMessangeOK(0), -1);

    phone.control(std::string("prop ") + kSerial + " ro.build.version.release 4.3");
    ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
    phone.clearRequestLog(kSerial);
    EXPECT_EQ(Zentro_SetDefaultMessage(0), 0);
    EXPECT_EQ(Zentro_CheckDefaultMessangeOK(0), 0);
    for (const std::string& entry : phone.requestLog(kSerial)) {
        EXPECT_EQ(entry.find("DefaultMessage"), std::string::npos) << entry;
    }
}

TEST_F(RecordActionsE2e, ContactAddedAndUpdatedIsOnThePhone) {
    ztest::VirtualPhone phone(scenario());
    prepare(phone);

    PersonRecord person{};
    std::string first = "Ada", last = "Lovelace", mobile = "5550142", org = "Engines", note = "met at the salon";
    person.fields[ZENTRO_PERSON_NAME] = text(first);
    person.fields[ZENTRO_PERSON_LAST_NAME] = text(last);
    person.fields[ZENTRO_PERSON_MOBILE] = text(mobile);
    person.fields[ZENTRO_PERSON_ORG_NAME] = text(org);
    person.fields[ZENTRO_PERSON_NOTE] = text(note);
    EXPECT_EQ(Zentro_AddPerson2(person.fields, 0), 0);

    // Contacts come in id order, so the new one is the last.
    const int32_t contacts = count("getcontactCount;");
    ASSERT_GT(contacts, 0);
    std::vector<Record> added = page("getcontactpart10:" + std::to_string(contacts - 1) + ";");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].at("NAME"), "AdaLovelace"); // one name value, as the add sends it
    EXPECT_EQ(added[0].at("PHONE_PHONE"), mobile);
    EXPECT_EQ(added[0].at("ORG_NAME"), org);
    EXPECT_EQ(added[0].at("NOTE"), note);
    const std::string id = added[0].at("CONTACTID");

    std::string title = "Countess";
    EXPECT_EQ(Zentro_updatePerson(id.c_str(), ZENTRO_PERSON_ORG_TITLE, title.c_str(), 0), 1);
    EXPECT_EQ(Zentro_updatePerson(id.c_str(), 14, title.c_str(), 0), -1); // nothing sent
    EXPECT_EQ(phone.requestLog(kSerial).back(),
              "companion:UpdatePerson:" + id + ":" + hexOf(title) + ":DEPARTMENT;");
    added = page("getcontactpart10:" + std::to_string(contacts - 1) + ";");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].at("ORG_TITLE"), title);

    const int64_t next = Zentro_AddPerson("Grace", "5550143", 0);
    EXPECT_EQ(next, std::stoll(id) + 1);
    EXPECT_EQ(Zentro_AddPerson3(person.fields, 0), next + 1);
    EXPECT_EQ(count("getcontactCount;"), contacts + 2);

    EXPECT_EQ(Zentro_ClearPerson(0), 1);
    EXPECT_EQ(count("getcontactCount;"), 0);
}
