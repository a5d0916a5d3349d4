// The real plug-in inside the simulated host, driven as the controller service drives it:
// the port file, one-line requests over loopback, the console for the user's side, and
// the host's state and journal to see what reached the host and on which thread.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <thread>

#include "ControllerConnection.h"
#include "HostSimProcess.h"

using cuebridge_test::ControllerConnection;
using cuebridge_test::HostSimProcess;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr const char* kAlert = "Marlune : Could not register command hook.";
constexpr const char* kServiceDir = "/Library/Application Support/Ostrel/OstrelPluginService";
constexpr const char* kNoIdleHookError =
    "SCRIPT ERROR: the plug-in cannot run scripts: its idle hook is not registered";

// Three effects, one with a bar in its display name: records are copied unescaped.
constexpr const char* kEffectsJson = R"([
  {"matchName": "ADBE Glo2", "displayName": "Glow", "category": "Stylize"},
  {"matchName": "ADBE Gaussian Blur 2", "displayName": "Gaussian Blur", "category": "Blur & Sharpen"},
  {"matchName": "Test Bar", "displayName": "A|B", "category": "Über"}])";
constexpr const char* kEffectsList =
    "ADBE Glo2|Glow|Stylize*|*ADBE Gaussian Blur 2|Gaussian Blur|Blur & Sharpen*|*Test "
    "Bar|A|B|Über*|*";

// One simulated host with the plug-in, its journal, and one controller connection.
class Session {
public:
    explicit Session(std::vector<std::string> extra = {}, bool ownEffects = false)
        : files_(cuebridge_test::MakeTempDir("cuebridge-e2e-")),
          host_(HOSTSIM_PATH, Args(extra, ownEffects)) {}
    ~Session() {
        if (::testing::Test::HasFailure()) {
            PrintJournalTail();
            std::cerr << "host's stderr:\n" << host_.Stderr() << "\n";
        }
        cuebridge_test::RemoveTree(files_);
    }

    HostSimProcess& Host() { return host_; }
    ControllerConnection& Connection() { return connection_; }

    // Connects to the port in the port file (one that differs from notPort).
    int Connect(int notPort = -1) {
        const auto port = host_.WaitForPort(10s, notPort);
        if (!port || !connection_.Connect(*port)) return -1;
        return *port;
    }

    // Sends the lines, then an empty script with a fresh tag, which the plug-in answers
    // "tag|" only after the lines before it were handled. Returns the replies before it.
    std::string Talk(const std::vector<std::string>& lines) {
        for (const auto& line : lines) connection_.SendLine(line);
        const std::string tag = "#sync" + std::to_string(++syncs_);
        return UntilReply(tag, "Script|", tag + "|");
    }

    // As Talk, but waits for the queued work too. The sentinel script's reply means the
    // work was queued and an idle call ran the script; but that call may have passed the
    // menu command, navigation and Info panel queues before the work arrived (its script
    // drain goes on taking scripts that keep coming), leaving the work to the next call.
    // That work asked for an idle call, which the host makes at the end of its next main
    // loop turn, so the second console answer after the reply comes after it.
    std::string Settle(const std::vector<std::string>& lines = {}) {
        for (const auto& line : lines) connection_.SendLine(line);
        const std::string tag = "#settle" + std::to_string(++syncs_);
        std::string replies = UntilReply(tag, "Script|'settled'", tag + "|settled");
        State();
        State();
        return replies;
    }

    json State() {
        const json answer = host_.Ask("state");
        EXPECT_TRUE(answer.is_object()) << host_.Stderr();
        return answer.is_object() ? answer["state"] : json::object();
    }

    // Polls the state until pred holds, or the (generous) timeout passes.
    json StateWhen(const std::function<bool(const json&)>& pred,
                   std::chrono::milliseconds timeout = 20s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        json state = State();
        while (!pred(state) && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(10ms);
            state = State();
        }
        return state;
    }

    // The installed-effects reply once the start-up job has stored the list.
    std::string StoredEffects() {
        const auto until = std::chrono::steady_clock::now() + 20s;
        std::string reply = Talk({"E|GetInstalledAfterEffectEffects|"});
        while (reply == "E|" && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(10ms);
            reply = Talk({"E|GetInstalledAfterEffectEffects|"});
        }
        return reply;
    }

