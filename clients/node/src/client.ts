import { randomBytes } from "node:crypto";
import { EventEmitter } from "node:events";
import * as net from "node:net";

import { ConnectionError, ProtocolError, ScriptError, TimeoutError } from "./errors";
import { defaultPortFilePath, portIsHeld, readPortFile } from "./portFile";
import { Jog } from "./jog";
import { Poller, PollOptions } from "./poll";
import { ReplyBuffer } from "./replyBuffer";

/** The connection's state; every change is emitted as a `state` event. */
export type State = "disconnected" | "connecting" | "connected" | "held" | "closed";

export interface StateChange {
  state: State;
  /** Why, in words fit for a status line: the port, the port file, the error. */
  reason: string;
  previous: State;
}

/** One installed effect, as the host lists it. */
export interface Effect {
  matchName: string;
  displayName: string;
  category: string;
}

/** One request of a batch: a keyword and its argument. */
export interface Request {
  keyword: string;
  argument?: string;
}

export interface CallOptions {
  /** Time limit for this call, from the moment it is made (default: the client's). */
  timeoutMs?: number;
}

export interface ClientOptions {
  /** The port file (default: the one under $HOME, where the plug-in writes it). */
  portFile?: string;
  /** Time limit of every call unless the call sets its own; default 10,000 ms. */
  timeoutMs?: number;
  /** A connect that stays pending this long is given up and retried; default 2,000 ms. */
  connectTimeoutMs?: number;
  /** Pause before the first retry after a failed connect; doubled up to `maxBackoffMs`. */
  minBackoffMs?: number;
  /** Longest pause between connect attempts; default 1,000 ms. */
  maxBackoffMs?: number;
  /** A reply that grows past this without ending fails with a protocol error; 256 MiB. */
  maxReplyBytes?: number;
  /**
   * Called with every write (`>>`, line by line) and every piece received (`<<`), control bytes
   * escaped. Default: to stderr when the environment variable CUEBRIDGE_DEBUG is set (not 0).
   */
  log?: ((direction: ">>" | "<<", text: string) => void) | null;
}

const kKeywordsThatReply = new Set(["GetAfterEffectLanguage", "GetInstalledAfterEffectEffects", "Script"]);
const kKeywords = new Set([...kKeywordsThatReply, "ExecuteCommand", "InfoPanelCommand", "NavigateCommand"]);
const kScriptErrorPrefix = "SCRIPT ERROR: ";
const kRecordMark = "*|*";
// The plug-in drops a longer message without a reply; the line feed is not counted.
const kMaxMessageBytes = 64 * 1024 * 1024;

const ignore = () => {};

// One call: its message, how its reply is told apart, and how it settles.
class Entry {
  settled = false;
  group: TimerGroup | null = null;
  constructor(
    readonly tag: string,
    /** The message with its line feed. */
    readonly line: string,
    /** Whether the plug-in writes a reply for it; the others are confirmed by a later reply. */
    readonly answers: boolean,
    /** An empty script: answered with exactly its tag and a bar, at once. */
    readonly fence: boolean,
    private readonly resolve: (reply: string | undefined) => void = ignore,
    private readonly reject: (error: Error) => void = ignore,
  ) {}

  settle(error: Error | null, reply?: string): void {
    if (this.settled) {
      return;
    }
    this.settled = true;
    const group = this.group;
    if (group && --group.unsettled === 0 && group.timer) {
      clearTimeout(group.timer);
      group.timer = null;
    }
    if (error) {
      this.reject(error);
    } else if (this.answers && reply !== undefined && reply.startsWith(kScriptErrorPrefix)) {
      this.reject(new ScriptError(reply.slice(kScriptErrorPrefix.length)));
    } else {
      this.resolve(this.answers ? reply : undefined);
    }
  }
}

// Calls made in one tick with the same time limit share one timer: a burst of thousands of
// calls costs one timer, not thousands.
interface TimerGroup {
  limit: number;
  entries: Entry[];
  unsettled: number;
  timer: NodeJS.Timeout | null;
}

