// The controller helpers against the real plug-in: jog, script template, polling.
const assert = require("node:assert/strict");
const { test } = require("node:test");

const { literal, template, useHost } = require("..");

// The README's jog step: the active composition's playhead moves by whole frames, within it.
const move = (frames) => template`
  var c = app.project.activeItem;
  if (c instanceof CompItem) {
    var last = Math.round(c.duration / c.frameDuration) - 1;
    c.time = Math.max(0, Math.min(last, Math.round(c.time / c.frameDuration) + ${frames})) * c.frameDuration;
  }`;

test("a fast spin goes out as fewer, larger steps and loses no tick", async (t) => {
  const { client, journal } = await useHost(t);
  const deltas = [];
  const jog = client.jog((frames) => {
    deltas.push(frames);
    return client.script(move(frames));
  });
  const ticks = [];
  for (let i = 0; i < 300; i++) {
    ticks.push(jog.tick(i % 7 === 3 ? -1 : 1));
  }
  await Promise.all(ticks);
  const expected = ticks.length - 2 * Math.floor((ticks.length + 3) / 7);
  assert.ok(deltas.length < ticks.length / 10, `${deltas.length} steps for ${ticks.length} ticks`);
  assert.equal(deltas.reduce((a, b) => a + b, 0), expected);
  const frame = "var c = app.project.activeItem; Math.round(c.time / c.frameDuration)";
  assert.equal(await client.script(frame), String(expected));
  assert.equal(journal.scripts().filter((s) => s.script.includes("c.time = Math.max")).length, deltas.length);
  await jog.idle();
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
