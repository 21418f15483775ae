"""Runs a batch file with Wine's cmd on a pseudo-terminal and answers its questions as a person would.

Wine's cmd reads a piped standard input all at once (`set /p` then gets "Y\\r\\nY") and `RMDIR /S` loops forever
at the end of such input, so the answers are typed on a terminal, one at a time, when the output stops at a
question. An answer typed before cmd asks is read as part of the wrong line: never type ahead.
"""

import fcntl
import os
import pty
import re
import select
import signal
import struct
import termios
import time
from dataclasses import dataclass, field

# Terminal control sequences that Wine's console writes around every output (cursor, colours, clearing).
_CONTROL = re.compile(r"\x1b\[[0-?]*[ -/]*[@-~]|\x1b\][^\x07\x1b]*(?:\x07|\x1b\\)|\x1b[()][0-9A-Za-z]")

QUESTION_DELETE = "Do you really want to DELETE these files? (Y/N) :"
QUESTION_NO_PROMPT = "Remove prompt to delete folders? (Y/N) :"
PRESS_ANY_KEY = "Press any key to continue..."
# cmd's own confirmation of RMDIR /S without /Q: "<folder> Are you sure? (Yes|No)".
_RMDIR_CONFIRM = re.compile(r"^(?P<folder>.*) Are you sure\? \(Yes\|No\)$")


@dataclass
class Transcript:
    exit_status: int = None
    questions: list = field(default_factory=list)  # each question's text, in the order asked
    output: str = ""  # everything cmd wrote, control sequences removed

    def rmdir_confirmations(self):
        return [m.group("folder") for m in map(_RMDIR_CONFIRM.match, self.questions) if m]


def _question_at_end(text):
    """The question that the output stops at, or None."""
    last = text.rstrip("\r\n").split("\n")[-1].strip("\r").strip()
    if last.endswith("(Y/N) :") or _RMDIR_CONFIRM.match(last) or last.startswith(PRESS_ANY_KEY):
        return last
    return None


def run_batch(env, batch_windows_path, cwd, answer=lambda question: "Y", timeout=60.0, quiet=0.2, cmd_options=()):
    """Runs `wine cmd [OPTIONS] /c BATCH`. Whenever the output has stopped for `quiet` seconds at a question,
    types answer(question) and Enter ("Press any key" gets Enter alone). Returns the transcript; raises
    AssertionError when cmd has not ended within `timeout` seconds (it is killed then)."""
    pid, fd = pty.fork()
    if pid == 0:  # the child: a terminal of a fixed, small size keeps cls and color cheap
        try:
            fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
            os.chdir(cwd)
            os.execvpe("wine", ["wine", "cmd", *cmd_options, "/c", batch_windows_path], env)
        finally:
            os._exit(127)

    transcript = Transcript()
    raw = bytearray()
    since_answer = bytearray()
    deadline = time.monotonic() + timeout
    try:
        while True:
            if time.monotonic() > deadline:
                os.kill(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
                raise AssertionError("cmd did not end within %.0f s; its output:\n%s"
                                     % (timeout, _clean(bytes(raw))[-3000:]))
            ready, _, _ = select.select([fd], [], [], quiet)
            if ready:
                try:
                    data = os.read(fd, 65536)
                except OSError:  # the terminal closed: cmd has ended
                    break
                if not data:
                    break
                raw += data
                since_answer += data
                continue
            question = _question_at_end(_clean(bytes(since_answer)))
            if question is None:
                continue
            transcript.questions.append(question)
            reply = "" if question.startswith(PRESS_ANY_KEY) else answer(question)
            os.write(fd, reply.encode("ascii") + b"\r")
            since_answer.clear()
    finally:
        os.close(fd)
    _, status = os.waitpid(pid, 0)
    transcript.exit_status = os.waitstatus_to_exitcode(status)
    transcript.output = _clean(bytes(raw))
    return transcript


def _clean(data):
    return _CONTROL.sub("", data.decode("utf-8", errors="replace"))