// Sixteen random hexadecimal digits per tag, drawn from a pool to keep pipelining cheap.
class TagSource {
  private pool: Buffer = Buffer.alloc(0);
  private offset = 0;
  next(): string {
    if (this.offset + 8 > this.pool.length) {
      this.pool = randomBytes(8 * 1024);
      this.offset = 0;
    }
    this.offset += 8;
    return this.pool.toString("hex", this.offset - 8, this.offset);
  }
}

function escapeForLog(text: string): string {
  return text.replace(/[\x00-\x1f\x7f]/g, (c) =>
      c === "\n" ? "\\n" : c === "\r" ? "\\r" : `\\x${c.charCodeAt(0).toString(16).padStart(2, "0")}`,
    );
}

function debugLogFromEnvironment(): ((direction: ">>" | "<<", text: string) => void) | null {
  const value = process.env.CUEBRIDGE_DEBUG;
  if (!value || value === "0") {
    return null;
  }
  return (direction, text) => process.stderr.write(`cuebridge ${direction} ${text}\n`);
}

/** Parses the installed-effects list: `match|display|category*|*` records, back to back. */
export function parseEffects(list: string): Effect[] {
  if (list === "") {
    return [];
  }
  if (!list.endsWith(kRecordMark)) {
    throw new ProtocolError(`the effects list does not end with a record mark: ${JSON.stringify(list.slice(-40))}`);
  }
  return list
    .slice(0, -kRecordMark.length)
    .split(kRecordMark)
    .map((record) => {
      // The match name runs to the first bar, the category from the last: a display name may
      // hold bars.
      const first = record.indexOf("|");
      const last = record.lastIndexOf("|");
      if (first < 0 || first === last) {
        throw new ProtocolError(`an effects record without three fields: ${JSON.stringify(record)}`);
      }
      return {
        matchName: record.slice(0, first),
        displayName: record.slice(first + 1, last),
        category: record.slice(last + 1),
      };
    });
}

/**
 * One long-lived connection to the plug-in, kept up by itself until `close()`: it re-reads the
 * port file before every connect and retries with a capped back-off. Calls made while it is
 * not connected wait (within their time limit) and are sent once it is.
 */
export class Client extends EventEmitter {
  readonly portFile: string;
  private readonly timeoutMs: number;
  private readonly connectTimeoutMs: number;
  private readonly minBackoffMs: number;
  private readonly maxBackoffMs: number;
  private readonly maxReplyBytes: number;
  private readonly log: ((direction: ">>" | "<<", text: string) => void) | null;

  private currentState: State = "disconnected";
  private currentReason = "not connected yet";
  private started = false;
  private socket: net.Socket | null = null;
  private backoffMs: number;
  private retryTimer: NodeJS.Timeout | null = null;
  // The connect under way, abandoned by close().
  private connecting: { socket: net.Socket; timer: NodeJS.Timeout } | null = null;
  // When the current connection was made, and whether it has delivered a reply: one that ends
  // sooner than the longest back-off without a reply counts as a failed attempt.
  private connectedAt = 0;
  private delivered = false;
  private readonly tags = new TagSource();
  // Calls not yet written: waiting for the connection or for the end of this tick.
  private unsent: Entry[] = [];
  private writeScheduled = false;
  private timerGroup: TimerGroup | null = null;
  // Calls written on the current connection, in order; the last one is always answered.
  private inFlight: Entry[] = [];
  private received = new ReplyBuffer();
  // How far the current reply has been searched for the next tag without finding it.
  private scanned = 0;

  constructor(options: ClientOptions = {}) {
    super();
    this.portFile = options.portFile ?? defaultPortFilePath();
    this.timeoutMs = options.timeoutMs ?? 10_000;
    this.connectTimeoutMs = options.connectTimeoutMs ?? 2_000;
    this.minBackoffMs = options.minBackoffMs ?? 10;
    this.maxBackoffMs = options.maxBackoffMs ?? 1_000;
    this.maxReplyBytes = options.maxReplyBytes ?? 256 * 1024 * 1024;
    this.log = options.log === undefined ? debugLogFromEnvironment() : options.log;
    this.backoffMs = this.minBackoffMs;
  }

  get state(): State {
    return this.currentState;
  }

  get reason(): string {
    return this.currentReason;
  }

