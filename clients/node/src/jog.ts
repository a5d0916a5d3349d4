/**
 * Turns a jog wheel's ticks into steps: while one step is in flight, further ticks add up and
 * go out as one delta once it is done, so a fast spin never leaves a queue of stale steps
 * behind it, and no tick is lost (the deltas sent add up to the ticks).
 */
export class Jog {
  private pending = 0;
  private waiting: { resolve(): void; reject(error: unknown): void }[] = [];
  private inFlight = false;
  private idleWaiters: (() => void)[] = [];

  /** `step(delta)` carries out one step of `delta` ticks (negative: the other way). */
  constructor(private readonly step: (delta: number) => Promise<unknown>) {}

  /**
   * Adds ticks; resolves once the step that carries them is done, rejects with that step's
   * error (a failed step's ticks are not sent again: it may have taken effect).
   */
  tick(ticks = 1): Promise<void> {
    if (!Number.isFinite(ticks)) {
      return Promise.reject(new TypeError(`ticks are a finite number, not ${ticks}`));
    }
    this.pending += ticks;
    const done = new Promise<void>((resolve, reject) => this.waiting.push({ resolve, reject }));
    if (!this.inFlight) {
      this.sendPending();
    }
    return done;
  }

  /** Ticks added up and not yet sent. */
  get queued(): number {
    return this.pending;
  }

  /** Resolves once no step is in flight and no tick waits. */
  idle(): Promise<void> {
    if (!this.inFlight && this.waiting.length === 0) {
      return Promise.resolve();
    }
    return new Promise((resolve) => this.idleWaiters.push(resolve));
  }

  private sendPending(): void {
    const delta = this.pending;
    const waiting = this.waiting;
    this.pending = 0;
    this.waiting = [];
    if (waiting.length === 0) {
      this.idleWaiters.splice(0).forEach((resolve) => resolve());
      return;
    }
    if (delta === 0) {
      // Ticks that cancel out need no step.
      waiting.forEach((w) => w.resolve());
      this.sendPending();
      return;
    }
    this.inFlight = true;
    let result: Promise<unknown>;
    try {
      result = Promise.resolve(this.step(delta));
    } catch (error) {
      result = Promise.reject(error);
    }
    result.then(
      () => waiting.forEach((w) => w.resolve()),
      (error) => waiting.forEach((w) => w.reject(error)),
    ).finally(() => {
      this.inFlight = false;
      this.sendPending();
    });
  }
}
