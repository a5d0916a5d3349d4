// The script environment through the host's script runner: each call's answer, the dialogs'
// and keys' configured answers, the files outside the home refused, $.sleep stopped by the
// time limit, and scheduled tasks run when due and not once cancelled.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/Clock.h"
#include "console/Console.h"
#include "core/Catalog.h"
#include "core/Host.h"
#include "scripting/Directives.h"
#include "view/ViewModel.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// A host whose HOME is a fresh folder, with a symlink out of it and a FIFO in it.
struct HomeHost {
    const bool hadHome = std::getenv("HOME") != nullptr;
    const std::string before = hadHome ? std::getenv("HOME") : "";
    fs::path home;
    std::unique_ptr<hostsim::Host> host;

    explicit HomeHost(hostsim::Options options = {}, json environment = nullptr) {
        char pattern[] = "/tmp/cb-env-XXXXXX";
        home = mkdtemp(pattern);
        setenv("HOME", home.c_str(), 1);
        fs::create_directory_symlink("/tmp", home / "out");
        mkfifo((home / "pipe").c_str(), 0600);
        auto project = hostsim::BuiltInProject();
        project.environment = std::move(environment);
        host =
            std::make_unique<hostsim::Host>(std::move(options), hostsim::BuiltInEffects(), project);
        host->GetJournal().KeepInMemory();
    }
    ~HomeHost() {
        fs::remove_all(home);
        if (hadHome) setenv("HOME", before.c_str(), 1);
    }
    std::string Run(const std::string& script) {
        const auto outcome = host->RunScript(script);
        return outcome.error.empty() ? outcome.result : "!" + outcome.error;
    }
    json Records(const std::string& call) const {
        json out = json::array();
        for (const auto& line : host->GetJournal().Lines())
            if (line["call"] == call) out.push_back(line["args"]);
        return out;
    }
};

TEST(ScriptEnvironment, EachCallAnswersAsTheGuideSays) {
    HomeHost h;
    const auto param = [](const char* method, int n, const std::string& problem) {
        return std::string("!Error: Unable to call \"") + method + "\" because of parameter " +
               std::to_string(n) + ". " + problem + " (line 1)";
    };
    const struct {
        std::string script, answer;
    } cases[] = {
        {"timeToCurrentFormat(0.5, 24) + ' ' + timeToCurrentFormat(3723.5, 30)",
         "0:00:00:12 1:02:03:15"},
        {"[currentFormatToTime('0:00:12', 24), currentFormatToTime('0:00:12', 30), "
         "currentFormatToTime('1:02:03:15', 30)].join()",
         "0.5,0.4,3723.5"},
        {"currentFormatToTime('0:0x:12', 24)",
         param("currentFormatToTime", 1,
               "Value is not a time of the form H:MM:SS:FF (\"0:0x:12\").")},
        {"timeToCurrentFormat(1, 0)",
         param("timeToCurrentFormat", 2, "Value 0 out of range 1 to 999.")},
        {"var l = app.project.item(2).layer(1), was = isValid(l); l.remove();"
         "[was, isValid(l), isValid(app.project.item(2)), isValid(null), isValid({})].join()",
         "true,false,true,false,true"},
        {"var r = generateRandomNumber(); r >= 0 && r <= 1 && r !== generateRandomNumber()",
         "true"},
        {"getEnumAsString(5220)", "BlendingMode.ADD"},
        {"[typeof $.global.app, $.engineName, String($), $.level = 2, $.level].join()",
         "object,main,[object $],2,2"},
        {"$.os = 'x'", "!Error: Unable to set \"os\". It is read-only. (line 1)"},
        {"\n$.line", "2"},
        {"function inner() { return $.stack; } function outer() { var s = inner(); return s; } "
         "outer()",
         "[script]\nouter()\ninner()\n"},
        {"$.setenv('CB_ENV_TEST', 'y'); $.getenv('CB_ENV_TEST') + $.getenv('CB_ENV_UNSET')",
         "ynull"},
        {"$.error = 'raised'", "!Error: raised (line 1)"},
        {"var s = app.settings; s.saveSetting('Ctl', 'step', 5);"
         "[s.haveSetting('Ctl', 'step'), typeof s.getSetting('Ctl', 'step'), "
         "s.haveSetting('Ctl', 'other')].join()",
         "true,string,false"},
        {"app.settings.getSetting('Ctl', 'none')",
         param("getSetting", 2, "There is no setting \"none\" in section \"Ctl\".")},
        {"var v = 'x'; while (v.length < 2000) v += v; app.settings.saveSetting('Ctl', 'big', v)",
         param("saveSetting", 3, "The value is longer than 1999 bytes.")},
        {"[confirm('Go?'), confirm('Go?', true), prompt('Name', 'Logo'), prompt('Name')].join('|')",
         "true|false|Logo|"},
        {"var k = ScriptUI.environment.keyboardState; [k.shiftKey, k.altKey, k.keyName].join()",
         "false,false,"},
        {"system.callSystem('echo hi')",
         "!Error: Unable to call \"callSystem\" because the simulated host runs no system command "
         "unless started with --allow-call-system. (line 1)"},
        {"[app.isRenderEngine, app.exitCode = 3, app.exitCode, typeof app.memoryInUse].join()",
         "false,3,3,number"},
        {"$.sleep('x')", param("sleep", 1, "Value is not a number.")},
    };
    for (const auto& c : cases) EXPECT_EQ(h.Run(c.script), c.answer) << c.script;
}

