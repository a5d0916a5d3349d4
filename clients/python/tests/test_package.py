"""The wheel, built offline, installed into a fresh virtual environment with no index, used as
a newcomer would: its pytest fixture and client against the simulated host."""

import os
import shutil
import subprocess
import sys
import venv
from pathlib import Path

from cuebridge.host import find_host

SOURCE = Path(__file__).parents[1]
NEWCOMER_TEST = '''
def test_newcomer(cuebridge_host):
    cuebridge_host.client.execute_command(2004)
    assert cuebridge_host.client.script("1 + 1") == "2"
    cuebridge_host.journal.wait_for(lambda j: j.commands() == [2004])
'''


def test_wheel_installs_offline_and_works(tmp_path):
    source = shutil.copytree(SOURCE, tmp_path / "src", ignore=shutil.ignore_patterns("tests", "bench", "build"))
    subprocess.run(
        [sys.executable, "-m", "pip", "wheel", "--no-build-isolation", "--no-index", "--no-deps",
         "-w", str(tmp_path / "dist"), str(source)],
        check=True, capture_output=True,
    )
    (wheel,) = (tmp_path / "dist").glob("cuebridge-*.whl")
    # The system's packages stay visible for pytest alone; cuebridge must come from the wheel.
    venv.create(tmp_path / "venv", system_site_packages=True)
    python = str(tmp_path / "venv" / "bin" / "python")
    subprocess.run(
        [sys.executable, "-m", "pip", "--python", python, "install", "--no-index", str(wheel)],
        check=True, capture_output=True,
    )
    (tmp_path / "use" / "test_newcomer.py").parent.mkdir()
    (tmp_path / "use" / "test_newcomer.py").write_text(NEWCOMER_TEST)
    program, plugin = find_host()  # outside this source tree, the host is named
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env.update(CUEBRIDGE_HOSTSIM=program, CUEBRIDGE_PLUGIN=plugin or "")
    run = subprocess.run(
        [python, "-m", "pytest", "-q", "-p", "no:cacheprovider", "test_newcomer.py"],
        cwd=tmp_path / "use", capture_output=True, text=True,
        env=env,
    )
    assert run.returncode == 0, run.stdout + run.stderr
    where = subprocess.run(
        [python, "-c", "import cuebridge; print(cuebridge.__file__)"],
        cwd=tmp_path, env=env, capture_output=True, text=True, check=True,
    )
    assert where.stdout.startswith(str(tmp_path / "venv"))
