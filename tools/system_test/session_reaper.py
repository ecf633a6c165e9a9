#!/usr/bin/python3
# The session's own process, as a session manager is one: starts the session's programs (its
# arguments), adopts whatever they leave running (a child subreaper, so that a program started
# by the autostart runner is still ours after the runner has gone) and prints how each of them
# ended, which the system test reads from the journal. It tells systemd that the session is up
# once the programs are started, and ends when its last child has.
import ctypes
import os
import socket
import sys

PR_SET_CHILD_SUBREAPER = 36


def tell_systemd_ready():
    address = os.environ.get("NOTIFY_SOCKET")
    if not address:
        return
    if address.startswith("@"):
        address = "\0" + address[1:]
    with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as notify:
        notify.sendto(b"READY=1", address)


def process_name(pid):
    try:
        with open(f"/proc/{pid}/comm") as comm:
            return comm.read().strip()
    except OSError:
        return "?"


def main():
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        sys.exit(f"session: no subreaper: {os.strerror(ctypes.get_errno())}")
    child = os.fork()
    if child == 0:
        os.execvp(sys.argv[1], sys.argv[1:])
    print(f"session: started {child} ({' '.join(sys.argv[1:])})", flush=True)
    tell_systemd_ready()
    while True:
        try:
            # Look before reaping: the ended process's name is readable only until then.
            ended = os.waitid(os.P_ALL, 0, os.WEXITED | os.WNOWAIT)
        except ChildProcessError:
            return
        name = process_name(ended.si_pid)
        _, status = os.waitpid(ended.si_pid, 0)
        if os.WIFSIGNALED(status):
            how = f"signal {os.WTERMSIG(status)}"
        else:
            how = f"exit {os.WEXITSTATUS(status)}"
        print(f"session: {ended.si_pid} ({name}) ended: {how}", flush=True)


main()
