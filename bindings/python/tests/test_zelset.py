"""The Python host against the built library and the bundled archives, with numpy or, when
ZELSET_NO_NUMPY is set, with array.array (CTest runs the suite both ways)."""
import array
import concurrent.futures
import json
import os
import pathlib
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
import zelset  # noqa: E402

DATA = pathlib.Path(__file__).resolve().parents[3] / "tests" / "data"
FIXTURES = ["acyclic_times", "animated", "blender_cube", "cube", "deform_ngons", "dup_instances", "grid_tri",
            "pentagons", "scene_mixed", "tiny"]
NUMPY = zelset.USES_NUMPY


def flat(values):
    """Every value of an array of either kind, in order, as a list."""
    return values.reshape(-1).tolist() if NUMPY else list(values)


def float32_bits(values):
    return struct.pack(f"<{len(values)}f", *values)


def truth_floats(rows):
    return [v for row in rows for v in row]


def preorder(objects):
    for o in objects:
        yield o
        yield from preorder(o.children)


class ArraysTest(unittest.TestCase):
    def test_arrays_are_of_the_chosen_kind(self):
        self.assertEqual(NUMPY, not os.environ.get("ZELSET_NO_NUMPY"))
        with zelset.Archive(DATA / "cube.abc") as archive:
            mesh = archive.mesh()
        if NUMPY:
            import numpy
            self.assertEqual((mesh.positions.shape, mesh.positions.dtype), ((8, 3), numpy.float32))
            self.assertEqual((mesh.transform.shape, mesh.face_indices.dtype), ((4, 4), numpy.uint32))
            self.assertEqual(mesh.triangles().shape, (12, 3))
        else:
            self.assertEqual((type(mesh.positions), mesh.positions.typecode, len(mesh.positions)),
                             (array.array, "f", 24))
            self.assertEqual((mesh.face_indices.typecode, len(mesh.transform)), ("I", 16))
            self.assertEqual(len(mesh.triangles()), 36)


