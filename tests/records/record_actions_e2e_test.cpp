// Actions end to end: the real adb client, the virtual phone, its companion on the forwarded
// port. What the actions changed is read back from the phone's own pages.
#include <gtest/gtest.h>

#include <map>

#include "actions_peer.h"
#include "link/reply_grammar.h"
#include "virtual_phone.h"
#include "zentrolink.h"

using namespace zentro;

namespace {

constexpr const char* kSerial = "ZX1G22ACTN000000";
using Record = std::map<std::string, std::string>;

class RecordActionsE2e : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        phone_.exportAdbPort();
        ASSERT_EQ(Zentro_CheckDeviceDetected(0), 0);
        ASSERT_EQ(Zentro_ReadyTodoing(0), 0);
    }
    static int32_t count(const char* command) {
        int32_t value = 0;
        link::sendCommand(command, reinterpret_cast<char*>(&value), 4, nullptr, 0, 0);
        return value;
    }
    // The first record of a page, values decoded.
    static Record first(const std::string& command) {
        std::vector<char> reply(1 << 20);
        const int n = link::sendCommand(command.c_str(), reply.data(), 1 << 19, nullptr, 0, 0);
        reply[n > 0 ? static_cast<size_t>(n) : 0] = '\0';
        Record record;
        bool closed = false;
        link::parseReplyText(
            reply.data(),
            [&](const char* key, const char* value) {
                char scratch[link::kFieldValueSize];
                if (!closed) record[key] = std::string(scratch, link::decodeFieldValue(value, scratch));
            },
            [&] { closed = true; });
        return record;
    }

    ztest::VirtualPhone phone_{std::string(R"({"devices":[{"serial":")") + kSerial + "\"}]}"};
};

} // namespace

TEST_F(RecordActionsE2e, SentMessageAndAddedCallAreOnThePhone) {
    const int32_t messages = count("getsmsCount;"), calls = count("getcalllogcount;");
    std::string address = "5550100", body = "Dinner at eight?", date = "2031-05-06 07:08:09", type = "3";
    SmsRecord message{};
    message.address = address.data(), message.body = body.data(), message.date = date.data();
    EXPECT_EQ(Zentro_SendSMS(&message, 0), 1);
    CallHistoryRecord call{};
    call.number = address.data(), call.date = date.data(), call.type = type.data();
    EXPECT_EQ(Zentro_AddCallHistory(&call, 0), 1);

    EXPECT_EQ(count("getsmsCount;"), messages + 1);
    EXPECT_EQ(count("getcalllogcount;"), calls + 1);
    const Record sms = first("getsmsPart10:0;"), missed = first("getcalllogpart10:0;"); // newest first
    EXPECT_EQ(sms.at("ADDRESS") + "|" + sms.at("BODY") + "|" + sms.at("DATE"),
              address + "|" + body + "|" + date);
    EXPECT_EQ(missed.at("NUMBER") + "|" + missed.at("TYPE"), address + "|" + type);

    EXPECT_EQ(Zentro_ClearSMS(0), 1);
    EXPECT_EQ(count("getsmsCount;"), 0);
}

TEST_F(RecordActionsE2e, ContactAddedAndUpdatedIsOnThePhone) {
    PersonRecord person{};
    std::string firstName = "Ada", lastName = "Lovelace", mobile = "5550142", org = "Engines",
                title = "Countess";
    person.fields[ZENTRO_PERSON_NAME] = firstName.data();
    person.fields[ZENTRO_PERSON_LAST_NAME] = lastName.data();
    person.fields[ZENTRO_PERSON_MOBILE] = mobile.data();
    person.fields[ZENTRO_PERSON_ORG_NAME] = org.data();
    EXPECT_EQ(Zentro_AddPerson2(person.fields, 0), 0);

    // Contacts come in id order: the new one is the last.
    const std::string last = "getcontactpart10:" + std::to_string(count("getcontactCount;") - 1) + ";";
    const Record added = first(last);
    EXPECT_EQ(added.at("NAME"), "AdaLovelace"); // one name value, as the add sends it
    EXPECT_EQ(added.at("PHONE_PHONE"), mobile);
    EXPECT_EQ(added.at("ORG_NAME"), org);

    const std::string id = added.at("CONTACTID");
    EXPECT_EQ(Zentro_updatePerson(id.c_str(), ZENTRO_PERSON_ORG_TITLE, title.c_str(), 0), 1);
    EXPECT_EQ(first(last).at("ORG_TITLE"), title);
    EXPECT_EQ(Zentro_AddPerson("Grace", "5550143", 0), std::stoll(id) + 1);
}
