"""Indexes a project's Python files with trelk_rs, in the background, and
prints its feature classes and resolvers.

Every .py file below PROJECT_ROOT (examples/sample_project by default) is
indexed without being imported or run. Each feature class is printed with its
module, namespace, decorator and fields, each resolver with its decorator,
parameters and return annotation, each on a line of standard output that
begins with its place as PATH:LINE:COLUMN (1-based, columns counted in
characters), so that an editor can open it. The last line of standard output
sums up the run.

Every file that could not be read or parsed is named on standard error, in
file order, as PATH:LINE:COLUMN: error: MESSAGE at the start of its syntax
error, or as PATH: error: MESSAGE when it could not be read. Entries that are
not regular files (FIFOs, devices, dangling links) are skipped unopened, with
a warning on standard error.

Exit status: 0 when every file was read and parsed; 1 when some file failed;
2 for a usage error; 3 when the output could not be written (a full disk, a
closed pipe); 130 when interrupted (Ctrl-C), after the summary line of the
files done so far.

The module must be importable (PYTHONPATH pointing at the build's src/).
"""

import argparse
import codecs
import errno
import os
import re
import signal
import stat
import sys
import time

import trelk_rs

DEFAULT_ROOT = os.path.join(
    os.path.dirname(os.path.abspath(__file__)), os.pardir, "examples",
    "sample_project")

EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_OUTPUT = 3
EXIT_INTERRUPTED = 130

# The index answers queries by name, so the names to ask for are read from
# the text first. A name found here that is no definition (it follows the
# word in a string or a comment, say) only costs a query that finds nothing;
# a pattern that begins with the keywords themselves is searched several
# times faster than one anchored at the start of a line.
DEFINITION_NAME = re.compile(r"(class|def)[ \t]+(\w+)")
# Line breaks as the locations count them.
LINE_BREAK = re.compile(r"\r\n|\r|\n")
# The end of a syntax error's text, after the message.
BYTE_RANGE = re.compile(r" at byte range ([0-9]+)\.\.[0-9]+\Z")

NOT_REGULAR = (
    (stat.S_ISFIFO, "a FIFO"),
    (stat.S_ISCHR, "a character device"),
    (stat.S_ISBLK, "a block device"),
    (stat.S_ISSOCK, "a socket"),
)


class Interruption:
    """Ctrl-C, noticed between files, so that no line is left half written
    and the summary still comes out."""

    def __init__(self):
        self.requested = False
        signal.signal(signal.SIGINT, self._request)

    def _request(self, signum, frame):
        self.requested = True


class OutputFailure(Exception):
    def __init__(self, stream_name, error):
        super().__init__(stream_name, error)
        self.stream_name = stream_name
        self.error = error


class Output:
    """Results on standard output, problems on standard error."""

    def __init__(self):
        # A file name that is not UTF-8 is written as the bytes it has, and
        # text the terminal's encoding lacks as escapes, instead of ending
        # the run.
        for stream in (sys.stdout, sys.stderr):
            utf8 = codecs.lookup(stream.encoding).name == "utf-8"
            stream.reconfigure(
                errors="surrogateescape" if utf8 else "backslashreplace")

    def result(self, text):
        try:
            sys.stdout.write(text)
        except OSError as error:
            raise OutputFailure("standard output", error) from None

    def problem(self, line):
        # Standard output goes first, so that both streams sent to one file
        # keep the file order.
        self.flush()
        try:
            sys.stderr.write(line + "\n")
        except OSError as error:
            raise OutputFailure("standard error", error) from None

    def flush(self):
        try:
            sys.stdout.flush()
        except OSError as error:
            raise OutputFailure("standard output", error) from None


def os_error_text(error):
    """An operating-system failure as the module words its read failures."""
    return f"{error.strerror} (os error {error.errno})"


def join_shown(shown_directory, name):
    return name if shown_directory == os.curdir else os.path.join(
        shown_directory, name)


