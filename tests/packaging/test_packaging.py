"""The package as users install it: a wheel, an editable install and an sdist
of this tree, each installed with pip (no index) into a fresh virtual
environment of the configured interpreter, then imported from there, never
from the build tree. These tests compile the module again, so they carry the
ctest label `packaging` and run apart from the rest."""

import base64
import csv
import hashlib
import io
import json
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import tomllib
import unittest
import zipfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
# A build directory per test below ctest's binary directory, so that a
# second run only rebuilds what changed.
BUILD_ROOT = Path(os.environ.get("TRELK_PACKAGING_BUILD",
                                 tempfile.gettempdir()))

with open(SOURCE / "pyproject.toml", "rb") as pyproject:
    VERSION = tomllib.load(pyproject)["project"]["version"]

# Run in the new environment: what is imported from where, and a query.
CHECK = r"""
import importlib.metadata, json, os, sys, sysconfig, tempfile
import trelk_rs
root = tempfile.mkdtemp()
path = os.path.join(root, "features.py")
with open(path, "w") as file:
    file.write("from trelk.features import features\n@features\nclass User:\n"
               "    id: int\n")
index = trelk_rs.AstProjectIndex([path], root)
found = index.feature_class_ast("features", "User")
print(json.dumps({
    "module": os.path.realpath(trelk_rs.__file__),
    "prefix": os.path.realpath(sys.prefix),
    "stub": os.path.isfile(os.path.splitext(os.path.splitext(
        trelk_rs.__file__)[0])[0] + ".pyi"),
    "version": importlib.metadata.version("trelk_rs"),
    "class_name_location": found.class_name_location,
    "fields": sorted(found.fields),
}))
"""


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise AssertionError(f"{command} failed:\n{result.stdout}"
                             f"\n{result.stderr}")
    return result


def clean_environment():
    env = dict(os.environ)
    for name in ("PYTHONPATH", "PYTHONHOME", "PIP_INDEX_URL",
                 "PIP_FIND_LINKS", "VIRTUAL_ENV"):
        env.pop(name, None)
    return env


class PackagingCase(unittest.TestCase):
    def setUp(self):
        self.directory = Path(tempfile.mkdtemp(prefix="trelk-packaging-"))
        self.addCleanup(shutil.rmtree, self.directory)

    def make_venv(self):
        venv = self.directory / "venv"
        run([sys.executable, "-m", "venv", str(venv)])
        return venv / "bin" / "python"

    def pip(self, python, *arguments):
        return run([str(python), "-m", "pip", "--disable-pip-version-check",
                    *arguments, "--no-index"], cwd=self.directory,
                   env=clean_environment())

    def check_installed(self, python, expect_module_under):
        result = run([str(python), "-c", CHECK], cwd=self.directory,
                     env=clean_environment())
        found = json.loads(result.stdout)
        self.assertTrue(found["module"].startswith(
            os.path.realpath(expect_module_under) + os.sep), found["module"])
        self.assertTrue(found["stub"])
        self.assertEqual(found["version"], VERSION)
        self.assertEqual(found["class_name_location"], [2, 6, 2, 10])
        self.assertEqual(found["fields"], ["id"])
        return found


