"""The Python host against the built library and the bundled archives, with numpy or, when
ZELSET_NO_NUMPY is set, with array.array (CTest runs the suite both ways)."""
import array
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
NUMPY = zelset._np is not None


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

    def test_failures_raise_with_the_function_and_status(self):
        with zelset.Archive(DATA / "scene_mixed.abc") as archive:
            for call in (lambda: archive.mesh("/cam"), lambda: archive.mesh("/nothere"),
                         lambda: archive.mesh("/pCube1/pCubeShape1", 10)):
                with self.assertRaises(zelset.ZelsetError) as caught:
                    call()
                self.assertEqual((caught.exception.function, caught.exception.status), ("ogawa_read_polymesh", -1))
            with self.assertRaises(zelset.ZelsetError) as caught:
                archive.uvs("/pCube1/pCubeShape1", 0, set=1)
            self.assertEqual(caught.exception.function, "ogawa_read_uvs")
        with self.assertRaises(zelset.ZelsetError) as caught:
            zelset.Archive(DATA / "missing.abc")
        self.assertEqual(caught.exception.function, "ogawa_open")


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

    def test_failures_raise(self):
        with self.assertRaises(zelset.ZelsetError):
            self.lib.load_unit(DATA / "missing.zel")
        with self.assertRaises(zelset.ZelsetError):
            self.lib.tokenize([], [])


if __name__ == "__main__":
    unittest.main()
