"""Polling waits: every wait in the e2e tests and the bench is a poll of a
condition with a timeout, never a bare sleep."""

import time


class HarnessError(RuntimeError):
    pass


def wait_until(predicate, timeout=10.0, interval=0.02, message=None, describe=None):
    """Poll predicate() until it returns a truthy value; return that value.

    Raises HarnessError (with message, and describe()'s text if given) on
    timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            text = "timed out after %.1fs waiting for %s" % (
                timeout, message or getattr(predicate, "__name__", "condition"))
            if describe is not None:
                try:
                    text += "\n" + describe()
                except Exception as e:  # the timeout matters more than its details
                    text += "\n(no details: %r)" % e
            raise HarnessError(text)
        time.sleep(interval)

