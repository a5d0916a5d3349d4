"""Cuebridge: a client library for controllers of the Cuebridge plug-in."""

from .client import DEBUG_VARIABLE, DEFAULT_TIMEOUT, AsyncClient, BatchItem, Effect, State, StateChange
from .errors import CallTimeout, ConnectionFailed, CuebridgeError, ProtocolError, ScriptError
from .host import Journal, SimulatedHost
from .helpers import Jog, Poller, literal, template
from .portfile import default_port_file, port_is_held, read_port_file
from .sync import Client

__all__ = [
    "AsyncClient",
    "BatchItem",
    "CallTimeout",
    "Client",
    "ConnectionFailed",
    "CuebridgeError",
    "DEBUG_VARIABLE",
    "DEFAULT_TIMEOUT",
    "Effect",
    "Jog",
    "Journal",
    "Poller",
    "ProtocolError",
    "ScriptError",
    "SimulatedHost",
    "State",
    "StateChange",
    "default_port_file",
    "literal",
    "port_is_held",
    "read_port_file",
    "template",
]
__version__ = "0.1.0"
