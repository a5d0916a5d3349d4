"""A pytest plug-in for testing a controller without the host (registered when the package
is installed; in a source tree add ``pytest_plugins = ["cuebridge.testing"]`` to conftest.py).
The fixture ``cuebridge_host`` is a started SimulatedHost (cuebridge.host) with `client`
connected once the plug-in is ready, and its `journal`::

    def test_next_item(cuebridge_host):
        cuebridge_host.client.select_next_item()
        cuebridge_host.journal.wait_for(lambda j: j.selections())
"""

from __future__ import annotations

from typing import Iterator

import pytest

from .host import SimulatedHost


@pytest.fixture
def cuebridge_host() -> Iterator[SimulatedHost]:
    """A started host with `client` connected and the plug-in ready, and its `journal`."""
    with SimulatedHost() as host:
        yield host
