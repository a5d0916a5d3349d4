import { EventEmitter } from "node:events";

import type { Client, StateChange } from "./client";

export interface PollOptions {
  /** Least time between the starts of two runs; default 250 ms. */
  intervalMs?: number;
}

/**
 * Feedback for a controller, since the plug-in pushes nothing: runs a query now, then again
 * at most every `intervalMs` (never two at once), and at once after every reconnect. Emits
 * `value` with each result and `error` with each failure (as every EventEmitter, an `error`
 * nobody listens to is thrown). Runs only while the client is connected.
 */
export class Poller<T> extends EventEmitter {
  private readonly intervalMs: number;
  private timer: NodeJS.Timeout | null = null;
  private running = false;
  private again = false;
  private stopped = false;
  private lastStart = -Infinity;
  private readonly onState = (change: StateChange) => {
    if (change.state === "connected") {
      this.lastStart = -Infinity;
      this.run();
    } else if (change.state === "closed") {
      this.stop();
    }
  };

  constructor(
    private readonly client: Client,
    private readonly query: (client: Client) => Promise<T>,
    options: PollOptions = {},
  ) {
    super();
    this.intervalMs = options.intervalMs ?? 250;
    client.on("state", this.onState);
    queueMicrotask(() => this.run());
  }

  /** Stops polling; a run in flight still reports. */
  stop(): void {
    this.stopped = true;
    this.client.off("state", this.onState);
    if (this.timer) {
      clearTimeout(this.timer);
      this.timer = null;
    }
  }

  private run(): void {
    if (this.stopped || this.client.state !== "connected") {
      return;
    }
    if (this.running) {
      this.again = true;
      return;
    }
    const wait = this.lastStart + this.intervalMs - Date.now();
    if (wait > 0) {
      if (!this.timer) {
        this.timer = setTimeout(() => {
          this.timer = null;
          this.run();
        }, wait);
      }
      return;
    }
    if (this.timer) {
      clearTimeout(this.timer);
      this.timer = null;
    }
    this.running = true;
    this.lastStart = Date.now();
    this.query(this.client).then(
      (value) => this.report("value", value),
      (error) => this.report("error", error),
    );
  }

  private report(event: "value" | "error", payload: unknown): void {
    this.running = false;
    const again = this.again;
    this.again = false;
    try {
      this.emit(event, payload);
    } finally {
      if (again) {
        this.lastStart = -Infinity;
      }
      this.run();
    }
  }
}