def not_regular_kind(entry):
    """What a directory entry that is no regular file is, or the OSError
    that keeps this from being told."""
    try:
        mode = os.stat(entry.path).st_mode
    except OSError as error:
        if entry.is_symlink():
            if error.errno == errno.ENOENT:
                return "a dangling symbolic link"
            if error.errno == errno.ELOOP:
                return "a loop of symbolic links"
        return error
    for test, kind in NOT_REGULAR:
        if test(mode):
            return kind
    return "not a regular file"


class ProjectFile:
    """A regular .py file, to be indexed."""
    __slots__ = ("path", "shown")

    def __init__(self, path, shown):
        self.path = path
        self.shown = shown


class Problem:
    """An entry that is not indexed: the line that says why, and whether it
    counts as a failure or was skipped on purpose."""
    __slots__ = ("line", "failed")

    def __init__(self, line, failed):
        self.line = line
        self.failed = failed


def project_entries(root, shown_root, interruption):
    """The regular .py files below `root` and the problems met on the way
    to them, in a stable order: each directory's entries by name, then its
    subdirectories by name. Symbolic links to directories are not followed,
    and no file is opened."""
    entries = []
    pending = [(root, shown_root)]
    while pending and not interruption.requested:
        directory, shown_directory = pending.pop()
        try:
            with os.scandir(directory) as scan:
                listed = sorted(scan, key=lambda entry: entry.name)
        except OSError as error:
            entries.append(Problem(
                f"{shown_directory}: error: {os_error_text(error)}", True))
            continue
        subdirectories = []
        for entry in listed:
            name = entry.name
            try:
                is_directory = entry.is_dir()
            except OSError:
                is_directory = False
            if is_directory:
                if not entry.is_symlink():
                    subdirectories.append(entry)
                continue
            if not name.endswith(".py"):
                continue
            shown = join_shown(shown_directory, name)
            try:
                is_file = entry.is_file()
            except OSError:
                is_file = False
            if not is_file:
                # A FIFO would block the read that opened it.
                kind = not_regular_kind(entry)
                if isinstance(kind, OSError):
                    entries.append(Problem(
                        f"{shown}: error: {os_error_text(kind)}", True))
                else:
                    entries.append(Problem(
                        f"{shown}: warning: skipped, {kind}", False))
                continue
            try:
                entry.path.encode("utf-8")
            except UnicodeEncodeError:
                # The module takes paths as UTF-8 text.
                entries.append(Problem(
                    f"{shown}: error: the file name is not UTF-8", True))
                continue
            entries.append(ProjectFile(entry.path, shown))
        # Popped last first, so the first subdirectory comes next.
        for entry in reversed(subdirectories):
            pending.append(
                (entry.path, join_shown(shown_directory, entry.name)))
    return entries


def unique(names):
    return list(dict.fromkeys(names))


def plural(count, word, words=None):
    return f"{count} {word}" if count == 1 else f"{count} {words or word + 's'}"


def shown_path(path):
    """`path` relative to the working directory when it lies below it."""
    relative = os.path.relpath(path)
    if relative == os.pardir or relative.startswith(os.pardir + os.sep):
        return path
    return relative


def line_and_column(text, offset):
    """The 1-based line and column, in characters, of byte `offset` of
    `text`, as the locations count them."""
    before = text.encode()[:offset].decode("utf-8", "ignore")
    line_start = 0
    line = 1
    for line_break in LINE_BREAK.finditer(before):
        line += 1
        line_start = line_break.end()
    # Characters on the first line are counted after a byte-order mark.
    if line == 1 and before.startswith("\ufeff"):
        line_start = 1
    return line, len(before) - line_start + 1


