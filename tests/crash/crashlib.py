"""What the crash tests share: a generated tree, the undisturbed run that
gives every file's new text, the shim that acts at a chosen call, and the
judgement of a tree after an accident: every file old or new, every .Bak
absent, stale or exact, every leftover scratch file accounted for."""

import os
import random
import shutil
import subprocess
import sys
import tempfile

SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests
SCRATCH_PREFIXES = ("$vb$tmp$.", "$vb$bak$.")
STALE_BACKUP = b"/* a backup an earlier run left; this run may replace it */\n"
HERE = os.path.dirname(os.path.abspath(__file__))


def is_scratch(rel):
    return os.path.basename(rel).startswith(SCRATCH_PREFIXES)


def backup_of(rel):
    """src/d0/f01.c keeps its old text in src/d0/f01.Bak."""
    stem, _ = os.path.splitext(rel)
    return stem + ".Bak"


# ---------------------------------------------------------------- the tree

def _guarded(name, body, eol=b"\n"):
    macro = name.upper().replace(".", "_").replace("/", "_").encode()
    lines = [b"#ifndef " + macro, b"#define " + macro, body, b"#endif"]
    return eol.join(lines) + eol


def _padding(rng, tag, size):
    words = []
    while sum(len(w) + 1 for w in words) < size:
        words.append("%s%d" % (rng.choice(("lorem", "ipsum", "dolor", "sit", "amet")), rng.randrange(1000)))
    text, line = [], []
    for word in words:
        line.append(word)
        if len(line) == 9:
            text.append(" * " + " ".join(line))
            line = []
    if line:
        text.append(" * " + " ".join(line))
    return ("/* %s\n" % tag + "\n".join(text) + "\n */").encode()


