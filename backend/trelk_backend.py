"""The package's build backend: the build hooks that pip and other front ends
call, written with the standard library only.

The module is compiled by CMake in Release, with the tests off, in a build
directory of its own per interpreter (below build-pip/ in the source tree, or
the directory given as the config setting build-dir), and installed from
there into the wheel with `cmake --install`. CMake's output goes to standard
output as it comes (pip shows it with -v); when a CMake step fails, the
backend ends with that step's error, repeated after the full output."""

import base64
import csv
import hashlib
import io
import os
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import tomllib
import zipfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent


def _project():
    with open(SOURCE / "pyproject.toml", "rb") as file:
        return tomllib.load(file)["project"]


def _dist_name():
    return _project()["name"].replace("-", "_")


def _version():
    return _project()["version"]


def _metadata():
    project = _project()
    readme = (SOURCE / project["readme"]).read_text(encoding="utf-8")
    return (
        "Metadata-Version: 2.1\n"
        f"Name: {project['name']}\n"
        f"Version: {project['version']}\n"
        f"Summary: {project['description']}\n"
        f"Requires-Python: {project['requires-python']}\n"
        "Description-Content-Type: text/markdown\n"
        "\n" + readme)


def _tag():
    """The wheel tag of the running interpreter. The module links the
    system's ICU, so the platform is the plain one (linux_x86_64), never a
    manylinux promise."""
    soabi = sysconfig.get_config_var("SOABI")  # cpython-313-x86_64-linux-gnu
    abi = "cp" + soabi.split("-")[1]
    interpreter = f"cp{sys.version_info[0]}{sys.version_info[1]}"
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"{interpreter}-{abi}-{platform}"


def _fail(message):
    print(f"\nerror: {message}", file=sys.stderr, flush=True)
    raise SystemExit(1)


def _error_tail(lines):
    """What to repeat of a failed step's output: from CMake's first error or
    the build tool's first failure to the end."""
    for marker in ("CMake Error", "FAILED:", "error:"):
        for index, line in enumerate(lines):
            if marker in line:
                return lines[index:]
    return lines[-20:]


def _run(command):
    print("+ " + " ".join(command), flush=True)
    try:
        process = subprocess.Popen(command, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True,
                                   errors="replace")
    except FileNotFoundError:
        _fail(f"{command[0]} not found: the build needs CMake 3.25 or newer")
    lines = []
    for line in process.stdout:
        sys.stdout.write(line)
        sys.stdout.flush()
        lines.append(line.rstrip("\n"))
    if process.wait() != 0:
        tail = "\n".join(_error_tail(lines))
        _fail(f"`{' '.join(command)}` failed with exit status "
              f"{process.returncode}:\n{tail}")


def _build_dir(config_settings):
    given = (config_settings or {}).get("build-dir")
    if given:
        return Path(given).resolve()
    interpreter = os.path.realpath(sys._base_executable)
    key = hashlib.sha256(interpreter.encode()).hexdigest()[:8]
    return SOURCE / "build-pip" / f"{_tag()}-{key}"


def _build(config_settings):
    """Configures and builds the module; returns the build directory."""
    if sys.version_info[:2] != (3, 13):
        _fail(f"trelk_rs is built for CPython 3.13 only, not {sys.version}")
    build = _build_dir(config_settings)
    configure = ["cmake", "-S", str(SOURCE), "-B", str(build),
                 "-DCMAKE_BUILD_TYPE=Release", "-DTRELK_BUILD_TESTS=OFF",
                 "-DTRELK_INSTALL_PYTHONDIR=.",
                 f"-DPython_EXECUTABLE={os.path.realpath(sys._base_executable)}"]
    if not (build / "CMakeCache.txt").exists() and shutil.which("ninja"):
        configure += ["-G", "Ninja"]
    _run(configure)
    _run(["cmake", "--build", str(build), "--target", "trelk_rs"])
    return build


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest())
    return [name, "sha256=" + digest.rstrip(b"=").decode(), str(len(data))]


