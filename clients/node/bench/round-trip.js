// The library beside a raw socket, in one run against the simulated host: query round trip,
// script round trip, pipelined commands per second. Rounds alternate between the two so that
// a noisy machine weighs on both alike.
//   node bench/round-trip.js [rounds]     (after npm run build; needs build/default)
const net = require("node:net");
const { randomBytes } = require("node:crypto");

const { Client, readPortFile, startHost } = require("..");

const ROUNDS = Number(process.argv[2] ?? 5);
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

async function timeEach(count, fn) {
  const start = process.hrtime.bigint();
  for (let i = 0; i < count; i++) {
    await fn(i);
  }
  return Number(process.hrtime.bigint() - start) / 1e3 / count;
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

async function main() {
  const host = await startHost({ client: { log: null } });
  await host.client.close();
  const figures = { library: { query: [], script: [], commands: [] }, raw: { query: [], script: [], commands: [] } };
  const tag = () => randomBytes(8).toString("hex");
  for (let round = 0; round < ROUNDS; round++) {
    const client = new Client({ portFile: host.portFile, log: null });
    await client.connect();
    figures.library.query.push(await timeEach(QUERIES, () => client.language()));
    figures.library.script.push(await timeEach(SCRIPTS, () => client.script("1")));
    figures.library.commands.push(
      COMMANDS / (await timeOnce(() => Promise.all(Array.from({ length: COMMANDS }, () => client.executeCommand(4000))))),
    );
    await client.close();

    const raw = await RawSocket.open(host.portFile);
    figures.raw.query.push(await timeEach(QUERIES, () => raw.exchange(`${tag()}|GetAfterEffectLanguage|\n`)));
    figures.raw.script.push(await timeEach(SCRIPTS, () => raw.exchange(`${tag()}|Script|1\n`)));
    figures.raw.commands.push(
      COMMANDS / (await timeOnce(() => {
        let lines = "";
        for (let i = 0; i < COMMANDS; i++) {
          lines += `${tag()}|ExecuteCommand|4000\n`;
        }
        return raw.exchange(lines);
      })),
    );
    await raw.close();
  }
  await host.stop();

  const row = (name, unit, lib, raw, ratio) =>
    console.log(`${name.padEnd(24)} ${lib.toFixed(0).padStart(10)} ${raw.toFixed(0).padStart(10)} ${unit.padEnd(6)} ${ratio}`);
  console.log(`median of ${ROUNDS} rounds (library, raw socket; Node ${process.version})`);
  console.log(`${"".padEnd(24)} ${"library".padStart(10)} ${"raw".padStart(10)}`);
  for (const [name, key, count] of [["query round trip", "query", QUERIES], ["script round trip", "script", SCRIPTS]]) {
    const lib = median(figures.library[key]);
    const raw = median(figures.raw[key]);
    row(`${name} (x${count})`, "us", lib, raw, `library adds ${(((lib - raw) / raw) * 100).toFixed(0)}%`);
  }
  const lib = median(figures.library.commands);
  const raw = median(figures.raw.commands);
  row(`pipelined commands`, "/s", lib, raw, `library keeps ${((lib / raw) * 100).toFixed(0)}%`);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