    std::vector<json> Journal() const {
        std::vector<json> lines;
        std::ifstream file(files_ + "/journal.jsonl");
        for (std::string line; std::getline(file, line);)
            lines.push_back(json::parse(line, nullptr, false));
        return lines;
    }

    void WriteTestScript(const std::string& text) const {
        std::ofstream(host_.Home() + kServiceDir + "/TestFileScript.jsx") << text;
    }

private:
    std::vector<std::string> Args(std::vector<std::string> extra, bool ownEffects) const {
        std::vector<std::string> args = {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--journal",
                                         files_ + "/journal.jsonl"};
        if (ownEffects) {
            std::ofstream(files_ + "/effects.json") << kEffectsJson;
            args.insert(args.end(), {"--effects", files_ + "/effects.json"});
        }
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // The journal without the suite bookkeeping, to see what the host was asked when a
    // test fails.
    void PrintJournalTail() const {
        std::vector<json> calls;
        for (const auto& line : Journal())
            if (line["call"] != "AcquireSuite" && line["call"] != "ReleaseSuite")
                calls.push_back(line);
        const std::size_t from = calls.size() > 200 ? calls.size() - 200 : 0;
        std::cerr << "journal, last " << calls.size() - from << " host calls:\n";
        for (std::size_t i = from; i < calls.size(); ++i) std::cerr << calls[i].dump() << "\n";
    }

    std::string UntilReply(const std::string& tag, const std::string& request,
                           const std::string& reply) {
        connection_.SendLine(tag + "|" + request);
        const auto received = connection_.ReadUntil(reply);
        if (!received) {
            ADD_FAILURE() << "no reply " << reply << "\n" << host_.Stderr();
            return "<no reply>";
        }
        return received->substr(0, received->size() - reply.size());
    }

    std::string files_;
    HostSimProcess host_;
    ControllerConnection connection_;
    int syncs_ = 0;
};

std::vector<json> CallsNamed(const std::vector<json>& journal, const std::string& call) {
    std::vector<json> found;
    std::copy_if(journal.begin(), journal.end(), std::back_inserter(found),
                 [&](const json& line) { return line["call"] == call; });
    return found;
}

std::vector<int> SelectedIds(const json& state) {
    std::vector<int> ids;
    for (const auto& item : state["items"])
        if (item["selected"] == true) ids.push_back(item["id"]);
    return ids;
}

// One connection attempt to the port, given up after 20 ms (a connect whose request
// the system dropped would try again a second later); the descriptor, or -1.
int ConnectOnce(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int error = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
        pollfd writable{fd, POLLOUT, 0};
        socklen_t length = sizeof error;
        if (poll(&writable, 1, 20) != 1 ||
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = ETIMEDOUT;
    }
    if (error == 0) return fd;
    close(fd);
    return -1;
}

json Color(int alpha, int red, int green, int blue) {
    return {{"alpha", alpha}, {"red", red}, {"green", green}, {"blue", blue}};
}

}  // namespace

