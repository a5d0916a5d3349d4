"""The simulated host with the real plug-in as a child process, under a throw-away HOME with a
journal, and the journal read back: for tests (see cuebridge.testing), benchmarks and demos.

The host is found through $CUEBRIDGE_HOSTSIM (and the plug-in through $CUEBRIDGE_PLUGIN), else
in this repository's build/default, else as cuebridge-hostsim on PATH (an installed package,
whose host finds its plug-in by itself)."""

from __future__ import annotations

import json
import os
import selectors
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple

from .client import AsyncClient
from .portfile import SERVICE_FOLDER, default_port_file, read_port_file
from .sync import Client


def find_host() -> Tuple[str, Optional[str]]:
    """The simulated host's program and the plug-in to load (None: the host's default)."""
    program = os.environ.get("CUEBRIDGE_HOSTSIM")
    plugin = os.environ.get("CUEBRIDGE_PLUGIN")
    if program:
        return program, plugin
    built = Path(__file__).resolve().parents[3] / "build" / "default"
    if (built / "bin" / "cuebridge-hostsim").is_file():
        return str(built / "bin" / "cuebridge-hostsim"), plugin or str(built / "lib" / "Cuebridge.so")
    installed = shutil.which("cuebridge-hostsim")
    if installed:
        return installed, plugin
    raise FileNotFoundError(
        "cuebridge-hostsim not found: build the default preset, install the package, "
        "or set CUEBRIDGE_HOSTSIM"
    )


Record = Dict[str, Any]


class Journal:
    """The host's call journal, read as it grows: one record per host call the plug-in made."""

    def __init__(self, path: str) -> None:
        self.path = path
        self._records: List[Record] = []
        self._offset = 0

    def records(self) -> List[Record]:
        try:
            with open(self.path, "rb") as file:
                if os.fstat(file.fileno()).st_size < self._offset:  # a restarted host rewrote it
                    self._records, self._offset = [], 0
                file.seek(self._offset)
                data = file.read()
        except FileNotFoundError:
            return []
        complete = data[: data.rfind(b"\n") + 1]
        self._offset += len(complete)
        self._records.extend(json.loads(line) for line in complete.splitlines())
        return self._records

    def calls(self, name: str) -> List[Record]:
        return [r for r in self.records() if r["call"] == name]

    def commands(self) -> List[int]:
        """Menu command numbers the plug-in ran, in order."""
        return [r["args"]["command"] for r in self.calls("AEGP_DoCommand")]

    def selections(self) -> List[Record]:
        """Project panel selection changes: {"item", "select", "deselect_others"}."""
        return [r["args"] for r in self.calls("AEGP_SelectItem")]

    def info_writes(self) -> List[Record]:
        """Info panel writes: {"call": "PF_InfoDrawText" or "PF_InfoDrawColor" ..., "args"}."""
        return [r for r in self.records() if r["call"].startswith(("PF_InfoDraw", "PF_AppendInfo"))]

    def scripts(self) -> List[Record]:
        """Scripts run: {"script", "result", "error"}; the host's state() shows what they changed."""
        return [
            {"script": r["args"]["script"], **(r.get("out") or {})}
            for r in self.calls("AEGP_ExecuteScript")
        ]

    def wait_for(self, condition: Callable[["Journal"], Any], timeout: float = 5.0) -> Any:
        """Waits until condition(journal) is truthy and returns it; AssertionError after timeout."""
        deadline = time.monotonic() + timeout
        while True:
            value = condition(self)
            if value:
                return value
            if time.monotonic() > deadline:
                raise AssertionError(f"the journal {self.path} did not show what was waited for in {timeout} s")
            time.sleep(0.01)


class SimulatedHost:
    """The simulated host as a child process under its own throw-away HOME."""

    client: Client  # set by start(connect=True)

    def __init__(
        self,
        args: Sequence[str] = (),
        program: Optional[str] = None,
        plugin: Optional[str] = None,
        connect: bool = True,
    ):
        found_program, found_plugin = find_host() if program is None else (program, plugin)
        self.program, self.plugin, self.args = found_program, found_plugin, list(args)
        self.home = tempfile.mkdtemp(prefix="cuebridge-home-")
        os.makedirs(os.path.join(self.home, SERVICE_FOLDER, "PluginData"))
        self.port_file = default_port_file(self.home)
        self.journal = Journal(os.path.join(self.home, "journal.jsonl"))
        self.process: Optional[subprocess.Popen[bytes]] = None
        self._clients: List[Client] = []
        self._connect = connect

    def start(self, connect: bool = True) -> None:
        """Starts the host; with `connect`, also `client`, connected once the plug-in is ready."""
        command = [self.program, "--journal", self.journal.path, *self.args]
        if self.plugin:
            command += ["--plugin", self.plugin]
        with open(os.path.join(self.home, "host.stderr"), "ab") as errors:
            self.process = subprocess.Popen(
                command,
                stdin=subprocess.PIPE,
                stdout=subprocess.PIPE,
                stderr=errors,
                env={**os.environ, "HOME": self.home},
            )
        if connect:
            self.client = self.new_client()
            self.client.wait_until_ready()

    def wait_for_port(self, timeout: float = 10.0, not_port: Optional[int] = None) -> int:
        """The port in the port file once it names one other than `not_port`."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            port = read_port_file(self.port_file).port
            if port is not None and port != not_port:
                return port
            time.sleep(0.01)
        raise AssertionError(f"no port file at {self.port_file} within {timeout} s")

    def new_client(self, **options: Any) -> Client:
        """A connected synchronous client, closed with the host."""
        client = Client(self.port_file, **options)
        self._clients.append(client)
        client.connect()
        return client

    def async_client(self, **options: Any) -> AsyncClient:
        """An asyncio client for this host (create it on the loop that will use it)."""
        return AsyncClient(self.port_file, **options)

    def state(self, timeout: float = 10.0) -> Record:
        """The host's state from its console: items and selection, Info panel, commands run."""
        assert self.process and self.process.stdin and self.process.stdout
        self.process.stdin.write(b"state\n")
        self.process.stdin.flush()
        with selectors.DefaultSelector() as selector:
            selector.register(self.process.stdout, selectors.EVENT_READ)
            if not selector.select(timeout):
                raise AssertionError("the host's console did not answer")
        state: Record = json.loads(self.process.stdout.readline())["state"]
        return state

    def kill(self) -> None:
        """Ends the host at once, as a crash would (its port file stays)."""
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()

    def stop(self) -> None:
        for client in self._clients:
            client.close()
        self._clients.clear()
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.kill()
        if self.process:
            for pipe in (self.process.stdin, self.process.stdout):
                if pipe:
                    pipe.close()

    def __enter__(self) -> "SimulatedHost":
        self.start(self._connect)
        return self

    def __exit__(self, *exc: object) -> None:
        self.stop()
        shutil.rmtree(self.home, ignore_errors=True)
