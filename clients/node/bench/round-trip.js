// The library beside a raw socket, in one run against the simulated host: query round trip,
// script round trip, pipelined commands per second. Rounds alternate between the two so that
// a noisy machine weighs on both alike; round trips are the median of every call, and the
// spread of the per-round differences shows how far one round can stray.
//   node bench/round-trip.js [rounds]     (after npm run build; needs build/default)
const net = require("node:net");
const { randomBytes } = require("node:crypto");

const { Client, readPortFile, startHost } = require("..");

const ROUNDS = Number(process.argv[2] ?? 7);
const QUERIES = 500;
const SCRIPTS = 200;
const COMMANDS = 10_000;

// The least a raw client must do: a tag per request, an empty script after it, reading until
// the bytes end with that script's reply.
class RawSocket {
  static async open(portFile) {
    for (;;) {
      const content = readPortFile(portFile);
      if (content.status === "ok") {
        const socket = net.createConnection({ host: "127.0.0.1", port: content.port });
        const ok = await new Promise((resolve) => {
          socket.once("connect", () => resolve(true));
          socket.once("error", () => resolve(false));
        });
        if (ok) {
          socket.setNoDelay(true);
          return new RawSocket(socket);
        }
      }
      await new Promise((resolve) => setTimeout(resolve, 10));
    }
  }
  constructor(socket) {
    this.socket = socket;
    this.received = "";
    this.waiting = null;
    socket.on("data", (chunk) => {
      this.received += chunk.toString("latin1");
      if (this.waiting && this.received.endsWith(this.waiting.marker)) {
        const { resolve } = this.waiting;
        this.waiting = null;
        const reply = this.received;
        this.received = "";
        resolve(reply);
      }
    });
  }
  exchange(lines) {
    const fence = randomBytes(8).toString("hex");
    return new Promise((resolve) => {
      this.waiting = { marker: `${fence}|`, resolve };
      this.socket.write(`${lines}${fence}|Script|\n`);
    });
  }
  close() {
    return new Promise((resolve) => {
      this.socket.once("close", resolve);
      this.socket.end();
    });
  }
}

// Each call's own round trip, in microseconds.
async function timeEach(count, fn) {
  const times = [];
  for (let i = 0; i < count; i++) {
    const start = process.hrtime.bigint();
    await fn(i);
    times.push(Number(process.hrtime.bigint() - start) / 1e3);
  }
  return times;
}

async function timeOnce(fn) {
  const start = process.hrtime.bigint();
  await fn();
  return Number(process.hrtime.bigint() - start) / 1e9;
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

const BLOCKS = 3;  // pipelined blocks per round and side

async function main() {
  const host = await startHost({ client: { log: null } });
  await host.client.close();
  const sides = ["library", "raw"];
  // Per side: every call's round trip, and each round's median (for the spread).
  const figures = Object.fromEntries(
    sides.map((side) => [side, { query: [], script: [], commands: [], roundQuery: [], roundScript: [] }]),
  );
  const tag = () => randomBytes(8).toString("hex");
  const record = (side, queries, scripts, rates) => {
    const f = figures[side];
    f.query.push(...queries);
    f.script.push(...scripts);
    f.commands.push(...rates);
    f.roundQuery.push(median(queries));
    f.roundScript.push(median(scripts));
  };
  for (let round = 0; round < ROUNDS; round++) {
    const client = new Client({ portFile: host.portFile, log: null });
    await client.connect();
    const libQueries = await timeEach(QUERIES, () => client.language());
    const libScripts = await timeEach(SCRIPTS, () => client.script("1"));
    const libRates = [];
    for (let b = 0; b < BLOCKS; b++) {
      libRates.push(
        COMMANDS / (await timeOnce(() => Promise.all(Array.from({ length: COMMANDS }, () => client.executeCommand(4000))))),
      );
    }
    await client.close();
    record("library", libQueries, libScripts, libRates);

    const raw = await RawSocket.open(host.portFile);
    const rawQueries = await timeEach(QUERIES, () => raw.exchange(`${tag()}|GetAfterEffectLanguage|\n`));
    const rawScripts = await timeEach(SCRIPTS, () => raw.exchange(`${tag()}|Script|1\n`));
    const rawRates = [];
    for (let b = 0; b < BLOCKS; b++) {
      rawRates.push(
        COMMANDS / (await timeOnce(() => {
          let lines = "";
          for (let i = 0; i < COMMANDS; i++) {
            lines += `${tag()}|ExecuteCommand|4000\n`;
          }
          return raw.exchange(lines);
        })),
      );
    }
    await raw.close();
    record("raw", rawQueries, rawScripts, rawRates);
  }
  await host.stop();

  const signed = (value) => `${Math.round(value) >= 0 ? "+" : ""}${Math.round(value)}`;
  const spread = (values) => `${signed(Math.min(...values))}..${signed(Math.max(...values))}`;
  const row = (name, unit, lib, raw, verdict, range) =>
    console.log(`${name.padEnd(24)} ${lib.toFixed(0).padStart(10)} ${raw.toFixed(0).padStart(10)} ${unit.padEnd(4)} ${verdict.padEnd(22)} ${range}`);
  console.log(`${ROUNDS} alternating rounds (library, raw socket; Node ${process.version}); medians of every call, and of each round`);
  console.log(`${"".padEnd(24)} ${"library".padStart(10)} ${"raw".padStart(10)}`);
  for (const [name, key, count] of [["query round trip", "query", QUERIES], ["script round trip", "script", SCRIPTS]]) {
    const lib = median(figures.library[key]);
    const raw = median(figures.raw[key]);
    const roundKey = key === "query" ? "roundQuery" : "roundScript";
    const ratios = figures.library[roundKey].map((l, i) => ((l - figures.raw[roundKey][i]) / figures.raw[roundKey][i]) * 100);
    row(`${name} (x${count})`, "us", lib, raw, `library adds ${(((lib - raw) / raw) * 100).toFixed(0)}%`, `rounds: ${spread(ratios)}%`);
  }
  const lib = median(figures.library.commands);
  const raw = median(figures.raw.commands);
  row(`pipelined (${BLOCKS}x${COMMANDS})`, "/s", lib, raw, `library keeps ${((lib / raw) * 100).toFixed(0)}%`, "");
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