TEST(CuebridgeRoad, ScriptRunsOnTheMainThreadAndItsResultIsTheReply) {
    Session session;
    ASSERT_GT(session.Connect(), 0) << session.Host().Stderr();
    EXPECT_EQ(session.Talk({"7|Script|6*7"}), "7|42");

    const auto journal = session.Journal();
    const auto run = std::find_if(journal.begin(), journal.end(), [](const json& line) {
        return line["call"] == "AEGP_ExecuteScript" && line["args"]["script"] == "6*7";
    });
    ASSERT_NE(run, journal.end());
    EXPECT_EQ((*run)["thread"], "main");
    EXPECT_EQ((*run)["args"]["platform_encoding"], false);
    EXPECT_EQ((*run)["out"], json({{"result", "42"}, {"error", ""}}));
    // The socket thread asked for the idle call; the host ran the script inside it. (The
    // request's line may be written after the script's, so the start times are compared.)
    EXPECT_TRUE(std::any_of(journal.begin(), journal.end(), [&](const json& line) {
        return line["call"] == "AEGP_CauseIdleRoutinesToBeCalled" && line["thread"] == "other" &&
               line["t_us"] < (*run)["t_us"];
    }));
    const auto nextRun = std::find_if(std::next(run), journal.end(), [](const json& line) {
        return line["call"] == "AEGP_ExecuteScript";
    });
    EXPECT_EQ(CallsNamed({run, nextRun}, "AEGP_FreeMemHandle").size(), 2u);  // result and error
    EXPECT_EQ(session.State()["mem_handles_outstanding"], 0);
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeKeywords, QueuedActionsAreCarriedOutByTheHost) {
    Session session;
    ASSERT_GT(session.Connect(), 0);
    ASSERT_EQ(session.Host().Ask("select 5")["ok"], true);
    EXPECT_EQ(session.Talk({"3|ExecuteCommand|2004", "6|InfoPanelCommand|SetInfoText",
                            "6|InfoPanelCommand|SetInfoColor", "5|NavigateCommand|First"}),
              "");  // queued work is never answered
    EXPECT_EQ(session.Settle(), "");
    json state = session.State();
    EXPECT_EQ(state["commands_run"], json::parse(R"([{"command":2004,"source":"plugin"}])"));
    EXPECT_EQ(state["info"]["line1"], "Lorem ipsum");
    EXPECT_EQ(state["info"]["line2"], "dolor sit amet");
    EXPECT_EQ(state["info"]["appended"], json::array({"Some third text"}));
    EXPECT_EQ(state["info"]["color"], Color(1, 150, 100, 50));
    EXPECT_EQ(SelectedIds(state), std::vector<int>{2});  // "First" is the item after the first
    EXPECT_EQ(state["active_item"], 2);

    EXPECT_EQ(session.Settle({"5|NavigateCommand|Next"}), "");
    state = session.State();
    EXPECT_EQ(SelectedIds(state), std::vector<int>{3});
    EXPECT_EQ(state["active_item"], 3);

    // After the last item "Next" selects nothing anew: no wrap-around.
    ASSERT_EQ(session.Host().Ask("select 6")["ok"], true);
    EXPECT_EQ(session.Settle({"5|NavigateCommand|Next"}), "");
    state = session.State();
    EXPECT_EQ(SelectedIds(state), std::vector<int>{6});
    EXPECT_EQ(state["active_item"], 6);

    for (const auto& line : session.Journal()) {
        const std::string call = line["call"];
        if (call == "AEGP_DoCommand" || call == "AEGP_SelectItem" || call.starts_with("PF_Info") ||
            call == "PF_AppendInfoText") {
            EXPECT_EQ(line["thread"], "main") << line.dump();
        }
    }
    const auto doCommands = CallsNamed(session.Journal(), "AEGP_DoCommand");
    ASSERT_EQ(doCommands.size(), 1u);
    EXPECT_EQ(doCommands[0]["args"]["command"], 2004);
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeKeywords, QueriesAreAnsweredAtOnce) {
    Session session({"--language", "de_DE"}, true);
    ASSERT_GT(session.Connect(), 0);
    EXPECT_EQ(session.Talk({"L|GetAfterEffectLanguage|", "x|GetAfterEffectLanguage"}),
              "L|de_DEx|de_DE");
    // The start-up job's list, in the simulated host's order, records back to back.
    EXPECT_EQ(session.StoredEffects(), std::string("E|") + kEffectsList);
    const auto language = CallsNamed(session.Journal(), "PF_AppGetLanguage");
    ASSERT_FALSE(language.empty());
    EXPECT_EQ(language.back()["thread"], "other");  // the one query made on the socket thread
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeKeywords, UnrecognisedMessagesGetNoReplyAndDoNothing) {
    Session session;
    ASSERT_GT(session.Connect(), 0);
    ASSERT_EQ(session.Host().Ask("select 5")["ok"], true);
    const std::vector<std::string> ignored = {"3|executecommand|2004",
                                              "5|navigatecommand|First",
                                              "6|INFOPANELCOMMAND|SetInfoText",
                                              "7|getAfterEffectLanguage|",
                                              "1|Bogus|x",
                                              "||x",
                                              "7|GetAfterEffectLanguage\r",
                                              "5|NavigateCommand|First\r",
                                              "6|InfoPanelCommand|SetInfoText\r",
                                              "6|InfoPanelCommand|SetInfoColor\r",
                                              "6|InfoPanelCommand|Nothing",
                                              "5|NavigateCommand|next",
                                              "3|ExecuteCommand|abc",
                                              "3|ExecuteCommand|"};
    for (const auto& message : ignored) EXPECT_EQ(session.Talk({message}), "") << message;
    EXPECT_EQ(session.Settle(), "");
    const json state = session.State();
    EXPECT_EQ(state["commands_run"], json::array());
    EXPECT_EQ(state["info"]["line1"], "");
    EXPECT_EQ(state["info"]["color"], nullptr);
    EXPECT_EQ(SelectedIds(state), std::vector<int>{5});

    // A carriage return after the last bar falls into the unread argument; a command
    // number ends where its digits end.
    EXPECT_EQ(session.Talk({"7|GetAfterEffectLanguage|\r"}), "7|en_US");
    EXPECT_EQ(session.Settle({"3|ExecuteCommand|2004\r", "3|ExecuteCommand| +12abc"}), "");
    EXPECT_EQ(
        session.State()["commands_run"],
        json::parse(R"([{"command":2004,"source":"plugin"},{"command":12,"source":"plugin"}])"));
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeKeywords, MessagesAreCutAtLineFeedsWhateverTheReceives) {
    Session session;
    ASSERT_GT(session.Connect(), 0);
    ASSERT_TRUE(session.Connection().SendBytes("a|Script|1+1\nb|Scr"));
    ASSERT_TRUE(session.Connection().SendBytes("ipt|'x|y'\nc|Script|"));
    EXPECT_EQ(session.Talk({"3"}), "a|2b|x|yc|3");
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeMenu, HookCommandsActAndTheHostStillRunsThem) {
    Session session;
    ASSERT_EQ(session.Host().Ask("select 5")["ok"], true);
    ASSERT_EQ(session.Host().Ask("command 2488")["ok"], true);
    EXPECT_EQ(SelectedIds(session.State()), std::vector<int>{2});
    ASSERT_EQ(session.Host().Ask("command 2489")["ok"], true);
    EXPECT_EQ(SelectedIds(session.State()), std::vector<int>{3});
    ASSERT_EQ(session.Host().Ask("command 2490")["ok"], true);
    const json state = session.State();
    EXPECT_EQ(state["info"]["line1"], "line 1");
    EXPECT_EQ(state["info"]["line2"], "line 2");
    EXPECT_EQ(state["info"]["appended"], json::array({"line 3"}));
    EXPECT_EQ(state["info"]["color"], Color(1, 100, 100, 100));
    EXPECT_EQ(state["commands_run"], json::parse(R"([{"command":2488,"source":"user"},
        {"command":2489,"source":"user"},{"command":2490,"source":"user"}])"));

    std::vector<int> hooked;
    for (const auto& line : CallsNamed(session.Journal(), "CommandHook")) {
        hooked.push_back(line["args"]["command"]);
        EXPECT_EQ(line["result"], 0);
        EXPECT_EQ(line["out"]["handled"], false);
    }
    EXPECT_EQ(hooked, (std::vector<int>{2488, 2489, 2490}));
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeMenu, TestScriptCommandRunsTheFileWithoutBlockingTheMainThread) {
    Session session;
    const std::string script = "app.project.item(5).selected = true;";
    session.WriteTestScript(script);
    // The console answers only once the command (and its hook) returned on the main
    // thread, which must not wait for its own idle hook.
    ASSERT_EQ(session.Host().Ask("command 2630")["ok"], true);
    const json state = session.StateWhen([](const json& s) { return s["active_item"] == 5; });
    EXPECT_EQ(SelectedIds(state), (std::vector<int>{2, 5}));  // a script's selection adds to it
    EXPECT_EQ(state["commands_run"], json::parse(R"([{"command":2630,"source":"user"}])"));
    const auto runs = CallsNamed(session.Journal(), "AEGP_ExecuteScript");
    EXPECT_TRUE(std::any_of(runs.begin(), runs.end(), [&](const json& line) {
        return line["args"]["script"] == script && line["thread"] == "main";
    }));
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeFaults, FailedHookRegistrationAlertsAndQueriesStillWork) {
    struct Case {
        const char* hook;
        json hooks;  // what got registered before the failure
    } cases[] = {{"command", {{"command", 0}, {"menu", 0}, {"idle", 0}}},
                 {"menu", {{"command", 1}, {"menu", 0}, {"idle", 0}}},
                 {"idle", {{"command", 1}, {"menu", 1}, {"idle", 0}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hook);
        Session session({"--fail-register", c.hook});
        const int port = session.Connect();
        ASSERT_GT(port, 0);
        json state = session.State();
        EXPECT_EQ(state["alerts"], json::array({kAlert}));
        EXPECT_EQ(state["hooks"], c.hooks);
        EXPECT_EQ(state["entry_point_result"], 1);
        // No start-up job without an idle hook: the list stays empty. A script is refused
        // at once, the empty one still marks the end of the replies, and work that could
        // never run is not queued: no idle call is even asked for.
        EXPECT_EQ(session.Talk({"L|GetAfterEffectLanguage|", "E|GetInstalledAfterEffectEffects|",
                                "3|ExecuteCommand|2004", "6|InfoPanelCommand|SetInfoText",
                                "S|Script|1", "L|GetAfterEffectLanguage|"}),
                  std::string("L|en_USE|S|") + kNoIdleHookError + "L|en_US");
        state = session.State();
        EXPECT_EQ(state["commands_run"], json::array());
        EXPECT_EQ(state["info"]["line1"], "");
        EXPECT_EQ(state["idle_calls"], 0);
        EXPECT_TRUE(CallsNamed(session.Journal(), "AEGP_CauseIdleRoutinesToBeCalled").empty());
        // The next controller is served.
        session.Connection().Close();
        ASSERT_GT(session.Connect(port), 0);
        EXPECT_EQ(session.Talk({"T|Script|2"}), std::string("T|") + kNoIdleHookError);
        EXPECT_EQ(session.Host().Quit(), 0);
    }
}

TEST(CuebridgeFaults, RefusedAppSuiteGivesAnEmptyLanguageAndServingGoesOn) {
    Session session({"--refuse-suite", "PF AE App Suite:1"}, true);
    ASSERT_GT(session.Connect(), 0);
    EXPECT_EQ(
        session.Talk({"L|GetAfterEffectLanguage|", "S|Script|1+1", "L|GetAfterEffectLanguage|"}),
        "L|S|2L|");
    EXPECT_EQ(session.StoredEffects(), std::string("E|") + kEffectsList);
    EXPECT_EQ(session.State()["suites_held"],
              json::parse(R"([{"name":"AEGP Utility Suite","version":13,"count":1}])"));
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeFaults, ScriptErrorIsTheReplyAndTheStoredEffectsList) {
    Session session({"--script-error", "boom: no host today"});
    ASSERT_GT(session.Connect(), 0);
    EXPECT_EQ(session.Talk({"S|Script|1+1", "T|Script|'ok'"}),
              "S|SCRIPT ERROR: boom: no host todayT|SCRIPT ERROR: boom: no host today");
    EXPECT_EQ(session.StoredEffects(), "E|SCRIPT ERROR: boom: no host today");
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeThreads, StrictSessionHasNoThreadViolations) {
    Session session({"--strict"}, true);
    session.WriteTestScript("app.project.item(6).selected = true;");
    const int port = session.Connect();
    ASSERT_GT(port, 0);
    EXPECT_EQ(session.StoredEffects(), std::string("E|") + kEffectsList);
    EXPECT_EQ(session.Settle({"1|GetAfterEffectLanguage|", "2|ExecuteCommand|2004",
                              "3|InfoPanelCommand|SetInfoText", "4|InfoPanelCommand|SetInfoColor",
                              "5|NavigateCommand|First", "6|NavigateCommand|Next",
                              "7|Script|app.project.item(4).selected = true"}),
              "1|en_US7|true");
    for (const char* command : {"command 2488", "command 2489", "command 2490", "command 2630"})
        EXPECT_EQ(session.Host().Ask(command)["ok"], true) << command;
    EXPECT_EQ(session.StateWhen([](const json& s) { return s["active_item"] == 6; })["active_item"],
              6);

    session.Connection().Close();
    ASSERT_GT(session.Connect(port), 0);
    EXPECT_EQ(session.Settle({"8|Script|app.project.numItems"}), "8|6");

    const json state = session.State();
    EXPECT_EQ(state["thread_violations"]["count"], 0) << state["thread_violations"].dump();
    EXPECT_EQ(state["mem_handles_outstanding"], 0);
    EXPECT_EQ(state["bad_mem_handles"], 0);
    EXPECT_EQ(state["unmatched_releases"], 0);
    EXPECT_EQ(state["suites_held"],
              json::parse(R"([{"name":"AEGP Utility Suite","version":13,"count":1}])"));
    const std::set<std::string> anyThread = {"AEGP_CauseIdleRoutinesToBeCalled",
                                             "PF_AppGetLanguage", "AcquireSuite", "ReleaseSuite"};
    for (const auto& line : session.Journal()) {
        if (line["thread"] != "main") {
            EXPECT_TRUE(anyThread.count(line["call"])) << line.dump();
        }
    }
    EXPECT_EQ(session.Host().Quit(), 0) << session.Host().Stderr();
}

TEST(CuebridgeScripts, ObjectModelErrorsAndTextsThroughTheWire) {
    Session session({"--script-timeout-ms", "300"}, true);
    ASSERT_GT(session.Connect(), 0);
    struct Case {
        std::string script;
        std::string result;
    } cases[] = {
        {"app.project.numItems", "6"},
        {"app.project.items.length", "6"},
        {"app.project.item(2).name + '/' + app.project.item(2).typeName", "Main Comp/Composition"},
        {"app.project.activeItem.id", "2"},
        {"app.effects.length + ' ' + app.effects[2].displayName", "3 A|B"},
        {"app.isoLanguage", "en_US"},
        {"undefined", ""},
        {"var counter = 41", ""},
        {"++counter", "42"},  // one global scope for the host's life
        {"'h\xC3\xA9llo \xE2\x9C\x93 \xF0\x9D\x84\x9E \xF0\x9F\x98\x80'",
         "h\xC3\xA9llo \xE2\x9C\x93 \xF0\x9D\x84\x9E \xF0\x9F\x98\x80"},
        {"'\\uD834\\uDD1E'", "\xF0\x9D\x84\x9E"},  // a pair made in the script
        {"'\\uD800x'", "\xEF\xBF\xBDx"},           // a lone surrogate
        {"'\xE6\x97\xA5\xE6\x9C\xAC'.length", "2"},
        {"nosuch + 1", "SCRIPT ERROR: ReferenceError: identifier 'nosuch' undefined (line 1)"},
        {"throw new Error('custom')", "SCRIPT ERROR: Error: custom (line 1)"},
        {"var a = 1;\rnull.x",
         "SCRIPT ERROR: TypeError: cannot read property 'x' of null (line 2)"},
        {"var = 3", "SCRIPT ERROR: SyntaxError: invalid variable declaration (line 1)"},
        {"app.project.item(99)", "SCRIPT ERROR: RangeError: item index out of range: 99 (line 1)"},
    };
    int tag = 0;
    for (const auto& c : cases) {
        const std::string t = std::to_string(++tag);
        EXPECT_EQ(session.Talk({t + "|Script|" + c.script}), t + "|" + c.result) << c.script;
    }

    EXPECT_EQ(session.Talk({"w|Script|app.project.item(4).selected = true"}), "w|true");
    json state = session.State();
    EXPECT_EQ(SelectedIds(state), (std::vector<int>{2, 4}));  // added to the selection
    EXPECT_EQ(state["active_item"], 4);
    EXPECT_EQ(session.Talk({"r|Script|app.project.item(2).selected = false; "
                            "app.project.selection.length + ':' + app.project.activeItem.name"}),
              "r|1:Interview_B.mov");
    EXPECT_EQ(SelectedIds(session.State()), std::vector<int>{4});

    // A runaway script is stopped at its deadline and the conversation goes on.
    EXPECT_EQ(session.Talk({"loop|Script|while(true){}"})
                  .rfind("loop|SCRIPT ERROR: RangeError: execution timeout", 0),
              0u);
    EXPECT_EQ(session.Talk({"after|Script|1+1", "L|GetAfterEffectLanguage|"}), "after|2L|en_US");
    EXPECT_EQ(session.Host().Quit(), 0);
}

TEST(CuebridgeReconnect, NewPortFileAfterTheControllerLeaves) {
    Session session;
    int port = session.Connect();
    ASSERT_GT(port, 0);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(
            session.Talk({"L|GetAfterEffectLanguage|", "S|Script|1+" + std::to_string(round)}),
            "L|en_USS|" + std::to_string(1 + round));
        session.Connection().Close();
        const int next = session.Connect(port);
        ASSERT_GT(next, 0) << "no new port file";
        EXPECT_NE(next, port);
        port = next;
    }
    EXPECT_EQ(session.Talk({"L|GetAfterEffectLanguage|"}), "L|en_US");
    EXPECT_EQ(session.Host().Quit(), 0);
}

