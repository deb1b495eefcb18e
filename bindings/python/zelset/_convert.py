"""Many archives converted by the packaged `zelset` command, in parallel on any executor."""
import concurrent.futures
import os
import pathlib
import subprocess
from typing import Any, Iterable, List, NamedTuple, Optional, Sequence

from . import _native
from ._errors import InvalidInputError
from ._native import PathLike

FORMATS = ("zelm", "zel", "bzel")


class Conversion(NamedTuple):
    """What convert_many did with one archive: archive and output are the paths, error is
    None when the output was written, else why it was not (the command's message)."""
    archive: str
    output: str
    error: Optional[str]

    @property
    def ok(self) -> bool:
        return self.error is None


def convert(archive: str, output: str, options: Sequence[str] = ()) -> Conversion:
    """Runs `zelset convert ARCHIVE OUTPUT OPTIONS...` where it is called (on a worker, the
    command that worker's package carries). Never raises: a failure is the result's error."""
    command = _native.command_path()
    if command is None:
        return Conversion(archive, output, "the zelset command was not found (set ZELSET_COMMAND)")
    try:  # absolute paths: a name that begins with "-" is not taken for an option
        run = subprocess.run([command, "convert", os.path.abspath(archive), os.path.abspath(output), "-q",
                              *options], capture_output=True, encoding="utf-8", errors="replace")
    except OSError as cause:
        return Conversion(archive, output, f"{command}: {cause}")
    if run.returncode != 0:
        return Conversion(archive, output, run.stderr.strip() or f"{command} exited with status {run.returncode}")
    return Conversion(archive, output, None)


def command_options(fmt: str, object: Optional[str], sample: int, all_samples: bool, world: bool,
                    all_objects: bool) -> List[str]:
    """The `zelset convert` options for convert_many's; raises InvalidInputError for a
    combination the command refuses."""
    if isinstance(sample, bool) or not isinstance(sample, int) or not 0 <= sample < 2**32:
        raise InvalidInputError(f"sample must be a whole number from 0 to {2**32 - 1}, not {sample!r}")
    if object is not None and not isinstance(object, str):
        raise InvalidInputError(f"object must be a full object path (str), not {object!r}")
    if all_samples and sample != 0:
        raise InvalidInputError("give sample or all_samples, not both")
    if all_objects and object is not None:
        raise InvalidInputError("give object or all_objects, not both")
    if (all_samples or all_objects) and fmt != "bzel":
        raise InvalidInputError(f"{'all_objects' if all_objects else 'all_samples'} needs fmt \"bzel\" "
                                f"(a {fmt} file holds one mesh at one sample)")
    options = ["--object", object] if object is not None else []
    options += ["--all-samples"] if all_samples else ["--sample", str(sample)]
    return options + ["--world"] * world + ["--all-objects"] * all_objects


def convert_many(paths: Iterable[PathLike], out_dir: PathLike, fmt: str, workers: Optional[int] = None,
                 executor: Any = None, *, object: Optional[str] = None, sample: int = 0, all_samples: bool = False,
                 world: bool = False, all_objects: bool = False) -> List[Conversion]:
    """Converts every archive of paths into out_dir/NAME.fmt, NAME being the archive's file
    name without its extension, by running the packaged `zelset convert` for each: the files
    are the command's own. fmt is "zelm" (mesh cache), "zel" (unit file) or "bzel" (token
    archive); out_dir is made when missing.

    What is converted, as the command's options say it (the same for every archive):
    object, the full path of the mesh (default: the first PolyMesh or SubD of the tree whose
    sample 0 has positions); sample, the sample to convert (default 0); all_samples, every
    sample a frame of a token archive, a mesh split where its topology changes; world,
    positions in world space; all_objects, every PolyMesh and SubD into one token archive
    (each at `sample`, a mesh with fewer samples at its last, or with all_samples at every
    sample). all_samples and all_objects need fmt "bzel"; object and all_objects exclude each
    other, as do sample and all_samples: InvalidInputError before anything runs. An archive
    whose mesh claims more samples than its file has 8-byte words fails in its Conversion.

    The conversions run on a thread pool of `workers` threads (default: one per processor),
    or on `executor`: anything with submit(fn, *args) returning futures, such as a
    concurrent.futures pool or a dask.distributed Client (whose workers have zelset
    installed and see the same paths).

    Returns one Conversion per path, in the order of paths. A failure (a missing or damaged
    archive, two archives of one name, a worker lost) is reported in its Conversion and
    never stops the others."""
    if fmt not in FORMATS:
        raise InvalidInputError(f"fmt must be one of {', '.join(FORMATS)}, not {fmt!r}")
    options = command_options(fmt, object, sample, all_samples, world, all_objects)
    if workers is not None and executor is not None:
        raise InvalidInputError("give workers or executor, not both")
    if workers is not None and workers < 1:
        raise InvalidInputError(f"workers must be at least 1, not {workers}")
    archives = [os.fsdecode(p) for p in paths]
    folder = pathlib.Path(os.fsdecode(out_dir))
    folder.mkdir(parents=True, exist_ok=True)
    outputs = [str(folder / f"{pathlib.Path(a).stem}.{fmt}") for a in archives]
    first_of = {}
    for i, output in enumerate(outputs):
        first_of.setdefault(output, i)
    if executor is None:
        with concurrent.futures.ThreadPoolExecutor(max_workers=workers or os.cpu_count()) as pool:
            return _run(pool, archives, outputs, first_of, options)
    return _run(executor, archives, outputs, first_of, options)


def _run(executor: Any, archives: List[str], outputs: List[str], first_of: dict,
         options: List[str]) -> List[Conversion]:
    futures = {i: executor.submit(convert, a, o, options) for i, (a, o) in enumerate(zip(archives, outputs))
               if first_of[o] == i}
    results = []
    for i, (archive, output) in enumerate(zip(archives, outputs)):
        if i not in futures:
            results.append(Conversion(archive, output, f"{output} is also the output of {archives[first_of[output]]}"))
            continue
        try:
            results.append(futures[i].result())
        except Exception as failure:  # the executor's own failure: a worker lost, a task cancelled
            results.append(Conversion(archive, output, f"{type(failure).__name__}: {failure}"))
    return results
