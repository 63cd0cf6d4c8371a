#!/usr/bin/env bash
# --progress under a pseudo-terminal: on by default for an input of 1 GiB read
# with standard error on a terminal and standard output not; it draws there,
# clears its line, and standard output stays byte for byte as without it.
set -euo pipefail
U=$1
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
"$U" entries a=1 | "$U" pack --name TEMP >r
truncate -s 1G cap && cat r r >>cap
/usr/bin/python3 - "$U" <<'PY'
import os, pty, subprocess, sys
U = sys.argv[1]
for args in (["list", "cap"], ["convert", "--to-text", "cap"], ["stats", "--json", "cap"], ["table", "cap"]):
    plain = subprocess.run([U] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
    assert plain.stderr == b"", (args, plain.stderr)
    master, slave = pty.openpty()
    run = subprocess.run([U] + args, stdout=subprocess.PIPE, stderr=slave, check=True)
    os.close(slave)
    shown = b""
    try:
        while chunk := os.read(master, 65536):
            shown += chunk
    except OSError:  # EIO: the terminal has no writer left
        pass
    assert run.stdout == plain.stdout, args
    assert b" of " in shown and b" GiB (" in shown and b" records" in shown, (args, shown)
    assert shown.endswith(b"\r") and shown.rsplit(b"\r", 2)[-2].strip() == b"", (args, shown)
PY
echo "tool_progress: passed"
