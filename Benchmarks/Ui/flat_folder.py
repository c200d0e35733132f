#!/usr/bin/env python3
"""flat_folder.py ROOT N  -- one folder of N sparse files for the window's benchmark.
Names are plain, accented with a precomposed letter, or accented with a combining mark, in turn;
sizes take eight values, so most files tie on size with thousands of others."""
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
os.mkdir(root)
for i in range(n):
    name = (f'file {i:06d}.dat', f'caf\u00e9 {i:06d}.txt', f'cafe\u0301 {i:06d}.txt')[i % 3]
    fd = os.open(os.path.join(root, name), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    os.ftruncate(fd, 4096 * (1 + i % 8))
    os.close(fd)