def failure_line(project_file, text, message):
    """A failure of `get_parsed_file` at the place where it starts."""
    shown = project_file.shown
    parse_prefix = f"Failed to parse {project_file.path}: "
    if message.startswith(parse_prefix):
        message = message[len(parse_prefix):]
        byte_range = BYTE_RANGE.search(message)
        if byte_range is not None:
            line, column = line_and_column(text, int(byte_range[1]))
            return (f"{shown}:{line}:{column}: error: "
                    f"{message[:byte_range.start()]}")
    else:
        # The file changed between the two reads, say.
        message = message.removeprefix(f"Failed to read {project_file.path}: ")
    return f"{shown}: error: {message}"


class SourceFile:
    """One file's text, for showing the code at a location."""

    def __init__(self, shown, text):
        self.shown = shown
        self.text = text
        self._lines = None

    def place(self, location):
        line, character, _, _ = location
        return f"{self.shown}:{line + 1}:{character + 1}"

    def code(self, location):
        """The text at `location`, its white space runs made single spaces."""
        if self._lines is None:
            # Characters on the first line are counted after a byte-order
            # mark.
            self._lines = LINE_BREAK.split(self.text.removeprefix("\ufeff"))
        lines = self._lines
        start_line, start, end_line, end = location
        if start_line == end_line:
            text = lines[start_line][start:end]
        else:
            text = "\n".join([lines[start_line][start:]]
                             + lines[start_line + 1:end_line]
                             + [lines[end_line][:end]])
        return " ".join(text.split())


def describe_feature_class(source, cls):
    lines = [f"{source.place(cls.class_name_location)}: feature class "
             f"{cls.class_name} (module {cls.module}, namespace "
             f"{cls.namespace})",
             f"{source.place(cls.decorator_location)}:   decorator "
             f"@{source.code(cls.decorator_location)}"]
    for field in cls.fields.values():
        text = field.field_name
        if field.annotation is not None:
            text += ": " + source.code(field.annotation)
        if field.feature_call is not None:
            text += " = " + source.code(field.feature_call)
        if field.owner is not None:
            text += f"  [owner {field.owner}]"
        if field.tags:
            text += "  [tags " + ", ".join(field.tags) + "]"
        if field.description is not None:
            text += "  # " + " ".join(field.description.split())
        lines.append(f"{source.place(field.field_name_location)}:   field "
                     f"{text}")
    return lines


def describe_resolver(source, resolver):
    lines = [f"{source.place(resolver.resolver_name_location)}: resolver "
             f"{resolver.resolver_name} (module {resolver.module})",
             f"{source.place(resolver.decorator_location)}:   decorator "
             f"@{source.code(resolver.decorator_location)}"]
    args = resolver.args
    for name in unique(resolver.args_in_order):
        location = args[name].arg_location
        lines.append(f"{source.place(location)}:   parameter "
                     f"{source.code(location)}")
    if resolver.return_annotation is not None:
        lines.append(f"{source.place(resolver.return_annotation)}:   returns "
                     f"{source.code(resolver.return_annotation)}")
    elif resolver.missing_return_annotation is not None:
        lines.append(f"{source.place(resolver.missing_return_annotation)}:   "
                     "no return annotation")
    return lines


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog=os.path.basename(argv[0]),
        description=__doc__.split("\n\n", 1)[0],
        epilog=__doc__.split("\n\n", 1)[1],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument(
        "project_root", nargs="?", metavar="PROJECT_ROOT",
        help="the directory to index (default: examples/sample_project)")
    arguments = parser.parse_args(argv[1:])
    given = arguments.project_root
    root = os.path.abspath(given if given is not None else DEFAULT_ROOT)
    if not os.path.isdir(root):
        parser.error(f"{given if given is not None else root} "
                     "is not a directory")
    return root


