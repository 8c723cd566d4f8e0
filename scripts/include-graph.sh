#!/usr/bin/env bash
# Prints the folder-to-folder include edges of the sources ("from -> to  (number of includes)")
# and fails (exit 1) when the folders include each other in a cycle or when one application's
# folder includes a file from another application's folder. Tests that include an application's
# files are reported as warnings; with --strict (or ZINNA_STRICT_TEST_INCLUDES=1) they fail too.
set -euo pipefail
cd "$(dirname "$0")/.."
strict=${ZINNA_STRICT_TEST_INCLUDES:-0}
for arg in "$@"; do
  case $arg in
    --strict) strict=1 ;;
    -h | --help) sed -n '2,5s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "include-graph.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

git ls-files -- 'src/*' 'apps/*' 'tests/*' 'tools/*' 'bench/*' 'fuzz/*' |
  grep -E '\.(h|hpp|c|cc|cpp)$' |
  STRICT=$strict python3 -c '
import os, re, sys
from collections import defaultdict

files = [line.strip() for line in sys.stdin if line.strip()]
known = set(files)
include = re.compile(r"^\s*#\s*include\s+\"([^\"]+)\"")

def resolve(source, name):
    # Next to the including file first, then from src/ (how the sources write their includes),
    # then any single file whose path ends with the name (a target include directory).
    for base in (os.path.dirname(source), "src", "."):
        candidate = os.path.normpath(os.path.join(base, name))
        if candidate in known:
            return candidate
    matches = [f for f in files if f.endswith("/" + name)]
    return matches[0] if len(matches) == 1 else None

edges = defaultdict(int)
for source in files:
    with open(source, encoding="utf-8", errors="replace") as text:
        for line in text:
            m = include.match(line)
            if not m:
                continue
            target = resolve(source, m.group(1))
            if target is None:
                continue
            a, b = os.path.dirname(source), os.path.dirname(target)
            if a != b:
                edges[(a, b)] += 1

for (a, b), n in sorted(edges.items()):
    print(f"{a} -> {b}  ({n})")

def app(folder):
    parts = folder.split("/")
    return parts[1] if parts[0] == "apps" and len(parts) > 1 else None

problems, warnings = [], []
for (a, b) in sorted(edges):
    if app(a) and app(b) and app(a) != app(b):
        problems.append(f"app-to-app include: {a} -> {b}")
    if a.split("/")[0] == "tests" and app(b):
        (problems if os.environ["STRICT"] == "1" else warnings).append(
            f"a test includes an application: {a} -> {b}")

# Cycles: a strongly connected component of more than one folder (Tarjan).
graph = defaultdict(set)
for (a, b) in edges:
    graph[a].add(b)
index, low, stack, on_stack, components = {}, {}, [], set(), []
def visit(v):
    index[v] = low[v] = len(index)
    stack.append(v); on_stack.add(v)
    for w in sorted(graph[v]):
        if w not in index:
            visit(w); low[v] = min(low[v], low[w])
        elif w in on_stack:
            low[v] = min(low[v], index[w])
    if low[v] == index[v]:
        component = []
        while True:
            w = stack.pop(); on_stack.discard(w); component.append(w)
            if w == v:
                break
        if len(component) > 1:
            components.append(sorted(component))
sys.setrecursionlimit(10000)
for v in sorted(set(graph) | {b for (_, b) in edges}):
    if v not in index:
        visit(v)
for component in components:
    inner = [f"{a} -> {b}" for (a, b) in sorted(edges) if a in component and b in component]
    problems.append("include cycle among " + ", ".join(component) + ": " + "; ".join(inner))

for w in warnings:
    print("warning: " + w, file=sys.stderr)
for p in problems:
    print("error: " + p, file=sys.stderr)
sys.exit(1 if problems else 0)
'
