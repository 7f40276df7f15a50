#!/usr/bin/env bash
# clang-tidy over the product code (src/) with the checks in .clang-tidy; fails on any finding.
# Usage: tools/tidy.sh [--budget SECONDS] BUILD_DIR [JOBS]   (BUILD_DIR holds compile_commands.json)
#
# A file that passes is remembered in BUILD_DIR/tidy-cache under a hash of everything clang-tidy
# read for it: the file, every header Ninja's dependency log says it includes, its command, the
# .clang-tidy files and clang-tidy's version. Without --budget every file is checked. With it,
# remembered files are skipped, the others are checked most recently changed first, and none
# starts after SECONDS; what is left waits for the next run, which says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
budget=0
if [ "${1:-}" = --budget ]; then
    budget="$2"
    shift 2
fi
build="$(cd "$1" && pwd)"
jobs="${2:-$(nproc)}"
if ! command -v clang-tidy >/dev/null; then
    echo "SKIP: clang-tidy is not installed"
    exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 - "$root" "$build" "$work" "$jobs" "$budget" <<'PY'
import concurrent.futures, hashlib, json, os, re, shlex, subprocess, sys, time

root, build, work, jobs, budget = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), float(sys.argv[5])
deadline = time.monotonic() + budget if budget > 0 else None
cache = os.path.join(build, "tidy-cache")
os.makedirs(cache, exist_ok=True)

# GCC builds pass flags clang does not know (-fcoroutines); clang-tidy reads a copy without them.
entries = [e for e in json.load(open(os.path.join(build, "compile_commands.json")))
           if e["file"].startswith(root + "/src/")]
for e in entries:
    e["command"] = e["command"].replace(" -fcoroutines", "")
json.dump(entries, open(os.path.join(work, "compile_commands.json"), "w"))


def dependencies():
    """Each object file's inputs from Ninja's log; none when the build is not Ninja's."""
    try:
        log = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True,
                             text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return {}
    found, current = {}, None
    for line in log.splitlines():
        if line and not line[0].isspace():
            match = re.match(r"(.*): #deps \d+, deps mtime \d+ \(VALID\)$", line)
            current = match.group(1) if match else None
            if current:
                found[current] = []
        elif current and line.strip():
            found[current].append(os.path.normpath(os.path.join(build, line.strip())))
    return found


digests = {}
def digest(path):
    if path not in digests:
        try:
            with open(path, "rb") as f:
                digests[path] = hashlib.sha256(f.read()).hexdigest()
        except OSError:
            digests[path] = None
    return digests[path]


version = subprocess.run(["clang-tidy", "--version"], capture_output=True, text=True).stdout
inputs = dependencies()
for e in entries:
    arguments = shlex.split(e["command"])
    output = arguments[arguments.index("-o") + 1] if "-o" in arguments else None
    files = inputs.get(output, [])
    e["key"], e["changed"] = None, time.time()
    if e["file"] not in files:
        continue  # not built yet, or not by Ninja: checked every run, never remembered
    folder, configs = os.path.dirname(e["file"]), []
    while folder.startswith(root):
        configs.append(os.path.join(folder, ".clang-tidy"))
        folder = os.path.dirname(folder)
    key = hashlib.sha256((version + e["command"]).encode())
    for path in configs + sorted(set(files)):
        key.update(f"{path}\0{digest(path)}\0".encode())
    if all(digest(path) for path in files):
        e["key"] = key.hexdigest()
        e["changed"] = max(os.stat(path).st_mtime for path in files)

remembered = set(os.listdir(cache)) if deadline else set()
todo = sorted((e for e in entries if e["key"] not in remembered), key=lambda e: -e["changed"])
finding = re.compile(r"(error|warning): ")


def check(e):
    if deadline and time.monotonic() > deadline:
        return e, None
    run = subprocess.run(["clang-tidy", "-p=" + work, "-quiet", e["file"]],
                         capture_output=True, text=True)
    text = run.stdout + run.stderr
    # Findings are errors (WarningsAsErrors in .clang-tidy); a crash counts as one too.
    failed = run.returncode != 0 or any(finding.search(line) for line in text.splitlines())
    return e, text if failed else ""


checked, failures, left = 0, [], []
with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
    for e, text in pool.map(check, todo):
        if text is None:
            left.append(e)
            continue
        checked += 1
        if text:
            failures.append(text)
        elif e["key"]:
            open(os.path.join(cache, e["key"]), "w").close()

# Only what matches the files as they are now stays remembered.
current = {e["key"] for e in entries if e["key"]}
for name in os.listdir(cache):
    if name not in current:
        os.remove(os.path.join(cache, name))

noise = re.compile(r"^clang-tidy|warnings? generated|^Suppressed|^Use -header-filter|^$")
for text in failures:
    print("\n".join(line for line in text.splitlines() if not noise.search(line)))
skipped = len(entries) - len(todo)
print(f"clang-tidy checked {checked} of {len(entries)} files in src/"
      + (f"; {skipped} unchanged since they passed" if skipped else ""))
if left:
    names = [os.path.relpath(e["file"], root) for e in left]
    print(f"clang-tidy: {len(left)} files were not checked within {budget:g} s, so the next run "
          f"goes on with them (tools/long-checks.sh checks every file): {', '.join(names[:5])}"
          + (", …" if len(names) > 5 else ""))
if failures:
    print(f"clang-tidy: findings in {len(failures)} files")
    sys.exit(1)
print("clang-tidy: no findings")
PY
