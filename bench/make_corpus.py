#!/usr/bin/env python3
"""Builds the benchmark inputs for plaintrove-strip.

Real HTML comes from the documentation that installed Debian packages ship (/usr/share/doc by
default). Every input is cut at a line end outside any tag, so that no input ends inside a tag,
and a file is only rebuilt when the recipe that made it changes or it went missing.

Run it on its own to see what it builds:  bench/make_corpus.py --out bench/out
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import random
import sys
from dataclasses import asdict, dataclass, field
from pathlib import Path

MB = 1_000_000
HTML_SUFFIXES = (".html", ".htm")
SHUFFLE_SEED = 20240601
GENERATOR_SEED = 7
RECIPE_VERSION = 2  # raise when a change to this file changes the bytes of an input
# Less real HTML than this and the repeated corpus is mostly the same few pages over again.
MIN_UNIQUE_BYTES = 40 * MB


@dataclass
class Sizes:
    real: int = 150 * MB
    generated: int = 150 * MB
    huge_line: int = 1000 * MB
    linearity: list[int] = field(default_factory=lambda: [10 * MB, 50 * MB, 100 * MB, 200 * MB])

    @staticmethod
    def quick() -> "Sizes":
        return Sizes(real=20 * MB, generated=20 * MB, huge_line=100 * MB,
                     linearity=[1 * MB, 5 * MB, 10 * MB, 20 * MB])


@dataclass
class Input:
    key: str  # stable identifier used in reports
    label: str  # what the table calls it
    path: str
    size: int
    lines: int


@dataclass
class Corpus:
    sources: list[str]
    unique_files: int
    unique_bytes: int
    main: list[Input]  # the inputs of the main table, the 1 GB single line last
    linearity: list[Input]


def find_html(roots: list[Path]) -> list[Path]:
    found = set()
    for root in roots:
        for directory, _, names in os.walk(root):
            for name in names:
                path = Path(directory) / name
                if (name.lower().endswith(HTML_SUFFIXES) and path.is_file()
                        and not path.is_symlink()):
                    found.add(path.resolve())
    files = sorted(found)
    # A fixed shuffle mixes the packages' styles, so that any stretch of the corpus looks alike.
    random.Random(SHUFFLE_SEED).shuffle(files)
    return files


class TagState:
    """Tracks whether a stream of bytes currently stands inside a tag."""

    def __init__(self) -> None:
        self.inside = False

    def feed(self, data: bytes) -> None:
        self.inside = self.inside_after(data)

    def inside_after(self, data: bytes) -> bool:
        last_open = data.rfind(b"<")
        last_close = data.rfind(b">")
        if last_open == -1 and last_close == -1:
            return self.inside
        return last_open > last_close


def clean_cut(data: bytes, wanted: int, state: TagState, at_line_end: bool) -> int:
    """Length of the shortest prefix of `data` that is at least `wanted` long (or all of it) and
    ends outside any tag, and at a line end if `at_line_end`; `state` tells whether `data`
    begins inside a tag."""
    cut = min(wanted, len(data))
    if state.inside_after(data[:cut]):
        close = data.find(b">", cut)
        if close == -1:
            return len(data)
        cut = close + 1
    if not at_line_end:
        return cut
    line_end = data.find(b"\n", max(cut - 1, 0))  # a cut just after a line end stays
    return len(data) if line_end == -1 else line_end + 1


def chunks_of(path: Path):
    with open(path, "rb") as src:
        while chunk := src.read(4 * 1024 * 1024):
            yield chunk


def write_cycled(path: Path, sources: list[Path], target: int | None, transform=None,
                 at_line_end: bool = True) -> None:
    """Writes the sources one after the other, over again as often as needed, and stops at the
    first clean cut from `target` bytes on; with no target, writes each source once."""
    state = TagState()
    written = 0
    with open(path, "wb") as out:
        while target is None or written < target:
            for source in sources:
                for chunk in chunks_of(source):
                    if transform:
                        chunk = transform(chunk)
                    if target is not None and written + len(chunk) >= target:
                        cut = clean_cut(chunk, max(0, target - written), state, at_line_end)
                        if cut < len(chunk) or not state.inside_after(chunk):
                            out.write(chunk[:cut])
                            return
                    out.write(chunk)
                    written += len(chunk)
                    state.feed(chunk)
            if target is None:
                return


def strip_line_ends(chunk: bytes) -> bytes:
    return chunk.translate(None, b"\r\n")


# --- A generated page: one long document with the constructs real pages have. -------------------

WORDS = ("the of and to in is for on that with as by this be from are or an it at file value "
         "line text page table data section output input markup program between every each "
         "character version result example option default system module function return").split()


def sentence(rng: random.Random, low: int = 6, high: int = 18) -> str:
    words = [rng.choice(WORDS) for _ in range(rng.randint(low, high))]
    words[0] = words[0].capitalize()
    return " ".join(words) + "."


def inline_text(rng: random.Random) -> str:
    parts = []
    for _ in range(rng.randint(2, 5)):
        kind = rng.random()
        text = sentence(rng, 3, 9)
        if kind < 0.25:
            page = rng.randint(1, 9999)
            parts.append(f'<a href="https://example.org/doc/{page}.html?x=1&amp;y=2"'
                         f' class="ref">{text}</a>')
        elif kind < 0.45:
            parts.append(f"<b>{text}</b> <i>{rng.choice(WORDS)}</i>")
        elif kind < 0.55:
            parts.append(f"<code>a &lt; b &amp;&amp; c &gt; d</code> {text}")
        elif kind < 0.62:
            parts.append(f"{text} if a < b then c > d")
        else:
            parts.append(text)
    return " ".join(parts)


def section(rng: random.Random, number: int) -> str:
    indent = "    "
    lines = [f'  <section id="s{number}" class="chapter">',
             f'{indent}<h2 class="title" id="h{number}">{sentence(rng, 2, 6)}</h2>']
    for _ in range(rng.randint(1, 4)):
        lines.append(f"{indent}<p>{inline_text(rng)}</p>")
    # A start tag whose attributes run over several lines.
    lines.append(f'{indent}<img src="images/figure-{number}.png"')
    lines.append(f'{indent}     alt="{sentence(rng, 3, 6)}"')
    lines.append(f'{indent}     width="{rng.randint(100, 900)}" height="{rng.randint(50, 600)}">')
    lines.append(f"{indent}<!-- generated section {number}: a > b in a comment -->")
    lines.append(f'{indent}<table class="data">')
    lines.append(f"{indent}  <tr><th>Name</th><th>Value</th><th>Notes</th></tr>")
    for row in range(rng.randint(2, 8)):
        lines.append(f"{indent}  <tr><td>{rng.choice(WORDS)}_{row}</td><td>{rng.randint(0, 10**6)}"
                     f"</td><td>{sentence(rng, 2, 8)}</td></tr>")
    lines.append(f"{indent}</table>")
    lines.append(f"{indent}<ul>")
    for _ in range(rng.randint(2, 6)):
        lines.append(f'{indent}  <li class="item">{inline_text(rng)}</li>')
    lines.append(f"{indent}</ul>")
    lines.append(f"{indent}<pre>")
    for _ in range(rng.randint(1, 5)):
        lines.append(f"\tif (count &lt; limit) {{ total += {rng.randint(1, 99)}; }}")
    lines.append(f"{indent}</pre>")
    lines.append("        ")  # a line of spaces only
    if rng.random() < 0.05:
        # Minified markup: one long line of many small tags.
        lines.append("".join(f'<span class="w{i % 7}">{rng.choice(WORDS)}</span>'
                             for i in range(rng.randint(500, 2000))))
    lines.append("  </section>")
    return "\r\n".join(lines) + "\r\n"


def write_generated(path: Path, target: int) -> None:
    rng = random.Random(GENERATOR_SEED)
    # A pool of distinct sections, written in random order: varied text at a fraction of the cost
    # of generating every section anew.
    pool = [section(rng, n).encode("ascii") for n in range(600)]
    head = ("<!DOCTYPE html>\r\n<html lang=\"en\">\r\n<head>\r\n  <meta charset=\"utf-8\">\r\n"
            "  <title>Generated reference page</title>\r\n  <style>\r\n"
            "    body { font-family: serif; }\r\n    .data td > b { color: #333; }\r\n"
            "  </style>\r\n</head>\r\n<body>\r\n").encode("ascii")
    tail = b"</body>\r\n</html>\r\n"
    with open(path, "wb") as out:
        out.write(head)
        written = len(head)
        while written + len(tail) < target:
            piece = rng.choice(pool)
            out.write(piece)
            written += len(piece)
        out.write(tail)


# --- A site of many small pages: what a batch pays for each file. -------------------------------

SITE_RECIPE = 1  # raise when a change here changes the bytes of the tree


def small_page(rng: random.Random, number: int) -> bytes:
    paragraphs = "".join(f"<p>{inline_text(rng)}</p>\r\n" for _ in range(rng.randint(1, 4)))
    return (f"<!DOCTYPE html>\r\n<html>\r\n<head><title>Page {number}</title></head>\r\n"
            f"<body>\r\n<h1>{sentence(rng, 2, 6)}</h1>\r\n{paragraphs}</body>\r\n</html>\r\n"
            ).encode("ascii")


def write_site_tree(out_dir: Path, pages: int, folders: int, log=print) -> Path:
    """PAGES small generated pages in FOLDERS folders below OUT/site/tree-PAGES: made once."""
    tree = out_dir / "site" / f"tree-{pages}"
    done = tree.with_name(tree.name + ".done")
    recipe = f"{SITE_RECIPE} {pages} {folders} {GENERATOR_SEED}"
    if done.exists() and done.read_text() == recipe:
        return tree
    log(f"making {pages} pages in {folders} folders in {tree}")
    if tree.exists():
        import shutil
        shutil.rmtree(tree)
    rng = random.Random(GENERATOR_SEED)
    per_folder = -(-pages // folders)
    for number in range(pages):
        folder = tree / f"f{number // per_folder:04d}"
        if number % per_folder == 0:
            folder.mkdir(parents=True)
        (folder / f"p{number % per_folder:04d}.html").write_bytes(small_page(rng, number))
    done.write_text(recipe)
    return tree


# --- Building with a manifest, so that unchanged inputs are reused. ------------------------------


def count_lines(path: Path) -> int:
    lines = 0
    last = b"\n"
    for chunk in chunks_of(path):
        lines += chunk.count(b"\n")
        last = chunk[-1:]
    return lines + (last != b"\n")


def short_size(size: int) -> str:
    return f"{size // 1000 // MB} GB" if size >= 1000 * MB else f"{size // MB} MB"


def build(out_dir: Path, sizes: Sizes, roots: list[Path], log=print) -> Corpus:
    corpus_dir = out_dir / "corpus"
    corpus_dir.mkdir(parents=True, exist_ok=True)
    files = find_html(roots)
    unique_bytes = sum(f.stat().st_size for f in files)
    if unique_bytes == 0:
        raise SystemExit(f"make_corpus: no HTML files found under {', '.join(map(str, roots))}")
    fingerprint = hashlib.sha256("\n".join(f"{f}:{f.stat().st_size}" for f in files).encode())
    fingerprint = fingerprint.hexdigest()[:16]

    manifest_path = corpus_dir / "manifest.json"
    try:
        manifest = json.loads(manifest_path.read_text())
    except (OSError, ValueError):
        manifest = {}

    def make(name: str, recipe: str, writer) -> Path:
        path = corpus_dir / name
        entry = manifest.get(name)
        recipe = f"v{RECIPE_VERSION}:{recipe}"
        if (entry and entry["recipe"] == recipe and path.exists()
                and path.stat().st_size == entry["size"]):
            return path
        log(f"  building {path} ...")
        tmp = path.with_suffix(".partial")
        writer(tmp)
        tmp.replace(path)
        manifest[name] = {"recipe": recipe, "size": path.stat().st_size}
        manifest_path.write_text(json.dumps(manifest, indent=1))
        return path

    real_recipe = f"real:{fingerprint}:{sizes.real}"
    real = make(f"real-{sizes.real // MB}MB.html", real_recipe,
                lambda p: write_cycled(p, files, sizes.real))
    one_line = make(f"real-{sizes.real // MB}MB-1line.html", f"1line:{real_recipe}",
                    lambda p: write_cycled(p, [real], None, strip_line_ends))
    generated = make(f"generated-{sizes.generated // MB}MB.html",
                     f"generated:{GENERATOR_SEED}:{sizes.generated}",
                     lambda p: write_generated(p, sizes.generated))
    huge = make(f"line-{sizes.huge_line // MB}MB.html", f"huge:{real_recipe}:{sizes.huge_line}",
                lambda p: write_cycled(p, [one_line], sizes.huge_line, at_line_end=False))

    # The linearity inputs repeat one base, so that every size holds the same mix of markup.
    base_size = sizes.linearity[0]
    base = make(f"lin-base-{base_size // MB}MB.html", f"real:{fingerprint}:{base_size}",
                lambda p: write_cycled(p, files, base_size))
    base_actual = base.stat().st_size
    linearity = []
    for target in sizes.linearity:
        times = max(1, round(target / base_size))
        path = make(f"lin-{target // MB}MB.html", f"lin:{base_actual}:{fingerprint}:{times}",
                    lambda p, t=times: write_cycled(p, [base], t * base_actual))
        linearity.append(Input(f"lin{target // MB}", f"real HTML x{times} ({short_size(target)})",
                               str(path), path.stat().st_size, 0))

    main = [
        Input("real", f"real HTML ({short_size(sizes.real)})", str(real), real.stat().st_size, 0),
        Input("real1", f"same, one line ({short_size(sizes.real)})", str(one_line),
              one_line.stat().st_size, 0),
        Input("gen", f"generated page ({short_size(sizes.generated)})", str(generated),
              generated.stat().st_size, 0),
        Input("huge", f"one line ({short_size(sizes.huge_line)})", str(huge),
              huge.stat().st_size, 0),
    ]
    for item in main + linearity:
        key = f"lines:{Path(item.path).name}"
        if manifest.get(key, {}).get("size") != item.size:
            manifest[key] = {"size": item.size, "lines": count_lines(Path(item.path))}
            manifest_path.write_text(json.dumps(manifest, indent=1))
        item.lines = manifest[key]["lines"]
    return Corpus([str(r) for r in roots], len(files), unique_bytes, main, linearity)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=Path(__file__).resolve().parent / "out",
                        help="directory for the corpus (default: bench/out)")
    parser.add_argument("--source", type=Path, action="append",
                        help="directory searched for *.html (repeatable; default /usr/share/doc)")
    parser.add_argument("--quick", action="store_true", help="small sizes, for a trial run")
    parser.add_argument("--site-tree", type=int, nargs=2, metavar=("PAGES", "FOLDERS"),
                        help="only make a tree of PAGES small pages in FOLDERS folders, "
                             "print its path")
    args = parser.parse_args()
    if args.site_tree:
        print(write_site_tree(args.out, *args.site_tree,
                              log=lambda text: print(text, file=sys.stderr)))
        return 0
    sizes = Sizes.quick() if args.quick else Sizes()
    corpus = build(args.out, sizes, args.source or [Path("/usr/share/doc")],
                   log=lambda text: print(text, file=sys.stderr))
    if corpus.unique_bytes < MIN_UNIQUE_BYTES:
        print(f"warning: only {corpus.unique_bytes / MB:.1f} MB of distinct HTML found",
              file=sys.stderr)
    print(json.dumps(asdict(corpus), indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
