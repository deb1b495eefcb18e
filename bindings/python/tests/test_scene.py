"""The scene as Python sees it (metadata, time samplings, objects, properties, every mesh) and
the archives it refuses (damaged, undescribed), against the bundled archives' truth files."""
import json
import pathlib
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
import zelset  # noqa: E402
from zelset import _native  # noqa: E402
from test_zelset import DATA, FIXTURES, flat, float32_bits, preorder, truth_floats  # noqa: E402

MESH_TYPES = ("PolyMesh", "SubD")
EMPTY_REFERENCE = 1 << 63  # a data node at position 0: a sample with no elements


def truth_of(name):
    return json.loads((DATA / f"{name}.truth.json").read_text())


def values(mesh):
    """Everything a Mesh holds, as plain lists."""
    return [mesh.name, mesh.path, mesh.normal_scope, mesh.sample_count] + [
        flat(a) for a in (mesh.positions, mesh.face_counts, mesh.face_indices, mesh.normals, mesh.sample_times,
                          mesh.transform)]


def child(data, group, index):
    """The reference stored as child `index` of the group at byte `group`."""
    return struct.unpack_from("<Q", data, group + 8 + 8 * index)[0] & ~EMPTY_REFERENCE


def root(data):
    return struct.unpack_from("<Q", data, 8)[0]


def group_at(data, path):
    """The byte of the group at an Ogawa path such as "root/2/1/0"."""
    group = root(data)
    for step in path.split("/")[1:]:
        group = child(data, group, int(step))
    return group


def cube_with(folder, name, arrays, offset, value):
    """A copy of cube.abc in folder with value written `offset` bytes into the group of each of its
    named arrays."""
    data = bytearray((DATA / "cube.abc").read_bytes())
    for location in truth_of("cube")["ogawa"]["array_locations"]:
        if location["array"] in arrays:
            struct.pack_into("<Q", data, group_at(data, location["property_group_path"]) + offset, value)
    path = pathlib.Path(folder) / name
    path.write_bytes(data)
    return path


