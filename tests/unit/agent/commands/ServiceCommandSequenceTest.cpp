// Agent Start and Agent Stop against a scripted Service Control Manager:
// the rights asked for, the settle loop, the waits and their bounds, and
// the handles, which must be closed service first, then manager, once. Then
// the companions' stop, start and restart: when a pending service is given
// up on, and that a restart is done only once the service runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/ServiceCommands.h"
#include "tests/doubles/scm/ScriptedScm.h"

namespace {

using commands_test::QueryAnswer;
using commands_test::QueryFails;
using commands_test::ScriptedScm;
using commands_test::State;

using Calls = std::vector<std::string>;
using Command = std::optional<int> (*)(ServiceControlApi&);

// Every path that opened the service ends with exactly these two calls.
void ExpectClosedServiceThenManager(ScriptedScm const& scm) {
    ASSERT_GE(scm.calls.size(), 2u);
    EXPECT_EQ("close service", scm.calls[scm.calls.size() - 2]);
    EXPECT_EQ("close manager", scm.calls.back());
    EXPECT_EQ(1, scm.Count("close service"));
    EXPECT_EQ(1, scm.Count("close manager"));
    EXPECT_EQ(0, scm.Count("close stray"));
}

TEST(AgentStart, StoppedServiceIsStartedAndWaitedForUntilRunning) {
    ScriptedScm scm;
    scm.queries = {State(SERVICE_STOPPED), State(SERVICE_START_PENDING), State(SERVICE_RUNNING)};

    EXPECT_EQ(1, RunAgentStart(scm));

    EXPECT_EQ(Calls({"open manager", "open service", "sleep", "query", "start", "sleep", "query", "sleep",
                     "query", "close service", "close manager"}),
              scm.calls);
    EXPECT_EQ(DWORD{SC_MANAGER_CONNECT}, scm.managerAccess);
    EXPECT_EQ("Vandrel Service", scm.serviceName);
    EXPECT_EQ(DWORD{0x14}, scm.serviceAccess);  // query status | start
    EXPECT_EQ(3u * 500u, scm.totalSleepMs);
}

TEST(AgentStart, SettleLoopWaitsOutAPendingServiceBeforeStarting) {
    ScriptedScm scm;
    scm.queries = {State(SERVICE_STOP_PENDING), State(SERVICE_START_PENDING), State(SERVICE_STOPPED),
                   State(SERVICE_RUNNING)};

    EXPECT_EQ(1, RunAgentStart(scm));

    EXPECT_EQ(Calls({"open manager", "open service", "sleep", "query", "sleep", "query", "sleep", "query",
                     "start", "sleep", "query", "close service", "close manager"}),
              scm.calls);
}

TEST(AgentStop, RunningServiceIsAskedToStopAndPolledOnce) {
    ScriptedScm scm;
    scm.queries = {State(SERVICE_RUNNING), State(SERVICE_STOPPED)};

    EXPECT_EQ(0, RunAgentStop(scm));

    EXPECT_EQ(Calls({"open manager", "open service", "sleep", "query", "stop", "sleep", "query",
                     "close service", "close manager"}),
              scm.calls);
    EXPECT_EQ(DWORD{SC_MANAGER_CONNECT}, scm.managerAccess);
    EXPECT_EQ(DWORD{0x24}, scm.serviceAccess);  // query status | stop
}

TEST(AgentStop, SlowServiceIsPolledSixTimesAndLeftStopping) {
    ScriptedScm scm;
    scm.queries = {State(SERVICE_RUNNING)};
    scm.whenScriptEnds = State(SERVICE_STOP_PENDING);
    scm.stateFromControl = SERVICE_STOPPED;  // not to be taken for the first poll

    EXPECT_EQ(0, RunAgentStop(scm));

    EXPECT_EQ(kMaxStopPolls, scm.CountAfter("stop", "query"));
    EXPECT_EQ(3500u, scm.totalSleepMs);  // one settle poll and six stop polls
    ExpectClosedServiceThenManager(scm);
}

TEST(BothCommands, PendingWaitsAreBounded) {
    ScriptedScm startStuck;
    startStuck.queries = {State(SERVICE_STOPPED)};
    startStuck.whenScriptEnds = State(SERVICE_START_PENDING);
    EXPECT_EQ(1, RunAgentStart(startStuck));
    EXPECT_EQ(kMaxPendingPolls, startStuck.CountAfter("start", "query"));
    EXPECT_EQ(500u + 30000u, startStuck.totalSleepMs);
    ExpectClosedServiceThenManager(startStuck);

    ScriptedScm settleStuck;  // pending beforehand: given up, the stop still asked
    settleStuck.whenScriptEnds = State(SERVICE_START_PENDING);
    EXPECT_EQ(0, RunAgentStop(settleStuck));
    EXPECT_EQ(kMaxPendingPolls + kMaxStopPolls, settleStuck.Count("query"));
    EXPECT_EQ(1, settleStuck.Count("stop"));
    ExpectClosedServiceThenManager(settleStuck);
}

TEST(BothCommands, FailedQueryEndsEachLoopThoughTheRecordLooksPending) {
    struct Case {
        char const* scenario;
        Command run;
        std::vector<QueryAnswer> queries;
        DWORD thenForEver;
        char const* action;
        int queriesAfterAction;
    } const cases[] = {
        {"settle loop", &RunAgentStart, {QueryFails()}, SERVICE_RUNNING, "start", 1},
        {"start wait", &RunAgentStart, {State(SERVICE_STOPPED), State(SERVICE_START_PENDING), QueryFails()},
         SERVICE_START_PENDING, "start", 2},
        {"stop polls", &RunAgentStop, {State(SERVICE_RUNNING), State(SERVICE_STOP_PENDING), QueryFails()},
         SERVICE_STOP_PENDING, "stop", 2},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.scenario);
        ScriptedScm scm;
        scm.queries.assign(c.queries.begin(), c.queries.end());
        scm.whenScriptEnds = State(c.thenForEver);
        EXPECT_TRUE(c.run(scm).has_value());
        EXPECT_EQ(1, scm.Count(c.action));
        EXPECT_EQ(c.queriesAfterAction, scm.CountAfter(c.action, "query"));
        ExpectClosedServiceThenManager(scm);
    }
}

