// The controller helpers against the real plug-in: jog, script template, polling; and the
// README's examples, run as written.
const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const { EventEmitter } = require("node:events");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { test } = require("node:test");

const { literal, template, useHost } = require("..");

const examples = [...fs.readFileSync(path.join(__dirname, "../README.md"), "utf8").matchAll(/```js\n([\s\S]*?)```/g)]
  .map((m) => m[1]);

test("the README has the two examples run below", () => assert.equal(examples.length, 2));

test("the README's jog: a fast spin goes out as fewer, larger steps and loses no tick", async (t) => {
  const host = await useHost(t);
  await host.client.close(); // the example makes the plug-in's one connection
  const startJog = new Function("require", `${examples[0]}\nreturn startJog;`)((name) =>
    name === "cuebridge" ? require("..") : require(name));
  const wheel = new EventEmitter();
  const home = process.env.HOME;
  process.env.HOME = host.home; // connect() finds the port file under $HOME at once
  const started = startJog(wheel);
  process.env.HOME = home;
  const client = await started;
  t.after(() => client.close());
  let expected = 0;
  for (let i = 0; i < 300; i++) {
    expected += i % 7 === 3 ? -1 : 1;
    wheel.emit("tick", i % 7 === 3 ? -1 : 1);
  }
  const frame = "var c = app.project.activeItem; Math.round(c.time / c.frameDuration)";
  const deadline = Date.now() + 5_000;
  while ((await client.script(frame)) !== String(expected)) {
    assert.ok(Date.now() < deadline, "the playhead did not reach the ticks' sum");
  }
  const steps = host.journal.scripts().filter((s) => s.script.includes("c.time = Math.max")).length;
  assert.ok(steps >= 1 && steps < 30, `${steps} steps for 300 ticks`);
});

test("the README's test example passes", (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "cuebridge-example-"));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  fs.mkdirSync(path.join(dir, "node_modules"));
  fs.symlinkSync(path.join(__dirname, ".."), path.join(dir, "node_modules", "cuebridge"));
  fs.writeFileSync(path.join(dir, "example.test.js"), examples[1]);
  const hostsim = path.resolve(__dirname, "../../../build/default/bin/cuebridge-hostsim");
  // Without this runner's context, the example's runner reports its own result in its exit code.
  const { NODE_TEST_CONTEXT: _, ...env } = process.env;
  execFileSync(process.execPath, ["--test", "example.test.js"], {
    cwd: dir,
    env: { ...env, CUEBRIDGE_HOSTSIM: process.env.CUEBRIDGE_HOSTSIM ?? hostsim },
    stdio: "pipe",
    timeout: 60_000,
  });
});

test("a failed jog step rejects the ticks it carried", async (t) => {
  const { client } = await useHost(t);
  const jog = client.jog((delta) => client.script(template`throw new Error('step ' + ${delta})`));
  await assert.rejects(jog.tick(2), (e) => e.code === "script" && e.scriptMessage === "Error: step 2 (line 1)");
});

test("hostile values stay inside their literals", async (t) => {
  const { client } = await useHost(t);
  const hostile = [
    "'", '"', "\\", "\\'", "\n", "\r", "\r\n", "|", "*|*", "a|Script|b", "\u2028", "\u2029", "\0",
    "'; throw new Error('out'); '", "\" + x + \"", "\t\x0b\f\x1b", "\x7f", "été 🎬", "\ud800",
    " HTTP/1.1", "\\u0027", "</script>", "",
  ];
  for (const value of hostile) {
    const script = template`var s = ${value}; s.length + ':' + escape(s)`;
    assert.ok(!/[\n\0]/.test(script));
    assert.equal(await client.script(script), `${value.length}:${escape(value)}`, JSON.stringify(value));
  }
  assert.equal(await client.script(template`${[1.5, -2, -0, true, null, "x"]}.join('/')`), "1.5/-2/0/true//x");
  assert.equal(await client.script(`${literal(undefined)} === undefined && 1 / ${literal(-0)}`), "-Infinity");
  assert.throws(() => literal({}), TypeError);
});

test("polling reports values and runs again at once after a reconnect", async (t) => {
  const host = await useHost(t, { client: { maxBackoffMs: 50 } });
  const { client } = host;
  const values = [];
  let onValue = () => {};
  const poller = client.poll((c) => c.script("app.project.numItems"), { intervalMs: 60_000 });
  t.after(() => poller.stop());
  poller.on("error", () => {});
  poller.on("value", (v) => {
    values.push(v);
    onValue();
  });
  const next = () => new Promise((resolve) => (onValue = resolve));
  await next();
  // Long before the interval is over, a restart of the host makes it run again.
  await host.kill();
  host.launch();
  await next();
  assert.deepEqual(values, ["6", "6"]);
});
