// The four record lists against a scripted companion: where pages land, what a node holds,
// counts, and replies that must add nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "records_fixture.h"
#include "zentrolink.h"

using namespace recordstest;
using RecordLists = RecordsTest;

TEST_F(RecordLists, PagesLandAtTheHeadForMessagesAndContactsAndAtTheTailForCallsAndEvents) {
    for (const std::string page :
         {"getsmsPart10:", "getcalllogpart10:", "getcalendarpart10:", "getcontactpart10:"}) {
        const std::string key = page == "getcontactpart10:" ? "CONTACTID" : "ID";
        companion_.answer(page + "0;", idPage(key, {1, 2}));
        companion_.answer(page + "5;", idPage(key, {3, 4}));
    }

    // Messages: the later page ahead, each page reversed.
    EXPECT_EQ(Zentro_FlushSMS_Not_ClearList(0, 0), 0);
    EXPECT_EQ(Zentro_FlushSMS_Not_ClearList(0, 5), 0);
    EXPECT_EQ(messageIds(), (Ids{"4", "3", "2", "1"}));
    SmsRecord* smsHead = nullptr;
    EXPECT_EQ(Zentro_GetSMS(&smsHead), 4);
    EXPECT_EQ(Zentro_FlushSMS(0, 0), 0);
    EXPECT_EQ(messageIds(), (Ids{"2", "1"}));

    // Call log: reply order, page after page; a cleared list appends from its new start.
    EXPECT_EQ(Zentro_FlushCallHistory_Not_ClearList(0, 0), 0);
    EXPECT_EQ(Zentro_FlushCallHistory_Not_ClearList(0, 5), 0);
    EXPECT_EQ(callIds(), (Ids{"1", "2", "3", "4"}));
    EXPECT_EQ(Zentro_FlushCallHistory_Only_ClearList(), 0);
    EXPECT_EQ(callIds(), Ids{});
    Zentro_FlushCallHistory_Not_ClearList(0, 5);
    Zentro_FlushCallHistory_Not_ClearList(0, 0);
    EXPECT_EQ(callIds(), (Ids{"3", "4", "1", "2"}));
    CallHistoryRecord* callHead = nullptr;
    EXPECT_EQ(Zentro_GetCallHistory(&callHead), 4);
    EXPECT_EQ(Zentro_FlushCallHistory(0, 5), 0);
    EXPECT_EQ(callIds(), (Ids{"3", "4"}));

    // Calendar and contacts refill from scratch on every page.
    Zentro_FlushCalender(0, 0);
    Zentro_FlushCalender(0, 5);
    EXPECT_EQ(eventIds(), (Ids{"3", "4"}));
    CalenderRecord* eventHead = nullptr;
    EXPECT_EQ(Zentro_GetCalender(&eventHead), 0); // no count, whatever the list holds
    EXPECT_NE(eventHead, nullptr);
    Zentro_FlushPerson(0, 0);
    Zentro_FlushPerson(0, 5);
    EXPECT_EQ(contactIds(), (Ids{"4", "3"}));
    PersonRecord* personHead = nullptr;
    EXPECT_EQ(Zentro_GetPerson(&personHead), 2);

    EXPECT_EQ(Zentro_FlushSMS_Only_ClearList(), 0);
    EXPECT_EQ(Zentro_GetSMS(&smsHead), 0);
    EXPECT_EQ(smsHead, nullptr);
}

