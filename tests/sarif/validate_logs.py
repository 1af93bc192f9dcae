#!/usr/bin/python3
"""Every kind of SARIF log vimbo writes, made by the command in a scratch
project and validated against the schema beside this script:
    validate_logs.py VIMBO WORK
Exit status 0 when every log is valid, 1 otherwise (each error printed)."""
import json
import os
import shutil
import subprocess
import sys

import jsonschema

HERE = os.path.dirname(os.path.abspath(__file__))


def write(path, text):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "w", newline="") as out:
        out.write(text)


def main():
    vimbo, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    with open(os.path.join(HERE, "sarif-2.1.0-subset.schema.json")) as f:
        schema = json.load(f)
    validator = jsonschema.Draft7Validator(schema, format_checker=jsonschema.FormatChecker())
    shutil.rmtree(work, ignore_errors=True)
    proj = os.path.join(work, "proj")
    write(os.path.join(proj, "inc/a.h"), "#ifndef A_H\n#define A_H\n#endif\n")
    write(os.path.join(proj, "inc/w.h"), "#ifndef NEW_W_H\n#define NEW_W_H\n#endif\n")
    write(os.path.join(proj, "src/m.c"), "#include <a.h>\n#include <gone.h>\n#include \"my dir/x.h\"\n")
    write(os.path.join(proj, "src/my dir/x.h"), "#ifndef X_H\n#define X_H\n#endif\n")
    write(os.path.join(proj, "src/clean.c"), "int x;\n")
    write(os.path.join(proj, "src/wrong.c"), "#ifndef W_H\n#include <w.h>\n#endif\n")
    write(os.path.join(proj, "src/done.c"), "#include <a.h>\n")
    write(os.path.join(proj, "gone.h"), "#ifndef G_H\n#define G_H\n#endif\n")  # in the project, off the path
    write(os.path.join(work, "outside.c"), "#include <a.h>\n")
    env = dict(os.environ, GIT_CONFIG_NOSYSTEM="1", HOME=work)
    git = shutil.which("git")
    if git:
        for args in (["init", "-q"], ["add", "-A"],
                     ["-c", "user.name=t", "-c", "user.email=t@t", "commit", "-qm", "t"]):
            subprocess.run([git] + args, cwd=proj, env=env, check=True)
    inc = ["-i", "inc", "--format", "sarif"]
    cases = [
        ("findings, unresolved includes", inc + ["--check", "src/m.c"], 1),
        ("nothing to do", inc + ["--check", "src/clean.c"], 0),
        ("a diff asked for as SARIF (a usage error)", inc + ["--diff", "src/m.c"], 2),
        ("an audit", inc + ["--audit", "src/wrong.c"], 1),
        ("a strip, dry", inc + ["--strip", "--check", "src/wrong.c"], 1),
        ("a file outside the current directory", inc + ["--check", "../outside.c"], 1),
        ("a file that is not there", inc + ["--check", "src/none.c"], 2),
        ("a usage error", inc + ["--check", "--no-such-option", "src/m.c"], 2),
        ("strict", inc + ["--check", "--strict", "src/m.c"], 2),
        ("a rewrite", inc + ["--tree", "src/done.c"], 0),
        ("lines already done", inc + ["--tree", "src/done.c"], 0),
    ]
    if git:
        cases.append(("no change since HEAD", inc + ["--check", "--since", "HEAD"], 0))
    failures = 0
    for label, args, expected in cases:
        run = subprocess.run([vimbo] + args, cwd=proj, env=env, capture_output=True, text=True)
        problems = []
        if run.returncode != expected:
            problems.append("exit status %d, expected %d" % (run.returncode, expected))
        try:
            log = json.loads(run.stdout)
        except ValueError as error:
            problems.append("no JSON document: %s: %r" % (error, run.stdout[:200]))
            log = None
        if log is not None:
            problems += ["%s at %s" % (e.message, "/".join(str(p) for p in e.absolute_path))
                         for e in validator.iter_errors(log)]
            runs = log.get("runs") or [{}]
            if not isinstance(runs[0].get("results"), list):
                problems.append("the run has no results array")
        if problems:
            failures += 1
            print("%s (vimbo %s):" % (label, " ".join(args)))
            for problem in problems:
                print("  " + problem)
            print("  stderr: " + run.stderr.strip().replace("\n", "\n          "))
    print("%d of %d logs valid" % (len(cases) - failures, len(cases)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