  /**
   * Starts keeping the connection and resolves once connected. If that takes longer than
   * `timeoutMs` (default: the client's), it rejects with a connection error naming the reason,
   * and the client goes on trying until `close()`.
   */
  connect(options: CallOptions = {}): Promise<void> {
    if (this.currentState === "closed") {
      return Promise.reject(new ConnectionError("the client is closed"));
    }
    if (!this.started) {
      this.started = true;
      this.setState("connecting", `reading the port file ${this.portFile}`);
      this.attempt();
    }
    if (this.currentState === "connected") {
      return Promise.resolve();
    }
    const limit = options.timeoutMs ?? this.timeoutMs;
    return new Promise((resolve, reject) => {
      const onState = (change: StateChange) => {
        if (change.state === "connected" || change.state === "closed") {
          clearTimeout(timer);
          this.off("state", onState);
          change.state === "connected" ? resolve() : reject(new ConnectionError("the client was closed"));
        }
      };
      const timer = setTimeout(() => {
        this.off("state", onState);
        reject(new ConnectionError(`not connected after ${limit} ms: ${this.currentState}: ${this.currentReason}`));
      }, limit);
      this.on("state", onState);
    });
  }

  /**
   * Stops for good, at once: a pending connect is abandoned, calls not yet answered and a
   * waiting `connect()` fail with a connection error, and no timer or socket of the client is
   * left to keep the process alive. The promise resolves once the connection has ended.
   */
  async close(): Promise<void> {
    if (this.currentState === "closed") {
      return;
    }
    if (this.retryTimer) {
      clearTimeout(this.retryTimer);
      this.retryTimer = null;
    }
    if (this.connecting) {
      clearTimeout(this.connecting.timer);
      this.connecting.socket.destroy();
      this.connecting = null;
    }
    const socket = this.socket;
    this.socket = null;
    this.failAll([...this.inFlight, ...this.unsent], new ConnectionError("the client was closed"));
    this.inFlight = [];
    this.unsent = [];
    this.setState("closed", "closed by the caller");
    if (socket && !socket.destroyed) {
      // Ends the connection after what is written so far has gone out.
      await new Promise<void>((resolve) => {
        const giveUp = setTimeout(() => socket.destroy(), 1_000);
        socket.once("close", () => {
          clearTimeout(giveUp);
          resolve();
        });
        socket.end();
      });
    }
  }

  /** The host's user-interface language, e.g. `en_US`. */
  async language(options?: CallOptions): Promise<string> {
    return (await this.call("GetAfterEffectLanguage", "", options)) ?? "";
  }

  /** The installed effects, in the host's order; empty until the plug-in has stored them. */
  async effects(options?: CallOptions): Promise<Effect[]> {
    return parseEffects((await this.call("GetInstalledAfterEffectEffects", "", options)) ?? "");
  }

  /**
   * Runs an ExtendScript on the host's main thread and resolves with its result text; a
   * failed script rejects with a ScriptError. Line feeds are sent as carriage returns.
   */
  async script(text: string, options?: CallOptions): Promise<string> {
    return (await this.call("Script", text.replace(/\r?\n/g, "\r"), options)) ?? "";
  }

  /** Queues a host menu command; resolves once the plug-in has taken it. */
  executeCommand(command: number, options?: CallOptions): Promise<void> {
    if (!Number.isInteger(command) || command < -2147483648 || command > 2147483647) {
      return Promise.reject(new TypeError(`a menu command is a 32-bit integer, not ${command}`));
    }
    return this.call("ExecuteCommand", String(command), options) as Promise<unknown> as Promise<void>;
  }

  /** Writes the plug-in's two text lines and appended text to the Info panel. */
  setInfoText(options?: CallOptions): Promise<void> {
    return this.call("InfoPanelCommand", "SetInfoText", options) as Promise<unknown> as Promise<void>;
  }

  /** Sets the Info panel's colour. */
  setInfoColor(options?: CallOptions): Promise<void> {
    return this.call("InfoPanelCommand", "SetInfoColor", options) as Promise<unknown> as Promise<void>;
  }

  /** Selects the next item of the Project panel. */
  selectNextItem(options?: CallOptions): Promise<void> {
    return this.call("NavigateCommand", "Next", options) as Promise<unknown> as Promise<void>;
  }

  /** Selects the item after the project's first item (in the host's order), if there is one. */
  selectFirstItem(options?: CallOptions): Promise<void> {
    return this.call("NavigateCommand", "First", options) as Promise<unknown> as Promise<void>;
  }

