#!/usr/bin/env bash
# Layering check: reads every #include "..." in lib/, include/ and programs/
# and fails when
#   (a) an arrow points upward: a file in lib/LAYER/ (any depth) includes a
#       header of a layer that the table below does not allow it, or
#       include/ includes a project header at all;
#   (b) the include graph has a circle. The graph is header level: a .cpp
#       file counts as its header (lib/LAYER/NAME.cpp as lib/LAYER/NAME.h)
#       when that header exists, and stands for itself otherwise; a file
#       including its own header is no circle.
# Each upward arrow is printed as file:line, each circle as the chain of
# includes that closes it, with file:line for every step.
#
# A quoted include is looked up as the compiler sees it: next to the
# including file, then in lib/, include/ and programs/ (the build's include
# folders). Names found in none of them (the generated q58_version.h) are
# not project files and are not checked.
#
#   bash tools/check-layers.sh        exit status 0 when the tree passes, 1 otherwise
#
# Needs bash and python3.

# The allowed order, lowest first: each layer and what its files may include
# besides their own layer. "lib" stands for every layer under lib/, "*" for
# anything. A folder under lib/ that the table does not name is reported.
read -r -d '' layer_table <<'TABLE'
base:
bits:      base
simd:      base
transform: base simd
codec:     base bits simd transform
streams:   base
formats:   base bits simd transform codec streams
api:       lib include
include:
programs:  *
TABLE

set -euo pipefail
cd "$(dirname "$0")/.."
command -v python3 >/dev/null || { echo "check-layers: needs python3" >&2; exit 2; }
export Q58_LAYER_TABLE=$layer_table
exec python3 - <<'PYTHON'
import os
import re
import sys

table = {}
order = []
for row in os.environ["Q58_LAYER_TABLE"].splitlines():
    if not row.strip():
        continue
    name, _, below = row.partition(":")
    table[name.strip()] = below.split()
    order.append(name.strip())
lib_layers = [name for name in order if name not in ("include", "programs")]

def layer_of(path):
    parts = path.split("/")
    if parts[0] == "lib":
        return parts[1] if len(parts) > 2 else "lib/ itself"
    return parts[0]  # include, programs

def allowed(source_layer, target_layer):
    if source_layer == target_layer:
        return True
    rule = table.get(source_layer, [])
    if "*" in rule:
        return True
    if target_layer in rule:
        return True
    return "lib" in rule and target_layer in table and target_layer in lib_layers

def describe(rule):
    if not rule:
        return "nothing outside its own layer"
    return ", ".join(rule).replace("lib", "every layer under lib/")

files = []
for top in ("lib", "include", "programs"):
    for folder, subfolders, names in os.walk(top):
        subfolders.sort()
        for name in sorted(names):
            if name.endswith((".h", ".hpp", ".c", ".cpp", ".cc")):
                files.append(os.path.join(folder, name))

include_re = re.compile(r'^\s*#\s*include\s*"([^"]+)"')

def resolve(including, name):
    for base in (os.path.dirname(including), "lib", "include", "programs"):
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(candidate):
            return candidate
    return None

edges = {}       # node -> {node: (file, line, text)}
problems = 0
unknown_layers = set()

def node_of(path):
    stem, extension = os.path.splitext(path)
    if extension in (".cpp", ".cc", ".c") and os.path.isfile(stem + ".h"):
        return stem + ".h"
    return path

print("== check-layers: upward arrows")
for path in files:
    source_layer = layer_of(path)
    if source_layer not in table and source_layer not in unknown_layers:
        unknown_layers.add(source_layer)
        print(f"{path}: its layer ({source_layer}) is not in the layer table of tools/check-layers.sh")
        problems += 1
    with open(path, encoding="utf-8", errors="replace") as handle:
        for number, text in enumerate(handle, 1):
            match = include_re.match(text)
            if not match:
                continue
            target = resolve(path, match.group(1))
            if target is None:
                continue
            target_layer = layer_of(target)
            if not allowed(source_layer, target_layer):
                print(f"{path}:{number}: {source_layer} includes \"{match.group(1)}\" ({target_layer}); "
                      f"{source_layer} may include {describe(table.get(source_layer, []))}")
                problems += 1
            source_node, target_node = node_of(path), node_of(target)
            if source_node != target_node:
                edges.setdefault(source_node, {}).setdefault(target_node, (path, number, match.group(1)))

# Circles: the strongly connected components of the graph (Tarjan, iterative);
# each one with more than one node is printed as circles covering all its nodes.
print("== check-layers: circles")
index = {}
low = {}
on_stack = set()
stack = []
components = []
counter = 0
for start in sorted(set(edges) | {t for targets in edges.values() for t in targets}):
    if start in index:
        continue
    work = [(start, iter(sorted(edges.get(start, {}))))]
    index[start] = low[start] = counter
    counter += 1
    stack.append(start)
    on_stack.add(start)
    while work:
        node, children = work[-1]
        advanced = False
        for child in children:
            if child not in index:
                index[child] = low[child] = counter
                counter += 1
                stack.append(child)
                on_stack.add(child)
                work.append((child, iter(sorted(edges.get(child, {})))))
                advanced = True
                break
            if child in on_stack:
                low[node] = min(low[node], index[child])
        if advanced:
            continue
        work.pop()
        if work:
            parent = work[-1][0]
            low[parent] = min(low[parent], low[node])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                components.append(sorted(component))

def shortest_circle(first, members):
    """The shortest chain first -> ... -> first inside members."""
    previous = {first: None}
    queue = [first]
    while queue:
        next_queue = []
        for node in queue:
            for child in sorted(edges.get(node, {})):
                if child not in members:
                    continue
                if child == first:
                    chain = [node]
                    while previous[chain[-1]] is not None:
                        chain.append(previous[chain[-1]])
                    return list(reversed(chain)) + [first]
                if child not in previous:
                    previous[child] = node
                    next_queue.append(child)
        queue = next_queue
    return [first, first]

# Every node of a component lies on some circle: print circles until each
# member of the component has been shown on one.
for component in sorted(components):
    members = set(component)
    shown = set()
    for first in component:
        if first in shown:
            continue
        chain = shortest_circle(first, members)
        shown.update(chain)
        print(f"circle: {' -> '.join(chain)}")
        for a, b in zip(chain, chain[1:]):
            path, number, name = edges[a][b]
            print(f"  {path}:{number}: #include \"{name}\"")
        problems += 1

if problems:
    print(f"check-layers: FAILED: {problems} problem(s)")
    sys.exit(1)
print("check-layers: passed: no upward arrow, no circle")
PYTHON
