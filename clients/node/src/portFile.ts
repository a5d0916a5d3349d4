import * as fs from "node:fs";
import * as os from "node:os";
import * as path from "node:path";

/** The port file's path below a home folder, as the plug-in writes it. */
export function portFilePathFor(home: string): string {
  return path.join(
    home,
    "Library/Application Support/Ostrel/OstrelPluginService/PluginData/AfterEffects/socket.port",
  );
}

/** The port file of the current user's HOME. */
export function defaultPortFilePath(): string {
  return portFilePathFor(process.env.HOME || os.homedir());
}

export type PortFileContent =
  | { status: "ok"; port: number }
  | { status: "missing" | "invalid" | "not-regular" };

/**
 * Reads the port file: only a regular file counts (opening a FIFO would block), at most a few
 * bytes of it, holding decimal digits (a trailing line feed tolerated) of a port 1..65535.
 */
export function readPortFile(file: string): PortFileContent {
  let fd: number;
  try {
    fd = fs.openSync(file, fs.constants.O_RDONLY | fs.constants.O_NONBLOCK);
  } catch (error) {
    const code = (error as NodeJS.ErrnoException).code;
    return { status: code === "ENOENT" || code === "ENOTDIR" ? "missing" : "invalid" };
  }
  try {
    if (!fs.fstatSync(fd).isFile()) {
      return { status: "not-regular" };
    }
    const buffer = Buffer.alloc(8);
    const size = fs.readSync(fd, buffer, 0, buffer.length, 0);
    const text = buffer.toString("latin1", 0, size).replace(/\n$/, "");
    if (!/^[0-9]{1,5}$/.test(text)) {
      return { status: "invalid" };
    }
    const port = Number(text);
    return port >= 1 && port <= 65535 ? { status: "ok", port } : { status: "invalid" };
  } catch {
    return { status: "invalid" };
  } finally {
    fs.closeSync(fd);
  }
}

// TCP state code of TIME_WAIT in /proc/net/tcp: a finished connection that holds nothing.
const kTimeWait = "06";

/**
 * Whether some socket on this machine holds `port` as its local port (a listener or a
 * connection, in any state but TIME_WAIT). A refused connect to a port that is held means the
 * plug-in is serving another connection; to a port nobody holds, that the port file is stale.
 */
export function portIsHeld(port: number, tables = ["/proc/net/tcp", "/proc/net/tcp6"]): boolean {
  const wanted = port.toString(16).toUpperCase().padStart(4, "0");
  for (const table of tables) {
    let text: string;
    try {
      text = fs.readFileSync(table, "latin1");
    } catch {
      continue;
    }
    for (const line of text.split("\n").slice(1)) {
      const fields = line.trim().split(/\s+/);
      if (fields.length < 4) {
        continue;
      }
      const local = fields[1];
      if (local.slice(local.lastIndexOf(":") + 1) === wanted && fields[3] !== kTimeWait) {
        return true;
      }
    }
  }
  return false;
}