class SceneTest(unittest.TestCase):
    def test_the_archive_says_what_its_writer_wrote(self):
        for name in FIXTURES:
            truth = truth_of(name)
            with self.subTest(name), zelset.Archive(DATA / f"{name}.abc") as archive:
                self.assertTrue(archive.metadata["_ai_AlembicVersion"].startswith("Alembic "))
                self.assertEqual(archive.time_samplings[0], zelset.TimeSampling("uniform", 1.0, (0.0,),
                                                                                archive.time_samplings[0].max_samples))
                for written in truth.get("time_samplings", [])[1:]:
                    sampling = archive.time_samplings[written["index"]]
                    self.assertEqual((sampling.kind, sampling.time_per_cycle, sampling.times[0]),
                                     (written["kind"], written["time_per_cycle"], written["start_time"]))
                objects = {o.path: o for o in preorder(archive.objects)}
                for written in truth["objects"]:
                    o = objects[written["path"]]
                    self.assertRegex(o.schema_text, rf"^AbcGeom_{written['type']}_v\d+$")
                    self.assertEqual(o.instance_source, "")
                    if "num_samples" in written:
                        self.assertEqual(o.sample_count, written["num_samples"])
                # Each mesh's times, worked out from the time sampling its positions name.
                for mesh in json.loads((DATA / f"{name}.transforms.json").read_text()):
                    positions = next(p for p in archive.properties(mesh["path"]) if p.path == ".geom/P")
                    self.assertEqual((positions.kind, positions.pod, positions.extent, positions.sample_count),
                                     ("array", "float32", 3, len(mesh["times"])))
                    sampling = archive.time_samplings[positions.time_sampling]
                    self.assertGreaterEqual(sampling.max_samples, len(mesh["times"]))
                    if sampling.kind == "acyclic":
                        self.assertEqual(sampling.times, tuple(mesh["times"]))
                    else:
                        for k, time in enumerate(mesh["times"]):
                            self.assertAlmostEqual(sampling.times[0] + k * sampling.time_per_cycle, time, delta=1e-12)

    def test_the_command_says_what_python_says(self):
        """zelset info's metadata keys and property types are the package's, as written."""
        def flattened(properties):
            for p in properties:
                yield p
                yield from flattened(p.get("properties", []))

        def objects(tree):
            for o in tree:
                yield o
                yield from objects(o["children"])

        for name in FIXTURES:
            run = subprocess.run([_native.command_path(), "info", str(DATA / f"{name}.abc"), "--properties", "--json"],
                                 capture_output=True, encoding="utf-8", check=True)
            report = json.loads(run.stdout)
            with self.subTest(name), zelset.Archive(DATA / f"{name}.abc") as archive:
                self.assertEqual(report["metadata"], archive.metadata)
                for o in objects(report["objects"]):
                    said = [(p["path"], p["kind"], p.get("pod"), p.get("extent", 0)) for p in flattened(o["properties"])]
                    known = [(p.path, p.kind, p.pod, p.extent if p.pod else 0) for p in archive.properties(o["path"])]
                    self.assertEqual(said, known, o["path"])

    def test_meshes_are_the_per_path_reads_in_tree_order(self):
        for name in FIXTURES:
            written = [o for o in truth_of(name)["objects"] if o["type"] in MESH_TYPES]
            for sample in (0, 6):
                with self.subTest(name, sample=sample), zelset.Archive(DATA / f"{name}.abc") as archive:
                    # A mesh with fewer samples gives its last.
                    expected = [(o["path"], values(archive.mesh(o["path"], min(sample, o.get("num_samples", 1) - 1))))
                                for o in written]
                    self.assertEqual([(path, values(mesh)) for path, mesh in archive.meshes(sample)], expected)
        with zelset.Archive(DATA / "cube.abc") as archive:
            with self.assertRaises(zelset.SampleOutOfRangeError):
                archive.meshes(-1)
            with self.assertRaises(KeyError):
                archive.properties("/nothere")

    def test_an_empty_mesh_reads_as_no_vertices_and_no_faces(self):
        with tempfile.TemporaryDirectory() as folder:
            arrays = ("positions", "face_counts", "face_indices")  # each array's first child: no elements
            with zelset.Archive(cube_with(folder, "empty.abc", arrays, 8, EMPTY_REFERENCE)) as archive:
                mesh = archive.mesh("/cube")
                self.assertEqual((mesh.name, mesh.sample_count), ("cube", 1))
                self.assertEqual([len(flat(a)) for a in (mesh.positions, mesh.face_counts, mesh.triangles())],
                                 [0, 0, 0])
                self.assertEqual([(p, values(m)) for p, m in archive.meshes()], [("/cube", values(mesh))])

    def test_properties_that_do_not_decode_are_damage(self):
        with tempfile.TemporaryDirectory() as folder:
            path = cube_with(folder, "short.abc", ("positions",), 0, 1)  # P's one sample needs 2 children
            with zelset.Archive(path) as archive:
                for _ in range(2):  # and again: the headers stay undecodable
                    with self.assertRaises(ValueError) as caught:
                        archive.properties("/cube")
                    error = caught.exception
                    self.assertIs(type(error), zelset.DamagedArchiveError)
                    self.assertEqual((error.function, error.status), ("ogawa_decode_properties", -2))
                    self.assertIn(str(path), str(error))
                    self.assertIn("/cube", str(error))

    def test_damaged_archives_are_refused_and_undescribed_ones_read_only_when_salvaged(self):
        with tempfile.TemporaryDirectory() as folder:
            def copy(name, how, data):
                path = pathlib.Path(folder) / f"{name}.{how}.abc"
                path.write_bytes(data)
                return path

            def refused(path, error, salvage):
                with self.assertRaises(error) as caught:
                    zelset.Archive(path, salvage=salvage)
                self.assertIsInstance(caught.exception, zelset.ZelsetError)
                self.assertIn(str(path), str(caught.exception))
                return caught.exception

            # Damage below the top object (cube.abc's /cube group, at 1290, claims more
            # children than the file holds): opening does not reach it, the index does.
            deep = bytearray((DATA / "cube.abc").read_bytes())
            struct.pack_into("<Q", deep, 1290, len(deep))
            error = refused(copy("cube", "deep", bytes(deep)), ValueError, False)
            self.assertIs(type(error), zelset.DamagedArchiveError)
            self.assertIn("past the end", str(error))

            for name in FIXTURES:
                with self.subTest(name):
                    data = (DATA / f"{name}.abc").read_bytes()
                    cut = copy(name, "cut", data[:-1])
                    for salvage in (False, True):
                        error = refused(cut, ValueError, salvage)
                        self.assertIs(type(error), zelset.DamagedArchiveError)
                        self.assertIn("past the end", str(error))

                    # A preallocated file never filled: refused, and at best a guess.
                    zeroed = copy(name, "zeroed", data[:len(data) - len(data) // 3] + bytes(len(data) // 3))
                    refused(zeroed, zelset.ZelsetError, False)
                    try:
                        with zelset.Archive(zeroed, salvage=True) as salvaged:
                            self.assertFalse(salvaged.described)
                    except zelset.DamagedArchiveError:
                        pass

                    undescribed = bytearray(data)
                    struct.pack_into("<Q", undescribed, root(data), 5)  # the root group loses its last child
                    undescribed = copy(name, "undescribed", undescribed)
                    self.assertIn("salvage=True", str(refused(undescribed, zelset.NotAnArchiveError, False)))
                    with zelset.Archive(undescribed, salvage=True) as salvaged:
                        self.assertEqual((salvaged.described, salvaged.objects, salvaged.metadata,
                                          salvaged.time_samplings, list(salvaged.meshes())),
                                         (False, (), {}, (), []))
                        if name in ("animated", "pentagons"):  # where the shapes give the mesh exactly
                            sample = truth_of(name)["objects"][0]["samples"][0]
                            mesh = salvaged.mesh()
                            self.assertEqual(float32_bits(flat(mesh.positions)),
                                             float32_bits(truth_floats(sample["positions"])))
                            self.assertEqual(flat(mesh.face_indices), sample["face_indices"])
                        elif name in ("tiny", "dup_instances"):  # where they give nothing
                            self.assertRaises(zelset.ZelsetError, salvaged.mesh)


if __name__ == "__main__":
    unittest.main()
