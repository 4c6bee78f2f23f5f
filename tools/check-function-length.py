#!/usr/bin/env python3
"""Lists the functions that run over a number of lines (80 unless told).

Counts a definition's lines from its opening brace to its closing brace, both included (one more
than clang-tidy's readability-function-size); lambdas and local classes count toward the function
that holds them. Reads the sources as clang-format leaves them; it does not compile them, so it needs no
build. Exits 1 when it lists any function.

    tools/check-function-length.py [--limit N] [PATH ...]

Without paths it reads the library, pubclass/, platform/ and the inspector.
"""
import argparse
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
DEFAULT_PATHS = ["Set_Config/memlist", "pubclass", "platform", "tools/inspect"]
SOURCE_SUFFIXES = {".cpp", ".h"}


def blank(text, start, end):
    """The text with [start, end) turned to spaces, its line breaks kept."""
    return re.sub(r"[^\n]", " ", text[start:end])


def strip_noise(text):
    """Comments, literals and preprocessor lines blanked, so that only code braces remain."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            j = i
            while j < n and text[j] != "\n":
                if text[j] == "\\" and j + 1 < n and text[j + 1] == "\n":
                    j += 1
                j += 1
            out.append(blank(text, i, j))
            i = j
            continue
        if c == "\n":
            line_start = True
            out.append(c)
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(blank(text, i, j))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(blank(text, i, j))
            i = j
        elif re.match(r'(?:u8|u|U|L)?R"', text[i:i + 4]) and (i == 0 or not
                                                                (text[i - 1].isalnum() or
                                                                 text[i - 1] == "_")):
            q = text.index('"', i)
            delim = text[q + 1:text.index("(", q)]
            j = text.find(")" + delim + '"', q)
            j = n if j < 0 else j + len(delim) + 2
            out.append('""' + blank(text, i + 2, j))
            i = j
        elif c in "\"'":
            # A digit separator (1'000) is no literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and \
                    text[i + 1].isalnum() and re.match(r"[0-9a-fA-F]", text[i - 1]) and \
                    re.search(r"\b[0-9][0-9a-fA-FxX']*$", text[max(0, i - 40):i]):
                out.append(" ")
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + blank(text, i + 1, j - 1) + c)
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


SCOPE_HEAD = re.compile(r"^(?:template\s*<.*>\s*)?(?:class|struct|union|enum|namespace)\b|"
                        r'^extern\s*""', re.S)
OPERATOR = re.compile(r"\boperator\s*(?:\(\s*\)|[^\w\s(][^(]*|\w[^(]*)")


def depth0(head, ch):
    """Whether `ch` occurs in `head` outside every bracket pair."""
    depth = 0
    for c in head:
        if c == ch and depth == 0:
            return True
        if c in "([":
            depth += 1
        elif c in ")]":
            depth -= 1
    return False


def name_of(head):
    """The qualified name before a definition's parameter list."""
    flat = " ".join(head.split())
    m = re.search(r"([~\w:]*operator\s*(?:\(\s*\)|[^\w\s(]+|\w[\w\s:<>*&]*?)|[~\w:<>]+)\s*\(",
                  flat)
    return m.group(1).strip() if m else flat[:40]


def classify(head):
    """'scope' (namespace, class), 'function', or 'other' (an initializer, a lambda held
    in a variable)."""
    h = head.strip()
    if SCOPE_HEAD.match(h):
        return "scope"
    plain = OPERATOR.sub("operator", h)
    if depth0(plain, "(") and not depth0(plain, "="):
        return "function"
    return "other"


def functions(text):
    """(name, line of the opening brace, lines) of every function defined outside another
    function."""
    code = strip_noise(text)
    found = []
    stack = []  # kind of every open brace
    head_start = 0
    for i, c in enumerate(code):
        if c in ";":
            if all(k == "scope" for k in stack):
                head_start = i + 1
        elif c == "{":
            if all(k == "scope" for k in stack) and SCOPE_HEAD.match(code[head_start:i].strip()):
                stack.append("scope")
                head_start = i + 1
                continue
            if not all(k == "scope" for k in stack):
                stack.append("inner")
                continue
            head = code[head_start:i]
            if head.count("(") > head.count(")"):
                stack.append("init")  # a braced argument: the head goes on
                continue
            kind = classify(head)
            if kind == "function" and re.search(r"\)[^()]*[^:]:[^:][^{]*[\w>]\s*$", head):
                stack.append("init")  # a member's braced initializer before the body
                continue
            if kind == "function":
                stack.append(("function", name_of(head), code.count("\n", 0, i) + 1))
            else:
                stack.append(kind)
        elif c == "}":
            if not stack:
                continue
            kind = stack.pop()
            if isinstance(kind, tuple):
                _, name, first = kind
                last = code.count("\n", 0, i) + 1
                found.append((name, first, last - first + 1))
            if kind != "init" and all(k == "scope" for k in stack):
                head_start = i + 1
    return found


def sources(paths):
    for p in paths:
        path = ROOT / p
        if path.is_file():
            yield path
        else:
            yield from sorted(f for f in path.rglob("*") if f.suffix in SOURCE_SUFFIXES)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--limit", type=int, default=80, help="most body lines allowed")
    parser.add_argument("paths", nargs="*", default=DEFAULT_PATHS,
                        help="files or folders, relative to the top of the tree")
    args = parser.parse_args()
    long = []
    for f in sources(args.paths):
        for name, line, n in functions(f.read_text(encoding="utf-8", errors="replace")):
            if n > args.limit:
                long.append((f.relative_to(ROOT), line, name, n))
    for f, line, name, n in long:
        print(f"{f}:{line}: {name}: {n} lines")
    if long:
        print(f"{len(long)} function(s) over {args.limit} lines")
        return 1
    print(f"function length: none over {args.limit} lines")
    return 0


if __name__ == "__main__":
    sys.exit(main())