TEST_F(RecordLists, NodesHoldNullForAbsentKeysAndCutCopiesOfWhatCame) {
    const std::string longBody(1500, 'b');
    companion_.answer("getsmsPart10:0;",
                      record({{"ID", "1"}, {"STATUS", "-1"}, {"PROTOCOL", "0"}, {"ADDRESS", "555"}}) +
                          record({{"ID", "2"}, {"BODY", ""}, {"ODD", "x"}, {"TYPE", "1"}, {"TYPE", "2"}}) +
                          record({{"ID", "3"}, {"BODY", longBody}, {"DATE", "2013-01-02 10:00:00"}}) +
                          "ID:34;" /* never closed */);
    Zentro_FlushSMS(0, 0);
    SmsRecord* head = nullptr;
    ASSERT_EQ(Zentro_GetSMS(&head), 3);
    const SmsRecord* third = head;
    const SmsRecord* second = third->next;
    const SmsRecord* first = second->next;
    EXPECT_STREQ(first->address, "555");
    EXPECT_EQ(first->body, nullptr); // STATUS and PROTOCOL land nowhere
    EXPECT_EQ(first->type, nullptr);
    EXPECT_EQ(first->read, nullptr);
    ASSERT_NE(second->body, nullptr);
    EXPECT_STREQ(second->body, "");
    EXPECT_STREQ(second->type, "2"); // the later value replaces the earlier
    EXPECT_EQ(std::strlen(third->body), 1023u);
    EXPECT_EQ(std::string(third->body), longBody.substr(0, 1023));
    EXPECT_STREQ(third->date, "2013-01-02 10:00:00");
    for (const SmsRecord* r : {first, second, third}) {
        EXPECT_EQ(r->reserved, nullptr);
        EXPECT_EQ(r->flags1, 0u);
        EXPECT_EQ(r->flags2, 0u);
    }

    companion_.answer("getcontactpart10:0;",
                      record({{"CONTACTID", "7"}, {"NAME", "Ann"}, {"NOTE", std::string(1100, 'n')}}) +
                          record({{"CONTACTID", "8"}, {"PHONE_PHONE", ""}, {"EMAIL_WORK", "w@x"}}));
    Zentro_FlushPerson(0, 0);
    PersonRecord* person = nullptr;
    ASSERT_EQ(Zentro_GetPerson(&person), 2);
    EXPECT_STREQ(person->fields[ZENTRO_PERSON_ID], "8");
    EXPECT_STREQ(person->fields[ZENTRO_PERSON_MOBILE], "");
    EXPECT_STREQ(person->fields[ZENTRO_PERSON_WORK_EMAIL], "w@x");
    EXPECT_EQ(person->fields[ZENTRO_PERSON_NAME], nullptr);
    const PersonRecord* ann = person->next;
    EXPECT_STREQ(ann->fields[ZENTRO_PERSON_NAME], "Ann");
    EXPECT_EQ(ann->fields[ZENTRO_PERSON_MOBILE], nullptr);
    EXPECT_EQ(std::strlen(ann->fields[ZENTRO_PERSON_NOTE]), 1023u);
    for (int never : {2, 10, 14, 15}) EXPECT_EQ(ann->fields[never], nullptr) << never;

    companion_.answer("getcalllogpart10:0;", record({{"ID", "1"}, {"NUMBER", "555"}, {"DURATION", "12"}}));
    companion_.answer("getcalendarpart10:0;", record({{"ID", "1"}, {"TITLE", "T"}, {"MINUTES", "10"}}));
    Zentro_FlushCallHistory(0, 0);
    Zentro_FlushCalender(0, 0);
    CallHistoryRecord* call = nullptr;
    CalenderRecord* event = nullptr;
    ASSERT_EQ(Zentro_GetCallHistory(&call), 1);
    Zentro_GetCalender(&event);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(call->name, nullptr);
    EXPECT_STREQ(call->duration, "12");
    EXPECT_STREQ(event->reminderMinutes, "10");
    EXPECT_EQ(event->recurrenceRule, nullptr);
    EXPECT_EQ(event->next, nullptr);

    // Raw hex as a phone may send it: an odd last digit pairs with zero, a 00 byte ends the text,
    // a lower-case letter counts its code less 55, and with several ":" the key is the text
    // between the last two.
    companion_.answer("getcalllogpart10:0;", "ID:313;NAME:41004243;x:NUMBER:3536;TYPE:c8;DATE::;.");
    Zentro_FlushCallHistory(0, 0);
    ASSERT_EQ(Zentro_GetCallHistory(&call), 1);
    EXPECT_STREQ(call->id, "10");
    EXPECT_STREQ(call->name, "A");
    EXPECT_STREQ(call->number, "56");
    EXPECT_STREQ(call->type, "\xC8");
    EXPECT_EQ(call->date, nullptr); // "DATE::" names the empty key
}

TEST_F(RecordLists, CountsAreTheAnsweredNumberOrMinusOneAndLeaveTheListsAlone) {
    companion_.answer("getsmsPart10:0;", idPage("ID", {1}));
    Zentro_FlushSMS(0, 0);
    companion_.answerCount("getsmsCount;", 12);
    companion_.answerCount("getcalllogcount;", 0);
    // getcalendarcount; is not answered: an empty reply
    companion_.answerCount("getcontactCount;", 70000);

    EXPECT_EQ(Zentro_FlushSMS_Count(0), 12);
    EXPECT_EQ(Zentro_FlushCallLog_Count(0), -1);
    EXPECT_EQ(Zentro_FlushCalender_Count(0), -1);
    EXPECT_EQ(Zentro_FlushContact_Count(0), 70000);
    companion_.answerCount("getcontactCount;", -3);
    EXPECT_EQ(Zentro_FlushContact_Count(0), -1);
    EXPECT_EQ(messageIds(), Ids{"1"});
    EXPECT_EQ(Zentro_FlushSMSAll_Count(), 0); // the bulk total is not a count query's business

    // Device 1 has no phone behind it: no answer at all.
    EXPECT_EQ(Zentro_FlushSMS_Count(1), -1);
}