  /** Resolves once everything sent before it has been handled by the plug-in. */
  flush(options?: CallOptions): Promise<void> {
    return this.enqueue("Script", "", options, true) as Promise<unknown> as Promise<void>;
  }

  /**
   * Any keyword: resolves with the reply's result for the keywords that answer, with
   * `undefined` (once the plug-in has taken it) for those that never do.
   */
  call(keyword: string, argument = "", options?: CallOptions): Promise<string | undefined> {
    return this.enqueue(keyword, argument, options, false);
  }

  /** Several requests in one write; resolves with their results in order. */
  batch(requests: Request[], options?: CallOptions): Promise<(string | undefined)[]> {
    const calls = requests.map((r) => this.call(r.keyword, r.argument ?? "", options));
    this.writePending();
    return Promise.all(calls);
  }

  /** Resolves once the plug-in has stored the installed-effects list (it is not empty). */
  async waitUntilReady(options: { timeoutMs?: number; intervalMs?: number } = {}): Promise<Effect[]> {
    const deadline = Date.now() + (options.timeoutMs ?? 30_000);
    for (;;) {
      const left = deadline - Date.now();
      const effects = await this.effects({ timeoutMs: Math.max(left, 1) });
      if (effects.length > 0) {
        return effects;
      }
      if (Date.now() + (options.intervalMs ?? 20) >= deadline) {
        throw new TimeoutError(`the plug-in had not stored the installed-effects list after ${options.timeoutMs ?? 30_000} ms`);
      }
      await new Promise((resolve) => setTimeout(resolve, options.intervalMs ?? 20));
    }
  }

  /** A jog helper whose steps call `step(delta)`; see Jog. */
  jog(step: (delta: number) => Promise<unknown>): Jog {
    return new Jog(step);
  }

  /** A polling helper running `query` now, then at most every `intervalMs`; see Poller. */
  poll<T>(query: (client: Client) => Promise<T>, options?: PollOptions): Poller<T> {
    return new Poller(this, query, options);
  }

  // ---- sending ----

  private enqueue(keyword: string, argument: string, options: CallOptions | undefined, fence: boolean): Promise<string | undefined> {
    if (this.currentState === "closed") {
      return Promise.reject(new ConnectionError("the client is closed"));
    }
    if ((!kKeywords.has(keyword) && (keyword === "" || /[|\n\0]/.test(keyword))) || /[\n\0]/.test(argument)) {
      return Promise.reject(
        new TypeError("a keyword holds no bar, line feed or zero byte, an argument no line feed or zero byte"),
      );
    }
    const tag = this.tags.next();
    const line = `${tag}|${keyword}|${argument}\n`;
    // A UTF-16 unit takes at most three bytes: only a long line needs counting.
    const bytes = line.length * 3 > kMaxMessageBytes ? Buffer.byteLength(line, "utf8") - 1 : 0;
    if (bytes > kMaxMessageBytes) {
      return Promise.reject(new TypeError(`a message is at most ${kMaxMessageBytes} bytes; this one has ${bytes}`));
    }
    const answers = kKeywordsThatReply.has(keyword);
    const limit = options?.timeoutMs ?? this.timeoutMs;
    const isFence = fence || (keyword === "Script" && argument === "");
    return new Promise((resolve, reject) => {
      const entry = new Entry(tag, line, answers, isFence, resolve, reject);
      this.timeLimit(entry, limit);
      this.unsent.push(entry);
      this.scheduleWrite();
    });
  }

  private timeLimit(entry: Entry, limit: number): void {
    let group = this.timerGroup;
    if (!group || group.limit !== limit || !group.timer) {
      const fresh: TimerGroup = { limit, entries: [], unsettled: 0, timer: null };
      fresh.timer = setTimeout(() => {
        fresh.timer = null;
        for (const e of fresh.entries) {
          if (!e.settled) {
            this.onTimeout(e, limit);
          }
        }
      }, limit);
      group = this.timerGroup = fresh;
    }
    group.entries.push(entry);
    group.unsettled++;
    entry.group = group;
  }

