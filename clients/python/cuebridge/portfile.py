"""Finding the plug-in: the port file it publishes, and whether a port is held by a socket.
Pure functions over the file system; any thread."""

from __future__ import annotations

import os
import stat
from dataclasses import dataclass
from typing import Optional

SERVICE_FOLDER = "Library/Application Support/Ostrel/OstrelPluginService"
PORT_FILE = "PluginData/AfterEffects/socket.port"

# /proc/net/tcp state of a socket that only waits out its last segments: no process holds it.
_TIME_WAIT = "06"


def default_port_file(home: Optional[str] = None) -> str:
    """The port file under `home` (default: $HOME)."""
    home = home if home is not None else os.environ.get("HOME", "")
    if not home:
        raise ValueError("HOME is not set: pass the port file's path")
    return os.path.join(home, SERVICE_FOLDER, PORT_FILE)


@dataclass(frozen=True)
class PortFile:
    """What reading the port file gave: `port` when it named one, else `problem` (one of
    "missing", "not-regular", "invalid")."""

    port: Optional[int] = None
    problem: Optional[str] = None


def read_port_file(path: str) -> PortFile:
    """Reads the port: decimal digits, a trailing line feed tolerated, 1..65535. Only a
    regular file is read, so a FIFO placed at the path never blocks the caller."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except (FileNotFoundError, NotADirectoryError):
        return PortFile(problem="missing")
    except OSError:
        return PortFile(problem="invalid")
    try:
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            return PortFile(problem="not-regular")
        data = os.read(fd, 8)
    except OSError:
        return PortFile(problem="invalid")
    finally:
        os.close(fd)
    text = data[:-1] if data.endswith(b"\n") else data
    if not (1 <= len(text) <= 5 and text.isdigit()):
        return PortFile(problem="invalid")
    port = int(text)
    return PortFile(port=port) if 1 <= port <= 65535 else PortFile(problem="invalid")


def port_is_held(port: int, tables: tuple[str, ...] = ("/proc/net/tcp", "/proc/net/tcp6")) -> bool:
    """True when some socket on this machine has `port` as its local port (listening,
    connected or closing; a socket in TIME_WAIT belongs to nobody and does not count). A
    refused connect to a held port means another controller has the plug-in; to a port
    nobody holds, that the port file is stale."""
    wanted = f":{port:04X}"
    for table in tables:
        try:
            with open(table, encoding="ascii") as lines:
                next(lines, None)
                for line in lines:
                    fields = line.split()
                    if len(fields) > 3 and fields[1].endswith(wanted) and fields[3] != _TIME_WAIT:
                        return True
        except OSError:
            continue
    return False
