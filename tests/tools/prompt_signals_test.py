#!/usr/bin/env python3
"""The tool's password prompt on a pseudo-terminal, under signals.

    prompt_signals_test.py TOOL CASE

CASE is a signal name (SIGINT, SIGTERM, SIGHUP, SIGQUIT: the tool must put the
terminal's settings back and die of that signal; SIGTSTP: put them back and
stop, turn echo off again when continued, then take the password), CTRL-C
(the key typed at the prompt) or MISMATCH (two different entries at the
confirmation).

The tool runs in a process group of its own in the foreground of a session
whose leader, a fork of this script, stands in for a shell with job control:
a stop signal would be discarded in a process group without such a parent.
"""
import fcntl
import os
import resource
import select
import signal
import sys
import tempfile
import termios
import time

ENDING = ("SIGINT", "SIGTERM", "SIGHUP", "SIGQUIT")


def start(tool, slave, args):
    """Forks the session leader, which starts the tool; returns (leader, tool pid)."""
    pid_r, pid_w = os.pipe()
    leader = os.fork()
    if leader == 0:
        try:
            os.close(pid_r)
            os.setsid()
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
            go_r, go_w = os.pipe()
            child = os.fork()
            if child == 0:
                os.setpgid(0, 0)
                os.read(go_r, 1)  # until the group is in the foreground
                for fd in (0, 1, 2):
                    os.dup2(slave, fd)
                resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
                os.execv(tool, [tool] + args)
            os.setpgid(child, child)
            os.tcsetpgrp(slave, child)
            os.write(go_w, b"g")
            os.write(pid_w, str(child).encode())
            os.close(pid_w)
            _, status = os.waitpid(child, 0)
            if os.WIFSIGNALED(status):
                os._exit(128 + os.WTERMSIG(status))
            os._exit(os.WEXITSTATUS(status))
        except BaseException:
            os._exit(99)
    os.close(pid_w)
    child = int(os.read(pid_r, 32))
    os.close(pid_r)
    return leader, child


class Terminal:
    def __init__(self, master):
        self.master = master
        self.seen = b""

    def wait_for(self, text, seconds=10):
        deadline = time.monotonic() + seconds
        while text not in self.seen:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("no %r on the terminal, got %r" % (text, self.seen))
            if select.select([self.master], [], [], left)[0]:
                self.seen += os.read(self.master, 1024)
        self.seen = self.seen.split(text, 1)[1]


def wait_until(condition, what, seconds=10):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.02)


def exit_code(leader, seconds=10):
    result = []

    def ended():
        pid, status = os.waitpid(leader, os.WNOHANG)
        if pid != 0:
            result.append(os.WEXITSTATUS(status))
        return bool(result)

    wait_until(ended, "the tool to end", seconds)
    return result[0]


def stopped(pid):
    with open("/proc/%d/stat" % pid) as stat:
        return stat.read().rsplit(")", 1)[1].split()[0] == "T"


def main():
    tool, case = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp()
    source = os.path.join(work, "in")
    output = os.path.join(work, "out.vx")
    with open(source, "w") as f:
        f.write("data\n")
    master, slave = os.openpty()
    before = termios.tcgetattr(slave)
    assert before[3] & termios.ECHO, "the terminal starts without echo"
    echo = lambda: termios.tcgetattr(slave)[3] & termios.ECHO != 0

    leader, child = start(tool, slave, ["encrypt", "-p", "demo", source, "-o", output])
    terminal = Terminal(master)
    try:
        terminal.wait_for(b"Password: ")
        assert not echo(), "echo is on at the prompt"
        if case in ENDING:
            number = getattr(signal, case)
            os.kill(child, number)
            code = exit_code(leader)
            assert code == 128 + number, "ended with %d, not by %s" % (code, case)
        elif case == "CTRL-C":
            os.write(master, b"sec\x03")
            code = exit_code(leader)
            assert code == 128 + signal.SIGINT, "ended with %d after ^C" % code
        elif case == "SIGTSTP":
            os.kill(child, signal.SIGTSTP)
            wait_until(lambda: stopped(child), "the tool to stop")
            assert termios.tcgetattr(slave) == before, "stopped with the settings changed"
            os.kill(child, signal.SIGCONT)
            wait_until(lambda: not echo(), "echo off again after SIGCONT")
            os.write(master, b"secret\n")
            terminal.wait_for(b"Again: ")
            assert not echo(), "echo is on at the second prompt"
            os.write(master, b"secret\n")
            code = exit_code(leader)
            assert code == 0, "the encryption after a stop ended with %d" % code
            assert os.path.getsize(output) > 16, "no stream was written"
        elif case == "MISMATCH":
            os.write(master, b"secret\n")
            terminal.wait_for(b"Again: ")
            os.write(master, b"secreT\n")
            terminal.wait_for(b"the passwords do not match")
            code = exit_code(leader)
            assert code == 2, "a mismatch ended with %d" % code
        else:
            raise SystemExit("unknown case " + case)
        assert echo(), "echo is off after " + case
        assert termios.tcgetattr(slave) == before, "settings changed after " + case
        assert case == "SIGTSTP" or not os.path.exists(output), "an output file was left"
    except BaseException:
        try:
            os.killpg(child, signal.SIGKILL)
        except OSError:
            pass
        raise
    print("prompt %s: passed" % case)


if __name__ == "__main__":
    main()
