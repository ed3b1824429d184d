// Account and restriction rows as the account windows write them, and the
// schedule texts they show.
#include "cfgman/core/accounts.h"
#include "cfgman/core/cfgtables.h"
#include "cfgman/core/restrictions.h"
#include "cfgman/core/schedule.h"
#include "cfgman/tests/cfgfixture.h"
#include "mail/exception.h"
#include "platform/win/datetime.h"

namespace cfgtest {
namespace {

TEST(Schedule, TimesInBothClocksAndIntervalsThatFitTheField) {
    EXPECT_EQ(cfgman::ParseScheduleTime("03:45PM"), 15 * 60 + 45);
    EXPECT_EQ(cfgman::ParseScheduleTime("12:05AM"), 5);
    EXPECT_EQ(cfgman::ParseScheduleTime("12:05pm"), 12 * 60 + 5);
    EXPECT_EQ(cfgman::ParseScheduleTime(" 9:30 "), 9 * 60 + 30);
    EXPECT_EQ(cfgman::ParseScheduleTime("23:59"), 23 * 60 + 59);
    for (const char* bad : {"", "  :  __", "13:00PM", "24:00", "10:60", "ab:cd", "1030", "0:00AM"})
        EXPECT_FALSE(cfgman::ParseScheduleTime(bad)) << bad;
    EXPECT_EQ(cfgman::TimeOfDay(15 * 60 + 45), "15:45");
    EXPECT_EQ(cfgman::ParseInterval(""), 0);
    EXPECT_EQ(cfgman::ParseInterval(" 15 "), 15);
    EXPECT_EQ(cfgman::ParseInterval("9999"), 9999);
    EXPECT_FALSE(cfgman::ParseInterval("10000"));
    EXPECT_FALSE(cfgman::ParseInterval("1e3"));
    EXPECT_FALSE(cfgman::ParseInterval("-5"));
    win::TDateTime t = 0;
    ASSERT_TRUE(win::TryEncodeTime(15, 45, 0, 0, t));
    EXPECT_EQ(cfgman::ScheduleTimeText(t), "03:45PM");
    EXPECT_FALSE(cfgman::ParseScheduleDate("  /  /  "));
    ASSERT_TRUE(cfgman::ParseScheduleDate("12/09/26"));
    EXPECT_EQ(cfgman::ScheduleDateText(*cfgman::ParseScheduleDate("12/09/26")), "12/09/26");
}

TEST(Restrictions, EachConditionIsStoredAndShownAgain) {
    cfgman::TRuleEdit e;
    e.Name = "Big ones";
    e.Condition = cfgman::rcSize;
    e.Number = "250";
    e.Retrieve = false;
    cfgman::TRuleRow row = cfgman::EncodeRule(e, nullptr);
    EXPECT_EQ(row.Cond, "G");
    EXPECT_EQ(row.CondVal1, "");
    EXPECT_EQ(row.CondVal2, "250000");
    EXPECT_EQ(row.Act1, "N");
    EXPECT_EQ(row.Act2, "Y");
    EXPECT_EQ(cfgman::DecodeRule(row).Number, "250");
    EXPECT_EQ(cfgman::DecodeRule(row).Condition, cfgman::rcSize);

    // A field never chosen is stored as its box shows it.
    cfgman::TRuleEdit l;
    l.Name = "Long";
    l.Condition = cfgman::rcLonger;
    row = cfgman::EncodeRule(l, nullptr);
    EXPECT_EQ(row.Cond, "L");
    EXPECT_EQ(row.CondVal1, "Select a field:");
    EXPECT_EQ(row.CondVal2, "100");

    // "All messages" edited later is stored as such and keeps the old values.
    const cfgman::TRuleRow stored{"Orders", "C", "Subject", "order", "Y", "Y"};
    cfgman::TRuleEdit all = cfgman::DecodeRule(stored);
    EXPECT_EQ(all.Field, "Subject");
    all.Condition = cfgman::rcAll;
    row = cfgman::EncodeRule(all, &stored);
    EXPECT_EQ(row.Cond, "A");
    EXPECT_EQ(row.CondVal1, "Subject");
    EXPECT_EQ(row.CondVal2, "order");
    // An unknown condition is shown unselected and stays as it was.
    const cfgman::TRuleRow odd{"Odd", "X", "a", "b", "N", "N"};
    EXPECT_EQ(cfgman::DecodeRule(odd).Condition, cfgman::rcNone);
    EXPECT_EQ(cfgman::EncodeRule(cfgman::DecodeRule(odd), &odd).Cond, "X");
    cfgman::TRuleEdit longName;
    longName.Name = std::string(60, 'n');
    EXPECT_EQ(cfgman::EncodeRule(longName, nullptr).Rule.size(), 49u);
}

TEST(Restrictions, SizesAndLengthsAreWholeNumbers) {
    cfgman::TRuleEdit e;
    e.Name = "x";
    e.Condition = cfgman::rcSize;
    for (const char* bad : {"", "1.5", "2k", "-1", "1e9"}) {
        e.Number = bad;
        EXPECT_TRUE(cfgman::CheckRule(e)) << bad;
    }
    e.Number = " 12 ";
    EXPECT_FALSE(cfgman::CheckRule(e));
    e.Condition = cfgman::rcLonger;
    e.SValue = "many";
    EXPECT_TRUE(cfgman::CheckRule(e));
    e.SValue = "80";
    EXPECT_FALSE(cfgman::CheckRule(e));
    e.Name = " ";
    EXPECT_TRUE(cfgman::CheckRule(e));
}

class AccountRowsTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        AddGroup("G1", "Sales");
        tables_ = std::make_unique<cfgman::TCfgTables>();
        tables_->PointAt(db_);
        tables_->Open();
    }
    static cfgman::TNewAccount Filled() {
        cfgman::TNewAccount a;
        a.Name = "Orders";
        a.GroupId = "G1";
        a.Smtp = "smtp.example.com";
        a.Pop = "pop.example.com";
        a.Login = "orders";
        a.Password = "secret";
        a.Email = "orders@example.com";
        a.Minutes = "";
        a.NextDate = "12/09/26";
        a.NextTime = "03:45PM";
        a.Retrieve = true;
        a.Delete = false;
        return a;
    }
    std::unique_ptr<cfgman::TCfgTables> tables_;
};

