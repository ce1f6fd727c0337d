"""The check helper of the Python test drivers, as check.h is the C++
programs': each check counts, a failure prints "FAILED: what" and its
detail, and the closing line reads "N passed, N failed"."""


class Tally:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAILED: " + what + ("\n" + detail if detail else ""))
        return ok

    def finish(self):
        """Prints the closing line; returns the exit status, 1 when a check failed."""
        print("%d passed, %d failed" % (self.passed, self.failed))
        return 1 if self.failed else 0