// What scripts write reaches the journal a line at a time ($.write's unfinished line as the
// script ends), and so do the dialogs; an alert is the host's alert.
TEST(ScriptEnvironment, OutputAndDialogsAreJournaledALineEach) {
    HomeHost h;
    ASSERT_EQ(h.Run("$.writeln('a', 1); $.write('b'); $.write('c\\nd'); writeLn('info');"
                    "clearOutput(); alert('Saved', 'Ctl'); confirm('Go?'); $.write('tail')"),
              "");
    EXPECT_EQ(h.Records("Script.output"), json::parse(R"([
        {"to": "console", "text": "a1"}, {"to": "console", "text": "bc"},
        {"to": "info", "text": "info"}, {"to": "info", "cleared": true},
        {"to": "console", "text": "dtail"}])"));
    EXPECT_EQ(h.Records("Script.alert"), json::parse(R"([{"text": "Saved", "title": "Ctl"}])"));
    EXPECT_EQ(h.Records("Script.confirm").size(), 1u);
    EXPECT_EQ(h.host->RecordsCopy().alerts, std::vector<std::string>{"Saved"});
    // The live view's log shows them, newest first.
    const json log = hostsim::ViewModel(*h.host, "").Build(hostsim::MonotonicMicros())["log"];
    std::string shown;
    for (const auto& row : log)
        if (row["kind"] == "output") shown += row.value("text", "(cleared)") + " ";
    EXPECT_EQ(shown, "dtail (cleared) info bc a1 ");
}

// confirm/prompt answers and the keys: options win over the project file, which wins over the
// default; the shift-jog controller script branches on Shift.
TEST(ScriptEnvironment, DialogAnswersAndKeysComeFromOptionsOrTheProjectFile) {
    std::ifstream file(EXAMPLES_DIR "/scripts/shift-jog.jsx");
    const std::string jog{std::istreambuf_iterator<char>(file), {}};
    const std::string dialogs = "confirm('Go?') + '|' + prompt('Name', 'Logo')";
    hostsim::Options noCancel;
    noCancel.confirmAnswer = "no";
    noCancel.promptCancel = true;
    hostsim::Options shift;
    shift.keysSet = true;
    shift.keys = "shift,meta";
    const json project =
        json::parse(R"({"keys": ["alt"], "dialogs": {"confirm": false, "prompt": "Title"}})");
    const struct {
        hostsim::Options options;
        json environment;
        std::string dialogs, jog, keys;
    } cases[] = {
        {{}, nullptr, "true|Logo", "1", "false,false,false"},
        {noCancel, nullptr, "false|null", "1", "false,false,false"},
        {{}, project, "false|Title", "1", "false,true,false"},
        {shift, project, "false|Title", "10", "true,false,true"},
    };
    for (const auto& c : cases) {
        HomeHost h(c.options, c.environment);
        EXPECT_EQ(h.Run(dialogs), c.dialogs);
        EXPECT_EQ(h.Run(jog), c.jog);
        EXPECT_EQ(h.Run("var k = ScriptUI.environment.keyboardState; "
                        "[k.shiftKey, k.altKey, k.metaKey].join()"),
                  c.keys);
    }
    // The console's `keys` holds them from then on.
    HomeHost h;
    hostsim::Console console(*h.host);
    EXPECT_EQ(json::parse(console.Handle("keys shift"))["ok"], true);
    EXPECT_EQ(h.Run(jog), "10");
    EXPECT_EQ(json::parse(console.Handle("keys hyper"))["error"],
              "keys: unknown key \"hyper\" (shift, ctrl, alt, meta, key:NAME or none)");
    EXPECT_THROW(hostsim::ParseEnvironmentSetup(json::parse(R"({"keys": "hyper"})")),
                 std::invalid_argument);
}

