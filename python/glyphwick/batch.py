"""Reading many files on a Dask cluster.

Each Dask worker process imports glyphwick and so holds its own library state
(the library admits one thread at a time per process); the files are handed
out in chunks and the results come back in input order. Without a client a
local cluster runs, one worker process per core. Pointed at a cluster,

    from dask.distributed import Client
    results = read_many(paths, kind="lines", client=Client("tcp://scheduler:8786"))

needs nothing else, provided glyphwick is installed on every worker and the
paths name files the workers can open.
"""

from __future__ import annotations

import json
import os
from typing import Any, Callable, Dict, Iterable, List, Optional

from . import Image, read_barcodes, read_lines, read_mrz


def _lines(path: str, options: Dict[str, Any]) -> Dict[str, Any]:
    return read_lines(path, **options).to_dict()


def _info(path: str, options: Dict[str, Any]) -> Dict[str, Any]:
    image = Image(path)
    return {"width": image.width, "height": image.height, "mode": image.mode,
            "resolution": list(image.resolution)}


def _barcodes(path: str, options: Dict[str, Any]) -> Dict[str, Any]:
    return read_barcodes(path, **options).to_dict()


def _mrz(path: str, options: Dict[str, Any]) -> Dict[str, Any]:
    return read_mrz(path, **options).to_dict()


#: What read_many can read: kind -> function(path, options) -> dict of fields.
KINDS: Dict[str, Callable[[str, Dict[str, Any]], Dict[str, Any]]] = {
    "lines": _lines,
    "barcodes": _barcodes,
    "mrz": _mrz,
    "info": _info,
}


def read_one(path: str, kind: str, options: Optional[Dict[str, Any]] = None) -> Dict[str, Any]:
    """Reads one file: {"file", ...the reader's to_dict()..., "error"}, the
    keys of glyphwick's --json per file. A failure of the file (missing,
    undecodable, ...) is its "error", never an exception; "error" is None
    when the file was read."""
    if kind not in KINDS:
        raise ValueError(f"unknown kind {kind!r} (known: {', '.join(sorted(KINDS))})")
    try:
        fields = KINDS[kind](path, options or {})
        return {"file": path, **fields, "error": None}
    except (OSError, ValueError, RuntimeError) as e:
        return {"file": path, "error": f"{type(e).__name__}: {e}"}


def _read_chunk(paths: List[str], kind: str, options: Dict[str, Any]) -> List[Dict[str, Any]]:
    return [read_one(p, kind, options) for p in paths]


def read_many(paths: Iterable[Any], kind: str = "mrz", client=None, *,
              options: Optional[Dict[str, Any]] = None, chunk_size: Optional[int] = None,
              output: str = "list"):
    """Reads every file of paths with the reader kind ("lines", "info") over
    Dask workers and returns one result per path, in input order.

    client: a dask.distributed Client; None runs a LocalCluster of one worker
        process per core for this call.
    options: keyword arguments of the reader (for "lines": read_lines's).
    chunk_size: files per task (default: about four tasks per worker).
    output: "list" (dicts), "dataframe" (a pandas DataFrame, one row a file)
        or "jsonl" (a str of JSON Lines).
    """
    if kind not in KINDS:
        raise ValueError(f"unknown kind {kind!r} (known: {', '.join(sorted(KINDS))})")
    if output not in ("list", "dataframe", "jsonl"):
        raise ValueError("output must be 'list', 'dataframe' or 'jsonl'")
    files = [os.fspath(p) for p in paths]
    own = None
    if client is None:
        from dask.distributed import Client, LocalCluster
        own = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1,
                           processes=True, dashboard_address=None)
        client = Client(own)
    try:
        workers = max(1, len(client.scheduler_info().get("workers", {})))
        size = chunk_size or max(1, -(-len(files) // (4 * workers)))
        chunks = [files[i:i + size] for i in range(0, len(files), size)]
        futures = client.map(_read_chunk, chunks, kind=kind, options=options or {}, pure=False)
        results = [r for chunk in client.gather(futures) for r in chunk]
    finally:
        if own is not None:
            client.close()
            own.close()
    if output == "dataframe":
        return to_dataframe(results)
    if output == "jsonl":
        return to_jsonl(results)
    return results


def to_dataframe(results: List[Dict[str, Any]]):
    """The results as a pandas DataFrame, one row a file, in order."""
    import pandas
    return pandas.DataFrame.from_records(results)


def to_jsonl(results: List[Dict[str, Any]]) -> str:
    """The results as JSON Lines, one object a file, in order."""
    return "".join(json.dumps(r) + "\n" for r in results)
