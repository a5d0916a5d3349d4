// The connection's life against the real plug-in: restarts, another controller, a stale port
// file, timeouts, pipelining and batches; and against fake plug-ins that misbehave.
const assert = require("node:assert/strict");
const { spawn } = require("node:child_process");
const { once } = require("node:events");
const fs = require("node:fs");
const net = require("node:net");
const os = require("node:os");
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
  // A port that no socket holds any more.
  const server = net.createServer().listen(0, "127.0.0.1");
  await once(server, "listening");
  const port = server.address().port;
  await new Promise((resolve) => server.close(resolve));
  const client = new Client({ portFile: portFileFor(t, port).file, maxBackoffMs: 50 });
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

// ---- fake plug-ins ----

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A port file in a throw-away folder naming `port`; rewrite(port) names another.
function portFileFor(t, port) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "cuebridge-fake-"));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  const file = path.join(dir, "socket.port");
  const rewrite = (p) => fs.writeFileSync(file, String(p));
  rewrite(port);
  return { file, rewrite };
}

async function listen(t, onConnection) {
  const server = net.createServer(onConnection).listen(0, "127.0.0.1");
  await once(server, "listening");
  t.after(() => server.close());
  return server.address().port;
}

// A port whose connects stay pending: a listener (in a process whose loop is stopped, so it
// accepts nothing) with its queue of one backlog's connections full.
async function stalledPort(t) {
  const child = spawn(process.execPath, ["-e", `
    const server = require("node:net").createServer().listen({ port: 0, host: "127.0.0.1", backlog: 1 }, () => {
      process.stdout.write(server.address().port + "\\n");
      Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 20000);
    });`], { stdio: ["ignore", "pipe", "inherit"] });
  t.after(() => child.kill("SIGKILL"));
  const [line] = await once(child.stdout, "data");
  const port = Number(String(line));
  for (let i = 0; i < 2; i++) {
    const filler = net.createConnection({ host: "127.0.0.1", port });
    t.after(() => filler.destroy());
    await once(filler, "connect");
  }
  return port;
}

// Runs `code` in a fresh Node process (with `Client` defined) and resolves with its output
// lines once it has ended by itself; rejects when it has not after `limitMs`.
async function runClientProcess(code, limitMs, onLine = () => {}) {
  const child = spawn(process.execPath, ["-e", `const { Client } = require(${JSON.stringify(path.join(__dirname, ".."))});\n${code}`],
    { stdio: ["ignore", "pipe", "inherit"] });
  const lines = [];
  child.stdout.setEncoding("utf8").on("data", (text) => text.split("\n").filter(Boolean).forEach((l) => {
    lines.push(l);
    onLine(l);
  }));
  const late = setTimeout(() => child.kill("SIGKILL"), limitMs);
  const [code_, signal] = await once(child, "exit");
  clearTimeout(late);
  assert.equal(signal, null, `the process was still running after ${limitMs} ms: ${lines.join(" / ")}`);
  assert.equal(code_, 0);
  return lines;
}

test("close() while a connect is pending is final, and leaves nothing to keep the process alive", async (t) => {
  const stalled = await stalledPort(t);
  let reached = 0;
  const next = await listen(t, (socket) => {
    reached++;
    socket.destroy();
  });
  const portFile = portFileFor(t, stalled);
  const lines = await runClientProcess(`
    const client = new Client({ portFile: ${JSON.stringify(portFile.file)}, connectTimeoutMs: 300 });
    client.connect().catch((e) => console.log("connect", e.code));
    setTimeout(() => { client.close(); console.log("closed"); }, 200);
    process.on("exit", () => console.log("at exit", client.state));`,
  3_000, (line) => line === "closed" && portFile.rewrite(next));
  assert.deepEqual(lines, ["closed", "connect connection", "at exit closed"]);
  assert.equal(reached, 0);
});

test("a peer that accepts and closes at once is retried with the back-off", async (t) => {
  let connects = 0;
  const port = await listen(t, (socket) => {
    connects++;
    socket.destroy();
  });
  const client = new Client({ portFile: portFileFor(t, port).file });
  t.after(() => client.close());
  client.connect().catch(() => {});
  await sleep(1_000);
  // 10 ms doubled up to 1 s: 7 attempts in the first second.
  assert.ok(connects <= 10, `${connects} connects in 1 s`);
});

test("an endless reply holds the process to the reply bound", async (t) => {
  const bound = 64 * 1024 * 1024;
  const port = await listen(t, (socket) => {
    socket.on("error", () => {});
    socket.once("data", (line) => {
      socket.write(`${String(line).slice(0, 16)}|`);
      const piece = Buffer.alloc(1024 * 1024, "x");
      const pump = () => {
        while (!socket.destroyed && socket.write(piece));
        socket.once("drain", pump);
      };
      pump();
    });
  });
  const [error, grew] = await runClientProcess(`
    const client = new Client({ portFile: ${JSON.stringify(portFileFor(t, port).file)}, maxReplyBytes: ${bound} });
    client.connect().then(async () => {
      const before = process.resourceUsage().maxRSS * 1024;
      await client.script("1").catch((e) => console.log(e.code));
      console.log(process.resourceUsage().maxRSS * 1024 - before);
      await client.close();
    });`, 30_000);
  assert.equal(error, "protocol");
  assert.ok(Number(grew) < 1.25 * bound, `the process grew by ${Number(grew) >> 20} MiB for a bound of ${bound >> 20} MiB`);
});
