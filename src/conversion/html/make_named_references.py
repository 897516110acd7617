#!/usr/bin/env python3
"""Writes the HTML named character references as a C++ table, sorted by name, from Python's
copy of the list that the HTML standard keeps (html.entities.html5). Run by the build:

    make_named_references.py OUTPUT
"""

import html.entities
import sys


def literal(text: bytes) -> str:
    # Every byte escaped, so that no escape runs into the character after it.
    return '"' + "".join(f"\\x{byte:02X}" for byte in text) + '"'


def main() -> None:
    rows = sorted((name.encode("ascii"), text.encode("utf-8"))
                  for name, text in html.entities.html5.items())
    with open(sys.argv[1], "w", encoding="ascii") as out:
        out.write("// Made by make_named_references.py from Python's html.entities.html5.\n")
        out.write(f"constexpr NamedReference namedReferences[{len(rows)}] = {{\n")
        for name, text in rows:
            out.write(f'    {{ "{name.decode()}", {literal(text)} }},\n')
        out.write("};\n")


if __name__ == "__main__":
    main()