def _write_wheel(wheel_directory, files):
    """Writes a wheel of files (name -> (bytes, mode)) and its dist-info."""
    dist_info = f"{_dist_name()}-{_version()}.dist-info"
    files = dict(files)
    files[f"{dist_info}/METADATA"] = (_metadata().encode(), 0o644)
    files[f"{dist_info}/WHEEL"] = (
        ("Wheel-Version: 1.0\n"
         f"Generator: trelk_backend {_version()}\n"
         "Root-Is-Purelib: false\n"
         f"Tag: {_tag()}\n").encode(), 0o644)
    record = io.StringIO()
    writer = csv.writer(record, lineterminator="\n")
    for name, (data, _) in files.items():
        writer.writerow(_record_line(name, data))
    writer.writerow([f"{dist_info}/RECORD", "", ""])
    files[f"{dist_info}/RECORD"] = (record.getvalue().encode(), 0o644)
    wheel_name = f"{_dist_name()}-{_version()}-{_tag()}.whl"
    with zipfile.ZipFile(Path(wheel_directory) / wheel_name, "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        for name, (data, mode) in files.items():
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return wheel_name


def _write_metadata(metadata_directory):
    dist_info = Path(metadata_directory) / (
        f"{_dist_name()}-{_version()}.dist-info")
    dist_info.mkdir(parents=True, exist_ok=True)
    (dist_info / "METADATA").write_text(_metadata(), encoding="utf-8")
    return dist_info.name


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    return _write_metadata(metadata_directory)


def prepare_metadata_for_build_editable(metadata_directory,
                                        config_settings=None):
    return _write_metadata(metadata_directory)


def build_wheel(wheel_directory, config_settings=None,
                metadata_directory=None):
    build = _build(config_settings)
    with tempfile.TemporaryDirectory() as staging:
        _run(["cmake", "--install", str(build), "--prefix", staging,
              "--component", "module"])
        files = {}
        for path in sorted(Path(staging).iterdir()):
            mode = 0o755 if os.access(path, os.X_OK) else 0o644
            files[path.name] = (path.read_bytes(), mode)
    return _write_wheel(wheel_directory, files)


def build_editable(wheel_directory, config_settings=None,
                   metadata_directory=None):
    """A wheel that puts the build directory's module, and the stub copied
    beside it, on sys.path. After a change to the sources, build again with
    the same command (or `cmake --build` the build directory)."""
    build = _build(config_settings)
    module = Path((build / "trelk_rs_module_path.txt").read_text().strip())
    pth = f"{module.parent}\n".encode()
    return _write_wheel(wheel_directory, {
        f"__editable__.{_dist_name()}-{_version()}.pth": (pth, 0o644)})


def _tracked_files():
    """The files of the sdist: git's tracked files in a checkout, else (in
    an unpacked sdist) every file but build output."""
    if (SOURCE / ".git").exists():
        listed = subprocess.run(["git", "ls-files", "-z"], cwd=SOURCE,
                                check=True, capture_output=True).stdout
        names = [name for name in listed.decode().split("\0") if name]
        return [name for name in names if (SOURCE / name).is_file()]
    names = []
    for directory, subdirectories, files in os.walk(SOURCE):
        relative = Path(directory).relative_to(SOURCE)
        subdirectories[:] = sorted(
            d for d in subdirectories
            if d != "__pycache__" and not (relative == Path(".")
                                           and d.startswith("build")))
        names += [str(relative / name) for name in sorted(files)
                  if not (relative == Path(".") and name == "PKG-INFO")]
    return [os.path.normpath(name) for name in names]


def build_sdist(sdist_directory, config_settings=None):
    base = f"{_dist_name()}-{_version()}"
    archive = f"{base}.tar.gz"

    def normalise(info):
        info.uid = info.gid = 0
        info.uname = info.gname = "root"
        info.mtime = 0
        return info

    with tarfile.open(Path(sdist_directory) / archive, "w:gz",
                      format=tarfile.PAX_FORMAT) as sdist:
        for name in _tracked_files():
            sdist.add(SOURCE / name, arcname=f"{base}/{name}",
                      recursive=False, filter=normalise)
        data = _metadata().encode()
        info = normalise(tarfile.TarInfo(f"{base}/PKG-INFO"))
        info.size = len(data)
        info.mode = 0o644
        sdist.addfile(info, io.BytesIO(data))
    return archive
