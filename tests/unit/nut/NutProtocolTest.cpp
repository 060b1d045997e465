// The NUT client's pure decisions. No Windows headers: the same file runs
// under Wine and natively (tests/native).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "nut/NutProtocol.h"
#include "tests/rigs/nut/AddressSpellings.h"

namespace {

using namespace nut;

// ---- lines ----

TEST(NutLines, LinesSplitAcrossChunksComeOutWhole) {
    LineAssembler lines;
    std::string line;
    lines.Append("VAR a b \"O", 10);
    EXPECT_EQ(lines.Next(line), LineAssembler::Result::NeedMore);
    lines.Append("L\"\r\nERR X\n", 10);
    ASSERT_EQ(lines.Next(line), LineAssembler::Result::Line);
    EXPECT_EQ(line, "VAR a b \"OL\"");
    ASSERT_EQ(lines.Next(line), LineAssembler::Result::Line);
    EXPECT_EQ(line, "ERR X");
    EXPECT_EQ(lines.Next(line), LineAssembler::Result::NeedMore);
}

TEST(NutLines, A512ByteLineIsTheLongestAccepted) {
    LineAssembler lines;
    std::string line;
    std::string const longest(kMaxLineBytes - 1, 'x');
    lines.Append((longest + "\n").data(), kMaxLineBytes);
    ASSERT_EQ(lines.Next(line), LineAssembler::Result::Line);
    EXPECT_EQ(line, longest);
}

TEST(NutLines, AnOverLongLineIsAnErrorThatSticks) {
    std::string const tooLong(kMaxLineBytes, 'x');
    for (std::string const& input : {tooLong, tooLong + "\n"}) {
        LineAssembler lines;
        std::string line;
        lines.Append(input.data(), input.size());
        EXPECT_EQ(lines.Next(line), LineAssembler::Result::TooLong);
        lines.Append("ERR X\n", 6);
        EXPECT_EQ(lines.Next(line), LineAssembler::Result::TooLong);
    }
}

// ---- replies ----

TEST(NutReplies, QuotedValuesAreUnescaped) {
    VarReply const reply = ParseVarReply(R"(VAR ups ups.status "OL \"x\" \\ CHRG")", "ups", "ups.status");
    ASSERT_EQ(reply.kind, VarReply::Kind::Value);
    EXPECT_EQ(reply.value, R"(OL "x" \ CHRG)");
    EXPECT_EQ(ParseVarReply(R"(VAR ups ups.status "")", "ups", "ups.status").kind, VarReply::Kind::Value);
}

// The texts of the errors a real upsd sends are checked against one in
// tests/integration/nut.
TEST(NutReplies, ErrorsGiveTheirCode) {
    VarReply const reply = ParseVarReply("ERR DATA-STALE some words", "ups", "ups.status");
    ASSERT_EQ(reply.kind, VarReply::Kind::Error);
    EXPECT_EQ(reply.error, "DATA-STALE");
    EXPECT_EQ(DescribeServerError("NEW-THING"), "server error NEW-THING");
}

TEST(NutReplies, AnythingElseIsMalformed) {
    std::vector<std::string> const lines = {
        "",
        "OK",
        "ERR",
        "ERR ",
        "ERR data-stale",
        "VAR other ups.status \"OL\"",        // another UPS: the stream is out of step
        "VAR ups battery.charge \"100\"",     // another variable
        "VAR ups ups.status OL",
        "VAR ups ups.status \"OL",
        "VAR ups ups.status \"OL\" extra",
        "VAR ups ups.status \"OL\\n\"",       // only \" and \\ are escapes
        "VAR ups ups.status \"OL\\",
        std::string("VAR ups ups.status \"O\0L\"", 23),
        "VAR ups ups.status \"O\tL\"",
    };
    for (std::string const& line : lines) {
        EXPECT_EQ(ParseVarReply(line, "ups", "ups.status").kind, VarReply::Kind::Malformed) << line;
    }
}

// ---- lists ----

// Each line to a fresh reader; the steps it gave, one per line.
std::vector<VarListReader::Step> Steps(std::vector<std::string> const& lines, VarList* list = nullptr) {
    VarListReader reader("ups");
    std::vector<VarListReader::Step> steps;
    for (std::string const& line : lines) steps.push_back(reader.Take(line));
    if (list != nullptr) *list = reader.List();
    return steps;
}

using Step = VarListReader::Step;

TEST(NutLists, AListGivesThePolledVariablesUnescaped) {
    EXPECT_EQ(FormatListVar("testups"), "LIST VAR testups\n");
    VarList list;
    EXPECT_EQ(Steps({"BEGIN LIST VAR ups", R"(VAR ups device.mfr "Other")", R"(VAR ups ups.mfr "A \"B\" \\ C")",
                     R"(VAR ups ups.status "OB DISCHRG")", R"(VAR ups ups.model "")", "END LIST VAR ups",
                     R"(VAR ups ups.status "OL")"},
                    &list),
              (std::vector<Step>{Step::More, Step::More, Step::More, Step::More, Step::More, Step::Done,
                                 Step::Malformed}));  // nothing may follow the end
    EXPECT_EQ(list.error, "");
    EXPECT_EQ(list[PolledVar::Status], "OB DISCHRG");
    EXPECT_EQ(list[PolledVar::Maker], R"(A "B" \ C)");
    EXPECT_EQ(list[PolledVar::Model], "");
    EXPECT_FALSE(list[PolledVar::Load].has_value());

