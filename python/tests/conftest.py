import os
import pathlib


SOURCE = pathlib.Path(os.environ.get("GW_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
PASSPORT = SOURCE / "samples" / "td3-passport.png"
SCAN = SOURCE / "samples" / "td3-scan.jpg"
