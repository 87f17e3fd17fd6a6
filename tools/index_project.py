"""Lists the Python source files of a project through trelk_rs.

usage: python3.13 tools/index_project.py PROJECT_ROOT

The module must be importable (PYTHONPATH pointing at the build's src/).
"""

import os
import sys

import trelk_rs


def project_files(root):
    for directory, subdirectories, names in os.walk(root):
        subdirectories.sort()
        for name in names:
            yield os.path.join(directory, name)


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root = argv[1]
    filesystem = trelk_rs.StdAstFileSystem(list(project_files(root)))
    files = filesystem.all_files()
    print(f"{len(files)} Python files under {root}:")
    for path in files:
        text = filesystem.read_to_string(path)
        print(f"  {os.path.relpath(path, root)} ({len(text.splitlines())} lines)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