TEST(BothCommands, FailedActionSkipsTheWaitAndStillReportsTheIntendedState) {
    ScriptedScm start;
    start.queries = {State(SERVICE_RUNNING)};
    start.startSucceeds = false;
    EXPECT_EQ(1, RunAgentStart(start));
    EXPECT_EQ(0, start.CountAfter("start", "query"));
    ExpectClosedServiceThenManager(start);

    ScriptedScm stop;
    stop.queries = {State(SERVICE_STOPPED)};
    stop.controlSucceeds = false;
    EXPECT_EQ(0, RunAgentStop(stop));
    EXPECT_EQ(0, stop.CountAfter("stop", "query"));
    ExpectClosedServiceThenManager(stop);
}

TEST(BothCommands, UnopenedManagerOrServiceChangesNothingAndClosesOnlyWhatWasOpened) {
    for (Command run : {Command{&RunAgentStart}, Command{&RunAgentStop}}) {
        ScriptedScm noManager;
        noManager.managerOpens = false;
        EXPECT_EQ(std::nullopt, run(noManager));
        EXPECT_EQ(Calls({"open manager"}), noManager.calls);

        ScriptedScm noService;
        noService.serviceOpens = false;
        EXPECT_EQ(std::nullopt, run(noService));
        EXPECT_EQ(Calls({"open manager", "open service", "close manager"}), noService.calls);
    }
}

// kServicePollRule: a poll every 250 ms, a 5 s stall floor, 30 s in all.
TEST(CompanionWaits, APendingServiceIsGivenUpOnOnlyWhenItsCheckpointStallsOrAtTheCap) {
    struct Case {
        char const* scenario;
        DWORD waitHintMs;
        bool checkpointMoves;
        DWORD slept;  // until given up
    } const cases[] = {
        {"stalled: the floor, after the last move", 0, false, 250 + 5250},
        {"stalled: twice a longer wait hint", 4000, false, 250 + 8250},
        {"moving: the cap", 0, true, 30000},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.scenario);
        ScriptedScm scm;
        scm.queries = {State(SERVICE_RUNNING)};
        for (DWORD checkPoint = 1; checkPoint <= 240; ++checkPoint)
            scm.queries.push_back(State(SERVICE_STOP_PENDING, c.checkpointMoves ? checkPoint : 1, c.waitHintMs));
        ScmResult const result = StopAndWait(scm, ScriptedScm::ServiceHandle(), kServicePollRule);
        EXPECT_EQ(ScmStep::Stop, result.failed);
        EXPECT_EQ(DWORD{ERROR_SERVICE_REQUEST_TIMEOUT}, result.error);
        EXPECT_EQ(DWORD{SERVICE_STOP_PENDING}, result.state);
        EXPECT_EQ(c.slept, scm.totalSleepMs);
    }
}

TEST(CompanionWaits, ARestartIsDoneOnlyOnceTheServiceRuns) {
    ScriptedScm scm;
    scm.queries = {State(SERVICE_START_PENDING, 1), State(SERVICE_RUNNING), State(SERVICE_STOP_PENDING, 1),
                   State(SERVICE_STOPPED), State(SERVICE_START_PENDING, 1), State(SERVICE_START_PENDING, 2)};
    EXPECT_TRUE(RestartAndWait(scm, ScriptedScm::ServiceHandle(), kServicePollRule));
    EXPECT_EQ(Calls({"query", "sleep", "query", "stop", "sleep", "query", "sleep", "query", "start", "sleep",
                     "query", "sleep", "query", "sleep", "query"}),
              scm.calls);

    ScriptedScm failsToStart;  // already stopped, so not asked to stop
    failsToStart.queries = {State(SERVICE_STOPPED), State(SERVICE_START_PENDING), State(SERVICE_STOPPED)};
    ScmResult const result = RestartAndWait(failsToStart, ScriptedScm::ServiceHandle(), kServicePollRule);
    EXPECT_EQ(ScmStep::Start, result.failed);
    EXPECT_EQ(DWORD{ERROR_SERVICE_NOT_ACTIVE}, result.error);
    EXPECT_EQ(0, failsToStart.Count("stop"));

    ScriptedScm refused;
    refused.queries = {State(SERVICE_RUNNING)};
    refused.controlSucceeds = false;
    ScmResult const refusal = RestartAndWait(refused, ScriptedScm::ServiceHandle(), kServicePollRule);
    EXPECT_EQ(ScmStep::Stop, refusal.failed);
    EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, refusal.error);
    EXPECT_EQ(0, refused.Count("start"));

    // It stopped between the query and the request: stopped, as asked.
    ScriptedScm stoppedMeanwhile;
    stoppedMeanwhile.queries = {State(SERVICE_RUNNING)};
    stoppedMeanwhile.controlSucceeds = false;
    stoppedMeanwhile.failureError = ERROR_SERVICE_NOT_ACTIVE;
    EXPECT_TRUE(StopAndWait(stoppedMeanwhile, ScriptedScm::ServiceHandle(), kServicePollRule));
}

}  // namespace
