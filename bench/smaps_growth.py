#!/usr/bin/env python3
"""Where a process grew between two copies of /proc/PID/smaps: PSS by mapping name (file, [heap],
anonymous), largest growth first.  bench/smaps_growth.py BEFORE AFTER [ROWS]"""
import re
import sys
from collections import defaultdict


def pss_by_mapping(path):
    totals = defaultdict(int)
    name = None
    for line in open(path):
        head = re.match(r'^[0-9a-f]+-[0-9a-f]+ (\S+) \S+ \S+ \S+\s*(.*)$', line)
        if head:
            name = f'{head.group(2) or "[anonymous]"} {head.group(1)}'
        elif line.startswith('Pss:'):
            totals[name] += int(line.split()[1])
    return totals


before, after = pss_by_mapping(sys.argv[1]), pss_by_mapping(sys.argv[2])
rows = int(sys.argv[3]) if len(sys.argv) > 3 else 25
growth = sorted(((after.get(k, 0) - before.get(k, 0), k) for k in set(before) | set(after)), reverse=True)
print(f'total: {sum(before.values()) // 1024} MB -> {sum(after.values()) // 1024} MB')
for kb, name in growth[:rows]:
    print(f'{kb / 1024:8.1f} MB  {name}')