// Reading and writing in the home, and every way out of it refused the host's way: the call
// fails and `error` says why.
TEST(ScriptEnvironment, FilesWorkInTheHomeAndAreRefusedOutsideIt) {
    HomeHost h;
    std::ofstream(h.home.parent_path() / (h.home.filename().string() + "-outside")) << "secret";
    const std::string outside =
        "false|Permission denied: outside the host's home (" + h.home.string() + ")";
    const std::string open =
        "function tryOpen(p, m) { var f = new File(p); "
        "return f.open(m) + '|' + f.error; } ";
    const struct {
        std::string script, answer;
    } cases[] = {
        {"var f = new File('~/a b.txt'); f.open('w'); f.writeln('one'); f.write('two');"
         "f.close(); f.open('r'); var x = [f.readln(), f.eof, f.readln(), f.eof, f.length];"
         "f.close(); x.join()",
         "one,false,two,true,7"},
        {"var f = File('~/a b.txt'); [f.exists, f.name, f.displayName, f.absoluteURI, "
         "f.fsName === Folder('~').fsName + '/a b.txt', f.parent.absoluteURI, "
         "f instanceof File].join()",
         "true,a%20b.txt,a b.txt,~/a%20b.txt,true,~,true"},
        {"var d = new Folder('~/d/e'); d.create(); var f = new File('~/d/x.jsx'); f.open('w');"
         "f.close(); new File('~/d/y.txt').open('w'); var l = Folder('~/d').getFiles('*.jsx');"
         "[l.length, l[0].name, Folder('~/d').getFiles().length, "
         "Folder('~/d').getFiles()[0] instanceof Folder].join()",
         "1,x.jsx,3,true"},
        {"Folder.current = '~/d'; var f = new File('z.txt'); f.open('w'); f.close();"
         "[f.absoluteURI, f.rename('w.txt'), f.name, new File('~/d/z.txt').exists, f.remove(),"
         "f.exists].join()",
         "~/d/z.txt,true,w.txt,false,true,false"},
        {"var f = new File('~/c.bin'); f.encoding = 'BINARY'; f.open('w'); f.write('\\u00ff\\n');"
         "f.close(); f.open('r'); var n = f.read(); f.close(); [f.length, n.charCodeAt(0)].join()",
         "2,255"},
        {open + "tryOpen('~/../' + Folder('~').name + '-outside', 'r')", outside},
        {open + "tryOpen('/etc/passwd', 'r')", outside},
        {open + "tryOpen('~/out/cb-env-escape.txt', 'w')", outside},
        {open + "tryOpen('~/d/../../x', 'w')", outside},
        {"var f = new File(); f.open('w'); f.write('var n = 40;\\nn + 2'); f.close();"
         "[$.evalFile(f.fsName), n, f.parent.fsName === Folder.temp.fsName].join()",
         "42,40,true"},
        {"$.evalFile('/etc/passwd')",
         "!Error: Permission denied: outside the host's home (" + h.home.string() + ") (line 1)"},
        {open + "tryOpen('~/pipe', 'r')", "false|Cannot open: not a regular file"},
        {open + "tryOpen('~/missing.txt', 'r')", "false|File or folder does not exist"},
        {open + "tryOpen('~/a\\u0000b', 'w')",
         "false|Permission denied: not a path in the host's home"},
        {"var f = new File('~/a b.txt'); [f.rename('../x'), f.error, f.read(), f.error].join('|')",
         "false|Cannot rename||I/O device is not open"},
        {"[Folder('~/..').getFiles(), Folder('~/out').create(), Folder('~').remove()].join()",
         ",false,false"},
        {"Folder.current = '/tmp'",
         "!Error: Unable to set \"current\". Permission denied: outside the host's home (" +
             h.home.string() + ") (line 1)"},
    };
    for (const auto& c : cases) EXPECT_EQ(h.Run(c.script), c.answer) << c.script;
    EXPECT_FALSE(fs::exists("/tmp/cb-env-escape.txt"));
    fs::remove(h.home.parent_path() / (h.home.filename().string() + "-outside"));
}

