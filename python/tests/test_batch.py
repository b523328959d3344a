"""glyphwick.batch on a local Dask cluster of two worker processes."""

import json

import pytest

import glyphwick
from conftest import PASSPORT, SCAN

distributed = pytest.importorskip("dask.distributed")


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


def test_batch_gives_the_plain_loop_in_input_order(client, tmp_path):
    bad = tmp_path / "bad.png"
    bad.write_bytes(b"nothing")
    paths = [PASSPORT, SCAN, bad, PASSPORT, tmp_path / "missing.png", SCAN] * 3
    options = {"all_lines": True, "rect": (80, 890, 1400, 990)}
    loop = [glyphwick.batch.read_one(str(p), "lines", options) for p in paths]
    got = glyphwick.batch.read_many(paths, kind="lines", client=client, options=options,
                                    chunk_size=2)
    assert got == loop
    assert [r["file"] for r in got] == [str(p) for p in paths]
    assert got[0]["error"] is None and got[0]["lines"][-1]["text"].endswith("<<16")
    assert "unrecognised" in got[2]["error"] and "FileNotFoundError" in got[4]["error"]
    # The same as a DataFrame and as JSON Lines; "info" through the same table.
    frame = glyphwick.batch.read_many(paths[:4], kind="lines", client=client, options=options,
                                      output="dataframe")
    assert list(frame["file"]) == [str(p) for p in paths[:4]]
    assert list(frame["font"])[:2] == [loop[0]["font"], loop[1]["font"]]
    lines = glyphwick.batch.read_many(paths[:2], kind="info", client=client, output="jsonl")
    info = [json.loads(l) for l in lines.splitlines()]
    assert (info[0]["width"], info[0]["mode"]) == (1476, "L") and info[1]["mode"] == "RGB"
    # The zone and barcode readers through the same table.
    for kind in ("mrz", "barcodes"):
        assert glyphwick.batch.read_many(paths[:6], kind=kind, client=client) == \
            [glyphwick.batch.read_one(str(p), kind) for p in paths[:6]]
    zone = glyphwick.batch.read_one(str(PASSPORT), "mrz")
    assert zone["valid"] and zone["lines"][1].endswith("<<16")
    with pytest.raises(ValueError, match="unknown kind"):
        glyphwick.batch.read_many(paths, kind="nosuch", client=client)
