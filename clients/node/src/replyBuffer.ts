/**
 * The bytes received and not yet matched to a call: one growing buffer (capacity doubled, so
 * that a reply of megabytes in many pieces costs linear time), consumed from the front.
 */
export class ReplyBuffer {
  private data: Buffer = Buffer.alloc(0);
  private start = 0;
  private end = 0;

  get length(): number {
    return this.end - this.start;
  }

  append(chunk: Buffer): void {
    if (this.end + chunk.length > this.data.length) {
      const live = this.length;
      const grown = Buffer.allocUnsafe(Math.max(this.data.length * 2, live + chunk.length, 4096));
      this.data.copy(grown, 0, this.start, this.end);
      this.data = grown;
      this.start = 0;
      this.end = live;
    }
    chunk.copy(this.data, this.end);
    this.end += chunk.length;
  }

  startsWith(prefix: string): boolean {
    return this.length >= prefix.length && this.text(0, prefix.length) === prefix;
  }

  /** The bytes from..to (offsets into what is held), decoded as UTF-8 (invalid bytes: U+FFFD). */
  text(from: number, to: number): string {
    return this.data.toString("utf8", this.start + from, this.start + Math.min(to, this.length));
  }

  /** Offset of `marker` at or after `from`, or -1. */
  indexOf(marker: Buffer, from: number): number {
    const at = this.data.subarray(this.start, this.end).indexOf(marker, from);
    return at;
  }

  consume(count: number): void {
    this.start += count;
    if (this.start === this.end) {
      this.start = this.end = 0;
    }
  }
}
