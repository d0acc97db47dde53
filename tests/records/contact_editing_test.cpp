// Contact editing against an in-process companion, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "actions_peer.h"
#include "zentrolink.h"

using namespace actionstest;

namespace {

class ContactEditingTest : public ActionsTest {
protected:
    // A PersonRecord serves as the input array; its strings live in the fixture.
    void set(int field, const std::string& value) {
        values_[field] = value;
        person_.fields[field] = values_[field].data();
    }

    PersonRecord person_{};
    std::string values_[21];
};

} // namespace

TEST_F(ContactEditingTest, AddPersonSendsHexTextsAndHandsBackTheWholeId) {
    companion_.answer("AddPerson", contactId(0x100000039LL));
    EXPECT_EQ(Zentro_AddPerson("AB", "12", 0), 0x100000039LL);
    EXPECT_EQ(Zentro_AddPerson(nullptr, "12", 0), 0x100000039LL);
    EXPECT_EQ(Zentro_AddPerson("", nullptr, 0), 0x100000039LL);
    EXPECT_EQ(sent(), (Commands{"AddPerson:4142:3132;", "AddPerson::3132;", "AddPerson::;"}));
    EXPECT_EQ(logCount("Call Function: Zentro_AddPerson\n"), 3u);

    companion_.answer("AddPerson", status(57)); // four bytes of eight: the rest stays 0
    EXPECT_EQ(Zentro_AddPerson("A", "1", 0), 57);
    companion_.answer("AddPerson", "");
    EXPECT_EQ(Zentro_AddPerson("A", "1", 0), 0);

    // The one-command add keeps only the low half of the id.
    companion_.answer("AddPerson3", contactId(0x100000039LL));
    EXPECT_EQ(Zentro_AddPerson3(person_.fields, 0), 57);
    companion_.answer("AddPerson3", contactId(0xFFFFFFFFLL));
    EXPECT_EQ(Zentro_AddPerson3(person_.fields, 0), -1);
    EXPECT_EQ(logCount("Call Function: Zentro_AddPerson3\n"), 0u);

    companion_.answer("ClearPerson", status(3));
    EXPECT_EQ(Zentro_ClearPerson(0), 3);
    sent();
    EXPECT_EQ(Zentro_AddPerson3(nullptr, 0), -1);
    EXPECT_TRUE(sent().empty());
}

TEST_F(ContactEditingTest, AddPerson2AddsThenUpdatesEachFurtherFieldInOrder) {
    companion_.answer("AddPerson", contactId(57));
    companion_.answer("UpdatePerson", status(-1)); // failed updates do not change the result
    set(0, "999");  // not read
    set(1, "A");
    set(2, "B");
    set(3, "");     // empty: skipped
    set(4, "12");   // the add's phone, and again as its own field
    set(9, "\"");   // one double quote: refused
    set(12, "X");
    set(14, "reserved");
    set(15, "reserved");
    set(20, "W");
    EXPECT_EQ(Zentro_AddPerson2(person_.fields, 0), 0);
    EXPECT_EQ(sent(), (Commands{"AddPerson:4142:3132;", "UpdatePerson:57:3132:MOBILE;",
                                "UpdatePerson:57:58:ORGANZATION;", "UpdatePerson:57:57:WORKEMAIL;"}));
    EXPECT_EQ(logCount("Call Function: Zentro_AddPerson\n"), 1u);
    EXPECT_EQ(logCount("Call Function: Zentro_AddPerson2\n"), 0u);

    // Every field in turn reaches the companion under its keyword, with a multi-digit id.
    companion_.answer("AddPerson", contactId(1234567890123LL));
    const char* keywords[21] = {nullptr,      nullptr,      nullptr,     "NICKNAME",    "MOBILE",
                                "HOMENUMBER", "WORKNUMBER", "HOMEPAGE",  "HOMEEMAIL",   "BIRTHDAY",
                                "GROUP",      "NOTE",       "ORGANZATION", "DEPARTMENT", nullptr,
                                nullptr,      "HOMEADDRESS", "WORKADDRESS", "HOMEFAX",  "WORKFAX",
                                "WORKEMAIL"};
    Commands expected = {"AddPerson:4142:" + hexOf("f4") + ";"};
    for (int f = 3; f <= 20; ++f) {
        set(f, "f" + std::to_string(f));
        if (keywords[f]) expected.push_back("UpdatePerson:1234567890123:" + hexOf(values_[f]) + ":" + keywords[f] + ";");
    }
    EXPECT_EQ(Zentro_AddPerson2(person_.fields, 0), 0);
    EXPECT_EQ(sent(), expected);

    // No id, or no reply: the add alone, -1.
    companion_.answer("AddPerson", contactId(0));
    EXPECT_EQ(Zentro_AddPerson2(person_.fields, 0), -1);
    companion_.answer("AddPerson", contactId(-4));
    EXPECT_EQ(Zentro_AddPerson2(person_.fields, 0), -1);
    companion_.answer("AddPerson", "");
    EXPECT_EQ(Zentro_AddPerson2(person_.fields, 0), -1);
    EXPECT_EQ(sent().size(), 3u);
    EXPECT_EQ(Zentro_AddPerson2(nullptr, 0), -1);
    EXPECT_TRUE(sent().empty());
}

