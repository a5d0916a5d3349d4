/** What went wrong, as a machine-readable code. */
export type ErrorCode = "connection" | "timeout" | "script" | "protocol";

/** Every failure of a call is one of these; `code` tells which. */
export class CuebridgeError extends Error {
  readonly code: ErrorCode;
  constructor(code: ErrorCode, message: string) {
    super(message);
    this.code = code;
    this.name = new.target.name;
  }
}

/** No connection, or the connection ended before the call's reply came. */
export class ConnectionError extends CuebridgeError {
  constructor(message: string) {
    super("connection", message);
  }
}

/** The reply did not come within the call's time limit; the connection was dropped. */
export class TimeoutError extends CuebridgeError {
  constructor(message: string) {
    super("timeout", message);
  }
}

/** The host ran the script and it failed; `scriptMessage` is the host's error text. */
export class ScriptError extends CuebridgeError {
  readonly scriptMessage: string;
  constructor(scriptMessage: string) {
    super("script", `script error: ${scriptMessage}`);
    this.scriptMessage = scriptMessage;
  }
}

/** A reply that cannot be matched to its request, or one past the reply size bound. */
export class ProtocolError extends CuebridgeError {
  constructor(message: string) {
    super("protocol", message);
  }
}