TEST_F(AccountRowsTest, ANewAccountGetsItsRowAndItsControlRestriction) {
    win::SetClock([] {
        win::DateParts p{2026, 12, 9, 8, 7, 6, 0};
        return win::EncodeDateTime(p);
    });
    const std::string id = cfgman::AddAccount(*tables_, Filled(), "1234567890123456789012345");
    win::SetClock({});
    EXPECT_EQ(id, "12345678901234567890");
    const auto nodes = Rows("NODES.DBF");
    ASSERT_EQ(nodes.size(), 1u);
    const Row& n = nodes[0];
    EXPECT_EQ(n.at("UNIQUE_ID"), id);
    EXPECT_EQ(n.at("LINK_ID"), "G1");
    EXPECT_EQ(n.at("NODE"), "Orders");
    EXPECT_EQ(n.at("SMTPADDRES"), "smtp.example.com");
    EXPECT_EQ(n.at("POPADDRESS"), "pop.example.com");
    EXPECT_EQ(n.at("LOGIN"), "orders");
    EXPECT_EQ(n.at("PASSWORD"), "secret");
    EXPECT_EQ(n.at("ADDRESS"), "orders@example.com");
    EXPECT_EQ(n.at("FREQVAL"), "0");
    EXPECT_EQ(n.at("FREQTYPE"), "H");
    EXPECT_EQ(n.at("NEXTTIME"), "15:45");
    EXPECT_EQ(n.at("LASTTIME"), "15:45");
    EXPECT_EQ(n.at("NEXTDATE"), n.at("LASTDATE"));
    EXPECT_FALSE(n.at("NEXTDATE").empty());
    const auto rules = Rows("rules.dbf");
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].at("UNIQUE_ID"), "20261209080706123456");
    EXPECT_EQ(rules[0].at("LINK_ID"), id);
    EXPECT_EQ(rules[0].at("RULE"), "Control Restriction");
    EXPECT_EQ(rules[0].at("COND"), "A");
    EXPECT_EQ(rules[0].at("ACT1"), "Y");
    EXPECT_EQ(rules[0].at("ACT2"), "N");
}