TEST_F(ContactEditingTest, UpdatePersonRefusesWithoutSending) {
    companion_.answer("UpdatePerson", status(1));
    const struct { const char* id; int32_t kind; const char* value; } refused[] = {
        {"57", 0, "X"},  {"57", 14, "X"}, {"57", 15, "X"},   {"57", 21, "X"}, {"57", -1, "X"},
        {"57", 12, "\""}, {"57", 12, ""}, {"57", 12, nullptr}, {nullptr, 12, "X"}, {"", 12, "X"},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(Zentro_updatePerson(r.id, r.kind, r.value, 0), -1) << r.kind;
    }
    EXPECT_TRUE(sent().empty());

    EXPECT_EQ(Zentro_updatePerson("57", 12, "X", 0), 1);
    EXPECT_EQ(Zentro_updatePerson("57", 1, "\"\"", 0), 1); // only a lone quote is refused
    EXPECT_EQ(Zentro_updatePerson("57", 13, "\" ", 0), 1);
    EXPECT_EQ(sent(), (Commands{"UpdatePerson:57:58:ORGANZATION;", "UpdatePerson:57:2222:FIRSTNAME;",
                                "UpdatePerson:57:2220:DEPARTMENT;"}));
    companion_.answer("UpdatePerson", "");
    EXPECT_EQ(Zentro_updatePerson("57", 2, "Y", 0), 0);
    EXPECT_EQ(logCount("Call Function:"), 0u);
}

TEST_F(ContactEditingTest, LongTextsAreCutPerItemAndLongCommandsGoOutWhole) {
    companion_.answer("AddPerson3", contactId(9));
    companion_.answer("UpdatePerson", status(1));
    companion_.answer("AddPerson", contactId(9));

    EXPECT_EQ(Zentro_AddPerson3(person_.fields, 0), 9);
    EXPECT_EQ(sent(), Commands{"AddPerson3:-------------------20;"});

    // Twenty items of 510 bytes: far beyond 2,048 characters. First and last name are joined
    // before the cut, so a long first name leaves no room for the last.
    set(1, varied(400, 1));
    set(2, varied(400, 2));
    std::string expected = "AddPerson3:" + hexOf((values_[1] + values_[2]).substr(0, 510));
    for (int f = 3; f <= 20; ++f) {
        set(f, varied(600, static_cast<unsigned>(f)));
        expected += "-" + hexOf(values_[f].substr(0, 510));
    }
    expected += "-20;";
    EXPECT_EQ(Zentro_AddPerson3(person_.fields, 0), 9);
    EXPECT_EQ(sent(), Commands{expected});
    EXPECT_EQ(expected.size(), 19413u);

    const std::string name = varied(510, 7) + "Z", phone = varied(2000, 8);
    EXPECT_EQ(Zentro_AddPerson(name.c_str(), phone.c_str(), 0), 9);
    EXPECT_EQ(sent(), Commands{"AddPerson:" + hexOf(name.substr(0, 510)) + ":" + hexOf(phone.substr(0, 510)) + ";"});

    // An id far longer than any fixed buffer travels as written; the value is cut at 510.
    const std::string id(3000, '7'), value = varied(600, 9);
    EXPECT_EQ(Zentro_updatePerson(id.c_str(), 20, value.c_str(), 0), 1);
    EXPECT_EQ(sent(), Commands{"UpdatePerson:" + id + ":" + hexOf(value.substr(0, 510)) + ":WORKEMAIL;"});
}