  // Calls made in one tick go out in one write, followed by one fence.
  private scheduleWrite(): void {
    if (!this.writeScheduled) {
      this.writeScheduled = true;
      queueMicrotask(() => this.writePending());
    }
  }

  private writePending(): void {
    this.writeScheduled = false;
    this.timerGroup = null;
    const socket = this.socket;
    if (!socket || this.currentState !== "connected" || this.unsent.length === 0) {
      return;
    }
    const entries = this.unsent;
    this.unsent = [];
    if (!entries[entries.length - 1].fence) {
      // Closes the write with an empty script: it delimits the last reply and confirms the
      // calls that never answer.
      const tag = this.tags.next();
      entries.push(new Entry(tag, `${tag}|Script|\n`, true, true));
    }
    for (const e of entries) {
      this.inFlight.push(e);
    }
    let bytes = "";
    for (const e of entries) {
      bytes += e.line;
      this.log?.(">>", escapeForLog(e.line.slice(0, -1)));
    }
    socket.write(bytes, "utf8");
  }

  // ---- receiving ----

  private onData(chunk: Buffer): void {
    this.log?.("<<", escapeForLog(chunk.toString("latin1")));
    this.delivered = true;
    this.received.append(chunk);
    try {
      this.matchReplies();
    } catch (error) {
      this.dropConnection(error as Error, "the reply stream was out of step");
      return;
    }
  }

  // Settles every call whose reply is complete. A reply runs from its tag and bar to the next
  // answered call's tag and bar; calls that never answer are settled when the next answered
  // call after them is.
  private matchReplies(): void {
    for (;;) {
      const index = this.inFlight.findIndex((e) => e.answers);
      if (index < 0) {
        if (this.received.length > 0) {
          throw new ProtocolError(`bytes that no call was waiting for: ${JSON.stringify(this.received.text(0, 40))}`);
        }
        return;
      }
      const entry = this.inFlight[index];
      const prefix = `${entry.tag}|`;
      const have = this.received.length;
      if (!this.received.startsWith(prefix)) {
        if (have >= prefix.length || !prefix.startsWith(this.received.text(0, have))) {
          throw new ProtocolError(
            `expected the reply ${JSON.stringify(prefix)}, received ${JSON.stringify(this.received.text(0, 40))}`,
          );
        }
        return;
      }
      let end: number;
      if (entry.fence) {
        end = prefix.length;
      } else {
        const next = this.inFlight.slice(index + 1).find((e) => e.answers);
        if (!next) {
          return;
        }
        const marker = Buffer.from(`${next.tag}|`, "latin1");
        const found = this.received.indexOf(marker, Math.max(this.scanned, prefix.length));
        if (found < 0) {
          this.scanned = Math.max(prefix.length, have - marker.length + 1);
          if (have > this.maxReplyBytes) {
            throw new ProtocolError(`a reply grew past ${this.maxReplyBytes} bytes without ending`);
          }
          return;
        }
        end = found;
      }
      const reply = this.received.text(prefix.length, end);
      this.received.consume(end);
      this.scanned = 0;
      const done = this.inFlight.splice(0, index + 1);
      for (const e of done) {
        e.settle(null, e === entry ? reply : undefined);
      }
    }
  }

  // ---- time ----

  private onTimeout(entry: Entry, limit: number): void {
    const unsentAt = this.unsent.indexOf(entry);
    if (unsentAt >= 0) {
      this.unsent.splice(unsentAt, 1);
      entry.settle(new ConnectionError(`not connected within ${limit} ms: ${this.currentState}: ${this.currentReason}`));
      return;
    }
    // The replies are now out of step with the calls: the connection cannot be used again.
    this.dropConnection(
      new TimeoutError(`no reply within ${limit} ms (a script may still be running); the connection was dropped`),
      `a call timed out after ${limit} ms`,
      true,
    );
  }

  // ---- connection ----

  private setState(state: State, reason: string): void {
    // Closed is final: nothing that was under way when close() was called changes it.
    if ((state === this.currentState && reason === this.currentReason) || this.currentState === "closed") {
      return;
    }
    const previous = this.currentState;
    this.currentState = state;
    this.currentReason = reason;
    this.emit("state", { state, reason, previous } satisfies StateChange);
  }