class WheelTest(PackagingCase):
    def test_wheel_installs_into_a_fresh_environment(self):
        python = self.make_venv()
        wheels = self.directory / "wheels"
        result = self.pip(python, "wheel", "-v", "--no-deps", "-w",
                          str(wheels), "--config-settings",
                          f"build-dir={BUILD_ROOT / 'wheel'}", str(SOURCE))
        # The build's own output is shown under -v.
        self.assertIn("+ cmake --build", result.stdout + result.stderr)
        [wheel] = wheels.iterdir()
        self.assertEqual(wheel.name,
                         f"trelk_rs-{VERSION}-cp313-cp313-linux_x86_64.whl")
        dist_info = f"trelk_rs-{VERSION}.dist-info"
        with zipfile.ZipFile(wheel) as archive:
            names = archive.namelist()
            record = list(csv.reader(io.StringIO(
                archive.read(f"{dist_info}/RECORD").decode())))
            for name, digest, size in record:
                with self.subTest(name):
                    if name == f"{dist_info}/RECORD":
                        self.assertEqual((digest, size), ("", ""))
                        continue
                    data = archive.read(name)
                    expected = base64.urlsafe_b64encode(
                        hashlib.sha256(data).digest()).rstrip(b"=").decode()
                    self.assertEqual(digest, f"sha256={expected}")
                    self.assertEqual(int(size), len(data))
            metadata = archive.read(f"{dist_info}/METADATA").decode()
            wheel_file = archive.read(f"{dist_info}/WHEEL").decode()
        suffix = run([str(python), "-c", "import sysconfig; print("
                      "sysconfig.get_config_var('EXT_SUFFIX'))"]).stdout
        self.assertEqual(sorted(names), sorted([
            f"trelk_rs{suffix.strip()}", "trelk_rs.pyi",
            f"{dist_info}/METADATA", f"{dist_info}/WHEEL",
            f"{dist_info}/RECORD"]))
        self.assertEqual(sorted(row[0] for row in record), sorted(names))
        self.assertIn(f"Version: {VERSION}\n", metadata)
        self.assertIn("\n# trelk_rs\n", metadata)
        self.assertIn("Root-Is-Purelib: false\n", wheel_file)
        self.assertIn("Tag: cp313-cp313-linux_x86_64\n", wheel_file)

        self.pip(python, "install", str(wheel))
        site = run([str(python), "-c", "import sysconfig; print("
                    "sysconfig.get_paths()['platlib'])"]).stdout.strip()
        self.check_installed(python, site)


class EditableTest(PackagingCase):
    def test_editable_install_imports_the_build_directorys_module(self):
        python = self.make_venv()
        build = BUILD_ROOT / "editable"
        self.pip(python, "install", "-e", str(SOURCE), "--config-settings",
                 f"build-dir={build}")
        self.check_installed(python, build)


class SdistTest(PackagingCase):
    def test_sdist_holds_the_tracked_files_and_builds(self):
        sdists = self.directory / "sdists"
        sdists.mkdir()
        run([sys.executable, "-c",
             "import sys, trelk_backend; "
             "print(trelk_backend.build_sdist(sys.argv[1]))", str(sdists)],
            cwd=SOURCE, env={**clean_environment(),
                             "PYTHONPATH": str(SOURCE / "backend")})
        [sdist] = sdists.iterdir()
        base = f"trelk_rs-{VERSION}"
        self.assertEqual(sdist.name, f"{base}.tar.gz")
        tracked = run(["git", "ls-files"], cwd=SOURCE).stdout.split()
        with tarfile.open(sdist) as archive:
            names = archive.getnames()
        self.assertEqual(sorted(names), sorted(
            [f"{base}/{name}" for name in tracked] + [f"{base}/PKG-INFO"]))

        python = self.make_venv()
        self.pip(python, "install", str(sdist))
        site = run([str(python), "-c", "import sysconfig; print("
                    "sysconfig.get_paths()['platlib'])"]).stdout.strip()
        self.check_installed(python, site)


class FailedBuildTest(PackagingCase):
    """A broken tree: pip's report of the failed build ends with CMake's
    error, not with a traceback of the backend."""

    CASES = [
        ("configure", "CMakeLists.txt",
         '\nmessage(FATAL_ERROR "trelk broken configure")\n',
         "trelk broken configure"),
        ("compile", "base/src/byte_search.cpp",
         '\n#error "trelk broken compile"\n', "trelk broken compile"),
    ]

    def test_failed_build_ends_with_cmakes_error(self):
        tracked = run(["git", "ls-files"], cwd=SOURCE).stdout.split()
        python = self.make_venv()
        for name, path, addition, marker in self.CASES:
            with self.subTest(name):
                tree = self.directory / name
                for file in tracked:
                    (tree / file).parent.mkdir(parents=True, exist_ok=True)
                    shutil.copy2(SOURCE / file, tree / file)
                with open(tree / path, "a") as broken:
                    broken.write(addition)
                result = subprocess.run(
                    [str(python), "-m", "pip", "wheel", "--no-index",
                     "--no-deps", "-w", str(self.directory / "out"),
                     str(tree)], capture_output=True, text=True,
                    env=clean_environment())
                self.assertNotEqual(result.returncode, 0)
                output = result.stdout + result.stderr
                self.assertNotIn("Traceback", output)
                # pip frames the backend's output; its last lines before
                # the frame's end hold the error.
                framed = output.split("[end of output]")[0].splitlines()
                self.assertIn(marker, "\n".join(framed[-15:]))


if __name__ == "__main__":
    unittest.main()
