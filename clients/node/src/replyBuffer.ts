import { StringDecoder } from "node:string_decoder";

// Pieces shorter than this are merged once they add up to it, so that a reply that trickles in
// byte by byte is held in few buffers, each byte copied once.
const kBlock = 64 * 1024;

/**
 * The bytes received and not yet matched to a call, held as the pieces they arrived in and
 * consumed from the front. A reply of megabytes is never copied while it arrives: the process
 * holds its bytes once, and decodes them once it is complete.
 */
export class ReplyBuffer {
  private chunks: Buffer[] = [];
  // Bytes of chunks[0] already consumed.
  private skip = 0;
  private size = 0;
  // The short pieces at the end of `chunks`, not yet merged: how many, and their bytes.
  private shortCount = 0;
  private shortBytes = 0;

  get length(): number {
    return this.size;
  }

  append(chunk: Buffer): void {
    if (chunk.length === 0) {
      return;
    }
    this.chunks.push(chunk);
    this.size += chunk.length;
    if (chunk.length >= kBlock) {
      this.shortCount = this.shortBytes = 0;
      return;
    }
    this.shortCount++;
    this.shortBytes += chunk.length;
    if (this.shortBytes >= kBlock && this.shortCount > 1) {
      // chunks[0] may be among them: its consumed bytes stay at the front of the merged piece.
      this.chunks.push(Buffer.concat(this.chunks.splice(-this.shortCount)));
      this.shortCount = this.shortBytes = 0;
    }
  }

  startsWith(prefix: string): boolean {
    return this.size >= prefix.length && this.text(0, prefix.length) === prefix;
  }

  /** The bytes from..to (offsets into what is held), decoded as UTF-8 (invalid bytes: U+FFFD). */
  text(from: number, to: number): string {
    const pieces = this.pieces(from, Math.min(to, this.size));
    if (pieces.length <= 1) {
      return pieces.length === 0 ? "" : pieces[0].toString("utf8");
    }
    const decoder = new StringDecoder("utf8");
    return pieces.map((p) => decoder.write(p)).join("") + decoder.end();
  }

  /** Offset of `marker` at or after `from`, or -1. */
  indexOf(marker: Buffer, from: number): number {
    if (this.chunks.length === 0) {
      return -1;
    }
    const target = from + this.skip; // positions below count from the start of chunks[0]
    const keep = marker.length - 1; // bytes of a piece a marker may continue from
    // The piece holding `target`, looked for from the end: the search usually resumes near it.
    let i = this.chunks.length - 1;
    let start = this.skip + this.size - this.chunks[i].length;
    while (i > 0 && start > target) {
      i--;
      start -= this.chunks[i].length;
    }
    // The last `keep` bytes before the current piece (at or after target): a marker may begin there.
    let carry: Buffer = Buffer.alloc(0);
    for (; i < this.chunks.length; start += this.chunks[i].length, i++) {
      const piece = this.chunks[i].subarray(Math.max(target - start, 0));
      const pieceStart = start + this.chunks[i].length - piece.length;
      if (carry.length > 0) {
        const across = Buffer.concat([carry, piece.subarray(0, keep)]).indexOf(marker);
        if (across >= 0) {
          return pieceStart - carry.length + across - this.skip;
        }
      }
      const within = piece.indexOf(marker);
      if (within >= 0) {
        return pieceStart + within - this.skip;
      }
      const joined = piece.length >= keep ? piece : Buffer.concat([carry, piece]);
      carry = joined.subarray(Math.max(0, joined.length - keep));
    }
    return -1;
  }

  consume(count: number): void {
    let left = count + this.skip;
    let drop = 0;
    while (drop < this.chunks.length && left >= this.chunks[drop].length) {
      left -= this.chunks[drop].length;
      drop++;
    }
    if (drop > 0) {
      this.chunks.splice(0, drop);
    }
    this.skip = left;
    this.size -= count;
    this.shortCount = Math.min(this.shortCount, this.chunks.length);
  }

  // The bytes from..to as views of the pieces, no copy.
  private pieces(from: number, to: number): Buffer[] {
    const out: Buffer[] = [];
    let start = -this.skip;
    for (const chunk of this.chunks) {
      const end = start + chunk.length;
      if (end > from && start < to) {
        out.push(chunk.subarray(Math.max(from - start, 0), Math.min(to, end) - start));
      }
      if (end >= to) {
        break;
      }
      start = end;
    }
    return out;
  }
}
