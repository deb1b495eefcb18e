"""The Python host against the built library and the bundled archives."""
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


class RoadTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = zelset.Library(os.environ.get("ZELSET_LIBRARY"))

    def test_first_mesh_matches_the_truth(self):
        truth = json.loads((DATA / "pentagons.truth.json").read_text())
        mesh = self.lib.read_first_mesh(DATA / "pentagons.abc")
        written = truth["objects"][0]["samples"][0]
        self.assertEqual(len(mesh.positions), len(written["positions"]))
        for got, want in zip(mesh.positions, written["positions"]):
            # The truth writes the shortest decimal of each float32: compare as float32.
            self.assertEqual(struct.pack("<3f", *got), struct.pack("<3f", *want))
        self.assertEqual(mesh.face_counts, list(written["face_counts"]))
        self.assertEqual(mesh.face_indices, list(written["face_indices"]))
        self.assertEqual(len(mesh.triangles()), sum(n - 2 for n in mesh.face_counts))

    def test_road_from_archive_to_nearest_tokens(self):
        mesh = self.lib.read_first_mesh(DATA / "pentagons.abc")
        with self.lib.tokenize(mesh.positions, mesh.triangles(), name="pentagons") as tokens, \
                tempfile.TemporaryDirectory() as folder:
            self.assertEqual(len(tokens.tokens), len(mesh.positions))
            self.assertIn("Mesh: pentagons", tokens.report())
            path = pathlib.Path(folder) / "pentagons.zel"
            tokens.export(path)
            with self.lib.load_unit(path) as unit:
                self.assertEqual(len(unit), len(tokens.tokens))
                keys = [unit[i].morton for i in range(len(unit))]
                self.assertEqual(keys, sorted(keys))
                for token in tokens.tokens[:200]:
                    position = unit.lookup_morton(token.morton)
                    self.assertIsNotNone(position)
                    self.assertEqual(unit[position].morton, token.morton)
                    self.assertEqual(unit[unit.lookup_hex(token.hex_id)].hex_id, token.hex_id)
                    results = unit.nearest(token.morton, 3)
                    self.assertEqual(results[0][1], 0)
                    self.assertEqual([d for _, d in results], sorted(d for _, d in results))
                self.assertEqual(unit.layer(1), list(range(len(unit))))
                self.assertIsNone(unit.lookup_hex("nothere"))

                def single(position):
                    return -1 if position is None else position
                keys = [t.morton for t in tokens.tokens] + [2**64 - 1]
                ids = [t.hex_id for t in tokens.tokens] + ["nothere"]
                self.assertEqual(list(unit.lookup_morton_many(keys)), [single(unit.lookup_morton(k)) for k in keys])
                self.assertEqual(list(unit.lookup_hex_many(ids)), [single(unit.lookup_hex(i)) for i in ids])
                self.assertEqual(list(unit.lookup_morton_many([])), [])

    def test_unit_from_python_tokens(self):
        made = [zelset.Token(30, "C", 3, 1), zelset.Token(10, "A", 1, 2), zelset.Token(20, "B", 2, 1)]
        with self.lib.create_unit(made) as unit, tempfile.TemporaryDirectory() as folder:
            self.assertEqual([unit[i].hex_id for i in range(3)], ["C", "A", "B"])
            self.assertEqual(unit.lookup_morton(20), 2)
            self.assertEqual(unit.layer(1), [0, 2])
            path = pathlib.Path(folder) / "three.zel"
            unit.save(path)
            with self.lib.load_unit(path) as loaded:
                self.assertEqual([loaded[i].morton for i in range(3)], [10, 20, 30])
                self.assertEqual(loaded.nearest(21, 2), [(1, 1), (2, 3)])

    def test_failures_raise(self):
        with self.assertRaises(zelset.ZelsetError) as caught:
            self.lib.read_first_mesh(DATA / "missing.abc")
        self.assertEqual(caught.exception.function, "ogawa_open")
        with self.assertRaises(zelset.ZelsetError):
            self.lib.load_unit(DATA / "missing.zel")
        with self.assertRaises(zelset.ZelsetError):
            self.lib.tokenize([], [])


if __name__ == "__main__":
    unittest.main()