// $.sleep sleeps, and an allowed system command runs, but no longer than the script may run.
TEST(ScriptEnvironment, SleepAndCommandsEndAtTheScriptsTimeLimit) {
    hostsim::Options options;
    options.scriptTimeoutMs = 300;
    options.allowCallSystem = true;
    HomeHost h(options);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(h.Run("$.sleep(50); 'woke'"), "woke");
    EXPECT_EQ(h.Run("$.setenv('CB_ENV_TEST', 'y'); system.callSystem('pwd; echo $CB_ENV_TEST')"),
              h.home.string() + "\ny\n");
    EXPECT_EQ(h.Run("$.sleep(20000); 'woke'"), "!RangeError: execution timeout (line 1)");
    EXPECT_EQ(h.Run("system.callSystem('sleep 20'); 'done'"),
              "!RangeError: execution timeout (line 1)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// A task runs at the first turn after its delay; a repeating one again each period until it is
// cancelled; a cancelled one never; a task's error is journaled.
TEST(ScriptEnvironment, ScheduledTasksRunWhenDueUntilCancelled) {
    HomeHost h;
    ASSERT_EQ(h.Run("app.scheduleTask('$.writeln(\"once\")', 1000, false);"
                    "var never = app.scheduleTask('$.writeln(\"never\")', 0);"
                    "app.cancelTask(never); app.cancelTask(99);"
                    "app.scheduleTask('throw new Error(\"boom\")', 300);"
                    "app.scheduleTask('$.writeln(\"again\")', 500, true)"),
              "4");
    const auto t0 = hostsim::MonotonicMicros();  // every task was scheduled before
    const auto lines = [&] {
        std::string out;
        for (const auto& r : h.Records("Script.output")) out += r["text"].get<std::string>() + " ";
        return out;
    };
    const struct {
        std::int64_t atMs;
        std::string before, lines;
    } steps[] = {
        {100, "", ""},
        {600, "", "again "},
        {2000, "", "again once again "},
        {3000, "app.cancelTask(4)", "again once again "},
        {10000, "", "again once again "},
    };
    for (const auto& s : steps) {
        if (!s.before.empty()) h.Run(s.before);
        h.host->RunDueTasks(t0 + s.atMs * 1000);
        EXPECT_EQ(lines(), s.lines) << s.atMs;
    }
    const auto tasks = h.Records("Script.task");
    ASSERT_EQ(tasks.size(), 4u);
    EXPECT_EQ(h.host->GetJournal().Lines().back()["call"], "Script.cancelTask");
    bool boom = false;
    for (const auto& line : h.host->GetJournal().Lines())
        boom = boom ||
               (line["call"] == "Script.task" && line["result"]["error"] == "Error: boom (line 1)");
    EXPECT_TRUE(boom);
}

// The preprocessor's directives: the ones naming an engine or target are dropped, keeping the
// lines after at their numbers; #include reads files of the home only, afresh on each run.
TEST(ScriptEnvironment, DirectivesAreCarriedOutOrDropped) {
    HomeHost h;
    const auto put = [&](const char* name, const char* text) {
        fs::create_directories((h.home / name).parent_path());
        std::ofstream(h.home / name) << text;
    };
    put("lib/a.jsx", "var A = 5;\n");
    put("lib/b.jsx", "#include 'a.jsx'\nvar B = A * 2;");
    put("self.jsx", "#include \"self.jsx\"\n");
    const struct {
        std::string script, answer;
    } cases[] = {
        {"#target aftereffects\n  #targetengine main\n//@target x\n#strict on\n1 + 1", "2"},
        {"#target aftereffects\r#script \"x\"\rnope()",
         "!ReferenceError: identifier 'nope' undefined (line 3)"},
        {"#include \"lib/b.jsx\";\nB", "10"},
        {"//@include 'lib/a.jsx'\n// @include lib/a.jsx;\nA", "5"},
        {"#includepath \"nowhere;lib\"\n#include\"a.jsx\"\nA", "5"},
        {"#include 'self.jsx'", "!Error: #include \"self.jsx\": the file includes itself"},
        {"#include '/etc/hostname'\n1",
         "!Error: #include \"/etc/hostname\": Permission denied: outside the host's home (" +
             h.home.string() + ")"},
        {"#include\n1", "!Error: #include names no file"},
        {"#inc 'lib/a.jsx'\n1", "!SyntaxError: invalid token (line 1)"},
        {"var s = '#include \"x\"'; s.length", "12"},
    };
    for (const auto& c : cases) EXPECT_EQ(h.Run(c.script), c.answer) << c.script;
    EXPECT_EQ(h.Run("#include 'lib/a.jsx'\nA"), "5");
    put("lib/a.jsx", "var A = 6;\n");
    EXPECT_EQ(h.Run("#include 'lib/a.jsx'\nA"), "6");
    // A file included over and over stops at the bound rather than exhausting memory.
    const hostsim::IncludeReader big = [](const std::string&, const std::string&, std::string&) {
        return std::optional<hostsim::IncludedFile>({"/h/big.jsx", std::string(3 << 20, ' ')});
    };
    EXPECT_EQ(
        hostsim::ExpandDirectives("#include 'big.jsx'\n#include 'big.jsx'", big, 5 << 20).error,
        "#include \"big.jsx\": the script would be more than 5 MiB with its included files");
}

}  // namespace
