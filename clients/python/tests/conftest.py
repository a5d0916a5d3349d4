import importlib.metadata

# The fixture comes from the package's pytest plug-in; in the source tree it is not installed.
if not any(ep.name == "cuebridge" for ep in importlib.metadata.entry_points(group="pytest11")):
    pytest_plugins = ["cuebridge.testing"]
