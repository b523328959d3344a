import json
import os
import pathlib
import subprocess

import pytest

SOURCE = pathlib.Path(os.environ.get("GW_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
PASSPORT = SOURCE / "samples" / "td3-passport.png"
SCAN = SOURCE / "samples" / "td3-scan.jpg"


@pytest.fixture(scope="session")
def cpp_lines():
    """The C++ reading of the passport page, every line, through the tool."""
    tool = os.environ.get("GW_TOOL")
    if not tool:
        pytest.skip("GW_TOOL is not set")
    out = subprocess.run([tool, "read", str(PASSPORT), "--all-lines", "--json"],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)[0]