    EXPECT_EQ(Steps({"ERR DATA-STALE", "END LIST VAR ups"}, &list), (std::vector<Step>{Step::Done, Step::Malformed}));
    EXPECT_EQ(list.error, "DATA-STALE");
}

TEST(NutLists, ListsOutOfStepAreMalformed) {
    std::string const status = R"(VAR ups ups.status "OL")";
    std::vector<std::vector<std::string>> const replies = {
        {"ERR data-stale"},
        {"BEGIN LIST VAR other"},
        {"BEGIN LIST RW ups"},
        {status},                                                  // no BEGIN
        {"BEGIN LIST VAR ups", R"(VAR other ups.status "OL")"},   // another UPS's line
        {"BEGIN LIST VAR ups", R"(VAR upsx ups.status "OL")"},
        {"BEGIN LIST VAR ups", "ERR DATA-STALE"},
        {"BEGIN LIST VAR ups", "END LIST VAR other"},
        {"BEGIN LIST VAR ups", R"(VAR ups ups.mfr "a\n")"},
        {"BEGIN LIST VAR ups", R"(VAR ups ups.mfr "a)"},
        {"BEGIN LIST VAR ups", R"(VAR ups "OL")"},
        {"BEGIN LIST VAR ups", R"(VAR ups  "OL")"},
        {"BEGIN LIST VAR ups", R"(VAR ups ups"status "OL")"},
        {"BEGIN LIST VAR ups", status, status},                   // listed twice
        {"BEGIN LIST VAR ups", status, "BEGIN LIST VAR ups"},     // the END never came
    };
    for (std::vector<std::string> const& reply : replies) {
        std::vector<Step> const steps = Steps(reply);
        EXPECT_EQ(steps.back(), Step::Malformed) << reply.back();
        EXPECT_EQ(std::count(steps.begin(), steps.end(), Step::More), static_cast<long>(steps.size() - 1)) << reply.back();
    }
}

TEST(NutLists, AListPastItsBoundIsTooLong) {
    std::vector<std::string> reply = {"BEGIN LIST VAR ups"};
    for (std::size_t i = 0; i < kMaxListedVars; ++i) reply.push_back("VAR ups v" + std::to_string(i) + " \"1\"");
    reply.push_back("END LIST VAR ups");
    EXPECT_EQ(Steps(reply).back(), Step::Done);
    reply.back() = R"(VAR ups ups.status "OL")";
    EXPECT_EQ(Steps(reply).back(), Step::TooLong);
}