  private scheduleRetry(): void {
    if (this.currentState === "closed" || this.retryTimer) {
      return;
    }
    const delay = this.backoffMs;
    this.backoffMs = Math.min(this.backoffMs * 2, this.maxBackoffMs);
    this.retryTimer = setTimeout(() => {
      this.retryTimer = null;
      this.attempt();
    }, delay);
  }

  private attempt(): void {
    if (this.currentState === "closed") {
      return;
    }
    const content = readPortFile(this.portFile);
    if (content.status !== "ok") {
      const why =
        content.status === "missing"
          ? `no port file at ${this.portFile} (the plug-in is not running, or is about to rewrite it)`
          : content.status === "not-regular"
            ? `${this.portFile} is not a regular file, so it is not read as the port file`
            : `the port file ${this.portFile} does not hold a port number`;
      this.setState("disconnected", why);
      this.scheduleRetry();
      return;
    }
    const port = content.port;
    const socket = net.createConnection({ host: "127.0.0.1", port });
    let settled = false;
    const fail = (state: State, reason: string) => {
      if (settled) {
        return;
      }
      settled = true;
      clearTimeout(pending);
      socket.destroy();
      this.connecting = null;
      this.setState(state, reason);
      this.scheduleRetry();
    };
    const pending = setTimeout(
      () => fail("disconnected", `the connect to port ${port} was still pending after ${this.connectTimeoutMs} ms`),
      this.connectTimeoutMs,
    );
    this.connecting = { socket, timer: pending };
    socket.once("error", (error: NodeJS.ErrnoException) => {
      if (error.code !== "ECONNREFUSED") {
        fail("disconnected", `cannot connect to 127.0.0.1:${port}: ${error.message}`);
      } else if (portIsHeld(port)) {
        fail("held", `port ${port} refused the connection while a connection holds it: another controller has the plug-in`);
      } else {
        fail("disconnected", `stale port file: no socket holds port ${port} named by ${this.portFile}`);
      }
    });
    socket.once("connect", () => {
      if (settled) {
        return;
      }
      settled = true;
      clearTimeout(pending);
      this.connecting = null;
      if (this.currentState === "closed") {
        socket.destroy();
        return;
      }
      socket.removeAllListeners("error");
      socket.setNoDelay(true);
      socket.on("data", (chunk: Buffer) => this.onData(chunk));
      socket.on("error", () => {});
      socket.on("close", () => {
        if (this.socket === socket) {
          this.dropConnection(new ConnectionError(`the connection to port ${port} ended before the reply`), "the plug-in closed the connection");
        }
      });
      this.socket = socket;
      this.connectedAt = Date.now();
      this.delivered = false;
      this.setState("connected", `connected to 127.0.0.1:${port}`);
      this.writePending();
    });
  }

  // Ends the current connection: the calls in flight fail with `error` (the first call gets it
  // as is; with `sameForAll` every call does), and a new connection is sought.
  private dropConnection(error: Error, reason: string, sameForAll = false): void {
    const socket = this.socket;
    if (!socket) {
      return;
    }
    this.socket = null;
    socket.destroy();
    const calls = this.inFlight;
    this.inFlight = [];
    this.received = new ReplyBuffer();
    this.scanned = 0;
    calls.forEach((e, i) =>
      e.settle(i === 0 || sameForAll || error instanceof ConnectionError ? error : new ConnectionError(`the connection was dropped: ${reason}`)),
    );
    if (this.currentState === "closed") {
      return;
    }
    this.setState("connecting", `reconnecting: ${reason}`);
    if (!this.delivered && Date.now() - this.connectedAt < this.maxBackoffMs) {
      // Ended at once (a peer that accepts and closes): a failed attempt, retried after the
      // back-off, not at once.
      this.scheduleRetry();
    } else {
      this.backoffMs = this.minBackoffMs;
      this.attempt();
    }
  }

  private failAll(entries: Entry[], error: Error): void {
    for (const e of entries) {
      e.settle(error);
    }
  }
}

/** Creates a client and connects it; on failure the client is closed. */
export async function connect(options: ClientOptions & CallOptions = {}): Promise<Client> {
  const client = new Client(options);
  try {
    await client.connect({ timeoutMs: options.timeoutMs });
    return client;
  } catch (error) {
    await client.close();
    throw error;
  }
}
