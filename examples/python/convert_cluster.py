"""Converts many Alembic archives on a dask.distributed cluster with zelset.convert_many.

    python3 convert_cluster.py OUT_DIR ARCHIVE... [--format zelm|zel|bzel]
                               [--scheduler tcp://HOST:8786 | --workers N]

With --scheduler, the archives go to that cluster's workers, which need zelset installed
and the same view of the paths (a shared file system). Without it, a LocalCluster of N
worker processes on this machine does the work. Prints one line per archive, in the order
given, and exits with status 1 when any conversion failed.
"""
import argparse
import contextlib
import sys

from distributed import Client, LocalCluster

import zelset


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out_dir")
    parser.add_argument("archives", nargs="+")
    parser.add_argument("--format", choices=zelset.FORMATS, default="zelm")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", help="address of a running dask scheduler")
    where.add_argument("--workers", type=int, default=2, help="processes of the local cluster (default 2)")
    args = parser.parse_args()

    with contextlib.ExitStack() as stack:
        cluster = args.scheduler or stack.enter_context(
            LocalCluster(n_workers=args.workers, threads_per_worker=1, dashboard_address=None))
        client = stack.enter_context(Client(cluster))  # closed before the cluster
        results = zelset.convert_many(args.archives, args.out_dir, args.format, executor=client)
    for r in results:
        print(f"{r.archive} -> {r.output}" if r.ok else f"{r.archive}: FAILED: {r.error}")
    return 0 if all(r.ok for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
