"""convert_many against the zelset command run by hand: the same files, on a thread pool,
a process pool and a dask.distributed LocalCluster (through the example), with failures
reported in place."""
import concurrent.futures
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
import zelset  # noqa: E402
from zelset import _native  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[3]
DATA = ROOT / "tests" / "data"
ARCHIVES = sorted(str(p) for p in DATA.glob("*.abc"))


class ConvertManyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory()
        cls.folder = pathlib.Path(cls.scratch.name)
        command = _native.command_path()
        cls.expected = {}  # (archive stem, fmt) -> the command's bytes
        for fmt in zelset.FORMATS:
            for archive in ARCHIVES:
                out = cls.folder / "by_hand" / f"{pathlib.Path(archive).stem}.{fmt}"
                out.parent.mkdir(exist_ok=True)
                subprocess.run([command, "convert", archive, str(out)], check=True)
                cls.expected[out.stem, fmt] = out.read_bytes()

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def assert_outputs_are_the_commands(self, results, fmt, archives):
        self.assertEqual([r.archive for r in results], archives)
        for r in results:
            self.assertTrue(r.ok, r.error)
            self.assertEqual(pathlib.Path(r.output).read_bytes(), self.expected[pathlib.Path(r.archive).stem, fmt])

    def test_same_files_as_the_command_with_failures_reported_in_place(self):
        self.assertEqual(len(ARCHIVES), 10)
        not_an_archive = str(DATA / "cube.truth.json")
        elsewhere = self.folder / "elsewhere"
        elsewhere.mkdir()
        same_name = str(elsewhere / "cube.abc")
        pathlib.Path(same_name).write_bytes((DATA / "cube.abc").read_bytes())
        # Bad inputs first and between good ones: none stops the others.
        inputs = [str(DATA / "missing.abc")] + ARCHIVES[:5] + [not_an_archive, same_name] + ARCHIVES[5:]
        for fmt in zelset.FORMATS:
            with self.subTest(fmt):
                results = zelset.convert_many(inputs, self.folder / f"threads_{fmt}", fmt, workers=2)
                self.assertEqual([r.archive for r in results], inputs)
                failed = {r.archive: r.error for r in results if not r.ok}
                self.assertEqual(list(failed), [inputs[0], not_an_archive, same_name])
                self.assertIn("missing.abc", failed[inputs[0]])
                self.assertIn("cube.truth.json", failed[not_an_archive])
                self.assertIn("also the output of", failed[same_name])
                self.assert_outputs_are_the_commands([r for r in results if r.ok], fmt, ARCHIVES)
        with concurrent.futures.ProcessPoolExecutor(2) as pool:
            results = zelset.convert_many(ARCHIVES, self.folder / "processes", "bzel", executor=pool)
        self.assert_outputs_are_the_commands(results, "bzel", ARCHIVES)

    def test_options_reach_the_command_and_bad_ones_are_refused_before_it_runs(self):
        command = _native.command_path()
        scene = str(DATA / "scene_mixed.abc")
        cases = [("zelm", {"object": "/pCube1/pCubeShape1", "sample": 9, "world": True},
                  ["--object", "/pCube1/pCubeShape1", "--sample", "9", "--world"]),
                 ("bzel", {"all_objects": True, "all_samples": True, "world": True},
                  ["--all-objects", "--all-samples", "--world"]),
                 ("bzel", {"all_objects": True, "sample": 4}, ["--all-objects", "--sample", "4"]),
                 ("zel", {}, [])]
        for n, (fmt, options, flags) in enumerate(cases):
            with self.subTest(options):
                by_hand = self.folder / f"by_hand_{n}.{fmt}"
                subprocess.run([command, "convert", scene, str(by_hand), *flags], check=True, capture_output=True)
                results = zelset.convert_many([scene], self.folder / f"options_{n}", fmt, **options)
                self.assertTrue(results[0].ok, results[0].error)
                self.assertEqual(pathlib.Path(results[0].output).read_bytes(), by_hand.read_bytes())
        refused = [("zelm", {"all_objects": True}), ("zel", {"all_samples": True}),
                   ("bzel", {"all_samples": True, "sample": 1}), ("bzel", {"all_objects": True, "object": "/ground"}),
                   ("zelm", {"sample": -1}), ("zelm", {"sample": 2**32}), ("zelm", {"sample": True}),
                   ("zelm", {"object": 3})]
        for fmt, options in refused:
            with self.subTest(options):
                with self.assertRaises(zelset.InvalidInputError):
                    zelset.convert_many([scene], self.folder / "refused", fmt, **options)
        self.assertFalse((self.folder / "refused").exists())
        # A failure of the command is the Conversion's: the cube has no sample 9.
        result = zelset.convert_many([str(DATA / "cube.abc")], self.folder / "late", "zelm", sample=9)[0]
        self.assertFalse(result.ok)
        self.assertIn("has only sample 0", result.error)

    def test_the_cluster_example_on_a_local_cluster(self):
        out = self.folder / "cluster"
        environment = dict(os.environ, PYTHONPATH=os.pathsep.join(
            [str(ROOT / "bindings" / "python")] + os.environ.get("PYTHONPATH", "").split(os.pathsep)))
        run = subprocess.run([sys.executable, str(ROOT / "examples" / "python" / "convert_cluster.py"), str(out),
                              *ARCHIVES, str(DATA / "missing.abc"), "--format", "zel", "--workers", "2"],
                             capture_output=True, text=True, env=environment, timeout=300)
        self.assertEqual(run.returncode, 1, run.stderr)
        lines = run.stdout.splitlines()
        self.assertEqual(len(lines), len(ARCHIVES) + 1)
        self.assertIn("missing.abc: FAILED", lines[-1])
        for archive in ARCHIVES:
            stem = pathlib.Path(archive).stem
            self.assertEqual((out / f"{stem}.zel").read_bytes(), self.expected[stem, "zel"])


if __name__ == "__main__":
    unittest.main()