TEST_F(AccountRowsTest, NothingIsStoredFromABadScheduleOrWithoutAGroup) {
    for (auto change : std::vector<std::function<void(cfgman::TNewAccount&)>>{
             [](auto& a) { a.NextDate = "  /  /  "; },
             [](auto& a) { a.NextTime = "25:00"; },
             [](auto& a) { a.Minutes = "12345"; },
             [](auto& a) { a.Minutes = "ten"; },
             [](auto& a) { a.GroupId.clear(); },
         }) {
        cfgman::TNewAccount a = Filled();
        change(a);
        ASSERT_TRUE(cfgman::CheckNewAccount(a));
        EXPECT_THROW(cfgman::AddAccount(*tables_, a, "X1"), EConvertError);
    }
    EXPECT_EQ(cfgman::CheckNewAccount([] {
                  cfgman::TNewAccount a = Filled();
                  a.Minutes = "x";
                  return a;
              }())
                  ->Page,
              6);
    EXPECT_TRUE(Rows("NODES.DBF").empty());
    EXPECT_TRUE(Rows("rules.dbf").empty());
    EXPECT_EQ(cfgman::LoginFromAddress("ann@x.example", "typed"), "ann");
    EXPECT_EQ(cfgman::LoginFromAddress("no-at-sign", "typed"), "typed");
    EXPECT_EQ(cfgman::LoginFromAddress("", "typed"), "typed");
}

TEST_F(AccountRowsTest, PropertiesReadAndWriteTheAccountAndItsRestrictions) {
    cfgman::AddAccount(*tables_, Filled(), "ACC1");
    AddAccount("ACC2", "G1", "Other");
    AppendRow("rules.dbf", {{"UNIQUE_ID", "R9"}, {"LINK_ID", "ACC2"}, {"RULE", "Not mine"}});
    const std::int32_t recNo = 1;
    cfgman::TAccountFields f = cfgman::ReadAccount(*tables_, recNo);
    EXPECT_EQ(f.Name, "Orders");
    EXPECT_EQ(f.NextTime, "03:45PM");
    EXPECT_EQ(f.NextDate, "12/09/26");
    EXPECT_EQ(f.Minutes, "0");
    f.Name = "Shop";
    f.Notes = "line one\r\nline two";
    f.Minutes = "30";
    f.NextTime = "07:05";
    cfgman::WriteAccount(*tables_, recNo, f);
    Row n = Rows("NODES.DBF")[0];
    EXPECT_EQ(n.at("NODE"), "Shop");
    EXPECT_EQ(n.at("NOTES"), "line one\r\nline two");
    EXPECT_EQ(n.at("FREQVAL"), "30");
    EXPECT_EQ(n.at("NEXTTIME"), "07:05");
    f.NextDate = "13/45/26";
    EXPECT_THROW(cfgman::WriteAccount(*tables_, recNo, f), EConvertError);
    EXPECT_EQ(Rows("NODES.DBF")[0].at("NODE"), "Shop");

    // Restrictions: only the account's own, added, changed and removed.
    auto rules = cfgman::AccountRules(*tables_, recNo);
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Caption, "Control Restriction");
    cfgman::TRuleEdit big;
    big.Name = "Big";
    big.Condition = cfgman::rcSize;
    big.Number = "1";
    big.Retrieve = false;
    const std::string rid = cfgman::AddRule(*tables_, recNo, big);
    EXPECT_EQ(rid.substr(14), "Big");
    rules = cfgman::AccountRules(*tables_, recNo);
    ASSERT_EQ(rules.size(), 2u);
    cfgman::TRuleEdit edited = cfgman::DecodeRule(cfgman::ReadRule(*tables_, rules[1].RecNo));
    EXPECT_EQ(edited.Number, "1");
    edited.Condition = cfgman::rcAll;
    cfgman::UpdateRule(*tables_, rules[1].RecNo, edited);
    Row r = Rows("rules.dbf")[2];
    EXPECT_EQ(r.at("COND"), "A");
    EXPECT_EQ(r.at("CONDVAL2"), "1000");
    EXPECT_EQ(r.at("UNIQUE_ID"), rid);
    cfgman::DeleteRule(*tables_, rules[0].RecNo);
    rules = cfgman::AccountRules(*tables_, recNo);
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Caption, "Big");
    EXPECT_EQ(cfgman::AccountRules(*tables_, 2).size(), 1u);
}

} // namespace
} // namespace cfgtest
