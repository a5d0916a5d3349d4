import { ChildProcess, spawn } from "node:child_process";
import * as fs from "node:fs";
import * as os from "node:os";
import * as path from "node:path";

import { Client, ClientOptions } from "./client";
import { portFilePathFor } from "./portFile";

/** One journal line of the simulated host: a host call the plug-in made, or a hook call. */
export interface JournalRecord {
  seq: number;
  t_us: number;
  thread: "main" | "other";
  call: string;
  args: Record<string, unknown>;
  result: unknown;
  out?: Record<string, unknown>;
}

/** Reads back the simulated host's journal (it is written as the host goes). */
export class Journal {
  constructor(readonly file: string) {}

  /** Every record written so far. */
  records(): JournalRecord[] {
    let text: string;
    try {
      text = fs.readFileSync(this.file, "utf8");
    } catch {
      return [];
    }
    // A last line still being written is left for the next read.
    return text
      .split("\n")
      .filter((line) => line.endsWith("}"))
      .map((line) => JSON.parse(line) as JournalRecord);
  }

  /** The records of one host call, e.g. "AEGP_DoCommand". */
  calls(name: string): JournalRecord[] {
    return this.records().filter((r) => r.call === name);
  }

  /** The menu command numbers the host was asked to run, in order. */
  commandsRun(): number[] {
    return this.calls("AEGP_DoCommand").map((r) => r.args.command as number);
  }

  /** Selection changes: the item and whether it was selected. */
  selectionChanges(): { item: unknown; select: boolean }[] {
    return this.calls("AEGP_SelectItem").map((r) => ({ item: r.args.item, select: r.args.select as boolean }));
  }

  /** Info panel writes: text, appended text and colour calls, in order. */
  infoPanelWrites(): JournalRecord[] {
    return this.records().filter((r) => r.call.startsWith("PF_Info") || r.call === "PF_AppendInfoText");
  }

  /** The scripts run, with their result and error text. */
  scripts(): { script: string; result: string; error: string }[] {
    return this.calls("AEGP_ExecuteScript").map((r) => ({
      script: r.args.script as string,
      result: (r.out?.result as string) ?? "",
      error: (r.out?.error as string) ?? "",
    }));
  }

  /** Resolves with the records once `until(records)` holds; rejects after `timeoutMs`. */
  async waitFor(until: (records: JournalRecord[]) => boolean, timeoutMs = 5_000): Promise<JournalRecord[]> {
    const deadline = Date.now() + timeoutMs;
    for (;;) {
      const records = this.records();
      if (until(records)) {
        return records;
      }
      if (Date.now() > deadline) {
        throw new Error(`the journal ${this.file} did not reach the expected records within ${timeoutMs} ms`);
      }
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
  }
}

export interface HostOptions {
  /** The simulated host program; default: $CUEBRIDGE_HOSTSIM, then build/default/bin in this
   * folder or one above it, then `cuebridge-hostsim` on the PATH. */
  hostsim?: string;
  /** More options for the host, e.g. ["--script-timeout-ms", "500"]. */
  args?: string[];
  /** Options for the client handed to the test (its port file is the host's). */
  client?: ClientOptions;
  /** Wait until the plug-in has stored its installed-effects list (default true). */
  ready?: boolean;
}

function findHostsim(): string {
  if (process.env.CUEBRIDGE_HOSTSIM) {
    return process.env.CUEBRIDGE_HOSTSIM;
  }
  for (let dir = process.cwd(); ; dir = path.dirname(dir)) {
    const candidate = path.join(dir, "build/default/bin/cuebridge-hostsim");
    if (fs.existsSync(candidate)) {
      return candidate;
    }
    if (path.dirname(dir) === dir) {
      return "cuebridge-hostsim";
    }
  }
}

/**
 * The simulated host with the real plug-in, under a throw-away HOME and with a journal, and a
 * client connected to it. `stop()` ends both and removes the HOME.
 */
export class TestHost {
  readonly home: string;
  readonly portFile: string;
  readonly journal: Journal;
  readonly client: Client;
  process!: ChildProcess;
  private stderrText = "";
  private readonly program: string;
  private readonly args: string[];

  constructor(options: HostOptions = {}) {
    this.program = options.hostsim ?? findHostsim();
    this.args = options.args ?? [];
    this.home = fs.mkdtempSync(path.join(os.tmpdir(), "cuebridge-home-"));
    // The plug-in creates only the last folder of the port file's path.
    fs.mkdirSync(path.dirname(path.dirname(portFilePathFor(this.home))), { recursive: true });
    this.portFile = portFilePathFor(this.home);
    this.journal = new Journal(path.join(this.home, "journal.jsonl"));
    this.client = new Client({ ...options.client, portFile: this.portFile });
  }

  /** What the host wrote on stderr so far. */
  get stderr(): string {
    return this.stderrText;
  }

  /** Starts the host process (again, after `kill`: the same HOME, a fresh journal). */
  launch(): void {
    const child = spawn(this.program, ["--journal", this.journal.file, ...this.args], {
      env: { ...process.env, HOME: this.home },
      stdio: ["pipe", "ignore", "pipe"],
    });
    child.stderr!.on("data", (chunk: Buffer) => (this.stderrText += chunk.toString("utf8")));
    child.on("error", (error) => (this.stderrText += `cannot start ${this.program}: ${error.message}\n`));
    this.process = child;
  }

  /** Ends the host at once (a crash, by default) and waits until it has gone. */
  async kill(signal: NodeJS.Signals = "SIGKILL"): Promise<void> {
    const child = this.process;
    if (child.exitCode !== null || child.signalCode !== null) {
      return;
    }
    await new Promise<void>((resolve) => {
      child.once("exit", () => resolve());
      child.kill(signal);
    });
  }

  /** Closes the client, ends the host and removes the throw-away HOME. */
  async stop(): Promise<void> {
    await this.client.close();
    if (this.process) {
      const gone = this.kill("SIGTERM");
      const late = setTimeout(() => this.process.kill("SIGKILL"), 5_000);
      await gone;
      clearTimeout(late);
    }
    fs.rmSync(this.home, { recursive: true, force: true });
  }
}

/** Starts the simulated host and resolves with it once its client is connected (and ready). */
export async function startHost(options: HostOptions = {}): Promise<TestHost> {
  const host = new TestHost(options);
  try {
    host.launch();
    // A host that cannot start or exits at once fails the start now, not at the timeout.
    const exited = new Promise<never>((_, reject) => {
      const onExit = (code: number | null) => reject(new Error(`the host exited (code ${code})`));
      host.process.once("exit", onExit);
      host.process.once("error", () => onExit(null));
      host.client.once("state", function forget() {
        if (host.client.state === "connected") {
          host.process.off("exit", onExit);
        } else {
          host.client.once("state", forget);
        }
      });
    });
    exited.catch(() => {});
    await Promise.race([host.client.connect({ timeoutMs: 10_000 }), exited]);
    if (options.ready ?? true) {
      await host.client.waitUntilReady({ timeoutMs: 10_000 });
    }
    return host;
  } catch (error) {
    await host.stop();
    throw new Error(`the simulated host did not come up: ${(error as Error).message}\n${host.stderr}`);
  }
}

/**
 * For Node's test runner: starts the host for test `t` and stops it when the test ends.
 *   test("jog", async (t) => { const { client, journal } = await useHost(t); ... });
 */
export async function useHost(t: { after(fn: () => unknown): void }, options: HostOptions = {}): Promise<TestHost> {
  const host = await startHost(options);
  t.after(() => host.stop());
  return host;
}