def generate_tree(root, sources=80, directories=2, headers=12, locals_per_directory=3, seed=1):
    """A tree of `sources` C files in `directories` directories under
    src/, each including a few guarded headers of inc/ (and of its own
    directory), of many sizes, some with CR LF endings, some with nothing to
    guard; a few hold a .Bak from an earlier run."""
    rng = random.Random(seed)
    inc = os.path.join(root, "inc")
    os.makedirs(inc)
    names = []
    for h in range(headers):
        name = "h%02d.h" % h
        names.append(name)
        body = b"int h%02d_value(void);\n" % h + _padding(rng, name, rng.randrange(20, 400))
        with open(os.path.join(inc, name), "wb") as f:
            f.write(_guarded("inc_" + name, body))
    # Headers meant to be included again: never wrapped.
    with open(os.path.join(inc, "again.h"), "wb") as f:
        f.write(b"#ifdef ENTRY\nENTRY(one)\n#endif\n")
    with open(os.path.join(inc, "tail.h"), "wb") as f:
        f.write(b"#ifndef TAIL_H\n#define TAIL_H\nint tail;\n#endif\nint after_the_guard;\n")
    per_directory = [sources // directories + (1 if d < sources % directories else 0) for d in range(directories)]
    number = 0
    for d, count in enumerate(per_directory):
        directory = os.path.join(root, "src", "d%d" % d)
        os.makedirs(directory)
        local_names = []
        for k in range(locals_per_directory):
            name = "d%d_l%d.h" % (d, k)
            local_names.append(name)
            includes = b"".join(b"#include <%s>\n" % n.encode() for n in rng.sample(names, 2))
            body = includes + b"int d%d_l%d_value;\n" % (d, k) + _padding(rng, name, rng.randrange(10, 300))
            with open(os.path.join(directory, name), "wb") as f:
                f.write(_guarded("src_" + name, body))
        for _ in range(count):
            name = "f%02d.c" % number
            eol = b"\r\n" if number % 7 == 3 else b"\n"
            lines = [_padding(rng, name, rng.randrange(0, 3000))]
            if number % 10 == 9:
                lines += [b"#include <again.h>", b"#include <tail.h>"]   # nothing to guard
            else:
                lines += [b"#include <%s>" % n.encode() for n in rng.sample(names, rng.randrange(2, min(6, len(names) + 1)))]
                if number % 3 == 0:
                    lines.append(b'#include "%s"' % rng.choice(local_names).encode())
                lines.append(b"#include <tail.h>")
            lines.append(b"int f%02d_value(void) { return %d; }" % (number, number))
            text = eol.join(b"\n".join(lines).split(b"\n")) + eol
            with open(os.path.join(directory, name), "wb") as f:
                f.write(text)
            if number % 5 == 1:
                with open(os.path.join(directory, "f%02d.Bak" % number), "wb") as f:
                    f.write(STALE_BACKUP)
            number += 1


def snapshot(root):
    """Every regular file under root: relative path -> bytes."""
    files = {}
    for top, dirs, names in os.walk(root):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(top, name)
            rel = os.path.relpath(path, root)
            if os.path.islink(path) or not os.path.isfile(path):
                files[rel] = None
                continue
            with open(path, "rb") as f:
                files[rel] = f.read()
    return files


def copy_tree(source, target):
    shutil.copytree(source, target, symlinks=True)


# ---------------------------------------------------------------- running

def work_directory(prefix):
    """A private directory for a sweep's trees: in memory where there is
    room, since a run that flushes each file would wait for a disk there
    about a thousand times over, and a kill or failed call does not depend
    on the file system."""
    memory = "/dev/shm"
    if os.path.isdir(memory) and os.access(memory, os.W_OK) and shutil.disk_usage(memory).free > 256 << 20:
        return tempfile.mkdtemp(prefix=prefix, dir=memory)
    return tempfile.mkdtemp(prefix=prefix)


def outside_git(work):
    """Options that keep git's ignore rules out of a run whose work
    directory lies in a git work tree (a TMPDIR inside one): there vimbo
    would ask git, and leave out what the tree ignores."""
    path = os.path.realpath(work)
    while True:
        if os.path.exists(os.path.join(path, ".git")):
            print("note: %s lies in a git work tree (%s); runs add --no-git-ignore" % (work, path))
            return ["--no-git-ignore"]
        parent = os.path.dirname(path)
        if parent == path:
            return []
        path = parent


def build_shim(shim, workdir):
    """The shim CMake built, or one built here with cc."""
    if shim:
        return shim
    out = os.path.join(workdir, "vimbo-crash-shim.so")
    cc = os.environ.get("CC", "cc")
    subprocess.run([cc, "-shared", "-fPIC", "-O2", "-Wall", "-Wextra", "-Werror", "-o", out,
                    os.path.join(HERE, "shim.c"), "-ldl"], check=True)
    return out


class Run:
    def __init__(self, status, output, note):
        self.status = status   # exit status, or -signal
        self.output = output   # standard output and error, as text
        self.note = note       # the call the shim acted on, if any

    def killed(self):
        return self.status < 0 and self.status != HUNG

    def hung(self):
        return self.status == HUNG


HUNG = -1000  # the status of a run that did not end in time


def run_vimbo(vimbo, args, cwd, shim=None, settings=None, timeout=30):
    env = dict(os.environ)
    for key in list(env):
        if key.startswith("VIMBO_SHIM_"):
            del env[key]
    env.pop("INCLUDE", None)
    note_path = None
    if shim:
        env["LD_PRELOAD"] = shim
        note_fd, note_path = tempfile.mkstemp(prefix="shim-note.")
        os.close(note_fd)
        env["VIMBO_SHIM_NOTE"] = note_path
        for key, value in (settings or {}).items():
            env["VIMBO_SHIM_" + key] = str(value)
    try:
        try:
            done = subprocess.run([vimbo] + list(args), cwd=cwd, env=env, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, timeout=timeout)
        except subprocess.TimeoutExpired as hung:
            done = subprocess.CompletedProcess(hung.cmd, HUNG, hung.output or b"")
        note = ""
        if note_path:
            with open(note_path) as f:
                note = f.read().strip()
            # Descriptors are named by the shim with their full path.
            for prefix in {os.path.realpath(cwd) + "/", os.path.abspath(cwd) + "/"}:
                note = note.replace(prefix, "")
    finally:
        if note_path:
            os.unlink(note_path)
    output = done.stdout.decode("utf-8", "replace")
    if done.returncode == 99 and "vimbo-shim:" in output:
        raise RuntimeError("the shim failed: " + output.strip().splitlines()[-1])
    return Run(done.returncode, output, note)


def count_calls(vimbo, args, tree, shim, workdir):
    """Runs vimbo undisturbed over a copy of `tree` with the shim logging,
    and returns the calls it made, in order: [(kind, description)]."""
    copy = tempfile.mkdtemp(prefix="count.", dir=workdir)
    shutil.rmtree(copy)
    copy_tree(tree, copy)
    log = os.path.join(workdir, "calls.log")
    if os.path.exists(log):
        os.unlink(log)
    run = run_vimbo(vimbo, args, copy, shim, {"LOG": log})
    if run.status != 0:
        raise RuntimeError("the counting run failed (%d): %s" % (run.status, run.output))
    calls = []
    with open(log) as f:
        for line in f:
            parts = line.rstrip("\n").split(" ", 3)
            calls.append((parts[2], parts[3]))
    shutil.rmtree(copy)
    return calls


# ---------------------------------------------------------------- judging

class Texts:
    """The original tree and the tree an undisturbed run leaves."""

    def __init__(self, old, new):
        self.old = old
        self.new = new
        self.wraps = {rel: _wraps(old[rel], new[rel]) for rel in old if old[rel] is not None}
        self.rewritten = sorted(rel for rel in old if old[rel] != new.get(rel) and not rel.endswith(".Bak"))

    def siblings(self, rel):
        directory = os.path.dirname(rel)
        return [s for s in self.old if os.path.dirname(s) == directory and not s.endswith(".Bak")]


def _wraps(old, new):
    """The include lines a rewrite wraps, as (index of the line in old, line
    before, line after); None when `new` is not `old` with wraps added."""
    if new is None:
        return None
    a, b = old.splitlines(keepends=True), new.splitlines(keepends=True)
    wraps, j = [], 0
    for i, line in enumerate(a):
        if j < len(b) and b[j] == line:
            j += 1
        elif j + 2 < len(b) and b[j].startswith(b"#ifndef ") and b[j + 1] == line and b[j + 2].startswith(b"#endif"):
            wraps.append((i, b[j], b[j + 2]))
            j += 3
        else:
            return None
    return wraps if j == len(b) else None


def _partial(texts, rel, data):
    """Whether `data` is the old text with some of the new text's wraps."""
    wraps = texts.wraps.get(rel)
    if not wraps:
        return None
    a, b = texts.old[rel].splitlines(keepends=True), data.splitlines(keepends=True)
    by_line = {i: (before, after) for i, before, after in wraps}
    j, taken = 0, 0
    for i, line in enumerate(a):
        if i in by_line and j + 2 < len(b) and b[j] == by_line[i][0] and b[j + 1] == line and b[j + 2] == by_line[i][1]:
            j += 3
            taken += 1
        elif j < len(b) and b[j] == line:
            j += 1
        else:
            return None
    if j != len(b) or taken in (0, len(wraps)):
        return None
    return "%d of its %d wraps" % (taken, len(wraps))


def _whose(texts, data, rel):
    """Whose complete text `data` is, other than rel's own."""
    for other in sorted(texts.old):
        if other == rel or other.endswith(".Bak") or texts.old[other] is None:
            continue
        if data == texts.old[other]:
            return "the old text of " + other
        if data == texts.new.get(other):
            return "the new text of " + other
    return None


def what_is(texts, rel, data):
    """A short account of what a source holds that is neither old nor new."""
    if data is None:
        return "not a regular file"
    if data == b"":
        return "empty"
    core = data.rstrip(b"\0")
    if not core:
        return "%d zero bytes" % len(data)
    zeros = ", then %d zero bytes" % (len(data) - len(core)) if len(core) < len(data) else ""
    whose = _whose(texts, core, rel)
    if whose:
        return "holds " + whose + zeros
    old, new = texts.old[rel], texts.new.get(rel)
    if new and new.startswith(core):
        return "torn: the first %d of %d bytes of its new text%s" % (len(core), len(new), zeros)
    if old.startswith(core):
        return "torn: the first %d of %d bytes of its old text%s" % (len(core), len(old), zeros)
    for other in sorted(texts.old):
        for age, text in (("old", texts.old[other]), ("new", texts.new.get(other))):
            if other != rel and text and len(core) >= 16 and text.startswith(core):
                return "holds the first %d of %d bytes of the %s text of %s%s" % (len(core), len(text), age, other, zeros)
    reference = new if new is not None else old
    return "unknown text (%d bytes; first difference from its new text at byte %d)" % (
        len(data), _common_prefix(data, reference))


def _common_prefix(a, b):
    n = 0
    limit = min(len(a), len(b))
    while n < limit and a[n] == b[n]:
        n += 1
    return n


def what_leftover_is(texts, rel, data, now):
    """(kind, account) of a scratch file left in the tree. Kinds: 'old copy'
    (exactly a sibling's old text), 'empty', 'new copy', 'partial new',
    'partial old', 'unknown'."""
    if data is None:
        return "unknown", "not a regular file"
    if data == b"":
        return "empty", "empty"
    siblings = texts.siblings(rel)
    for s in siblings:
        if data == texts.old[s]:
            account = "the old text of " + s
            backup = now.get(backup_of(s))
            if now.get(s) != texts.old[s] and backup != texts.old[s]:
                account += ", its only verbatim copy (the file holds its new text, which strips back to it)"
            return "old copy", account
    for s in siblings:
        if data == texts.new.get(s):
            return "new copy", "the new text of " + s
    for s in siblings:
        new = texts.new.get(s) or b""
        if new.startswith(data):
            return "partial new", "the first %d of %d bytes of the new text of %s" % (len(data), len(new), s)
    for s in siblings:
        if texts.old[s].startswith(data):
            return "partial old", "the first %d of %d bytes of the old text of %s" % (len(data), len(texts.old[s]), s)
    for s in siblings:
        new = texts.new.get(s) or b""
        k = _common_prefix(data, new)
        if k == 0:
            continue
        for t in siblings:
            for age, under in (("old", texts.old[t]), ("new", texts.new.get(t) or b"")):
                if data[k:] == under[k:len(data)] and len(data) <= max(len(under), k):
                    return "partial new", ("the first %d bytes of the new text of %s over the rest of the %s text of %s"
                                           % (k, s, age, t))
    return "unknown", "%d bytes that are no sibling's text, whole or in part" % len(data)


class Problems:
    """What is wrong, grouped: "still hold their old text: a, b (and 3 more)"."""

    def __init__(self, prefix=""):
        self.prefix = prefix
        self.groups = {}

    def add(self, what, item=None):
        self.groups.setdefault(what, [])
        if item is not None:
            self.groups[what].append(item)

    def extend(self, other):
        for what, items in other.groups.items():
            self.groups.setdefault(other.prefix + what, []).extend(items)

    def __bool__(self):
        return bool(self.groups)

    def lines(self, shown=3):
        out = []
        for what, items in self.groups.items():
            text = self.prefix + what
            if items:
                text += " (%d): %s" % (len(items), ", ".join(items[:shown])) if len(items) > 1 else ": " + items[0]
                if len(items) > shown:
                    text += ", and %d more" % (len(items) - shown)
            out.append(text)
        return out


class Verdict:
    """What one tree holds after an accident, and what is wrong with it."""

    def __init__(self):
        self.problems = Problems()
        self.old = 0
        self.new = 0
        self.partial = 0
        self.backups = 0
        self.leftovers = {}   # rel -> (kind, account, data)

    def counts(self):
        text = "%d new, %d old" % (self.new, self.old)
        if self.partial:
            text += ", %d partly rewritten" % self.partial
        if self.backups:
            text += ", %d exact .Bak" % self.backups
        if self.leftovers:
            text += ", %d scratch left" % len(self.leftovers)
        return text


def judge(texts, now, allow_partial=False, expect_final=False, deleted=(), kept=None, strict_leftovers=True):
    """Checks a tree after an accident. `now` is its snapshot. With
    `expect_final`, every file must hold its new text. `deleted` names files
    another program removed; `kept` maps files another program saved to the
    text it saved. A scratch file that holds no sibling's text is wrong
    with `strict_leftovers` (after a kill); after a power cut one may hold
    anything, since no text lies only there while every file is old or new."""
    v = Verdict()
    p = v.problems
    kept = kept or {}
    for rel in sorted(texts.old):
        if rel.endswith(".Bak") or is_scratch(rel):
            continue
        data = now.get(rel, False)
        if rel in deleted:
            if data is not False:
                p.add("deleted meanwhile but back", "%s (%s)" % (
                    rel, "its new text" if data == texts.new.get(rel) else what_is(texts, rel, data)))
            continue
        if rel in kept:
            if data != kept[rel]:
                p.add("not the text another program saved meanwhile", "%s (%s)" % (
                    rel, "missing" if data is False else "it holds its new text" if data == texts.new.get(rel)
                    else "it holds its old text" if data == texts.old[rel] else what_is(texts, rel, data)))
            continue
        if data is False:
            p.add("missing", rel)
        elif data == texts.new.get(rel):
            if data != texts.old[rel]:
                v.new += 1
        elif data == texts.old[rel]:
            v.old += 1
            if expect_final:
                p.add("still old", rel)
        else:
            partial = _partial(texts, rel, data) if data is not None else None
            if partial and allow_partial and not expect_final:
                v.partial += 1
            elif partial:
                p.add("partly rewritten", "%s (%s)" % (rel, partial))
            else:
                account = what_is(texts, rel, data)
                if account == "empty":
                    p.add("empty", rel)
                else:
                    p.add(_group_of(account), "%s (%s)" % (rel, account))
    for rel in sorted(now):
        data = now[rel]
        if rel in texts.old and not rel.endswith(".Bak"):
            continue
        if rel.endswith(".Bak"):
            source = next((s for s in texts.siblings(rel) if backup_of(s) == rel), None)
            if source is None:
                p.add("a .Bak of no file of the tree", rel)
            elif data == texts.old[source]:
                v.backups += 1
            elif data != texts.old.get(rel):   # a .Bak an earlier run left, untouched
                p.add("a .Bak neither as it was nor exact", "%s %s" % (rel, _backup_account(texts, source, data)))
        elif is_scratch(rel):
            saved_for = next((k for k, text in kept.items() if text == data), None)
            if saved_for:
                kind, account = "saved copy", "the text another program saved as " + saved_for
            else:
                kind, account = what_leftover_is(texts, rel, data, now)
            v.leftovers[rel] = (kind, account, data)
            if kind == "unknown" and strict_leftovers:
                p.add("a scratch file holding text the harness can't place", "%s: %s" % (rel, account))
        elif os.path.basename(rel).startswith(".editor"):
            continue
        else:
            p.add("a file that was not there before", rel)
    return v


def _group_of(account):
    for start, group in (("holds", "holding another file's text"), ("torn", "torn"),
                         ("unknown", "holding text that is no file's"), ("not a regular", "not a regular file")):
        if account.startswith(start):
            return group
    return "holding only zero bytes"


def _backup_account(texts, source, data):
    if data is None:
        return "is not a regular file"
    if data == b"":
        return "is empty"
    if data.count(0) == len(data):
        return "holds %d zero bytes" % len(data)
    if data == texts.new.get(source):
        return "holds the file's new text"
    whose = _whose(texts, data, source)
    if whose:
        return "holds " + whose
    if texts.old[source].startswith(data):
        return "is torn: the first %d of %d bytes of the old text" % (len(data), len(texts.old[source]))
    return "holds %d bytes that are not the file's old text" % len(data)


def removable(texts, rel, data, before):
    """A leftover the next run is to remove (with a note): exactly the old
    text of a sibling whose current text strips back to it."""
    for s in texts.siblings(rel):
        if data == texts.old[s] and before.get(s) in (texts.old[s], texts.new.get(s)):
            return True
    return False


def named_in(output, rel):
    text = output.replace("\\", "/")
    return rel in text or ("./" + rel) in text


def judge_next_run(texts, before, vimbo, args, cwd, backups):
    """Runs vimbo again over a tree an accident left (`before` is its
    snapshot) and returns the problems: the run must complete, leave every
    file with its new text, remove (and name) each leftover that is exactly
    a sibling's old text, keep and name any other, and exit 0 only when it
    left nothing behind."""
    run = run_vimbo(vimbo, args, cwd)
    after = snapshot(cwd)
    problems = Problems("next run: ")
    v = judge(texts, after, expect_final=True)
    problems.extend(v.problems)
    stayed = []
    for rel, data in sorted(before.items()):
        if not is_scratch(rel):
            continue
        if removable(texts, rel, data, before):
            if rel in after:
                problems.add("left a scratch file that is exactly a sibling's old text", rel)
                stayed.append(rel)
            elif not named_in(run.output, rel):
                problems.add("removed a leftover without a note", rel)
        elif data == b"" and rel not in after:
            continue   # an empty file holds no text
        elif after.get(rel, False) != data:
            problems.add("removed or changed a leftover it was to keep",
                         "%s (%s)" % (rel, what_leftover_is(texts, rel, data, before)[1]))
        else:
            stayed.append(rel)
            if not named_in(run.output, rel):
                problems.add("kept a leftover without naming it", rel)
    for rel in sorted(after):
        if is_scratch(rel) and rel not in before:
            problems.add("left a scratch file of its own", rel)
            stayed.append(rel)
    if backups:
        for rel in texts.rewritten:
            # A file a failure left partly rewritten is backed up as it was then.
            was = before.get(rel)
            expected = was if was not in (texts.old[rel], texts.new[rel], None) and _partial(texts, rel, was) else texts.old[rel]
            if after.get(backup_of(rel)) != expected:
                problems.add("no exact .Bak", backup_of(rel))
    if run.hung():
        problems.add("hung")
    elif run.killed():
        problems.add("died of signal %d" % -run.status)
    elif stayed and run.status == 0:
        for rel in stayed:
            problems.add("exit 0 though it left a scratch file", rel)
    elif not stayed and run.status != 0:
        problems.add("exit %d: %s" % (run.status, first_lines(run.output)))
    return problems


def first_lines(output, count=2):
    lines = [l for l in output.splitlines() if l.strip()]
    shown = " | ".join(lines[:count])
    if len(lines) > count:
        shown += " | ... (%d lines)" % len(lines)
    return shown


# ---------------------------------------------------------------- reporting

class Report:
    """One line per case, then a summary; the exit status of the script."""

    def __init__(self, title, limit=5, verbose=False):
        self.title = title
        self.verbose = verbose
        self.limit = limit
        self.passed = 0
        self.failed = []
        self.kinds = {}

    def case(self, name, problems, detail=""):
        lines = []
        for group in problems:
            lines += group.lines() if isinstance(group, Problems) else [group]
            kinds = [group.prefix + what for what in group.groups] if isinstance(group, Problems) else [group]
            for kind in kinds:
                self.kinds[kind] = self.kinds.get(kind, 0) + 1
        if lines:
            shown = "; ".join(lines[:self.limit])
            if len(lines) > self.limit:
                shown += "; and %d more" % (len(lines) - self.limit)
            print("FAIL %s: %s" % (name, shown), flush=True)
            if self.verbose and detail:
                print("     " + detail.replace("\n", "\n     "), flush=True)
            self.failed.append(name)
        else:
            print("PASS %s%s" % (name, (": " + detail) if detail else ""), flush=True)
            self.passed += 1

    def info(self, text):
        print("     %s" % text, flush=True)

    def finish(self):
        total = self.passed + len(self.failed)
        if self.failed:
            print("what the %d failing cases found, by how many cases found it:" % len(self.failed))
            for kind, count in sorted(self.kinds.items(), key=lambda item: (-item[1], item[0])):
                print("  %4d  %s" % (count, kind))
        print("%s: %d cases, %d passed, %d failed" % (self.title, total, self.passed, len(self.failed)), flush=True)
        return 1 if self.failed else 0


def skip(reason):
    print("SKIPPED: " + reason, flush=True)
    sys.exit(SKIP)
