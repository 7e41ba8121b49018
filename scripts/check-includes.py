#!/usr/bin/env python3
"""Fails when src/ has an include cycle (a .h and its .cpp count as one unit), or when the
engine, decoding or loudness folders include the windows or the remote controls (OSC, MIDI)."""
import os
import re
import sys

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'src')
lower = ('engine', 'decoding', 'loudness', 'waveform', 'show', 'tracklist')
upper = ('player', 'carts', 'editor', 'remote', 'midi', 'browser', 'asrun', 'about', 'app')
units = {}
for folder, _, files in os.walk(root):
    for name in files:
        if not name.endswith(('.h', '.cpp')):
            continue
        path = os.path.join(folder, name)
        unit = os.path.relpath(path, root).rsplit('.', 1)[0]
        with open(path, encoding='utf-8') as source:
            for line in source:
                match = re.match(r'\s*#\s*include\s+"([^"]+)\.h"', line)
                if match and match.group(1) != unit:
                    units.setdefault(unit, set()).add(match.group(1))
        units.setdefault(unit, set())

problems = []
for unit, targets in sorted(units.items()):
    if unit.split('/')[0] in lower:
        problems += [f'{unit} includes {t}' for t in sorted(targets) if t.split('/')[0] in upper]

state = {}
def visit(unit, trail):
    state[unit] = 'open'
    for target in sorted(units.get(unit, ())):
        if state.get(target) == 'open':
            problems.append('include cycle: ' + ' -> '.join(trail[trail.index(target):] + [target]))
        elif target not in state:
            visit(target, trail + [target])
    state[unit] = 'done'

for unit in sorted(units):
    if unit not in state:
        visit(unit, [unit])

for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