class ArchiveTest(unittest.TestCase):
    def test_trees_and_meshes_match_the_truth(self):
        for name in FIXTURES:
            with self.subTest(name), zelset.Archive(DATA / f"{name}.abc") as archive:
                truth = json.loads((DATA / f"{name}.truth.json").read_text())
                self.assertTrue(archive.described)
                self.assertEqual([(o.path, o.schema) for o in preorder(archive.objects)],
                                 [(o["path"], o["type"]) for o in truth["objects"]])
                transforms = {t["path"]: t for t in json.loads((DATA / f"{name}.transforms.json").read_text())}
                for written in (o for o in truth["objects"] if "samples" in o):
                    path, sample = written["path"], written["samples"][-1]
                    mesh = archive.mesh(path, sample["index"])
                    self.assertEqual(mesh.path, path)
                    self.assertEqual(float32_bits(flat(mesh.positions)),
                                     float32_bits(truth_floats(sample["positions"])))
                    self.assertEqual(flat(mesh.face_counts), sample["face_counts"])
                    self.assertEqual(flat(mesh.face_indices), sample["face_indices"])
                    self.assertEqual(flat(mesh.sample_times), transforms[path]["times"])
                    world = transforms[path]["world_matrices"][sample["index"]]
                    for got, want in zip(flat(mesh.transform), world):
                        self.assertAlmostEqual(got, want, delta=1e-12)
                    normals = sample.get("normals", [])
                    if "normal_indices" in sample:
                        normals = [normals[i] for i in sample["normal_indices"]]
                    self.assertEqual(float32_bits(flat(mesh.normals)), float32_bits(truth_floats(normals)))
                    if normals:
                        values, scope = archive.normals(path, sample["index"])
                        self.assertEqual((flat(values), scope), (flat(mesh.normals), mesh.normal_scope))
                    if "uvs" in sample:
                        uvs = archive.uvs(path, sample["index"])
                        self.assertEqual(uvs.name, "uv")
                        self.assertEqual(float32_bits(flat(uvs.uvs)), float32_bits(truth_floats(sample["uvs"])))
                        self.assertEqual(flat(uvs.indices), sample.get("uv_indices", []))

    def test_threads_sharing_archives_read_what_one_thread_reads(self):
        archives = [zelset.Archive(DATA / f"{name}.abc") for name in FIXTURES]
        reads = [(archive, o["path"], s["index"]) for archive, name in zip(archives, FIXTURES)
                 for o in json.loads((DATA / f"{name}.truth.json").read_text())["objects"] for s in o.get("samples", [])]

        def read(job):
            archive, path, sample = job
            mesh = archive.mesh(path, sample)
            return flat(mesh.positions), flat(mesh.face_indices), flat(mesh.transform)
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            self.assertEqual(list(pool.map(read, reads * 4)), [read(job) for job in reads] * 4)
        for archive in archives:
            archive.close()

    def test_failures_raise_what_python_expects_naming_the_file_and_the_object(self):
        scene = str(DATA / "scene_mixed.abc")
        cube = "/pCube1/pCubeShape1"
        with tempfile.TemporaryDirectory() as folder:
            def file_of(name, content):
                path = pathlib.Path(folder) / name
                path.write_bytes(content)
                return str(path)
            locked = file_of("locked.abc", b"Ogawa")
            os.chmod(locked, 0)
            hdf5 = file_of("hdf5.abc", b"\x89HDF\r\n\x1a\n" + bytes(64))
            short = file_of("short.abc", b"Oga")
            unfinished = file_of("unfinished.abc", b"Ogawa\x00\x00\x01" + bytes(8))
            closed = zelset.Archive(scene)
            closed.close()
            closed_unit = zelset.default_library().create_unit([zelset.Token(1, "A", 0, 1)])
            closed_unit.close()
            with zelset.Archive(scene) as archive:
                # call, the built-in exception, zelset's, what the message names
                cases = [
                    (lambda: zelset.Archive(DATA / "missing.abc"), FileNotFoundError, zelset.MissingFileError,
                     ["missing.abc"]),
                    (lambda: zelset.Archive(locked), PermissionError, zelset.FilePermissionError, ["locked.abc"]),
                    (lambda: zelset.Archive(folder), OSError, zelset.ZelsetOSError, [folder]),
                    (lambda: zelset.Archive(hdf5), zelset.ZelsetError, zelset.NotAnArchiveError, ["hdf5.abc", "HDF5"]),
                    (lambda: zelset.Archive(short), zelset.ZelsetError, zelset.NotAnArchiveError,
                     ["short.abc", "3 bytes"]),
                    (lambda: zelset.Archive(unfinished), zelset.ZelsetError, zelset.NotAnArchiveError,
                     ["unfinished.abc", "frozen"]),
                    (lambda: zelset.Archive(DATA / "cube.truth.json"), zelset.ZelsetError, zelset.NotAnArchiveError,
                     ["cube.truth.json", "Ogawa"]),
                    (lambda: archive.mesh("/nothere"), KeyError, zelset.ObjectNotFoundError, [scene, "/nothere"]),
                    (lambda: archive.normals("/nothere"), KeyError, zelset.ObjectNotFoundError, [scene, "/nothere"]),
                    (lambda: archive.mesh("/cam"), TypeError, zelset.NotAMeshError, [scene, "/cam", "Camera"]),
                    (lambda: archive.uvs("/pCube1"), TypeError, zelset.NotAMeshError, [scene, "/pCube1", "Xform"]),
                    (lambda: archive.mesh(cube, 10), IndexError, zelset.SampleOutOfRangeError,
                     [scene, cube, "10 samples", "sample 10"]),
                    (lambda: archive.normals(cube, 10), IndexError, zelset.SampleOutOfRangeError, [scene, cube, "10"]),
                    (lambda: archive.mesh(None, 10), IndexError, zelset.SampleOutOfRangeError, [scene, cube, "10"]),
                    (lambda: archive.mesh(cube, -1), IndexError, zelset.SampleOutOfRangeError, [scene, cube, "-1"]),
                    (lambda: archive.mesh(cube, 2**32 + 3), IndexError, zelset.SampleOutOfRangeError,
                     [scene, cube, str(2**32 + 3)]),
                    (lambda: archive.mesh(cube, 1.0), TypeError, zelset.InputTypeError, ["sample", "float"]),
                    (lambda: archive.uvs(cube, 0, set=1), zelset.ZelsetError, zelset.ZelsetError,
                     [scene, cube, "set 1", "ogawa_read_uvs returned -1"]),
                    (lambda: closed.mesh(cube), ValueError, zelset.ClosedError, [scene, "closed"]),
                    (lambda: closed.report(), ValueError, zelset.ClosedError, [scene, "closed"]),
                    (lambda: closed.objects[0].sample_count, ValueError, zelset.ClosedError, [scene, "closed"]),
                    (lambda: len(closed_unit), ValueError, zelset.ClosedError, ["closed unit"]),
                    (lambda: zelset.default_library().load_unit(DATA / "missing.zel"), FileNotFoundError,
                     zelset.MissingFileError, ["missing.zel"]),
                    (lambda: zelset.default_library().load_unit(DATA / "cube.abc"), zelset.ZelsetError,
                     zelset.ZelsetError, ["cube.abc", "zelset_load"]),
                ]
                for call, builtin, ours, named in cases:
                    with self.subTest(ours.__name__, named=named):
                        if ours is zelset.FilePermissionError and os.geteuid() == 0:
                            self.skipTest("root reads a file of mode 0")
                        with self.assertRaises(builtin) as caught:
                            call()
                        error = caught.exception
                        self.assertIs(type(error), ours)
                        self.assertIsInstance(error, zelset.ZelsetError)
                        for name in named:
                            self.assertIn(name, str(error))
                        if isinstance(error, OSError):
                            self.assertTrue(error.errno and str(error.filename).endswith(named[0]), error)
                # Nothing above left the archive unusable.
                self.assertEqual(archive.mesh(cube, 9).path, cube)


class RoadTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = zelset.default_library()

    def test_road_from_archive_to_nearest_tokens(self):
        mesh = self.lib.read_first_mesh(DATA / "pentagons.abc")
        with self.lib.tokenize(mesh.positions, mesh.triangles(), name="pentagons") as tokens, \
                tempfile.TemporaryDirectory() as folder:
            self.assertEqual(len(tokens.tokens), mesh.positions.shape[0] if NUMPY else len(mesh.positions) // 3)
            self.assertIn("Mesh: pentagons", tokens.report())
            path = pathlib.Path(folder) / "pentagons.zel"
            tokens.export(path)
            with self.lib.load_unit(path) as unit:
                self.assertEqual(len(unit), len(tokens.tokens))
                keys = [unit[i].morton for i in range(len(unit))]
                self.assertEqual(keys, sorted(keys))
                for token in tokens.tokens[:200]:
                    position = unit.lookup_morton(token.morton)
                    self.assertEqual(unit[position].morton, token.morton)
                    self.assertEqual(unit[unit.lookup_hex(token.hex_id)].hex_id, token.hex_id)
                    results = unit.nearest(token.morton, 3)
                    self.assertEqual(results[0][1], 0)
                    self.assertEqual([d for _, d in results], sorted(d for _, d in results))
                self.assertEqual(flat(unit.layer(1)), list(range(len(unit))))
                self.assertIsNone(unit.lookup_hex("nothere"))

                def single(position):
                    return -1 if position is None else position
                keys = [t.morton for t in tokens.tokens] + [2**64 - 1]
                ids = [t.hex_id for t in tokens.tokens] + ["nothere"]
                self.assertEqual(flat(unit.lookup_morton_many(keys)), [single(unit.lookup_morton(k)) for k in keys])
                self.assertEqual(flat(unit.lookup_hex_many(ids)), [single(unit.lookup_hex(i)) for i in ids])
                self.assertEqual(flat(unit.lookup_morton_many(array.array("Q", keys))),
                                 flat(unit.lookup_morton_many(keys)))
                self.assertEqual(flat(unit.lookup_morton_many([])), [])

    def test_unit_from_tokens_and_from_arrays(self):
        made = [zelset.Token(30, "C", 3, 1), zelset.Token(10, "A", 1, 2), zelset.Token(20, "B", 2, 1)]
        ids = array.array("Q", [int.from_bytes(c.encode().ljust(8, b"\0"), "little") for c in "CAB"])
        with self.lib.create_unit(made) as unit, tempfile.TemporaryDirectory() as folder, \
                self.lib.create_unit(keys=array.array("Q", [30, 10, 20]), ids=ids,
                                     signatures=array.array("Q", [3, 1, 2]), layers=bytearray([1, 2, 1])) as same:
            self.assertEqual([unit[i] for i in range(3)], [same[i] for i in range(3)])
            self.assertEqual([unit[i].hex_id for i in range(3)], ["C", "A", "B"])
            self.assertEqual(unit.lookup_morton(20), 2)
            self.assertEqual(flat(unit.layer(1)), [0, 2])
            path = pathlib.Path(folder) / "three.zel"
            unit.save(path)
            with self.lib.load_unit(path) as loaded:
                self.assertEqual([loaded[i].morton for i in range(3)], [10, 20, 30])
                self.assertEqual(loaded.nearest(21, 2), [(1, 1), (2, 3)])
        with self.assertRaises(ValueError):
            self.lib.create_unit(keys=[1, 2], ids=[1], signatures=[0, 0], layers=[1, 1])

    def test_inputs_are_converted_when_no_value_changes_and_refused_otherwise(self):
        def typed(values, typecode, rows=None):
            if not NUMPY:
                return array.array(typecode, values)
            import numpy
            made = numpy.array(values, dtype=numpy.dtype(typecode))
            return made.reshape(rows, -1) if rows else made

        cube = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]]
        triangles = [[0, 1, 2], [0, 1, 3]]
        with self.lib.tokenize(typed(truth_floats(cube), "f", 4), typed(truth_floats(triangles), "I", 2)) as exact, \
                self.lib.tokenize(typed(truth_floats(cube), "d", 4), typed(truth_floats(triangles), "q", 2)) as wide, \
                self.lib.tokenize(cube, triangles) as listed:
            self.assertEqual(exact.tokens, wide.tokens)
            self.assertEqual(exact.tokens, listed.tokens)
        with self.lib.create_unit(keys=[5, 6], ids=["A", "B"], signatures=[0, 0], layers=[1, 1]) as unit:
            self.assertEqual(flat(unit.lookup_hex_many(typed([ord("B"), ord("C")], "Q"))), [1, -1])
            # call, the built-in exception, what the message names
            cases = [
                (lambda: self.lib.tokenize([[0, 0], [0, 1], [1, 0]], [[0, 1, 2]]), ValueError,
                 "positions row 0 has 2 values, not 3"),
                (lambda: self.lib.tokenize(cube, [[0, 1, 2], [0, 1, 7]]), ValueError,
                 "triangles row 1: 7 is not below 4"),
                (lambda: self.lib.tokenize(cube, typed([0, 1, 2, 0, 1, 7], "I", 2)), ValueError,
                 "triangles row 1: 7 is not below 4"),
                (lambda: self.lib.tokenize(cube, [[0, -1, 2]]), ValueError, "triangles row 0: -1 is not within"),
                (lambda: self.lib.tokenize(cube, typed([0, 1, 2, 3, -1, 2], "i", 2)), ValueError,
                 "triangles row 1: -1 is not within"),
                (lambda: self.lib.tokenize(cube, typed([0, 1, 2], "d", 1)), TypeError, "triangles"),
                (lambda: self.lib.tokenize([[0, 0, "a"]], []), TypeError, "positions row 0: 'a' is not a number"),
                (lambda: self.lib.tokenize(typed([0, 0], "f"), []), ValueError, "positions holds 2 values"),
                (lambda: self.lib.tokenize([], []), ValueError, "0 vertices"),
                (lambda: self.lib.create_unit(keys=[1, 2], ids=["A", "B"], signatures=[0, 0], layers=[1, 256]),
                 ValueError, "layers[1]: 256 is not within 0..255"),
                (lambda: self.lib.create_unit(keys=[1, 2], ids=["A", "123456789"], signatures=[0, 0], layers=[1, 1]),
                 ValueError, "ids[1]"),
                (lambda: self.lib.create_unit(keys=[1, 2], ids=[1], signatures=[0, 0], layers=[1, 1]), ValueError,
                 "differ in length"),
                (lambda: unit.lookup_morton_many([5, -1]), ValueError, "keys[1]: -1"),
                (lambda: unit.lookup_morton_many([5, 2**64]), ValueError, "keys[1]: 18446744073709551616"),
                (lambda: unit.lookup_morton_many(typed([5.0], "d")), TypeError, "keys"),
                (lambda: unit.lookup_morton(2**64), ValueError, "key"),
                (lambda: unit.layer(256), ValueError, "layer"),
            ]
            if NUMPY:
                import numpy
                cases += [(lambda: self.lib.tokenize(numpy.zeros((3, 2)), [[0, 1, 2]]), ValueError,
                           "positions must be n x 3, not 3 x 2"),
                          (lambda: unit.lookup_morton_many(numpy.zeros((2, 2), dtype=numpy.uint64)), ValueError,
                           "keys must be one-dimensional")]
            for call, builtin, named in cases:
                with self.subTest(named):
                    with self.assertRaises(builtin) as caught:
                        call()
                    self.assertIsInstance(caught.exception, zelset.ZelsetError)
                    self.assertIn(named, str(caught.exception))


if __name__ == "__main__":
    unittest.main()