// ---- logging in ----

TEST(NutLogin, RequestsQuoteOnlyArgumentsThatNeedIt) {
    EXPECT_EQ(FormatLoginRequests("mon", "secret", "testups"),
              (std::vector<std::string>{"USERNAME mon\n", "PASSWORD secret\n", "LOGIN testups\n"}));
    // upsd reads blanks, quotes and '#' (a comment) only inside quotes.
    EXPECT_EQ(QuoteArgument(R"(pa ss"\x)"), R"("pa ss\"\\x")");
    EXPECT_EQ(QuoteArgument("a#b"), "\"a#b\"");
    EXPECT_EQ(QuoteArgument("tab\there"), "\"tab\there\"");
}

TEST(NutLogin, CredentialsThatCouldSplitARequestAreRefused) {
    EXPECT_EQ(CheckCredential("secret\nLOGIN other", "password"), "the password may not contain control characters");
    EXPECT_EQ(CheckCredential("", "login user"), "the login user is empty");
    EXPECT_EQ(CheckCredential(std::string(kMaxCredentialBytes, 'p'), "password"), "");
    EXPECT_NE(CheckCredential(std::string(kMaxCredentialBytes + 1, 'p'), "password"), "");
}

TEST(NutLogin, RepliesAreOkOrARefusalWithItsCode) {
    EXPECT_EQ(ParseCommandReply("OK").kind, CommandReply::Kind::Ok);
    EXPECT_EQ(ParseCommandReply("OK Goodbye").kind, CommandReply::Kind::Ok);
    CommandReply const refused = ParseCommandReply("ERR ACCESS-DENIED");
    ASSERT_EQ(refused.kind, CommandReply::Kind::Error);
    EXPECT_EQ(refused.error, "ACCESS-DENIED");
    EXPECT_EQ(DescribeServerError("INVALID-PASSWORD"), "wrong password");
    for (char const* line : {"", "OKAY", "ok", "ERR", "ERR access-denied", "VAR testups ups.status \"OL\""})
        EXPECT_EQ(ParseCommandReply(line).kind, CommandReply::Kind::Malformed) << line;
}

// ---- status ----

TEST(NutStatus, TokensMapToTheWordByPriority) {
    struct Case {
        char const* status;
        std::uint32_t word;
    };
    Case const cases[] = {
        {"OL", kWordOnLine},
        {"OL CHRG", kWordOnLine},
        {"OB DISCHRG", kWordOnBattery},
        {"OL OB", kWordOnBattery},
        {"OB DISCHRG LB", kWordBatteryLow},
        {"OL LB", kWordBatteryLow},
        {"FSD OL", kWordBatteryLow},
        {"BOOST OL TRIM", kWordOnLine},   // unknown tokens are ignored
        {"OLX", 0},
        {"WAIT", 0},
        {"", 0},
    };
    for (Case const& c : cases) EXPECT_EQ(PowerStateWord(c.status), c.word) << c.status;
}

TEST(NutStatus, ChargeIsWholePercentOrUnknown) {
    EXPECT_EQ(ParseCharge("100"), 100);
    EXPECT_EQ(ParseCharge("0"), 0);
    EXPECT_EQ(ParseCharge("87.5"), 88);
    EXPECT_EQ(ParseCharge("87.49"), 87);
    for (char const* bad : {"", "-1", "101", "1e2", "87.", ".5", " 50", "50%", "99999999999"}) {
        EXPECT_EQ(ParseCharge(bad), -1) << bad;
    }
    EXPECT_EQ(ParseRuntime("1800"), 1800);
    EXPECT_EQ(ParseRuntime("95.5"), 96);
    for (char const* bad : {"", "-5", "12345678", "1e3", "n/a"}) EXPECT_EQ(ParseRuntime(bad), -1) << bad;
    EXPECT_EQ(ParseLoad("104.6"), 105);
    EXPECT_EQ(ParseLoad("0"), 0);
    EXPECT_EQ(ParseLoad("1000"), -1);
}

TEST(NutStatus, VoltagesKeepTheirTenths) {
    EXPECT_EQ(ParseVoltageTenths("230.4"), 2304);
    EXPECT_EQ(ParseVoltageTenths("120"), 1200);
    EXPECT_EQ(ParseVoltageTenths("229.96"), 2300);
    EXPECT_EQ(ParseVoltageTenths("0.04"), 0);
    for (char const* bad : {"", "-230", "230,4", "230.", "2.3e2", "12345", " 230"})
        EXPECT_EQ(ParseVoltageTenths(bad), -1) << bad;
}

TEST(NutStatus, RepliesBecomeAReading) {
    VarReply status{VarReply::Kind::Value, "OB DISCHRG", ""};
    VarReply charge{VarReply::Kind::Value, "42", ""};
    UpsReading reading = ReadingFromReplies(status, &charge);
    EXPECT_TRUE(reading.answered);
    EXPECT_EQ(reading.statusWord, kWordOnBattery);
    EXPECT_EQ(reading.charge, 42);
    EXPECT_EQ(FormatReading(reading), "OB DISCHRG charge=42 -> word 1");

    // A UPS without battery.charge is fine; the block then carries 0.
    VarReply const unsupported{VarReply::Kind::Error, "", "VAR-NOT-SUPPORTED"};
    reading = ReadingFromReplies(status, &unsupported);
    EXPECT_TRUE(reading.answered);
    EXPECT_EQ(reading.charge, -1);
    EXPECT_EQ(ChargeWord(reading), 0u);
    VarReply const runtime{VarReply::Kind::Value, "600", ""};
    EXPECT_EQ(ReadingFromReplies(status, &charge, &runtime).runtimeSeconds, 600);
    EXPECT_EQ(ReadingFromReplies(status, &charge, &unsupported).runtimeSeconds, -1);

    status.value = "WAIT";
    EXPECT_EQ(ReadingFromReplies(status, &charge).statusWord, kWordNoConnection);

    reading = ReadingFromReplies(VarReply{VarReply::Kind::Error, "", "UNKNOWN-UPS"}, nullptr);
    EXPECT_FALSE(reading.answered);
    EXPECT_EQ(FormatReading(reading), "unknown UPS -> word 4");

    VarReply const garbled;
    EXPECT_EQ(ReadingFromReplies(status, &garbled).failure, "malformed reply");
}

VarList Listed(std::vector<std::pair<PolledVar, std::string>> const& values) {
    VarList list;
    for (auto const& value : values) list.values[static_cast<std::size_t>(value.first)] = value.second;
    return list;
}

TEST(NutStatus, AListBecomesAReadingWithWhatIsMissingAbsentNotZero) {
    UpsReading reading = ReadingFromList(Listed({{PolledVar::Status, "OL"},
                                                 {PolledVar::Runtime, "1800"},
                                                 {PolledVar::Load, "23"},
                                                 {PolledVar::InputVoltage, "230.4"},
                                                 {PolledVar::OutputVoltage, "n/a"},
                                                 {PolledVar::Maker, std::string(kMaxUpsTextBytes + 1, 'm')},
                                                 {PolledVar::Model, "Dummy UPS"}}));
    EXPECT_TRUE(reading.answered);
    EXPECT_EQ(reading.statusWord, kWordOnLine);
    EXPECT_EQ(reading.charge, -1);
    EXPECT_EQ(reading.runtimeSeconds, 1800);  // on line too
    EXPECT_EQ(reading.loadPercent, 23);
    EXPECT_EQ(reading.inputVoltageTenths, 2304);
    EXPECT_EQ(reading.outputVoltageTenths, -1);
    EXPECT_EQ(reading.maker, "");
    EXPECT_EQ(reading.model, "Dummy UPS");
    EXPECT_EQ(ReadingFromList(Listed({{PolledVar::Status, "OL"}})).loadPercent, -1);
    EXPECT_EQ(ReadingFromList(Listed({{PolledVar::Status, "WAIT"}})).statusWord, kWordNoConnection);

    // As GET VAR ups.status answering ERR VAR-NOT-SUPPORTED did.
    reading = ReadingFromList(Listed({{PolledVar::Charge, "100"}, {PolledVar::Model, "Dummy UPS"}}));
    EXPECT_FALSE(reading.answered);
    EXPECT_EQ(FormatReading(reading), "variable not supported -> word 4");
    EXPECT_EQ(reading.model, "");

    VarList stale = Listed({{PolledVar::Status, "OL"}});
    stale.error = "DATA-STALE";
    EXPECT_EQ(ReadingFromList(stale).failure, "data stale");
}

// ---- addresses ----

TEST(NutAddress, ReadsNutNotation) {
    UpsAddress address;
    ASSERT_EQ(ParseUpsAddress("ups@nas.local", address), "");
    EXPECT_EQ(address.upsName, "ups");
    EXPECT_EQ(address.host, "nas.local");
    EXPECT_EQ(address.port, kDefaultPort);
    ASSERT_EQ(ParseUpsAddress("rack-1@192.168.1.2:65535", address), "");
    EXPECT_EQ(address.port, 65535);
    ASSERT_EQ(ParseUpsAddress("ups@[fe80::1%eth0]:1", address), "");
    EXPECT_EQ(address.host, "fe80::1%eth0");
    EXPECT_EQ(FormatUpsAddress(address), "ups@[fe80::1%eth0]:1");
    EXPECT_EQ(FormatUpsAddress(UpsAddress{"ups", "nas", kDefaultPort}), "ups@nas:3493");
}

TEST(NutAddress, BadInputIsNamedAndLeavesTheOutputAlone) {
    struct Case {
        char const* text;
        char const* problem;
    };
    Case const cases[] = {
        {"", "no UPS given: write the UPS as upsname@host[:port]"},
        {"ups", "write the UPS as upsname@host[:port]"},
        {"@host", "the UPS name is empty"},
        {"ups@", "the host is empty"},
        {"ups@:3493", "the host is empty"},
        {"ups@host:0", "the port must be a number from 1 to 65535"},
        {"ups@host:65536", "the port must be a number from 1 to 65535"},
        {"ups@host:", "the port must be a number from 1 to 65535"},
        {"ups@host:+80", "the port must be a number from 1 to 65535"},
        {"ups@::1", "write an IPv6 address in brackets: upsname@[::1]:3493"},
        {"ups@[::1", "the IPv6 address lacks its closing bracket"},
        {"ups@[host]", "the host must be a name, an IPv4 address or an IPv6 address in brackets"},
        {"ups@ho st", "the host must be a name, an IPv4 address or an IPv6 address in brackets"},
        // The name goes into requests: it must not be able to add one.
        {"ups\nLOGIN x@host", "the UPS name may not contain blanks, quotes, backslashes, @, # or control characters"},
        {"u\"ps@host", "the UPS name may not contain blanks, quotes, backslashes, @, # or control characters"},
    };
    for (Case const& c : cases) {
        UpsAddress address{"kept", "kept", 1};
        EXPECT_EQ(ParseUpsAddress(c.text, address), c.problem) << c.text;
        EXPECT_EQ(address.upsName, "kept");
    }
}

// Each front end's spellings, as one address and as fields; what is taken
// is written back as an address that reads the same.
TEST(NutAddress, OneJudgeForAddressesAndFields) {
    for (nut_spellings::Spelling const& s : nut_spellings::kSpellings) {
        UpsAddress parsed, fields{s.upsName, s.host, kDefaultPort};
        std::vector<AddressProblem> const problems = CheckUpsAddress(fields);
        EXPECT_EQ(ParseUpsAddress(s.address, parsed).empty(), s.stored != nullptr) << s.address;
        if (s.stored == nullptr) {
            EXPECT_EQ(problems.at(0).part, s.refused) << s.host;
            continue;
        }
        EXPECT_TRUE(problems.empty()) << s.host;
        ASSERT_EQ(ParseUpsAddress(FormatUpsAddress(fields), parsed), "") << s.host;
        EXPECT_EQ(parsed.host, s.stored);
    }
}

TEST(NutAddress, EachAddressOfANameGetsAnEqualShareOfTheConnectTimeTheLastAllLeft) {
    EXPECT_EQ(ConnectShareMs(3000, 3), 1000u);
    EXPECT_EQ(ConnectShareMs(2990, 2), 1495u);  // the first was refused at once
    EXPECT_EQ(ConnectShareMs(1000, 1), 1000u);
}

// ---- the persistent client's timing ----

TEST(NutMonitorLogic, RetriesBackOffFromOneToThirtySecondsAndNeverStop) {
    MonitorLogic logic;
    std::uint64_t now = 5000;
    EXPECT_TRUE(logic.ConnectDue(now));
    std::vector<std::uint64_t> delays;
    for (int i = 0; i < 8; ++i) {
        logic.OnConnectionFailed(now);
        delays.push_back(logic.RetryInMs(now));
        EXPECT_FALSE(logic.ConnectDue(now + delays.back() - 1));
        now += delays.back();
        EXPECT_TRUE(logic.ConnectDue(now));
    }
    EXPECT_EQ(delays, (std::vector<std::uint64_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
}

TEST(NutMonitorLogic, AnAnswerOrAResumeStartsTheDelaysOver) {
    MonitorLogic logic;
    for (int i = 0; i < 4; ++i) logic.OnConnectionFailed(0);
    logic.OnServerAnswered();
    logic.OnConnectionFailed(100000);
    EXPECT_EQ(logic.RetryInMs(100000), 1000u);

    for (int i = 0; i < 4; ++i) logic.OnConnectionFailed(200000);
    logic.OnResumed();
    EXPECT_TRUE(logic.ConnectDue(200000));
    logic.OnConnectionFailed(200000);
    EXPECT_EQ(logic.RetryInMs(200000), 1000u);
}

TEST(NutMonitorLogic, WaitHoldsTheLastWordForFifteenSecondsThenGivesFour) {
    MonitorLogic logic;
    UpsReading reading;
    reading.answered = true;
    reading.status = "OB DISCHRG";
    EXPECT_EQ(logic.Decide(reading, 0), kWordOnBattery);
    reading.status = "WAIT";
    EXPECT_EQ(logic.Decide(reading, 1000), kWordOnBattery);
    // However far apart the polls, the next one is due when the wait ends.
    EXPECT_EQ(logic.NextDecisionInMs(1000), 15001u);
    EXPECT_EQ(logic.NextDecisionInMs(16000), 1u);
    EXPECT_EQ(logic.Decide(reading, 16000), kWordOnBattery);
    EXPECT_EQ(logic.Decide(reading, 16001), kWordNoConnection);
    EXPECT_EQ(logic.NextDecisionInMs(16001), MonitorLogic::kNoDecisionDue);
    reading.status = "OL";
    EXPECT_EQ(logic.Decide(reading, 17000), kWordOnLine);
    reading.status = "WAIT";  // a new wait counts from its own start
    EXPECT_EQ(logic.Decide(reading, 18000), kWordOnLine);
    EXPECT_EQ(logic.Decide(reading, 33000), kWordOnLine);

    // After a failure there is no word to hold.
    EXPECT_EQ(logic.Decide(FailedReading("no answer"), 34000), kWordNoConnection);
    EXPECT_EQ(logic.Decide(reading, 35000), kWordNoConnection);
}

}  // namespace
