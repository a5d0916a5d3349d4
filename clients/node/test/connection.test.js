// The connection's life against the real plug-in: restarts, another controller, a stale port
// file, timeouts, pipelining and batches.
const assert = require("node:assert/strict");
const fs = require("node:fs");
const net = require("node:net");
const path = require("node:path");
const { test } = require("node:test");

const { Client, ConnectionError, TimeoutError, readPortFile, useHost } = require("..");

// Resolves with the first state change that `predicate` accepts (or the current state);
// rejects after a few seconds with the state the client is in.
function stateReached(client, predicate, timeoutMs = 5_000) {
  if (predicate({ state: client.state, reason: client.reason })) {
    return Promise.resolve({ state: client.state, reason: client.reason });
  }
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      client.off("state", listener);
      reject(new Error(`state still ${client.state}: ${client.reason}`));
    }, timeoutMs);
    const listener = (change) => {
      if (predicate(change)) {
        clearTimeout(timer);
        client.off("state", listener);
        resolve(change);
      }
    };
    client.on("state", listener);
  });
}

test("host restarted under a connected client", async (t) => {
  let sent;
  const written = new Promise((resolve) => (sent = resolve));
  const log = (direction, text) => direction === ">>" && text.endsWith("|Script|while (true) {}") && sent();
  const host = await useHost(t, { client: { maxBackoffMs: 50, log } });
  const { client } = host;
  const firstPort = readPortFile(host.portFile).port;
  const inFlight = assert.rejects(client.script("while (true) {}"), (e) => e instanceof ConnectionError && e.code === "connection");
  await written;
  await host.kill();
  await inFlight;
  host.launch();
  await stateReached(client, (c) => c.state === "connected");
  assert.equal(await client.language(), "en_US");
  assert.notEqual(readPortFile(host.portFile).port, firstPort);
});

test("another controller holds the plug-in, then lets go", async (t) => {
  const host = await useHost(t, { client: { maxBackoffMs: 50 } });
  await host.client.close();
  const port = await new Promise((resolve) => {
    const poll = setInterval(() => {
      const content = readPortFile(host.portFile);
      if (content.status === "ok") {
        clearInterval(poll);
        resolve(content.port);
      }
    }, 10);
  });
  const other = net.createConnection({ host: "127.0.0.1", port });
  await new Promise((resolve) => other.once("connect", resolve));
  const client = new Client({ portFile: host.portFile, maxBackoffMs: 50 });
  t.after(() => client.close());
  const connected = client.connect();
  const held = await stateReached(client, (c) => c.state === "held");
  assert.match(held.reason, new RegExp(`port ${port}`));
  other.end();
  await connected;
  assert.equal(await client.language(), "en_US");
});

test("a stale port file is recognised", async (t) => {
  const dir = fs.mkdtempSync(path.join(require("node:os").tmpdir(), "cuebridge-stale-"));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  // A port that no socket holds any more.
  const server = net.createServer().listen(0, "127.0.0.1");
  await new Promise((resolve) => server.once("listening", resolve));
  const port = server.address().port;
  await new Promise((resolve) => server.close(resolve));
  const portFile = path.join(dir, "socket.port");
  fs.writeFileSync(portFile, String(port));
  const client = new Client({ portFile, maxBackoffMs: 50 });
  t.after(() => client.close());
  client.connect().catch(() => {});
  const stale = await stateReached(client, (c) => c.state === "disconnected" && /stale/.test(c.reason));
  assert.match(stale.reason, new RegExp(`port ${port}`));
  await assert.rejects(client.language({ timeoutMs: 100 }), ConnectionError);
});

test("a call past its time limit fails with a timeout and the next call succeeds", async (t) => {
  const { client } = await useHost(t, { client: { maxBackoffMs: 50 } });
  const slow = client.script("var t0 = new Date().getTime(); while (new Date().getTime() - t0 < 1500) {}; 'late'", { timeoutMs: 200 });
  const behind = client.language({ timeoutMs: 200 });
  await assert.rejects(slow, (e) => e instanceof TimeoutError && e.code === "timeout");
  await assert.rejects(behind, TimeoutError);
  assert.equal(await client.language({ timeoutMs: 10_000 }), "en_US");
});

test("10,000 pipelined commands and a batch all run, in order", async (t) => {
  const writes = [];
  const { client, journal } = await useHost(t, {
    // Empty lines (acknowledgements) aside; every write ends with one empty script.
    client: { log: (direction, text) => direction === ">>" && text !== "" && writes.push(text) },
  });
  const numbers = Array.from({ length: 10_000 }, (_, i) => 100_000 + i);
  await Promise.all(numbers.map((n) => client.executeCommand(n)));

  writes.length = 0;
  const results = await client.batch([
    { keyword: "ExecuteCommand", argument: "7001" },
    { keyword: "Script", argument: "'between'" },
    { keyword: "ExecuteCommand", argument: "7002" },
    { keyword: "GetAfterEffectLanguage" },
  ]);
  assert.deepEqual(results, [undefined, "between", undefined, "en_US"]);
  // The four requests and one closing empty script: one write.
  assert.equal(writes.length, 5);
  assert.match(writes[4], /^[0-9a-f]{16}\|Script\|$/);

  await journal.waitFor(() => journal.commandsRun().length >= numbers.length + 2);
  assert.deepEqual(journal.commandsRun().filter((n) => n >= 100_000), numbers);
  const records = journal.records();
  const order = records
    .filter((r) => (r.call === "AEGP_DoCommand" && r.args.command > 7000 && r.args.command < 7003) ||
      (r.call === "AEGP_ExecuteScript" && r.args.script === "'between'"))
    .map((r) => r.args.command ?? r.args.script);
  assert.deepEqual(order, [7001, "'between'", 7002]);
});