def index_project(root, output, interruption):
    """Prints what the project below `root` defines and returns the exit
    status."""
    started = time.perf_counter()
    shown_root = shown_path(root)
    entries = project_entries(root, shown_root, interruption)
    files = [entry for entry in entries if type(entry) is ProjectFile]
    classes = resolvers = failures = done = 0
    if not interruption.requested:
        output.result(f"Indexing {plural(len(files), 'file')} under "
                      f"{shown_root} in the background\n")
        paths = [project_file.path for project_file in files]
        filesystem = trelk_rs.StdAstFileSystem(paths)
        index = trelk_rs.AstProjectIndex(paths, root, filesystem)
        # Workers compute every file while this thread asks for them in
        # order; a query waits for a file that a worker is computing.
        index.nonblocking_start_index()
        # Only files in which nothing was found can have failed; they are
        # asked once more, of a parse cache, for the error that the index
        # keeps to itself.
        parse_cache = trelk_rs.AstFileParserCache([], root, filesystem)
        feature_class_in_file = index.feature_class_ast_in_file
        resolver_in_file = index.resolver_ast_in_file
        function_in_file = index.function_ast_in_file
        for project_file in entries:
            if interruption.requested:
                break
            if type(project_file) is Problem:
                output.problem(project_file.line)
                failures += project_file.failed
                continue
            done += 1
            path = project_file.path
            try:
                text = filesystem.read_to_string(path)
            except OSError as error:
                output.problem(f"{project_file.shown}: error: {error}")
                failures += 1
                continue
            found_classes = []
            found_resolvers = []
            found = False
            for keyword, name in unique(DEFINITION_NAME.findall(text)):
                if keyword == "class":
                    cls = feature_class_in_file(path, name)
                    if cls is not None:
                        found_classes.append(cls)
                else:
                    resolver = resolver_in_file(path, name)
                    if resolver is not None:
                        found_resolvers.append(resolver)
                    elif not found:
                        found = function_in_file(path, name) is not None
            if found_classes or found_resolvers:
                source = SourceFile(project_file.shown, text)
                lines = []
                found_classes.sort(key=lambda cls: cls.class_name_location)
                for cls in found_classes:
                    lines += describe_feature_class(source, cls)
                found_resolvers.sort(
                    key=lambda resolver: resolver.resolver_name_location)
                for resolver in found_resolvers:
                    lines += describe_resolver(source, resolver)
                lines.append("")
                output.result("\n".join(lines))
                classes += len(found_classes)
                resolvers += len(found_resolvers)
            elif not found:
                try:
                    parse_cache.get_parsed_file(path)
                except ValueError as error:
                    output.problem(failure_line(project_file, text,
                                                str(error)))
                    failures += 1
    elapsed = time.perf_counter() - started
    counted = plural(len(files), "file")
    if interruption.requested:
        counted = f"{done} of {counted}"
    summary = (f"{counted}, "
               f"{plural(classes, 'feature class', 'feature classes')}, "
               f"{plural(resolvers, 'resolver')}, "
               f"{plural(failures, 'failure')} in {elapsed * 1000:.1f} ms")
    if interruption.requested:
        output.result(summary + ", interrupted\n")
        return EXIT_INTERRUPTED
    output.result(summary + "\n")
    return EXIT_FAILED if failures else 0


def main(argv):
    interruption = Interruption()
    output = Output()
    program = os.path.basename(argv[0])
    try:
        try:
            root = parse_arguments(argv)
        except SystemExit as usage:
            # --help, or a usage error: argparse has said why.
            output.flush()
            return usage.code
        status = index_project(root, output, interruption)
        output.flush()
        return status
    except OutputFailure as failure:
        # Whatever is still buffered goes nowhere, so that the flush at exit
        # cannot fail again.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        # A reader that stopped early (`| head`) needs no explanation.
        if not isinstance(failure.error, BrokenPipeError):
            try:
                sys.stderr.write(f"{program}: error: cannot write "
                                 f"{failure.stream_name}: "
                                 f"{failure.error.strerror}\n")
                sys.stderr.flush()
            except OSError:
                pass
        os.dup2(devnull, sys.stderr.fileno())
        return EXIT_OUTPUT


if __name__ == "__main__":
    sys.exit(main(sys.argv))