// Two controllers race for one listen cycle: A sends a command and closes, B connects at
// once (a single attempt) and sends one too. B may be refused, which tells it that nothing
// was delivered; a connection let in behind A is served after it. What can still be lost
// is a connect whose handshake the system finishes in the instant between the plug-in's
// last look at the queue and the listener's close (seen only on a loaded machine): at
// most a few in a hundred rounds under load, where the old queue lost nearly every B.
TEST(CuebridgeReconnect, RacingControllerIsServedOrRefusedNeverDropped) {
    Session session;
    constexpr int kRounds = 300;
    std::set<int> sent;  // the commands whose connect and send succeeded
    int port = -1;
    int refused = 0;
    for (int round = 0; round < kRounds; ++round) {
        const auto next = session.Host().WaitForPort(10s, port);
        ASSERT_TRUE(next) << "round " << round;
        port = *next;
        ControllerConnection a;
        ASSERT_TRUE(a.Connect(port));
        ASSERT_TRUE(a.SendLine("a|ExecuteCommand|" + std::to_string(100000 + round)));
        sent.insert(100000 + round);
        a.Close();
        const int b = ConnectOnce(port);
        const std::string line = "b|ExecuteCommand|" + std::to_string(200000 + round) + "\n";
        if (b >= 0 && send(b, line.data(), line.size(), MSG_NOSIGNAL) == ssize_t(line.size()))
            sent.insert(200000 + round);
        else
            ++refused;
        if (b >= 0) close(b);
    }
    const auto ran = [&] {
        std::set<int> commands;
        for (const auto& line : CallsNamed(session.Journal(), "AEGP_DoCommand"))
            commands.insert(line["args"]["command"].get<int>());
        return commands;
    };
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (ran().size() < sent.size() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(20ms);
    const std::set<int> run = ran();
    std::vector<int> lost;
    std::set_difference(sent.begin(), sent.end(), run.begin(), run.end(), std::back_inserter(lost));
    std::printf("[ figures ] %d rounds: %zu commands sent, %d second connects refused, %zu lost\n",
                kRounds, sent.size(), refused, lost.size());
    // A scheduler stall mid-handshake could in principle still lose one; none was seen in
    // thousands of rounds under load, against nearly every round before.
    EXPECT_LE(lost.size(), std::size_t{kRounds / 100})
        << "commands sent but never run, the first " << (lost.empty() ? 0 : lost.front());
    EXPECT_TRUE(std::includes(sent.begin(), sent.end(), run.begin(), run.end()));
    EXPECT_EQ(session.Host().Quit(), 0);
}

// Trace lines reach standard output as they are traced: the host is killed after the
// exchanges, so only lines already written can be read. Without an idle hook, work that
// could never run is dropped with one trace line per connection.
TEST(CuebridgeTraces, LinesAreWrittenAtOnceAndDroppedWorkIsTracedOncePerConnection) {
    HostSimProcess host(HOSTSIM_PATH,
                        {"--plugin", CUEBRIDGE_PLUGIN_PATH, "--fail-register", "idle"}, {},
                        {"enabletraces"});
    int port = -1;
    for (int connection = 0; connection < 2; ++connection) {
        const auto next = host.WaitForPort(10s, port);
        ASSERT_TRUE(next);
        port = *next;
        ControllerConnection controller;
        ASSERT_TRUE(controller.Connect(port));
        ASSERT_TRUE(
            controller.SendBytes("1|ExecuteCommand|1\n2|NavigateCommand|Next\n3|ExecuteCommand|"
                                 "3\nq|GetAfterEffectLanguage\n"));
        EXPECT_EQ(controller.ReadExactly(7), "q|en_US");
    }
    host.Signal(SIGKILL);
    host.WaitExit();
    int replies = 0;
    int dropped = 0;
    while (const auto line = host.ReadLine(2s)) {
        replies += *line == "Sending 7 bytes\r";
        dropped += line->find("work for the host is dropped") != std::string::npos;
    }
    EXPECT_EQ(replies, 2);
    EXPECT_EQ(dropped, 2);
}
