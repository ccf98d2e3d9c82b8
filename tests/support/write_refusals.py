#!/usr/bin/env python3
"""What the Python client's write by name does with every field of its
catalogue, one line each: the name, a tab, then the refusal it raised or
"(sent)". Nothing reaches a server: the client's exchange only notes that
it was asked to send. Used by tests/client_test.cpp."""
import sys

from tarvos_client import _NamedAccess, catalogue


class _Recorder(_NamedAccess):
    def __init__(self):
        self.sent = False

    def exchange(self, batch):
        self.sent = True


def main():
    for name, field in sorted(catalogue().fields.items()):
        client = _Recorder()
        try:
            # The value the field's zero bytes stand for always fits it.
            client.write(name, field.decode(bytes(field.size)))
            outcome = "(sent)" if client.sent else "(nothing sent)"
        except ValueError as e:
            outcome = str(e)
        print(name + "\t" + outcome)
    return 0


if __name__ == "__main__":
    sys.exit(main())
