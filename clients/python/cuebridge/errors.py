"""The errors every call can raise. Each carries a `code` naming its kind, so a caller can
branch on ``err.code`` or on the class."""

from __future__ import annotations


class CuebridgeError(Exception):
    """Base of every error this library raises; `code` says which kind it is."""

    code = "error"


class ConnectionFailed(CuebridgeError):
    """No connection to the plug-in, or it was lost while the call was in flight (the call
    may or may not have run)."""

    code = "connection"


class CallTimeout(CuebridgeError):
    """The call's reply did not come within its timeout; the connection was dropped, since
    the replies after it would be out of step, and is being re-established."""

    code = "timeout"


class ScriptError(CuebridgeError):
    """The host answered a request with ``SCRIPT ERROR: ``; `text` is the host's error text."""

    code = "script"

    def __init__(self, text: str) -> None:
        super().__init__(text)
        self.text = text


class ProtocolError(CuebridgeError):
    """The bytes received cannot be matched to the requests sent (or a reply grew past the
    bound); the connection was dropped."""

    code = "protocol"
