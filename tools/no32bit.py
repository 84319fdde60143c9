#!/usr/bin/env python3
"""Runs a command as on an x86-64 host whose kernel runs no 32-bit code.

    tools/no32bit.py COMMAND [ARGUMENT...]     e.g. tools/no32bit.py ./project.sh test

A seccomp filter, inherited by every process the command starts, kills any
process at its first system call that is not an x86-64 one; so no 32-bit
program (nor Wine's 32-bit loader) gets anywhere. `tools/no32bit.py --check`
shows it working: it runs a tiny 32-bit program with and without the filter.
Linux on x86-64 only; needs no privileges.
"""

import ctypes
import os
import struct
import subprocess
import sys
import tempfile

PR_SET_NO_NEW_PRIVS = 38
PR_SET_SECCOMP = 22
SECCOMP_MODE_FILTER = 2
SECCOMP_RET_KILL_PROCESS = 0x80000000
SECCOMP_RET_ALLOW = 0x7FFF0000
AUDIT_ARCH_X86_64 = 0xC000003E
# Classic BPF: load the word at offset 4 of struct seccomp_data (arch),
# compare, return.
BPF_LD_W_ABS = 0x20
BPF_JEQ_K = 0x15
BPF_RET_K = 0x06


class SockFilter(ctypes.Structure):
    _fields_ = [("code", ctypes.c_uint16), ("jt", ctypes.c_uint8), ("jf", ctypes.c_uint8),
                ("k", ctypes.c_uint32)]


class SockFprog(ctypes.Structure):
    _fields_ = [("len", ctypes.c_uint16), ("filter", ctypes.POINTER(SockFilter))]


def forbid_32bit_code():
    program = (SockFilter * 4)(
        SockFilter(BPF_LD_W_ABS, 0, 0, 4),
        SockFilter(BPF_JEQ_K, 1, 0, AUDIT_ARCH_X86_64),
        SockFilter(BPF_RET_K, 0, 0, SECCOMP_RET_KILL_PROCESS),
        SockFilter(BPF_RET_K, 0, 0, SECCOMP_RET_ALLOW))
    fprog = SockFprog(len(program), program)
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl.argtypes = [ctypes.c_int, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_ulong,
                           ctypes.c_ulong]
    if (libc.prctl(PR_SET_NO_NEW_PRIVS, 1, None, 0, 0) != 0 or
            libc.prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, ctypes.byref(fprog), 0, 0) != 0):
        error = ctypes.get_errno()
        sys.exit("no32bit: prctl failed: %s" % os.strerror(error))


def i386_program():
    """A 32-bit ELF program that exits with status 0 (exit(0) via int 0x80)."""
    code = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])  # mov eax,1; xor ebx,ebx; int 0x80
    base, header_size = 0x08048000, 52 + 32
    elf = (b"\x7fELF\x01\x01\x01" + bytes(9) +
           struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + header_size, 52, 0, 0, 52, 32, 1, 0,
                       0, 0))
    segment = struct.pack("<IIIIIIII", 1, 0, base, base, header_size + len(code),
                          header_size + len(code), 5, 0x1000)
    return elf + segment + code


def check():
    with tempfile.NamedTemporaryFile(suffix="-i386", delete=False) as f:
        f.write(i386_program())
    os.chmod(f.name, 0o755)
    try:
        before = subprocess.run([f.name]).returncode
        after = subprocess.run([sys.executable, __file__, f.name]).returncode
    finally:
        os.unlink(f.name)
    print("a 32-bit program: exit status %d without the filter, %d with it" % (before, after))
    return 0 if before == 0 and after != 0 else 1


def main(args):
    if not args or args[0] in ("-h", "--help"):
        print(__doc__.strip())
        return 2 if not args else 0
    if args[0] == "--check":
        return check()
    forbid_32bit_code()
    try:
        os.execvp(args[0], args)
    except OSError as error:
        sys.exit("no32bit: %s: %s" % (args[0], error.strerror))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
