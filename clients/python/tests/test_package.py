"""The README run as written: its install lines in a copy of the repository (building the wheel
offline into a fresh virtual environment, leaving nothing git would show), then each of its
examples with that environment against the simulated host."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from cuebridge import Client
from cuebridge.host import SimulatedHost, find_host

SOURCE = Path(__file__).parents[1]
README = (SOURCE / "README.md").read_text()


def blocks(language):
    return re.findall(rf"```{language}\n(.*?)```", README, re.S)


def git(repo, *args):
    return subprocess.run(["git", "-C", str(repo), *args], check=True, capture_output=True, text=True).stdout


def test_readme_install_lines_and_examples(tmp_path):
    repo = tmp_path / "repo"
    shutil.copytree(SOURCE, repo / "clients" / "python", ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__"))
    shutil.copy(SOURCE.parents[1] / ".gitignore", repo)
    git(repo, "init", "-q")
    git(repo, "add", "-A")
    git(repo, "-c", "user.name=t", "-c", "user.email=t@t", "commit", "-qm", "tree")
    (install,) = blocks("sh")
    program, plugin = find_host()  # outside this source tree, the host is named
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env.update(CUEBRIDGE_HOSTSIM=program, CUEBRIDGE_PLUGIN=plugin or "")
    env["PATH"] = f"{Path(sys.executable).parent}{os.pathsep}{env['PATH']}"  # python3: the one testing
    subprocess.run(["bash", "-euc", install], cwd=repo, env=env, check=True, capture_output=True)
    assert git(repo, "status", "--porcelain", "--untracked-files=all") == ""
    python = str(repo / "build" / "python" / "venv" / "bin" / "python")
    where = subprocess.run([python, "-c", "import cuebridge; print(cuebridge.__file__)"],
                           cwd=tmp_path, env=env, capture_output=True, text=True, check=True)
    assert where.stdout.startswith(str(repo / "build" / "python" / "venv"))

    def run(code, *args, cwd=tmp_path, **extra):
        done = subprocess.run([python, *args] if code is None else [python, "-c", code, *args],
                              cwd=cwd, env={**env, **extra}, capture_output=True, text=True, timeout=60)
        assert done.returncode == 0, done.stdout + done.stderr
        return done.stdout

    examples = blocks("python")
    with SimulatedHost(connect=False) as host:
        for example in examples:
            if example.startswith("def test_"):  # the fixture, found from the environment
                (tmp_path / "test_example.py").write_text(example)
                assert " passed" in run(None, "-m", "pytest", "-q", "-p", "no:cacheprovider", "test_example.py")
            elif "async def run(wheel)" in example:
                ticks = [1] * 30 + [-1] * 10
                code = example + (
                    "\nasync def wheel():\n    for tick in %r:\n        yield tick\n"
                    "asyncio.run(run(wheel()))\n" % ticks)
                run("import asyncio\n" + code, HOME=host.home)
                frame = "var c = app.project.activeItem; Math.round(c.time / c.frameDuration)"
                with Client(host.port_file) as client:
                    assert client.script(frame) == str(sum(ticks))
            elif "sys.argv" in example:
                ids = run(example, "Shot 1", "Shot 2", HOME=host.home).split()
                assert len(ids) == 2 and all(i.isdigit() for i in ids)
                with Client(host.port_file) as client:
                    assert client.script("app.project.item(app.project.numItems).name") == "Shot 2"
            else:
                assert run(example, HOME=host.home).strip() == "6", example
    assert len(examples) == 4  # each one run above
