// Contact editing against an in-process companion, byte for byte.
#include <gtest/gtest.h>

#include "records_fixture.h"
#include "zentrolink.h"

using namespace recordstest;

namespace {

class ContactEditingTest : public RecordsTest {
protected:
    void set(int field, const std::string& value) { // a PersonRecord serves as the input array
        values_[field] = value;
        person_.fields[field] = values_[field].data();
    }
    PersonRecord person_{};
    std::string values_[21];
};

} // namespace

TEST_F(ContactEditingTest, AddsSendHexTextsAndReturnTheId) {
    answer("AddPerson", littleEndian(0x100000039LL, 8));
    answer("AddPerson3", littleEndian(0x100000039LL, 8));
    EXPECT_EQ(Zentro_AddPerson("AB", "12", 0), 0x100000039LL);
    EXPECT_EQ(Zentro_AddPerson(nullptr, "12", 0), 0x100000039LL);
    EXPECT_EQ(Zentro_AddPerson3(person_.fields, 0), 57); // the low 32 bits
    EXPECT_EQ(Zentro_AddPerson3(nullptr, 0), -1);

    // First and last name are joined before the 510-byte cut; every field is hex.
    set(1, varied(400, 1));
    set(2, varied(400, 2));
    std::string full = "AddPerson3:" + hexEncode((values_[1] + values_[2]).substr(0, 510));
    for (int f = 3; f <= 20; ++f) {
        set(f, f == 20 ? "W" : "");
        full += "-" + hexEncode(values_[f]);
    }
    EXPECT_EQ(Zentro_AddPerson3(person_.fields, 0), 57);
    EXPECT_EQ(sent(), (Commands{"AddPerson:4142:3132;", "AddPerson::3132;",
                                "AddPerson3:-------------------20;", full + "-20;"}));
    EXPECT_EQ(logCount("Call Function: Zentro_AddPerson\n"), 2u);

    answer("AddPerson", littleEndian(57, 4)); // four bytes of eight: the rest stays 0
    EXPECT_EQ(Zentro_AddPerson("A", "1", 0), 57);
    answer("AddPerson", "");
    EXPECT_EQ(Zentro_AddPerson("A", "1", 0), 0);
}

TEST_F(ContactEditingTest, AddPerson2AddsThenUpdatesEachFurtherField) {
    answer("AddPerson", littleEndian(57, 8));
    answer("UpdatePerson", littleEndian(-1, 4)); // failed updates do not change the result
    set(0, "999"), set(1, "A"), set(2, "B"), set(3, ""), set(4, "12"), set(9, "\"");
    set(12, "X"), set(14, "reserved"), set(15, "reserved"), set(20, "W");
    EXPECT_EQ(Zentro_AddPerson2(person_.fields, 0), 0);
    EXPECT_EQ(sent(), (Commands{"AddPerson:4142:3132;", "UpdatePerson:57:3132:MOBILE;",
                                "UpdatePerson:57:58:ORGANZATION;", "UpdatePerson:57:57:WORKEMAIL;"}));
    EXPECT_EQ(logCount("Call Function: Zentro_AddPerson\n"), 1u);

    for (const std::string& reply : {littleEndian(0, 8), littleEndian(-4, 8), std::string()}) {
        answer("AddPerson", reply);
        EXPECT_EQ(Zentro_AddPerson2(person_.fields, 0), -1);
        EXPECT_EQ(sent().size(), 1u); // the add alone
    }
    EXPECT_EQ(Zentro_AddPerson2(nullptr, 0), -1);
    EXPECT_TRUE(sent().empty());
}

TEST_F(ContactEditingTest, UpdatePersonRefusesWithoutSending) {
    answer("UpdatePerson", littleEndian(1, 4));
    const struct {
        const char* id;
        int32_t kind;
        const char* value;
    } refused[] = {
        {"57", 0, "X"}, {"57", 14, "X"},     {"57", 15, "X"},    {"57", 21, "X"}, {"57", 12, "\""},
        {"57", 12, ""}, {"57", 12, nullptr}, {nullptr, 12, "X"}, {"", 12, "X"},
    };
    for (const auto& r : refused) EXPECT_EQ(Zentro_updatePerson(r.id, r.kind, r.value, 0), -1) << r.kind;
    EXPECT_TRUE(sent().empty());

    // Every field by its keyword; the id travels as written.
    const char* const keywords[21] = {
        "",         "FIRSTNAME", "LASTNAME",    "NICKNAME",    "MOBILE",  "HOMENUMBER",  "WORKNUMBER",
        "HOMEPAGE", "HOMEEMAIL", "BIRTHDAY",    "GROUP",       "NOTE",    "ORGANZATION", "DEPARTMENT",
        "",         "",          "HOMEADDRESS", "WORKADDRESS", "HOMEFAX", "WORKFAX",     "WORKEMAIL"};
    for (int32_t field = 1; field <= 20; ++field) {
        if (field == 14 || field == 15) continue;
        EXPECT_EQ(Zentro_updatePerson("0x39 ", field, "X", 0), 1);
        EXPECT_EQ(sent(), Commands{"UpdatePerson:0x39 :58:" + std::string(keywords[field]) + ";"}) << field;
    }
    EXPECT_EQ(Zentro_updatePerson("57", 1, "\"\"", 0), 1); // only a lone quote is refused
    EXPECT_EQ(sent(), Commands{"UpdatePerson:57:2222:FIRSTNAME;"});
}
